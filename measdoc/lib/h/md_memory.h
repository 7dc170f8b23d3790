// memory: every allocation of the module. mem_sysmalloc/mem_sysfree enter the C heap one
// thread at a time (th_memmtx) for long-lived records; the pools are bump allocators over
// a chain of blocks that are only ever released as a whole, or back to a mark. The string
// index keeps one pool per index, each worker thread one for its parse results.
#ifndef MEASDOC_MD_MEMORY_H
#define MEASDOC_MD_MEMORY_H

#include <cstddef>
#include <cstdint>

// Header at the start of every pool block; the usable area follows it.
struct a_memblock {
    a_memblock* next;           // the block that was current before this one
    char* cur;                  // first free byte
    char* end;                  // one past the last byte
};

// Pool descriptor: zero-filled before first use, owned by whoever embeds it.
struct a_meminfo {
    std::uint32_t mei_align;    // allocation granularity, set by mem_init
    std::uint32_t mei_pagesz;   // minimum block size
    std::int32_t mei_reserved;  // always 0
    a_memblock* mei_separator;  // the mark: block current when the pool was marked, or NULL
    a_memblock* mei_block;      // current block, head of the chain (newest first)
};

// Granularity of pool allocations. Pools hold records with pointers and 64-bit numbers,
// so the grain is the widest alignment those need.
inline constexpr std::uint32_t mem_grain = alignof(void*) > alignof(double) ? alignof(void*) : alignof(double);
// Pages smaller than this cannot hold a block header and a useful area; 8192 is used then.
inline constexpr std::uint32_t mem_min_pagesz = 268;
inline constexpr std::uint32_t mem_fallback_pagesz = 8192;

// Heap memory under th_memmtx, or NULL. Exhaustion is not recorded (the caller records it
// with its own expression); a lock failure is, and also returns NULL.
void* mem_sysmalloc(std::size_t size);
// Returns ptr to the heap under th_memmtx; NULL is accepted. A lock failure is recorded
// and the memory is freed all the same (the C heap is safe without our lock; the lock only
// keeps the module's heap traffic in one file), so no error path leaks.
void mem_sysfree(void* ptr);

// Initialises a zero-filled (or released) pool with one block, or marks an initialised
// one so that mem_destroy(keep) can return to this point. Returns 1, or 0 with the cause
// recorded and the pool unchanged.
bool mem_init(a_meminfo* meminfo);
// size bytes from the pool, aligned to mem_grain and not cleared; NULL on failure with the
// chain left as it was. An empty pool is initialised first.
void* mem_malloc(a_meminfo* meminfo, std::size_t size);
// Makes the blocks an initialised pool takes from now on at least size bytes (never less
// than its page size): a pool that grows by megabytes then asks the heap, and takes its
// lock, once per so many bytes instead of once per page. Blocks already taken stay as
// they are. Returns 1, or 0 (code 10) when the pool is not initialised.
bool mem_set_blocksize(a_meminfo* meminfo, std::size_t size);
// keep false: releases every block; the pool is empty again. keep true: releases the
// blocks made after the mark and makes the mark block current. Returns 1, or 0 (recorded)
// for a NULL or inconsistent descriptor.
bool mem_destroy(a_meminfo* meminfo, bool keep);
// A block with room for size bytes after its header, not linked into the pool; NULL on
// failure (recorded).
a_memblock* mem_new_memblock(a_meminfo* meminfo, std::size_t size);

// Test control: the countdown-th following mem_sysmalloc (1 = the next) returns NULL as an
// exhausted heap would; 0 disarms. Returns what was left of the previous countdown, so
// that a test can tell whether its fault was met.
unsigned mem_set_sysfault(unsigned countdown);
// Test control: blocks taken with mem_sysmalloc and not yet returned with mem_sysfree.
std::size_t mem_sysblocks_in_use();
// Test control: page size that mem_init uses instead of the system's; 0 = the system's.
void mem_set_pagesize(long pagesize);

#endif
