// thread: the module's thread state, the workers and a conversion run. The host glue calls
// thr_init, thr_run_xml and thr_deinit; the tokenizer hands sections over with
// thr_add_task, and the blocks of a large data section in parts with thr_add_block, so
// that a file of one section keeps the workers busy while it is read; the parse side
// allocates its results with thr_malloc and abandons a section with thr_destroy_session.
#include "md_thread.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "md_conf.h"
#include "md_parse.h"
#include "md_posix.h"
#include "md_xml.h"

a_thrinfo thr_info{};
a_measdata measdata{};

// One part of a data section on its way through a worker.
struct a_thrpart {
    a_taginfo tp_shell{};           // the section, with the part's blocks and shared elements as children
    a_taginfo* tp_oldest = nullptr; // the part's first block: its sibling link is bent to the shared elements
    a_taginfo* tp_sibling = nullptr;// that link as the tokenizer made it
    a_partscope tp_scope;
    a_measinfo* tp_blocks = nullptr;// the worker's result, NULL when the part is not to be kept
    bool tp_done = false;           // under th_datamtx
};

namespace {

std::atomic<thr_converter> converter{thr_release_section};

// Host's thread only.
bool thread_started = false;   // between thr_init and thr_deinit
int workers = 0;               // started and not joined
bool join_failed = false;      // a worker may still run: its record and the locks stay

// What thr_init has made, so that a failure part-way and thr_deinit undo exactly that.
enum : unsigned {
    made_thrattr = 1u << 0,
    made_key = 1u << 1,
    made_mutattr = 1u << 2,
    made_condattr = 1u << 3,
    made_datacond = 1u << 4,
    made_datamtx = 1u << 5,
    made_peermtx = 1u << 6,
    made_errmtx = 1u << 7,
    made_memmtx = 1u << 8,
    made_roomcond = 1u << 9,
};
unsigned made = 0;

// Blocks of one section are cut into a part once they hold this many elements: enough to
// keep the shared elements' cost per part small, few enough that the workers start while
// the section is still read.
constexpr std::uint32_t part_elements = 16384;

// A data section converted in parts (host's thread only; the parts' outcomes are read
// once they are done).
struct split_section {
    a_taginfo* section = nullptr;
    a_taginfo* shared = nullptr;        // its children before the first block, newest first
    a_taginfo* run_oldest = nullptr;    // the oldest block not yet in a part
    std::uint32_t boundary = 0;         // ti_seq of the first block
    bool blocks_seen = false;
    bool whole = false;                 // another child after a block: convert it whole
    bool closed = false;
    std::vector<std::unique_ptr<a_thrpart>> parts;
    a_thrsection result{};
};
std::vector<std::unique_ptr<split_section>> splits;   // document order; the last may be open
std::vector<std::unique_ptr<split_section>> settled;  // results kept until the run collects them
const a_taginfo* whole_section = nullptr;             // the open section when it is not split
a_thrparts part_count{};                              // of the current or last run

void record_retval(const char* expression, int retval) {
    error_set_message(expression, ERR_SYSTEM, {err_errno(retval)});
}

// Reads th_error under th_errmtx. A lock failure is recorded and counts as published, so
// that the caller stops.
bool error_published() {
    int retval = pthr_mutex_lock(&thr_info.th_errmtx);
    if (retval != 0) {
        record_retval("pthr_mutex_lock(&thr_info.th_errmtx)", retval);
        return true;
    }
    const bool published = thr_info.th_error != nullptr;
    retval = pthr_mutex_unlock(&thr_info.th_errmtx);
    if (retval != 0) record_retval("pthr_mutex_unlock(&thr_info.th_errmtx)", retval);
    return published;
}

// Publishes thr's error when it has one and none is published yet. Returns whether any
// error is published now (the thread then stops).
bool publish(a_thrrec* thr) {
    int retval = pthr_mutex_lock(&thr_info.th_errmtx);
    if (retval != 0) {
        record_retval("pthr_mutex_lock(&thr_info.th_errmtx)", retval);
        return true;  // collected after the join instead
    }
    if (thr->tr_error.code != 0 && thr_info.th_error == nullptr) thr_info.th_error = &thr->tr_error;
    const bool stop = thr_info.th_error != nullptr;
    retval = pthr_mutex_unlock(&thr_info.th_errmtx);
    if (retval != 0) record_retval("pthr_mutex_unlock(&thr_info.th_errmtx)", retval);
    return stop;
}

// A worker whose key could not be set would find no area of its own through the registry:
// its failure is written into its record directly, in the registry's layout.
void record_without_key(a_thrrec* thr, int retval, unsigned line) {
    a_errinfo* area = &thr->tr_error;
    char desc[256];
    if (posix_strerror(retval, desc, sizeof desc) != 0) std::snprintf(desc, sizeof desc, "%d", retval);
    char file[64];
    error_get_filename(__FILE__, file, sizeof file);
    const int n = std::snprintf(area->text, error_text_size, "ERROR: %.*s [error desc - %s] [pthr_setspecific - %s:%u] ",
                                static_cast<int>(errtype_str[ERR_SYSTEM].size()), errtype_str[ERR_SYSTEM].data(), desc,
                                file, line);
    area->code = ERR_SYSTEM;
    area->cursor = area->text + (n > 0 && n < static_cast<int>(error_text_size) ? n : error_text_size - 1);
}

// Takes the newest task, waiting while the stack is empty and not finished. *leave is set
// when the stack is finished and empty. Failures are recorded; the thread's code then
// ends it.
a_taginfo* take_task(bool* leave, a_thrpart** part) {
    int retval = pthr_mutex_lock(&thr_info.th_peermtx);
    if (retval != 0) {
        record_retval("pthr_mutex_lock(&thr_info.th_peermtx)", retval);
        return nullptr;
    }
    retval = pthr_mutex_lock(&thr_info.th_datamtx);
    if (retval != 0) {
        record_retval("pthr_mutex_lock(&thr_info.th_datamtx)", retval);
        pthr_mutex_unlock(&thr_info.th_peermtx);
        return nullptr;
    }
    // The stack is checked before th_done, so tasks left when it is finished still run.
    // The wait is repeated while there is nothing to do: a wake-up without a push is not
    // an error.
    while (thr_info.th_data == nullptr && !thr_info.th_done) {
        retval = pthr_cond_wait(&thr_info.th_datacond, &thr_info.th_datamtx);
        if (retval != 0) {
            record_retval("pthr_cond_wait(&thr_info.th_datacond, &thr_info.th_datamtx)", retval);
            break;
        }
    }
    a_xmldata* data = thr_info.th_data;
    if (data != nullptr) {
        thr_info.th_data = data->xd_next;
        --thr_info.th_pending;
        retval = pthr_cond_signal(&thr_info.th_roomcond);
        if (retval != 0) record_retval("pthr_cond_signal(&thr_info.th_roomcond)", retval);
    } else if (thr_info.th_done)
        *leave = true;
    else
        error_set_message("data == NULL", ERR_THREAD_NODATA);
    retval = pthr_mutex_unlock(&thr_info.th_datamtx);
    if (retval != 0) record_retval("pthr_mutex_unlock(&thr_info.th_datamtx)", retval);
    retval = pthr_mutex_unlock(&thr_info.th_peermtx);
    if (retval != 0) record_retval("pthr_mutex_unlock(&thr_info.th_peermtx)", retval);
    if (data == nullptr) return nullptr;
    a_taginfo* tagp = data->xd_tagp;
    *part = data->xd_part;
    mem_sysfree(data);
    if (tagp == nullptr) error_set_message("tagp == NULL", ERR_THREAD_NOTAG);
    return tagp;
}

// Converts one section and keeps its blocks for the end of the run.
void convert_section(a_thrrec* thr, a_taginfo* tagp) {
    // Marks the pool (initialises it the first time), so that an abandoned section can be
    // dropped back to here.
    if (!mem_init(&thr->tr_meminfo)) {
        error_set_message("mem_init(&thr->tr_meminfo)", ERR_NULL);
        return;
    }
    // A section's results take megabytes: a page at a time, the workers would queue on
    // the heap lock for every few dozen values.
    mem_set_blocksize(&thr->tr_meminfo, thr_pool_blocksz);
    const std::uint32_t seq = tagp->ti_seq;
    // Each section starts a list of its own: its blocks can then be put in document order
    // at the end, and a failing section cannot take earlier ones with it.
    a_measinfo* blocks = converter.load(std::memory_order_acquire)(nullptr, tagp);
    if (blocks == nullptr) return;
    auto* section = static_cast<a_thrsection*>(thr_malloc(sizeof(a_thrsection)));
    if (section == nullptr) {
        error_set_message("(a_thrsection_ptr)thr_malloc(sizeof(a_thrsection))", ERR_NULL);
        return;
    }
    section->ts_seq = seq;
    section->ts_blocks = blocks;
    section->ts_next = thr->tr_result;
    thr->tr_result = section;
}

// Converts one part of a section. Whatever the part records is dropped with it: when it
// matters, the whole section is converted after all and records it in its place.
void convert_part(a_thrrec* thr, a_thrpart* part) {
    a_measinfo* blocks = nullptr;
    if (!mem_init(&thr->tr_meminfo)) {
        error_set_message("mem_init(&thr->tr_meminfo)", ERR_NULL);
    } else {
        mem_set_blocksize(&thr->tr_meminfo, thr_pool_blocksz);
        const a_errinfo kept = thr->tr_error;
        thr->tr_error = a_errinfo{};
        blocks = parse_process_part(&part->tp_shell, &part->tp_scope);
        if (thr->tr_error.code != 0 || thr->tr_error.warnings != nullptr) blocks = nullptr;
        error_free_warnings(&thr->tr_error);
        thr->tr_error = kept;
        if (blocks == nullptr) thr_destroy_session();
    }
    int retval = pthr_mutex_lock(&thr_info.th_datamtx);
    if (retval != 0) {
        record_retval("pthr_mutex_lock(&thr_info.th_datamtx)", retval);
        return;
    }
    part->tp_blocks = blocks;
    part->tp_done = true;
    retval = pthr_cond_signal(&thr_info.th_roomcond);
    if (retval != 0) record_retval("pthr_cond_signal(&thr_info.th_roomcond)", retval);
    retval = pthr_mutex_unlock(&thr_info.th_datamtx);
    if (retval != 0) record_retval("pthr_mutex_unlock(&thr_info.th_datamtx)", retval);
}

// The worker loop: runs tasks until the stack is finished and empty or an error is
// published. Returns when the thread is to leave; on the reading thread (no workers) it
// returns to the tokenizer.
void worker_loop(a_thrrec* thr) {
    if (error_published()) return;
    if (pthr_getspecific(thr_info.th_key) == nullptr) {
        const unsigned line = __LINE__ + 1;
        const int done = pthr_setspecific(thr_info.th_key, thr);
        if (done != 0) {
            record_without_key(thr, done, line);
            publish(thr);
            return;
        }
    }
    for (;;) {
        bool leave = false;
        a_thrpart* part = nullptr;
        a_taginfo* tagp = take_task(&leave, &part);
        if (leave) return;
        if (part != nullptr)
            convert_part(thr, part);
        else if (tagp != nullptr)
            convert_section(thr, tagp);
        if (publish(thr)) return;
    }
}

// Marks the stack finished, wakes the waiting worker and joins every worker. Returns 0
// (recorded) when a worker could not be joined.
bool finish_workers() {
    int retval = pthr_mutex_lock(&thr_info.th_datamtx);
    if (retval != 0) record_retval("pthr_mutex_lock(&thr_info.th_datamtx)", retval);
    thr_info.th_done = 1;
    retval = pthr_cond_signal(&thr_info.th_datacond);
    if (retval != 0) record_retval("pthr_cond_signal(&thr_info.th_datacond)", retval);
    retval = pthr_mutex_unlock(&thr_info.th_datamtx);
    if (retval != 0) record_retval("pthr_mutex_unlock(&thr_info.th_datamtx)", retval);

    bool ok = true;
    for (a_thrrec* thr = thr_info.th_thrlist; thr != nullptr && workers > 0; thr = thr->tr_next) {
        if (thr == &thr_info.th_main) continue;
        retval = pthr_join(thr->tr_id, nullptr);
        if (retval != 0) {
            record_retval("pthr_join(thr->tr_id, NULL)", retval);
            ok = false;
            join_failed = true;
        }
    }
    workers = 0;
    return ok;
}

a_thrsection* merge_sections(a_thrsection* a, a_thrsection* b) {
    a_thrsection head{};
    a_thrsection* tail = &head;
    while (a != nullptr && b != nullptr) {
        a_thrsection*& smaller = a->ts_seq <= b->ts_seq ? a : b;
        tail->ts_next = smaller;
        tail = smaller;
        smaller = smaller->ts_next;
    }
    tail->ts_next = a != nullptr ? a : b;
    return head.ts_next;
}

// Sorts sections by sequence number (a merge sort: lists of any length, no recursion on
// their length).
a_thrsection* sort_sections(a_thrsection* list) {
    // runs[i] holds a sorted run of 2^i sections.
    a_thrsection* runs[64] = {};
    while (list != nullptr) {
        a_thrsection* one = list;
        list = list->ts_next;
        one->ts_next = nullptr;
        int i = 0;
        for (; i < 63 && runs[i] != nullptr; ++i) {
            one = merge_sections(runs[i], one);
            runs[i] = nullptr;
        }
        runs[i] = merge_sections(runs[i], one);
    }
    a_thrsection* sorted = nullptr;
    for (a_thrsection* run : runs) sorted = merge_sections(run, sorted);
    return sorted;
}

// Chains the blocks of every thread's sections in document order into measdata.
void collect_results() {
    a_thrsection* all = nullptr;
    for (a_thrrec* thr = thr_info.th_thrlist; thr != nullptr; thr = thr->tr_next) {
        while (thr->tr_result != nullptr) {
            a_thrsection* section = thr->tr_result;
            thr->tr_result = section->ts_next;
            section->ts_next = all;
            all = section;
        }
    }
    a_measinfo* head = nullptr;
    a_measinfo* tail = nullptr;
    for (a_thrsection* section = sort_sections(all); section != nullptr; section = section->ts_next) {
        a_measinfo* first = section->ts_blocks;
        if (tail == nullptr)
            head = first;
        else
            tail->mmi_next = first;
        tail = first;
        while (tail->mmi_next != nullptr) tail = tail->mmi_next;
    }
    if (head != nullptr) head->mmi_tail = tail;
    measdata.md_measinfo = head;
}

// Destroys what `made` says was created, in the reverse order of creation.
bool destroy_made() {
    bool ok = true;
    auto check = [&ok](int retval, const char* expression) {
        if (retval == 0) return;
        record_retval(expression, retval);
        ok = false;
    };
    if (made & made_memmtx) check(pthr_mutex_destroy(&thr_info.th_memmtx), "pthr_mutex_destroy(&thr_info.th_memmtx)");
    if (made & made_errmtx) check(pthr_mutex_destroy(&thr_info.th_errmtx), "pthr_mutex_destroy(&thr_info.th_errmtx)");
    if (made & made_peermtx)
        check(pthr_mutex_destroy(&thr_info.th_peermtx), "pthr_mutex_destroy(&thr_info.th_peermtx)");
    if (made & made_datamtx)
        check(pthr_mutex_destroy(&thr_info.th_datamtx), "pthr_mutex_destroy(&thr_info.th_datamtx)");
    if (made & made_roomcond)
        check(pthr_cond_destroy(&thr_info.th_roomcond), "pthr_cond_destroy(&thr_info.th_roomcond)");
    if (made & made_datacond)
        check(pthr_cond_destroy(&thr_info.th_datacond), "pthr_cond_destroy(&thr_info.th_datacond)");
    if (made & made_condattr)
        check(pthr_condattr_destroy(&thr_info.th_condattr), "pthr_condattr_destroy(&thr_info.th_condattr)");
    if (made & made_mutattr)
        check(pthr_mutexattr_destroy(&thr_info.th_mutattr), "pthr_mutexattr_destroy(&thr_info.th_mutattr)");
    // The registry looks up the key while the wrappers act: they stop before it goes.
    posix_deinit();
    if (made & made_key) check(pthr_key_delete(thr_info.th_key), "pthr_key_delete(thr_info.th_key)");
    if (made & made_thrattr) check(pthr_attr_destroy(&thr_info.th_thrattr), "pthr_attr_destroy(&thr_info.th_thrattr)");
    made = 0;
    return ok;
}

// Releases every record, pool, warning and left task, then the locks: the end of
// thr_deinit, and the undoing of a failed thr_init.
bool release_all() {
    bool ok = true;
    if (workers > 0 && !finish_workers()) ok = false;
    if (join_failed) return false;  // a worker may still use its record and the locks

    a_thrrec* thr = thr_info.th_thrlist;
    while (thr != nullptr) {
        a_thrrec* next = thr->tr_next;
        a_meminfo* meminfo = &thr->tr_meminfo;
        if (!mem_destroy(meminfo, false)) {
            error_set_message("mem_destroy(meminfo, FALSE)", ERR_NULL);
            ok = false;
        }
        thr->tr_result = nullptr;
        error_free_warnings(&thr->tr_error);
        if (thr != &thr_info.th_main) mem_sysfree(thr);
        thr = next;
    }
    thr_info.th_thrlist = nullptr;
    thr_info.th_main.tr_next = nullptr;
    settled.clear();
    error_free_warnmsgs();
    while (thr_info.th_data != nullptr) {
        a_xmldata* data = thr_info.th_data;
        thr_info.th_data = data->xd_next;
        mem_sysfree(data);
    }
    if (!destroy_made()) ok = false;
    thread_started = false;
    return ok;
}

}  // namespace

void thr_set_converter(thr_converter fn) {
    converter.store(fn != nullptr ? fn : thr_release_section, std::memory_order_release);
}

a_measinfo* thr_release_section(a_measinfo* list, a_taginfo* section) {
    xml_free_taginfo(section);
    return list;
}

int thr_worker_count() { return workers; }

a_thrparts thr_part_count() { return part_count; }

bool thr_init() {
    if (thread_started) return true;
    const std::int32_t thr_stacksz = glob_getnum_value(xcfg_threadstacksize, 0);
    const std::int32_t thr_number = glob_getnum_value(xcfg_threadnum, 0);

    // A start-up error recorded before (the configuration's) must outlive the reset.
    const a_errinfo pending = thr_info.th_main.tr_error;
    thr_info = a_thrinfo{};
    thr_info.th_main.tr_error = pending;
    thr_info.th_main.tr_error.cursor = pending.cursor;
    thr_info.th_thrlist = &thr_info.th_main;
    workers = 0;
    join_failed = false;
    made = 0;
    thread_started = true;

    auto fail = [](const char* expression, int retval) {
        record_retval(expression, retval);
        release_all();
        return false;
    };
    int retval = pthr_attr_init(&thr_info.th_thrattr);
    if (retval != 0) return fail("pthr_attr_init(&thr_info.th_thrattr)", retval);
    made |= made_thrattr;
    retval = pthr_attr_setdetachstate(&thr_info.th_thrattr, PTHREAD_CREATE_JOINABLE);
    if (retval != 0) return fail("pthr_attr_setdetachstate(&thr_info.th_thrattr, PTHREAD_CREATE_JOINABLE)", retval);
    const std::uint32_t asked = static_cast<std::uint32_t>(thr_stacksz);
    const std::size_t stack_size = asked > thr_max_stacksz ? thr_default_stacksz : asked;
    retval = pthr_attr_setstacksize(&thr_info.th_thrattr, stack_size);
    if (retval != 0) return fail("pthr_attr_setstacksize(&thr_info.th_thrattr, thr_stacksz)", retval);
    retval = pthr_key_create(&thr_info.th_key, nullptr);
    if (retval != 0) return fail("pthr_key_create(&thr_info.th_key, NULL)", retval);
    made |= made_key;
    // From here the locks act and the registry finds areas through the key (before, a
    // lookup would read whatever key number the zeroed state names).
    posix_init();
    retval = pthr_mutexattr_init(&thr_info.th_mutattr);
    if (retval != 0) return fail("pthr_mutexattr_init(&thr_info.th_mutattr)", retval);
    made |= made_mutattr;
    retval = pthr_mutexattr_settype(&thr_info.th_mutattr, PTHREAD_MUTEX_NORMAL);
    if (retval != 0) return fail("pthr_mutexattr_settype(&thr_info.th_mutattr, PTHREAD_MUTEX_NORMAL)", retval);
    retval = pthr_condattr_init(&thr_info.th_condattr);
    if (retval != 0) return fail("pthr_condattr_init(&thr_info.th_condattr)", retval);
    made |= made_condattr;
    retval = pthr_cond_init(&thr_info.th_datacond, &thr_info.th_condattr);
    if (retval != 0) return fail("pthr_cond_init(&thr_info.th_datacond, &thr_info.th_condattr)", retval);
    made |= made_datacond;
    retval = pthr_cond_init(&thr_info.th_roomcond, &thr_info.th_condattr);
    if (retval != 0) return fail("pthr_cond_init(&thr_info.th_roomcond, &thr_info.th_condattr)", retval);
    made |= made_roomcond;
    retval = pthr_mutex_init(&thr_info.th_datamtx, &thr_info.th_mutattr);
    if (retval != 0) return fail("pthr_mutex_init(&thr_info.th_datamtx, &thr_info.th_mutattr)", retval);
    made |= made_datamtx;
    retval = pthr_mutex_init(&thr_info.th_peermtx, &thr_info.th_mutattr);
    if (retval != 0) return fail("pthr_mutex_init(&thr_info.th_peermtx, &thr_info.th_mutattr)", retval);
    made |= made_peermtx;
    retval = pthr_mutex_init(&thr_info.th_errmtx, &thr_info.th_mutattr);
    if (retval != 0) return fail("pthr_mutex_init(&thr_info.th_errmtx, &thr_info.th_mutattr)", retval);
    made |= made_errmtx;
    retval = pthr_mutex_init(&thr_info.th_memmtx, &thr_info.th_mutattr);
    if (retval != 0) return fail("pthr_mutex_init(&thr_info.th_memmtx, &thr_info.th_mutattr)", retval);
    made |= made_memmtx;

    const std::uint32_t asked_workers = static_cast<std::uint32_t>(thr_number);
    std::uint32_t count = asked_workers <= thr_max_workers ? asked_workers : thr_fallback_workers;
    if (thr_max_num == 0) count = 0;  // the build without worker threads
    for (std::uint32_t i = 0; i < count; ++i) {
        auto* thr_node = static_cast<a_thrrec*>(mem_sysmalloc(sizeof(a_thrrec)));
        if (thr_node == nullptr) return fail("(a_thrrec_ptr)mem_sysmalloc(sizeof(a_thrrec))", errno);
        std::memset(static_cast<void*>(thr_node), 0, sizeof *thr_node);
        retval = pthr_create(&thr_node->tr_id, &thr_info.th_thrattr, thr_process_task, thr_node);
        if (retval != 0) {
            mem_sysfree(thr_node);
            return fail("pthr_create(&(thr_node->tr_id), &thr_info.th_thrattr, thr_process_task, thr_node)", retval);
        }
        // th_main stays first; the workers follow it, the last created first.
        thr_node->tr_next = thr_info.th_main.tr_next;
        thr_info.th_main.tr_next = thr_node;
        ++workers;
    }
    return true;
}

void* thr_process_task(void* thr) {
    worker_loop(static_cast<a_thrrec*>(thr));
    // A reading thread that waits for room must not wait for a worker that is gone.
    if (pthr_mutex_lock(&thr_info.th_datamtx) == 0) {
        ++thr_info.th_left;
        pthr_cond_signal(&thr_info.th_roomcond);
        pthr_mutex_unlock(&thr_info.th_datamtx);
    }
    return nullptr;
}

namespace {

// Pushes a task (an element, or a part with its stand-in for the section) and waits while
// more tasks wait than there are workers. Returns 0 (recorded) when the task cannot be
// made or the stack not reached.
bool push_task(a_taginfo* tag, a_thrpart* part) {
    auto* task = static_cast<a_xmldata*>(mem_sysmalloc(sizeof(a_xmldata)));
    if (task == nullptr) {
        error_set_message("(a_xmldata_ptr)mem_sysmalloc(sizeof(a_xmldata))", ERR_SYSTEM, {err_errno(errno)});
        return false;
    }
    task->xd_tagp = tag;
    task->xd_part = part;
    int retval = pthr_mutex_lock(&thr_info.th_datamtx);
    if (retval != 0) {
        record_retval("pthr_mutex_lock(&thr_info.th_datamtx)", retval);
        mem_sysfree(task);
        return false;
    }
    task->xd_next = thr_info.th_data;
    thr_info.th_data = task;
    ++thr_info.th_pending;
    // Without workers the stack is drained here at once: finished, so the loop below
    // takes the task and returns instead of waiting.
    if (workers == 0) thr_info.th_done = 1;
    retval = pthr_cond_signal(&thr_info.th_datacond);
    if (retval != 0) record_retval("pthr_cond_signal(&thr_info.th_datacond)", retval);
    // The reader keeps at most as many tasks waiting as there are workers: further ahead,
    // it would only hold their trees and blocks in memory and take processor time from the
    // workers that it waits for in the end anyway.
    while (workers > 0 && thr_info.th_pending > static_cast<std::uint32_t>(workers) && thr_info.th_left == 0) {
        retval = pthr_cond_wait(&thr_info.th_roomcond, &thr_info.th_datamtx);
        if (retval != 0) {
            record_retval("pthr_cond_wait(&thr_info.th_roomcond, &thr_info.th_datamtx)", retval);
            break;
        }
    }
    retval = pthr_mutex_unlock(&thr_info.th_datamtx);
    if (retval != 0) record_retval("pthr_mutex_unlock(&thr_info.th_datamtx)", retval);
    return true;
}

// Hands the blocks from run_oldest to newest over as one part. Returns 0 (recorded) when
// the part cannot be handed over; the tree is then as the tokenizer made it.
bool cut_part(split_section* open, a_taginfo* newest) {
    auto part = std::make_unique<a_thrpart>();
    part->tp_shell = *open->section;
    part->tp_shell.ti_child = newest;
    // The section's own text is still being read: a part never sees it (a section with
    // text is converted whole).
    part->tp_shell.ti_text = a_strmark{};
    part->tp_oldest = open->run_oldest;
    part->tp_sibling = open->run_oldest->ti_sibling;
    part->tp_scope.ps_boundary = open->boundary;
    part->tp_scope.ps_first = open->parts.empty();
    open->run_oldest->ti_sibling = open->shared;
    a_thrpart* handed = part.get();
    open->parts.push_back(std::move(part));
    if (!push_task(&handed->tp_shell, handed)) {
        handed->tp_oldest->ti_sibling = handed->tp_sibling;
        open->parts.pop_back();
        return false;
    }
    open->run_oldest = nullptr;
    ++part_count.tp_cut;
    return true;
}

// Puts the sibling links of a section's parts back as the tokenizer made them.
void unbend(split_section& split) {
    for (const auto& part : split.parts) part->tp_oldest->ti_sibling = part->tp_sibling;
}

// Whether every part of the section is converted; with wait, waits for that until a
// worker leaves (an error is published, the rest is not waited for).
bool parts_done(const split_section& split, bool wait) {
    if (pthr_mutex_lock(&thr_info.th_datamtx) != 0) return false;
    bool done = false;
    for (;;) {
        done = true;
        for (const auto& part : split.parts) done = done && part->tp_done;
        if (done || !wait || thr_info.th_left != 0) break;
        if (pthr_cond_wait(&thr_info.th_roomcond, &thr_info.th_datamtx) != 0) break;
    }
    pthr_mutex_unlock(&thr_info.th_datamtx);
    return done;
}

// Takes the parts' blocks as the section's result when each part gave what the whole
// section gives; otherwise hands the whole section over. Returns 0 (recorded) when it
// cannot be handed over.
bool settle(std::unique_ptr<split_section> split) {
    unbend(*split);
    a_taginfo* section = split->section;
    bool kept = !split->whole && section->ti_text.str == nullptr;
    std::vector<const a_partscope*> scopes;
    for (const auto& part : split->parts) {
        kept = kept && part->tp_blocks != nullptr;
        scopes.push_back(&part->tp_scope);
    }
    if (!kept || !parse_parts_agree(scopes)) return push_task(section, nullptr);
    a_measinfo* head = split->parts.front()->tp_blocks;
    a_measinfo* tail = head->mmi_tail;
    for (std::size_t i = 1; i < split->parts.size(); ++i) {
        a_measinfo* first = split->parts[i]->tp_blocks;
        tail->mmi_next = first;
        tail = first->mmi_tail;
    }
    head->mmi_tail = tail;
    split->result = a_thrsection{section->ti_seq, head, thr_info.th_main.tr_result};
    thr_info.th_main.tr_result = &split->result;
    xml_free_taginfo(section);
    part_count.tp_kept += split->parts.size();
    settled.push_back(std::move(split));
    return true;
}

// Settles the closed sections whose parts are done, in document order; with wait, all
// closed sections (unless a worker leaves). Returns 0 (recorded) when a section cannot be
// handed over whole.
bool settle_splits(bool wait) {
    while (!splits.empty() && splits.front()->closed && parts_done(*splits.front(), wait)) {
        std::unique_ptr<split_section> split = std::move(splits.front());
        splits.erase(splits.begin());
        if (!settle(std::move(split))) return false;
    }
    return true;
}

// After the workers are joined: sections that were not settled (the run failed) get their
// links back, so that the tree can be released.
void drop_splits() {
    for (auto& split : splits) unbend(*split);
    splits.clear();
}

}  // namespace

bool thr_add_block(a_taginfo* tag) {
    if (tag == nullptr || tag->ti_depth != 2 || workers == 0) return true;
    if (converter.load(std::memory_order_acquire) != parse_process_all) return true;
    a_taginfo* section = tag->ti_parent;
    if (section == whole_section) return true;
    split_section* open = !splits.empty() && splits.back()->section == section ? splits.back().get() : nullptr;
    if (open == nullptr) {
        if (parse_part_kind(section, tag) == 0) {
            whole_section = section;
            return true;
        }
        splits.push_back(std::make_unique<split_section>());
        open = splits.back().get();
        open->section = section;
    }
    if (open->whole) return true;
    if (parse_part_kind(section, tag) != 1) {
        // A shared element after a block would be a candidate the earlier parts missed.
        if (open->blocks_seen) open->whole = true;
        // Elements inside a shared one (an mdc file's neid) may have namesakes in blocks
        // of other parts that the whole section would take: every later part would reach
        // outside itself and be converted for nothing.
        else if (tag->ti_child != nullptr) open->whole = true;
        return true;
    }
    if (!open->blocks_seen) {
        open->blocks_seen = true;
        open->shared = tag->ti_sibling;
        open->boundary = tag->ti_seq;
    }
    if (open->run_oldest == nullptr) open->run_oldest = tag;
    if (tag->ti_seq - open->run_oldest->ti_seq < part_elements || error_published()) return settle_splits(false);
    return cut_part(open, tag) && settle_splits(false);
}

bool thr_add_task(a_taginfo* tag) {
    if (tag == nullptr || tag->ti_depth != 1) return true;
    if (error_published()) {
        error_set_message("thr_info.th_error != NULL", ERR_CONDITION);
        return false;
    }
    if (!splits.empty() && splits.back()->section == tag && !splits.back()->closed) {
        split_section& split = *splits.back();
        if (!split.parts.empty()) {
            if (!split.whole && split.run_oldest != nullptr && !cut_part(&split, tag->ti_child)) return false;
            split.closed = true;
            return settle_splits(false);
        }
        splits.pop_back();  // too small to split: converted whole
    }
    if (!push_task(tag, nullptr)) return false;
    if (workers == 0) {
        worker_loop(&thr_info.th_main);
        if (error_published()) return false;
    }
    return true;
}

bool thr_run_xml() {
    bool ok = !error_published();
    splits.clear();
    settled.clear();
    whole_section = nullptr;
    part_count = {};
    // An error left pending by start-up (a pattern that did not compile, an odd key/value
    // list) fails the run before anything is converted with a missing setting.
    if (ok && error_clear_message(0, false) != 0) {
        if (pthr_mutex_lock(&thr_info.th_errmtx) == 0) {
            if (thr_info.th_error == nullptr) thr_info.th_error = &thr_info.th_main.tr_error;
            pthr_mutex_unlock(&thr_info.th_errmtx);
        }
        ok = false;
    }
    if (ok) {
        const int retval = pthr_setspecific(thr_info.th_key, &thr_info.th_main);
        if (retval != 0) {
            record_retval("pthr_setspecific(thr_info.th_key, &thr_info.th_main)", retval);
            ok = false;
        } else {
            // Sections in parts are settled before the end is announced: one may yet
            // have to be converted whole.
            if (xml_parse() && !error_published()) settle_splits(true);
            publish(&thr_info.th_main);
        }
    }
    const bool joined = finish_workers();
    if (joined) drop_splits();
    if (!joined) return false;
    // A failure recorded where it could not be published (a lock that failed) still
    // fails the run.
    for (a_thrrec* thr = thr_info.th_thrlist; thr != nullptr && thr_info.th_error == nullptr; thr = thr->tr_next)
        if (thr->tr_error.code != 0) thr_info.th_error = &thr->tr_error;
    collect_results();
    error_get_message();
    return ok && error_clear_message(0, false) == 0;
}

void* thr_malloc(std::size_t size) {
    auto* thr = static_cast<a_thrrec*>(pthr_getspecific(thr_info.th_key));
    if (thr == nullptr) {
        error_set_message("thr == NULL", ERR_CONDITION);
        return nullptr;
    }
    void* ptr = mem_malloc(&thr->tr_meminfo, size);
    if (ptr != nullptr) std::memset(ptr, 0, size);
    return ptr;
}

bool thr_destroy_session() {
    auto* thr = static_cast<a_thrrec*>(pthr_getspecific(thr_info.th_key));
    if (thr == nullptr) {
        error_set_message("thr == NULL", ERR_CONDITION);
        return false;
    }
    a_meminfo* meminfo = &thr->tr_meminfo;
    if (!mem_destroy(meminfo, true)) {
        error_set_message("mem_destroy(meminfo, TRUE)", ERR_NULL);
        return false;
    }
    return true;
}

bool thr_deinit() {
    if (!thread_started) return true;
    return release_all();
}
