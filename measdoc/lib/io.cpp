// io: the block reader behind the tokenizer. The reading thread reads, walks and marks
// tokens; any thread may drop a token's reference, so reference counts change atomically
// and chain links only under fi_mutex.
//
// Who holds a block: every token kept in it (one reference each), and the reader, which
// holds every block from the open mark's start block (or, without a mark, from the
// current block) up to the newest block read. A block is freed by whoever drops its last
// reference, so a block holding no token goes as soon as the reader has passed it.
#include "md_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "md_conf.h"
#include "md_error.h"
#include "md_memory.h"
#include "md_posix.h"
#include "md_thread.h"
#include "md_xml.h"

a_fileinfo xml_file{};
a_markinfo mark_info{};

namespace {

// Blocks in memory; counted apart from the chain so that any thread may ask.
std::atomic<std::uint32_t> live_blocks{0};
std::atomic<std::uint32_t> forced_blocksize{0};
// True from a successful io_init to io_deinit.
bool reader_open = false;

// The fallback when the file system reports no preferred size.
constexpr std::uint32_t default_blocksize = 4096;

bool lock_file() {
    const int retval = pthr_mutex_lock(&xml_file.fi_mutex);
    if (retval == 0) return true;
    error_set_message("pthr_mutex_lock(&(filep->fi_mutex))", ERR_SYSTEM, {err_errno(retval)});
    return false;
}

void unlock_file() {
    const int retval = pthr_mutex_unlock(&xml_file.fi_mutex);
    if (retval != 0) error_set_message("pthr_mutex_unlock(&(filep->fi_mutex))", ERR_SYSTEM, {err_errno(retval)});
}

// Takes block out of the chain; the caller holds fi_mutex (or is alone).
void unlink_block(a_blockinfo* block) {
    if (block->bi_prev != nullptr) block->bi_prev->bi_next = block->bi_next;
    if (block->bi_next != nullptr) block->bi_next->bi_prev = block->bi_prev;
    if (xml_file.fi_head == block) xml_file.fi_head = block->bi_next;
    block->bi_prev = nullptr;
    block->bi_next = nullptr;
}

void release_memory(a_blockinfo* block) {
    mem_sysfree(block->bi_buff);
    mem_sysfree(block);
    live_blocks.fetch_sub(1, std::memory_order_relaxed);
}

// Drops one reference (any thread). The thread that drops the last one unlinks the block
// under fi_mutex and frees it; the count itself needs no lock, since only a holder adds to
// it and a block without holder is never found again.
void drop_ref(a_blockinfo* block) {
    if (std::atomic_ref<std::int32_t>(block->bi_refs).fetch_sub(1, std::memory_order_acq_rel) > 1) return;
    if (!lock_file()) return;  // stays in the chain, freed with it at the end of the file
    unlink_block(block);
    unlock_file();
    release_memory(block);
}

// The reader's release of its hold on a block; returns the block that followed it. The
// reader holds that successor too, so no other thread changes the link read here.
a_blockinfo* drop_hold(a_blockinfo* block) {
    a_blockinfo* next = block->bi_next;
    drop_ref(block);
    return next;
}

// One more reference to a block the reader holds.
void add_hold(a_blockinfo* block) {
    std::atomic_ref<std::int32_t>(block->bi_refs).fetch_add(1, std::memory_order_relaxed);
}

// Drops the reader's hold on every block from `from` up to, not including, `to`.
void release_holds(a_blockinfo* from, a_blockinfo* to) {
    while (from != nullptr && from != to) from = drop_hold(from);
}

// Closes the mark: the reader keeps only the current block (and what follows it).
void close_mark() {
    if (mark_info.mi_startblk != nullptr) release_holds(mark_info.mi_startblk, xml_file.fi_currblk);
    mark_info.mi_start = nullptr;
    mark_info.mi_maybe = nullptr;
    mark_info.mi_startblk = nullptr;
    mark_info.mi_endblk = nullptr;
    mark_info.mi_disabled = 0;
}

// Fills block with the next bytes of the file: as many reads as it takes to fill it or
// reach the end, so that a short read from a pipe or a network file system is not taken
// for the end of the file.
bool io_read_blockinfo(a_fileinfo* filep, a_blockinfo* blockp) {
    std::size_t got = 0;
    while (got < filep->fi_blocksz) {
        const ssize_t n = read(filep->fi_fd, blockp->bi_buff + got, filep->fi_blocksz - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error_set_message("(int)read(filep->fi_fd, blockp->bi_buff, filep->fi_blocksz)", ERR_SYSTEM,
                              {err_errno(errno)});
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    blockp->bi_len = got;
    blockp->bi_start = blockp->bi_buff;
    blockp->bi_end = blockp->bi_buff + got;
    if (got < filep->fi_blocksz) filep->fi_eof = 1;
    return true;
}

// A new block of the file, read; NULL (recorded) on failure.
a_blockinfo* read_new_block() {
    a_blockinfo* blockp = io_new_blockinfo(xml_file.fi_blocksz);
    if (blockp == nullptr) {
        error_set_message("io_new_blockinfo(filep->fi_blocksz)", ERR_NULL);
        return nullptr;
    }
    if (!io_read_blockinfo(&xml_file, blockp)) {
        error_set_message("io_read_blockinfo(filep, blockp)", ERR_NULL);
        release_memory(blockp);
        return nullptr;
    }
    return blockp;
}

void free_chain() {
    a_blockinfo* block = xml_file.fi_head;
    while (block != nullptr) {
        a_blockinfo* next = block->bi_next;
        release_memory(block);
        block = next;
    }
    xml_file.fi_head = nullptr;
    xml_file.fi_currblk = nullptr;
}

}  // namespace

void io_set_blocksize(std::uint32_t size) { forced_blocksize.store(size, std::memory_order_relaxed); }

std::uint32_t io_count_blockinfo() { return live_blocks.load(std::memory_order_relaxed); }

a_blockinfo* io_new_blockinfo(std::size_t size) {
    auto* blockp = static_cast<a_blockinfo*>(mem_sysmalloc(sizeof(a_blockinfo)));
    if (blockp == nullptr) {
        error_set_message("(a_blockinfo_ptr)mem_sysmalloc(sizeof(a_blockinfo))", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    // One byte beyond the capacity: a token that ends at the end of the data still gets
    // its terminator inside the buffer.
    auto* buffer = size < SIZE_MAX ? static_cast<char*>(mem_sysmalloc(size + 1)) : nullptr;
    if (buffer == nullptr) {
        error_set_message("(a_str)mem_sysmalloc(blk_sz)", ERR_SYSTEM, {err_errno(errno)});
        mem_sysfree(blockp);
        return nullptr;
    }
    std::memset(static_cast<void*>(blockp), 0, sizeof *blockp);
    blockp->bi_id = ++xml_file.fi_blkcount;
    blockp->bi_refs = 1;
    blockp->bi_size = size;
    blockp->bi_buff = buffer;
    blockp->bi_start = buffer;
    blockp->bi_end = buffer;
    live_blocks.fetch_add(1, std::memory_order_relaxed);
    return blockp;
}

void io_free_blockinfo(a_blockinfo* block) {
    if (block == nullptr) return;
    if (!lock_file()) return;
    unlink_block(block);
    unlock_file();
    if (xml_file.fi_currblk == block) xml_file.fi_currblk = nullptr;  // reading thread only
    release_memory(block);
}

void io_tryfree_blockinfo(a_blockinfo* block) {
    if (block != nullptr) drop_ref(block);
}

bool io_init() {
    if (reader_open) return true;
    xml_file = a_fileinfo{};
    xml_file.fi_fd = -1;
    mark_info = a_markinfo{};
    if (!io_init_fileinfo()) return false;
    reader_open = true;
    return true;
}

bool io_init_fileinfo() {
    a_fileinfo* filep = &xml_file;
    const std::int32_t num = glob_getnum_config(xcfg_xmlfilename);
    if (num == -1) {
        error_set_message("num == -1", ERR_CONDITION);
        return false;
    }
    const char* file_name = glob_get_string(xcfg_xmlfilename, 0);
    if (file_name == nullptr) {
        error_set_message("glob_get_string(xcfg_xmlfilename, 0)", ERR_NULL);
        return false;
    }
    int retval = pthr_mutex_init(&filep->fi_mutex, posix_inited() ? &thr_info.th_mutattr : nullptr);
    if (retval != 0) {
        error_set_message("pthr_mutex_init(&filep->fi_mutex, &thr_info.th_mutattr)", ERR_SYSTEM, {err_errno(retval)});
        return false;
    }
    filep->fi_fd = open(file_name, O_RDONLY | O_CLOEXEC);
    if (filep->fi_fd < 0) {
        error_set_message("open((char *)file_name, O_RDONLY)", ERR_SYSTEM, {err_errno(errno)});
        pthr_mutex_destroy(&filep->fi_mutex);
        return false;
    }
    struct stat fs {};
    if (fstat(filep->fi_fd, &fs) != 0) {
        error_set_message("fstat(filep->fi_fd, &fs)", ERR_SYSTEM, {err_errno(errno)});
    } else {
        const std::uint32_t forced = forced_blocksize.load(std::memory_order_relaxed);
        filep->fi_blocksz = forced != 0 ? forced
                            : fs.st_blksize > 0 && fs.st_blksize <= (1 << 24) ? static_cast<std::uint32_t>(fs.st_blksize)
                                                                              : default_blocksize;
        a_blockinfo* blockp = read_new_block();
        if (blockp != nullptr) {
            filep->fi_head = blockp;
            filep->fi_currblk = blockp;
            return true;
        }
    }
    close(filep->fi_fd);
    filep->fi_fd = -1;
    pthr_mutex_destroy(&filep->fi_mutex);
    return false;
}

bool io_deinit() {
    if (!reader_open) return true;
    const bool ok = io_deinit_fileinfo();
    reader_open = false;
    return ok;
}

bool io_deinit_fileinfo() {
    a_fileinfo* filep = &xml_file;
    bool ok = true;
    int retval = pthr_mutex_destroy(&filep->fi_mutex);
    if (retval != 0) {
        error_set_message("pthr_mutex_destroy(&filep->fi_mutex)", ERR_SYSTEM, {err_errno(retval)});
        ok = false;
    }
    if (filep->fi_fd >= 0 && close(filep->fi_fd) == -1) {
        error_set_message("close(filep->fi_fd) == -1", ERR_SYSTEM, {err_errno(errno)});
        ok = false;
    }
    filep->fi_fd = -1;
    free_chain();
    mark_info = a_markinfo{};
    return ok;
}

char* io_get_first_char() {
    const a_fileinfo* filep = &xml_file;
    if (filep->fi_currblk == nullptr) {
        error_set_message("filep->fi_currblk == NULL", ERR_CONDITION);
        return nullptr;
    }
    if (filep->fi_currblk->bi_prev != nullptr || filep->fi_currblk->bi_id != 1) {
        error_set_message("filep->fi_currblk->prev != NULL", ERR_CONDITION);
        return nullptr;
    }
    return filep->fi_currblk->bi_start;
}

a_blockinfo* io_next_blockinfo() {
    a_fileinfo* filep = &xml_file;
    a_blockinfo* old = filep->fi_currblk;
    if (old == nullptr) return nullptr;
    // The reader holds every block after the current one, so no other thread can unlink
    // the successor while it is read here.
    a_blockinfo* next = old->bi_next;
    if (next == nullptr) {
        if (filep->fi_eof) {
            filep->fi_currblk = nullptr;
            // A token still open at the end of the input is dropped with its holds (the
            // current block being gone, closing the mark releases up to the last one).
            if (mark_info.mi_startblk != nullptr)
                close_mark();
            else
                drop_hold(old);
            return nullptr;
        }
        next = read_new_block();
        if (next == nullptr) return nullptr;
        if (!lock_file()) {
            release_memory(next);
            return nullptr;
        }
        next->bi_prev = old;
        old->bi_next = next;
        unlock_file();
    }
    filep->fi_currblk = next;
    if (mark_info.mi_startblk == nullptr) drop_hold(old);
    return next;
}

bool io_advance_blockinfo(char** pos) {
    if (*pos == nullptr) return true;
    for (;;) {
        a_blockinfo* block = io_next_blockinfo();
        if (block == nullptr) return true;
        // Blocks emptied by a joined token are passed over: only the end of the file ends
        // the input.
        if (block->bi_start < block->bi_end) {
            *pos = block->bi_start;
            return false;
        }
    }
}

void io_start_markinfo(char* pos) {
    if (mark_info.mi_startblk != nullptr) release_holds(mark_info.mi_startblk, xml_file.fi_currblk);
    mark_info.mi_start = pos;
    mark_info.mi_maybe = nullptr;
    mark_info.mi_endblk = nullptr;
    mark_info.mi_startblk = xml_file.fi_currblk;
}

void io_disable_markinfo() { mark_info.mi_disabled = 1; }

void io_cancel_markinfo() { close_mark(); }

char* io_end_markinfo(a_strmark* ref, char* pos) {
    a_fileinfo* filep = &xml_file;
    a_markinfo& mark = mark_info;
    ref->str = nullptr;
    ref->blk = nullptr;
    if (mark.mi_startblk == nullptr) {
        error_set_message("io_end_markinfo", ERR_IO_NOMARK, {err_int(tag_counter.xtc_line)});
        return nullptr;
    }
    const bool disabled = mark.mi_disabled != 0;
    const bool tentative = mark.mi_maybe != nullptr;
    a_blockinfo* const current = filep->fi_currblk;
    a_blockinfo* const start = mark.mi_startblk;
    a_blockinfo* const endblk = tentative ? mark.mi_endblk : current;
    char* const endp = tentative ? mark.mi_maybe : pos;

    if (start == endblk) {
        if (tentative) *endp = '\0';
        ref->str = mark.mi_start;
        if (!disabled) {
            add_hold(start);
            ref->blk = start;
        }
        close_mark();
        return pos;
    }

    // The token crosses blocks: its bytes, with the byte at its end, move into a joined
    // block, so that the chain still holds the file's bytes once each and in order.
    std::size_t tot_bytes = static_cast<std::size_t>(start->bi_end - mark.mi_start);
    for (a_blockinfo* b = start->bi_next; b != endblk; b = b->bi_next) tot_bytes += b->bi_len;
    tot_bytes += static_cast<std::size_t>(endp - endblk->bi_start) + 1;
    a_blockinfo* joined = io_new_blockinfo(tot_bytes + INTR_EXTRA);
    if (joined == nullptr) {
        error_set_message("io_new_blockinfo(tot_bytes + INTR_EXTRA)", ERR_NULL);
        close_mark();
        return nullptr;
    }
    char* out = joined->bi_buff;
    const std::size_t head = static_cast<std::size_t>(start->bi_end - mark.mi_start);
    std::memcpy(out, mark.mi_start, head);
    out += head;
    for (a_blockinfo* b = start->bi_next; b != endblk; b = b->bi_next) {
        std::memcpy(out, b->bi_start, b->bi_len);
        out += b->bi_len;
    }
    const std::size_t tail = static_cast<std::size_t>(endp - endblk->bi_start) + 1;
    std::memcpy(out, endblk->bi_start, tail);
    out += tail;
    *out = '\0';
    joined->bi_end = out;
    joined->bi_len = tot_bytes;

    start->bi_end = mark.mi_start;
    start->bi_len = static_cast<std::size_t>(start->bi_end - start->bi_start);
    endblk->bi_start = endp + 1;
    endblk->bi_len = static_cast<std::size_t>(endblk->bi_end - endblk->bi_start);
    release_holds(start->bi_next, endblk);  // wholly copied

    if (!lock_file()) {
        release_memory(joined);
        close_mark();
        return nullptr;
    }
    joined->bi_prev = start;
    joined->bi_next = endblk;
    start->bi_next = joined;
    endblk->bi_prev = joined;
    if (!tentative && !disabled) add_hold(joined);  // the token's, beside the reader's hold
    unlock_file();

    ref->str = joined->bi_start;
    char* resume = pos;
    if (tentative) {
        // The copied blank ends the token; the reader stays where it is, past the blanks.
        out[-1] = '\0';
        ref->blk = joined;  // the token owns the creation reference
        release_holds(endblk, current);
    } else {
        // The reader goes on from the copy of the end byte, so that the caller's terminator
        // lands in the joined block; the creation reference is the reader's hold.
        filep->fi_currblk = joined;
        if (!disabled) ref->blk = joined;
        resume = out - 1;
    }
    drop_hold(start);
    mark.mi_start = nullptr;
    mark.mi_maybe = nullptr;
    mark.mi_startblk = nullptr;
    mark.mi_endblk = nullptr;
    mark.mi_disabled = 0;
    return resume;
}

void io_free_markinfo(a_strmark* ref) {
    if (ref == nullptr) return;
    if (ref->blk != nullptr) drop_ref(ref->blk);
    ref->str = nullptr;
    ref->blk = nullptr;
}
