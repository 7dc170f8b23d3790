// pmalloc: heap allocation that reports exhaustion as NULL instead of throwing, for the
// decoders and writers whose callers expect a failure code rather than an exception.
#ifndef PM_COMMON_PMALLOC_H
#define PM_COMMON_PMALLOC_H

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

// A new T, or NULL when the heap is exhausted.
template <class T, class... Args>
std::unique_ptr<T> pm_new(Args&&... args) noexcept {
    try {
        return std::make_unique<T>(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// An array of n uninitialised T, or NULL when the heap is exhausted.
template <class T>
std::unique_ptr<T[]> pm_new_array(std::size_t n) noexcept {
    try {
        return std::make_unique_for_overwrite<T[]>(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// An array of n zero-filled T, or NULL when the heap is exhausted.
template <class T>
std::unique_ptr<T[]> pm_new_zeroed_array(std::size_t n) noexcept {
    try {
        return std::make_unique<T[]>(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Runs `work` and returns true, or false when the heap ran out while it ran; for the
// functions that report exhaustion as a result rather than an exception.
template <class Work>
bool pm_try(Work&& work) noexcept {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

#endif
