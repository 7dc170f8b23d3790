// thread: process-wide thread state of the module. The registry finds each thread's error
// area through th_key, the heap lock is th_memmtx; the worker machinery that fills the
// rest of thr_info lives in the thread unit.
#ifndef MEASDOC_MD_THREAD_H
#define MEASDOC_MD_THREAD_H

#include <pthread.h>

#include <cstdint>

#include "md_error.h"
#include "md_memory.h"

struct a_taginfo;

// One thread's record: the host's thread uses th_main, each worker its own heap record.
struct a_thrrec {
    pthread_t tr_id;
    a_errinfo tr_error;         // this thread's error area and warning list
    a_meminfo tr_meminfo;       // this thread's pool
    void* tr_result;            // head of the thread's result chain
    a_thrrec* tr_next;          // next record of th_thrlist
};

// One task of the stack: an element handed over by the tokenizer.
struct a_xmldata {
    a_taginfo* xd_tagp;
    a_xmldata* xd_next;
};

struct a_thrinfo {
    std::uint32_t th_done;          // input exhausted
    a_errinfo* th_error;            // first published error of the run, or NULL
    a_warninfo* th_warnings;        // merged warning list, greatest text first
    a_thrrec th_main;               // the reading (host's) thread
    a_thrrec* th_thrlist;           // th_main first, then the workers
    a_xmldata* th_data;             // top of the task stack
    pthread_key_t th_key;           // thread -> its a_thrrec
    pthread_attr_t th_thrattr;
    pthread_mutexattr_t th_mutattr; // type normal, used for every mutex of the module
    pthread_condattr_t th_condattr;
    pthread_cond_t th_datacond;
    pthread_mutex_t th_memmtx;      // serialises heap calls
    pthread_mutex_t th_datamtx;     // guards th_data and th_done
    pthread_mutex_t th_peermtx;     // one idle worker at a time waits for tasks
    pthread_mutex_t th_errmtx;      // guards th_error
};

extern a_thrinfo thr_info;

#endif
