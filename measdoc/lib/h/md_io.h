// io: the block file reader. It reads the run's one input file block by block and lets the
// tokenizer walk it with a plain character pointer; the tokens found (names, values,
// texts) stay in place inside the blocks. A block lives as long as a token refers to it or
// the reader is in it; a token that crosses a block boundary is moved into a joined block
// of its own. Tokens travel with their elements to the worker threads, which release them
// there: reference counts change atomically, chain links under fi_mutex.
#ifndef MEASDOC_MD_IO_H
#define MEASDOC_MD_IO_H

#include <pthread.h>

#include <cstddef>
#include <cstdint>

struct a_blockinfo;

// A token inside a block: the text and the block that holds one reference for it (NULL
// when the reference holds none).
struct a_strmark {
    char* str;
    a_blockinfo* blk;
};

// One block of the file, or a joined block holding one token (heap).
struct a_blockinfo {
    std::uint32_t bi_id;        // number of the block, in order of creation
    std::int32_t bi_refs;       // the reader's hold and one per token (changed atomically)
    std::size_t bi_len;         // valid bytes
    std::size_t bi_size;        // capacity; one more byte always follows for a terminator
    char* bi_start;             // first valid byte
    char* bi_end;               // one past the last valid byte
    char* bi_buff;
    a_blockinfo* bi_next;       // the following block in file order
    a_blockinfo* bi_prev;       // the preceding block still in memory
};

// The input file of the run. Only the reading thread moves fi_currblk and creates blocks;
// workers only drop references.
struct a_fileinfo {
    int fi_fd;
    std::uint32_t fi_eof;       // a read returned less than a block
    std::uint32_t fi_blocksz;   // the file system's preferred I/O size
    std::uint32_t fi_blkcount;  // blocks created so far
    pthread_mutex_t fi_mutex;   // bi_next, bi_prev and fi_head
    a_blockinfo* fi_currblk;    // the block the reader is in; NULL at end of input
    a_blockinfo* fi_head;       // the oldest block still in memory
};

// The token being captured.
struct a_markinfo {
    std::uint32_t mi_disabled;  // the next token takes no reference
    char* mi_start;             // its first byte
    char* mi_maybe;             // tentative end (first of a run of trailing blanks), or NULL
    a_blockinfo* mi_startblk;   // block of mi_start; non-NULL while a mark is open
    a_blockinfo* mi_endblk;     // block of mi_maybe
};

// Spare bytes of every joined block beyond its content.
inline constexpr std::size_t INTR_EXTRA = 10;

extern a_fileinfo xml_file;
extern a_markinfo mark_info;

// Opens the file named by the configuration item xmlFileName and reads its first block.
// Returns 1, or 0 (recorded) with nothing left open. A second call while the file is open
// changes nothing and returns 1.
bool io_init();
bool io_init_fileinfo();
// Closes the file and frees every block still in memory. Returns 1, or 0 (recorded) when
// the mutex could not be destroyed or the descriptor not closed (the blocks are freed).
bool io_deinit();
bool io_deinit_fileinfo();

// The first byte of the file, or NULL (code 4) once the reader has left the first block.
char* io_get_first_char();

// Moves to the next block that holds bytes; *pos becomes its first byte. Returns true at
// the end of the input (or after a read error, recorded), leaving *pos alone.
bool io_advance_blockinfo(char** pos);
// True at the end of input: the reader's only way forward across blocks. *pos must be in
// the current block or at its end.
inline bool io_eof_blockinfo(char** pos) {
    const a_blockinfo* current = xml_file.fi_currblk;
    if (*pos != nullptr && current != nullptr && *pos < current->bi_end) return false;
    return io_advance_blockinfo(pos);
}
// The next block (kept or newly read), now current; NULL at the end of the input or on a
// read error (recorded).
a_blockinfo* io_next_blockinfo();

// Token capture. start at the token's first byte; maybe at each blank after content (the
// first of a trailing run is kept), maybenot when content follows; disable makes the next
// token a reference without hold (a name only compared at once). end at the first byte
// after the token: returns the position to go on from, whose byte the caller overwrites
// with the terminator (unless the token ended at a tentative end); NULL on failure
// (recorded). cancel drops an open token.
void io_start_markinfo(char* pos);
inline void io_maybe_markinfo(char* pos) {
    if (mark_info.mi_maybe == nullptr) {
        mark_info.mi_maybe = pos;
        mark_info.mi_endblk = xml_file.fi_currblk;
    }
}
inline void io_maybenot_markinfo() { mark_info.mi_maybe = nullptr; }
void io_disable_markinfo();
char* io_end_markinfo(a_strmark* ref, char* pos);
void io_cancel_markinfo();
// Releases a token's reference (any thread) and clears it. A failed lock is recorded and
// the reference is still cleared.
void io_free_markinfo(a_strmark* ref);

// Block primitives: a new empty block of size bytes with one reference (NULL, recorded,
// on failure); unlinking and freeing; dropping one reference, freeing at the last.
a_blockinfo* io_new_blockinfo(std::size_t size);
void io_free_blockinfo(a_blockinfo* block);
void io_tryfree_blockinfo(a_blockinfo* block);

// Blocks in memory now (file blocks and joined blocks).
std::uint32_t io_count_blockinfo();
// Test control: block size used instead of the file system's (0 = the file system's).
void io_set_blocksize(std::uint32_t size);

#endif
