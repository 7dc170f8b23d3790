// thread: the module's threads and a conversion run. The host's thread reads and tokenizes
// the file while worker threads convert the sections it hands over (the children of the
// root element, or runs of blocks of a large data section while it is still read); at the end the host's thread joins the workers, collects their blocks in
// document order and merges their messages. The registry finds each thread's error area
// through th_key; th_memmtx is the heap lock. Lock order: th_peermtx, then th_datamtx;
// th_errmtx alone; the heap, block and index locks are leaves.
#ifndef MEASDOC_MD_THREAD_H
#define MEASDOC_MD_THREAD_H

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "md_error.h"
#include "md_memory.h"

struct a_taginfo;
struct a_measinfo;

#ifndef MEASDOC_THR_MAX_NUM
#define MEASDOC_THR_MAX_NUM 4
#endif
// Workers of this build: 4 with worker threads (also the default thread number), 0 in the
// build without them, where every section is converted on the reading thread.
constexpr int thr_max_num = MEASDOC_THR_MAX_NUM;  // per build variant: internal linkage
// Most workers a configuration may ask for; a larger number (as unsigned) gets two.
inline constexpr std::uint32_t thr_max_workers = 8;
inline constexpr std::uint32_t thr_fallback_workers = 2;
// Largest stack a worker may ask for; a larger size (as unsigned) gets the default.
inline constexpr std::size_t thr_max_stacksz = 8388608;
inline constexpr std::size_t thr_default_stacksz = 3145728;
// Size of the blocks by which a thread's pool grows.
inline constexpr std::size_t thr_pool_blocksz = 1 << 20;

// The blocks of one converted section, kept by the thread that converted it (in its pool)
// until the end of the run puts all sections in document order.
struct a_thrsection {
    std::uint32_t ts_seq;       // the section element's ti_seq
    a_measinfo* ts_blocks;      // its blocks; the first one's mmi_tail is the last
    a_thrsection* ts_next;
};

// One thread's record: the host's thread uses th_main, each worker its own heap record.
struct a_thrrec {
    pthread_t tr_id;
    a_errinfo tr_error;         // this thread's error area and warning list
    a_meminfo tr_meminfo;       // this thread's pool
    a_thrsection* tr_result;    // the sections this thread converted in the run
    a_thrrec* tr_next;          // next record of th_thrlist
};

// One task of the stack: an element handed over by the tokenizer.
struct a_thrpart;

struct a_xmldata {
    a_taginfo* xd_tagp;
    a_thrpart* xd_part;         // a part of a data section (xd_tagp its stand-in), or NULL
    a_xmldata* xd_next;
};

struct a_thrinfo {
    std::uint32_t th_done;          // input exhausted
    a_errinfo* th_error;            // first published error of the run, or NULL
    a_warninfo* th_warnings;        // merged warning list, greatest text first
    a_thrrec th_main;               // the reading (host's) thread
    a_thrrec* th_thrlist;           // th_main first, then the workers, last created first
    a_xmldata* th_data;             // top of the task stack
    pthread_key_t th_key;           // thread -> its a_thrrec
    pthread_attr_t th_thrattr;
    pthread_mutexattr_t th_mutattr; // type normal, used for every mutex of the module
    pthread_condattr_t th_condattr;
    pthread_cond_t th_datacond;     // a task was pushed, or the stack is finished
    pthread_cond_t th_roomcond;     // a task was taken, or a worker left
    std::uint32_t th_pending;       // tasks on the stack
    std::uint32_t th_left;          // workers that have left the run
    pthread_mutex_t th_memmtx;      // serialises heap calls
    pthread_mutex_t th_datamtx;     // guards th_data and th_done
    pthread_mutex_t th_peermtx;     // one idle worker at a time waits for tasks
    pthread_mutex_t th_errmtx;      // guards th_error
};

extern a_thrinfo thr_info;

// Converts one section: gets a list of blocks and the section element (with its subtree),
// returns the list with the section's blocks in front (the first one's mmi_tail naming
// the last), the list unchanged (a header or footer section), or NULL on failure with the
// error recorded. It releases the section's tree when done with it. The workers pass an
// empty list for every section, so that a failing section loses no earlier blocks and
// the end of the run can put the sections in document order.
using thr_converter = a_measinfo* (*)(a_measinfo* list, a_taginfo* section);

// Makes fn the section converter of the following runs (NULL: the default, which only
// releases the section's tree). The parse side installs its entry point here.
void thr_set_converter(thr_converter fn);
// The default converter.
a_measinfo* thr_release_section(a_measinfo* list, a_taginfo* section);

// Module start, after the configuration: creates the locks and the key and starts the
// workers (threadNumber: 1 to 8 as given, 0 none, larger two; none in the build without
// workers), which wait for tasks. Keeps the reading thread's pending error. Returns 1, or
// 0 (recorded) with everything it made undone. A second call while started returns 1.
bool thr_init();
// One conversion run on the host's thread: tokenizes the file, lets the workers (or, with
// none, this thread) convert the sections, joins the workers, stores the blocks of all
// sections in document order in measdata, and merges the messages. A run started while an
// error is pending fails at once with that error. Returns 1 when the run left no error.
bool thr_run_xml();
// Hands an element to the workers when it is a child of the root (other elements: 1, no
// action), then waits while more sections wait on the stack than there are workers (until
// a worker takes one, or leaves). With no worker, converts it at once on this thread.
// Returns 0 (code 4) once an error is published, or when the allocation fails.
bool thr_add_task(a_taginfo* tag);
// Called as each child of a section ends: the blocks of a large data section leave for the
// workers in parts while the rest of it is read (only with workers). Returns 0 (recorded)
// when a part cannot be handed over.
bool thr_add_block(a_taginfo* tag);
// size bytes, zero-filled, from the calling thread's pool; NULL (recorded) on failure or
// on a thread without record.
void* thr_malloc(std::size_t size);
// Releases what the calling thread took with thr_malloc since its current section began.
// Returns 1, or 0 (recorded).
bool thr_destroy_session();
// Module end: releases waiting workers (no run made), frees every record, pool, warning and
// left task, destroys the locks. Returns 1, or 0 (recorded) when something could not be
// released (the rest is released all the same).
bool thr_deinit();
// The worker start routine.
void* thr_process_task(void* thr);
// Workers started and not yet joined.
int thr_worker_count();

// The parts in which the last run's large data sections left for the workers, and how many
// of them were kept. A part that is not kept has its section converted again, whole: the
// work is done twice.
struct a_thrparts {
    std::size_t tp_cut;
    std::size_t tp_kept;
};
a_thrparts thr_part_count();

#endif
