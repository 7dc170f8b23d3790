// posix: forwards to POSIX threads. The mutex calls and getspecific are inert until
// posix_init so that the configuration and the heap can be used on the host's thread
// before the thread unit has created its locks and key.
#include "md_posix.h"

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

// Set and cleared while only one thread runs; atomic so that late readers need no lock.
std::atomic<bool> thread_inited{false};

struct fault_plan {
    std::atomic<unsigned> countdown{0};
    std::atomic<int> errnum{0};
};
fault_plan fault_plans[static_cast<int>(posix_fault_call::count)];

// True (with the error number) when the armed fault of this call is due now.
bool fault_due(posix_fault_call call, int* errnum) {
    fault_plan& plan = fault_plans[static_cast<int>(call)];
    unsigned left = plan.countdown.load(std::memory_order_relaxed);
    while (left != 0) {
        if (plan.countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            if (left != 1) return false;
            *errnum = plan.errnum.load(std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

}  // namespace

void posix_init() { thread_inited.store(true, std::memory_order_release); }
void posix_deinit() { thread_inited.store(false, std::memory_order_release); }
bool posix_inited() { return thread_inited.load(std::memory_order_acquire); }

void posix_set_fault(posix_fault_call call, unsigned countdown, int errnum) {
    fault_plan& plan = fault_plans[static_cast<int>(call)];
    plan.errnum.store(errnum, std::memory_order_relaxed);
    plan.countdown.store(countdown, std::memory_order_relaxed);
}

int pthr_attr_init(pthread_attr_t* attr) { return pthread_attr_init(attr); }
int pthr_attr_destroy(pthread_attr_t* attr) { return pthread_attr_destroy(attr); }
int pthr_attr_setdetachstate(pthread_attr_t* attr, int state) { return pthread_attr_setdetachstate(attr, state); }
int pthr_attr_getstacksize(const pthread_attr_t* attr, std::size_t* size) {
    return pthread_attr_getstacksize(attr, size);
}
int pthr_attr_setstacksize(pthread_attr_t* attr, std::size_t size) { return pthread_attr_setstacksize(attr, size); }
int pthr_condattr_init(pthread_condattr_t* attr) { return pthread_condattr_init(attr); }
int pthr_condattr_destroy(pthread_condattr_t* attr) { return pthread_condattr_destroy(attr); }
int pthr_cond_init(pthread_cond_t* cond, const pthread_condattr_t* attr) { return pthread_cond_init(cond, attr); }
int pthr_cond_destroy(pthread_cond_t* cond) { return pthread_cond_destroy(cond); }
int pthr_cond_signal(pthread_cond_t* cond) { return pthread_cond_signal(cond); }
int pthr_cond_wait(pthread_cond_t* cond, pthread_mutex_t* mutex) { return pthread_cond_wait(cond, mutex); }
int pthr_create(pthread_t* id, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    int errnum = 0;
    if (fault_due(posix_fault_call::create, &errnum)) return errnum;
    return pthread_create(id, attr, start, arg);
}
void pthr_exit(void* value) { pthread_exit(value); }
int pthr_join(pthread_t id, void** value) { return pthread_join(id, value); }
int pthr_mutexattr_init(pthread_mutexattr_t* attr) { return pthread_mutexattr_init(attr); }
int pthr_mutexattr_destroy(pthread_mutexattr_t* attr) { return pthread_mutexattr_destroy(attr); }
int pthr_mutexattr_settype(pthread_mutexattr_t* attr, int type) { return pthread_mutexattr_settype(attr, type); }
int pthr_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t* attr) {
    int errnum = 0;
    if (fault_due(posix_fault_call::mutex_init, &errnum)) return errnum;
    return pthread_mutex_init(mutex, attr);
}
int pthr_key_create(pthread_key_t* key, void (*destructor)(void*)) { return pthread_key_create(key, destructor); }
int pthr_setspecific(pthread_key_t key, const void* value) { return pthread_setspecific(key, value); }
int pthr_key_delete(pthread_key_t key) { return pthread_key_delete(key); }

int pthr_mutex_lock(pthread_mutex_t* mutex) {
    if (!thread_inited.load(std::memory_order_acquire)) return 0;
    int errnum = 0;
    if (fault_due(posix_fault_call::mutex_lock, &errnum)) return errnum;
    return pthread_mutex_lock(mutex);
}

int pthr_mutex_unlock(pthread_mutex_t* mutex) {
    if (!thread_inited.load(std::memory_order_acquire)) return 0;
    int errnum = 0;
    if (fault_due(posix_fault_call::mutex_unlock, &errnum)) {
        // The caller sees a failed unlock; the mutex itself must not stay held, or the
        // next user would deadlock instead of seeing the recorded failure.
        pthread_mutex_unlock(mutex);
        return errnum;
    }
    return pthread_mutex_unlock(mutex);
}

int pthr_mutex_destroy(pthread_mutex_t* mutex) {
    if (!thread_inited.load(std::memory_order_acquire)) return 0;
    return pthread_mutex_destroy(mutex);
}

void* pthr_getspecific(pthread_key_t key) {
    if (!thread_inited.load(std::memory_order_acquire)) return nullptr;
    return pthread_getspecific(key);
}

int posix_strerror(int errnum, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return -1;
    // The GNU strerror_r always gives a text, but may hand back a static one instead of
    // filling the buffer.
    const char* text = strerror_r(errnum, buffer, size);
    if (text != buffer) {
        std::strncpy(buffer, text, size - 1);
        buffer[size - 1] = '\0';
    }
    return 0;
}
