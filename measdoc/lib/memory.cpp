// memory: the locked heap and the pools. Every unit allocates through here; the string
// index owns one pool per index and each worker thread one for its parse results.
#include "md_memory.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "md_error.h"
#include "md_posix.h"
#include "md_thread.h"

namespace {

std::atomic<unsigned> sysfault_countdown{0};
std::atomic<long> pagesize_override{0};
// Heap blocks handed out and not given back, for the tests' leak checks: the C library's
// own totals move with the threads it caches.
std::atomic<std::size_t> sysblocks_in_use{0};

bool sysfault_due() {
    unsigned left = sysfault_countdown.load(std::memory_order_relaxed);
    while (left != 0) {
        if (sysfault_countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return left == 1;
    }
    return false;
}

constexpr std::size_t round_up(std::size_t size, std::size_t align) { return (size + align - 1) / align * align; }

// Offset of the usable area in a block.
std::size_t header_size(const a_meminfo* meminfo) { return round_up(sizeof(a_memblock), meminfo->mei_align); }

}  // namespace

unsigned mem_set_sysfault(unsigned countdown) { return sysfault_countdown.exchange(countdown, std::memory_order_relaxed); }
std::size_t mem_sysblocks_in_use() { return sysblocks_in_use.load(std::memory_order_relaxed); }
void mem_set_pagesize(long pagesize) { pagesize_override.store(pagesize, std::memory_order_relaxed); }

void* mem_sysmalloc(std::size_t size) {
    int retval = pthr_mutex_lock(&thr_info.th_memmtx);
    if (retval != 0) {
        error_set_message("pthr_mutex_lock(&thr_info.th_memmtx)", ERR_SYSTEM, {err_errno(retval)});
        errno = retval;
        return nullptr;
    }
    void* ptr = nullptr;
    if (sysfault_due())
        errno = ENOMEM;
    else
        ptr = std::malloc(size);
    const int saved = errno;
    retval = pthr_mutex_unlock(&thr_info.th_memmtx);
    if (retval != 0) {
        error_set_message("pthr_mutex_unlock(&thr_info.th_memmtx)", ERR_SYSTEM, {err_errno(retval)});
        std::free(ptr);  // the caller sees a failure: it must not own memory then
        errno = retval;
        return nullptr;
    }
    if (ptr != nullptr) sysblocks_in_use.fetch_add(1, std::memory_order_relaxed);
    errno = saved;
    return ptr;
}

void mem_sysfree(void* ptr) {
    if (ptr == nullptr) return;
    sysblocks_in_use.fetch_sub(1, std::memory_order_relaxed);
    int retval = pthr_mutex_lock(&thr_info.th_memmtx);
    if (retval != 0) {
        error_set_message("pthr_mutex_lock(&thr_info.th_memmtx)", ERR_SYSTEM, {err_errno(retval)});
        std::free(ptr);
        return;
    }
    std::free(ptr);
    retval = pthr_mutex_unlock(&thr_info.th_memmtx);
    if (retval != 0) error_set_message("pthr_mutex_unlock(&thr_info.th_memmtx)", ERR_SYSTEM, {err_errno(retval)});
}

bool mem_init(a_meminfo* meminfo) {
    if (meminfo == nullptr) {
        error_set_message("meminfo == NULL", ERR_MEM_EMPTY);
        return false;
    }
    meminfo->mei_separator = meminfo->mei_block;
    if (meminfo->mei_block != nullptr) return true;  // marking an initialised pool

    long pagesize = pagesize_override.load(std::memory_order_relaxed);
    if (pagesize == 0) pagesize = sysconf(_SC_PAGESIZE);
    if (pagesize == -1) {
        error_set_message("sysconf(_SC_PAGESIZE)", ERR_SYSTEM, {err_errno(errno)});
        return false;
    }
    meminfo->mei_align = mem_grain;
    meminfo->mei_reserved = 0;
    if (pagesize < static_cast<long>(mem_min_pagesz) || pagesize > INT32_MAX) {
        error_set_message("mem_init", ERR_MEM_PAGESIZE, {err_int(pagesize)});
        error_clear_message(ERR_MEM_PAGESIZE, true);
        pagesize = mem_fallback_pagesz;
    }
    meminfo->mei_pagesz = static_cast<std::uint32_t>(pagesize);

    a_memblock* block = mem_new_memblock(meminfo, 0);
    if (block == nullptr) {
        error_set_message("mem_new_memblock(meminfo, 0)", ERR_NULL);
        return false;
    }
    meminfo->mei_block = block;
    return true;
}

bool mem_set_blocksize(a_meminfo* meminfo, std::size_t size) {
    if (meminfo == nullptr || meminfo->mei_block == nullptr) {
        error_set_message("meminfo == NULL", ERR_MEM_EMPTY);
        return false;
    }
    if (size > meminfo->mei_pagesz) meminfo->mei_pagesz = static_cast<std::uint32_t>(std::min<std::size_t>(size, INT32_MAX));
    return true;
}

a_memblock* mem_new_memblock(a_meminfo* meminfo, std::size_t size) {
    const std::size_t header = header_size(meminfo);
    void* raw = nullptr;
    std::size_t total = 0;
    if (size <= SIZE_MAX - header) {
        total = header + size;
        if (total < meminfo->mei_pagesz) total = meminfo->mei_pagesz;
        raw = mem_sysmalloc(total);
    } else {
        errno = ENOMEM;  // no heap can serve it
    }
    if (raw == nullptr) {
        error_set_message("(a_memblock_ptr)mem_sysmalloc(size)", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    auto* block = static_cast<a_memblock*>(raw);
    block->next = nullptr;
    block->cur = static_cast<char*>(raw) + header;
    block->end = static_cast<char*>(raw) + total;
    return block;
}

void* mem_malloc(a_meminfo* meminfo, std::size_t size) {
    if (meminfo == nullptr) {
        error_set_message("meminfo == NULL", ERR_MEM_EMPTY);
        return nullptr;
    }
    if (meminfo->mei_block == nullptr && !mem_init(meminfo)) {
        error_set_message("mem_init(meminfo)", ERR_NULL);
        return nullptr;
    }
    const std::size_t align = meminfo->mei_align;
    // A size so large that rounding would wrap is passed on as is; no block can hold it.
    const std::size_t adjust = size <= SIZE_MAX - (align - 1) ? round_up(size, align) : size;

    a_memblock* block = meminfo->mei_block;
    if (adjust <= static_cast<std::size_t>(block->end - block->cur)) {
        char* ptr = block->cur;
        block->cur += adjust;
        return ptr;
    }
    // The tail of the current block is abandoned: searching old blocks for room would
    // cost more than the few bytes it saves.
    a_memblock* fresh = mem_new_memblock(meminfo, adjust);
    if (fresh == nullptr) {
        error_set_message("mem_new_memblock(meminfo, adjust)", ERR_NULL);
        return nullptr;
    }
    fresh->next = block;
    meminfo->mei_block = fresh;
    char* ptr = fresh->cur;
    fresh->cur += adjust;
    return ptr;
}

bool mem_destroy(a_meminfo* meminfo, bool keep) {
    if (meminfo == nullptr) {
        error_set_message("meminfo == NULL", ERR_MEM_EMPTY);
        return false;
    }
    if (meminfo->mei_block == nullptr) {
        if (meminfo->mei_separator != nullptr) {
            error_set_message("block == NULL && meminfo->mei_separator != NULL", ERR_MEM_CORRUPT);
            return false;
        }
        return true;
    }
    if (!keep) meminfo->mei_separator = nullptr;
    a_memblock* const stop = meminfo->mei_separator;
    a_memblock* block = meminfo->mei_block;
    meminfo->mei_block = stop;
    // The descriptor may live inside one of the blocks (an index's header does): it is not
    // touched again once the walk has begun.
    while (block != nullptr && block != stop) {
        a_memblock* older = block->next;
        mem_sysfree(block);
        block = older;
    }
    return true;
}
