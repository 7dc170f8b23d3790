// posix: the module's thin layer over POSIX threads. Every lock, thread and key call of
// measdoc goes through here so that the lock calls can be inert before the thread unit
// starts (the configuration and the heap are used during start-up from one thread) and
// so that tests can make a chosen call fail.
#ifndef MEASDOC_MD_POSIX_H
#define MEASDOC_MD_POSIX_H

#include <pthread.h>

#include <cstddef>

// Marks the wrappers initialised: from now on the mutex calls act. Called by thr_init.
void posix_init();
// Makes the mutex calls inert again. Called by thr_deinit after the workers have left.
void posix_deinit();
// True between posix_init and posix_deinit.
bool posix_inited();

// Each returns what the POSIX call of the same name (with "pthread_") returns: 0 or an
// error number.
int pthr_attr_init(pthread_attr_t* attr);
int pthr_attr_destroy(pthread_attr_t* attr);
int pthr_attr_setdetachstate(pthread_attr_t* attr, int state);
int pthr_attr_getstacksize(const pthread_attr_t* attr, std::size_t* size);
int pthr_attr_setstacksize(pthread_attr_t* attr, std::size_t size);
int pthr_condattr_init(pthread_condattr_t* attr);
int pthr_condattr_destroy(pthread_condattr_t* attr);
int pthr_cond_init(pthread_cond_t* cond, const pthread_condattr_t* attr);
int pthr_cond_destroy(pthread_cond_t* cond);
int pthr_cond_signal(pthread_cond_t* cond);
int pthr_cond_wait(pthread_cond_t* cond, pthread_mutex_t* mutex);
int pthr_create(pthread_t* id, const pthread_attr_t* attr, void* (*start)(void*), void* arg);
[[noreturn]] void pthr_exit(void* value);
int pthr_join(pthread_t id, void** value);
int pthr_mutexattr_init(pthread_mutexattr_t* attr);
int pthr_mutexattr_destroy(pthread_mutexattr_t* attr);
int pthr_mutexattr_settype(pthread_mutexattr_t* attr, int type);
int pthr_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t* attr);
int pthr_key_create(pthread_key_t* key, void (*destructor)(void*));
int pthr_setspecific(pthread_key_t key, const void* value);
int pthr_key_delete(pthread_key_t key);

// Inert (0, or NULL for getspecific) while the wrappers are not initialised.
int pthr_mutex_lock(pthread_mutex_t* mutex);
int pthr_mutex_unlock(pthread_mutex_t* mutex);
int pthr_mutex_destroy(pthread_mutex_t* mutex);
void* pthr_getspecific(pthread_key_t key);

// Writes the system's text for errnum into buffer (always terminated when size > 0).
// Returns 0, or -1 when there is no text or no room.
int posix_strerror(int errnum, char* buffer, std::size_t size);

// Test control: the countdown-th following call of the named wrapper (1 = the next one)
// fails with errnum (a failing unlock still releases the mutex); 0 disarms. Lets the tests
// reach the lock-failure paths that a healthy system never takes.
enum class posix_fault_call { mutex_lock, mutex_unlock, mutex_init, create, count };
void posix_set_fault(posix_fault_call call, unsigned countdown, int errnum);

#endif
