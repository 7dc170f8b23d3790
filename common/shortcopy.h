// shortcopy: copying a few bytes without a library call. The PIF writers and bertree's
// printer move millions of fields, labels and blanks of a handful of characters each;
// a call into the C library per piece costs more than the copy itself.
#ifndef PM_COMMON_SHORTCOPY_H
#define PM_COMMON_SHORTCOPY_H

#include <cstddef>
#include <cstring>

// Copies `count` bytes between non-overlapping areas. Up to 32 bytes go as two copies of
// a fixed size that may overlap each other, which compile to plain moves.
inline void copy_short(char* to, const char* from, std::size_t count) {
    if (count >= 16) {
        if (count > 32) {
            std::memcpy(to, from, count);
            return;
        }
        std::memcpy(to, from, 16);
        std::memcpy(to + count - 16, from + count - 16, 16);
    } else if (count >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + count - 8, from + count - 8, 8);
    } else if (count >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + count - 4, from + count - 4, 4);
    } else if (count >= 2) {
        std::memcpy(to, from, 2);
        std::memcpy(to + count - 2, from + count - 2, 2);
    } else if (count == 1) {
        *to = *from;
    }
}

#endif
