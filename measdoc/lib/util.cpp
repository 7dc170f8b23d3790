// util: string, memory and number primitives of the module. Called everywhere; none of
// them records errors or allocates.
#include "md_util.h"

#include <cstring>

std::size_t util_strlen(const char* text) { return std::strlen(text); }

char* util_strcpy(char* destination, const char* source) {
    const std::size_t length = std::strlen(source);
    std::memcpy(destination, source, length + 1);
    return destination + length;
}

int util_strcmp(const char* a, const char* b) { return std::strcmp(a, b) == 0 ? 0 : -1; }

int util_strcasecmp(const char* a, const char* b) {
    constexpr unsigned char fold = 0x20;
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        if ((*x | fold) != (*y | fold)) return -1;
        // A space folds onto the terminator: the texts are equal only where both end.
        if (*x == '\0' || *y == '\0') return *x == *y ? 0 : -1;
    }
}

void util_memzero(void* area, std::size_t size) { std::memset(area, 0, size); }

void util_memcpy(void* destination, const void* source, std::size_t size) {
    std::memcpy(destination, source, size);
}

char* util_int2decnstr(char* buffer, int width, std::int64_t value) {
    // Digits of the magnitude, least significant first; unsigned so that the most negative
    // value has a magnitude too.
    char digits[24];
    int count = 0;
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const int sign = value < 0 ? 1 : 0;
    const int needed = count + sign;

    if (width > 0) {
        if (needed > width) return buffer;
        char* out = buffer;
        if (sign) *out++ = '-';
        for (int pad = width - needed; pad > 0; --pad) *out++ = '0';
        while (count > 0) *out++ = digits[--count];
        *out = '\0';
        return out;
    }
    if (width < 0 && needed > -(static_cast<std::int64_t>(width)) - 1) return buffer;
    char* out = buffer;
    if (sign) *out++ = '-';
    while (count > 0) *out++ = digits[--count];
    *out = '\0';
    return out;
}

std::int64_t util_decnstr2int(const char** position, int digits, std::int64_t fallback) {
    if (digits <= 0) return 0;
    const char* p = *position;
    std::int64_t value = 0;
    for (int i = 0; i < digits; ++i) {
        if (p[i] < '0' || p[i] > '9') return fallback;  // also stops at the terminator
        value = value * 10 + (p[i] - '0');
    }
    *position = p + digits;
    return value;
}

char* util_addquotes(char* text) {
    if (std::strchr(text, ' ') == nullptr) return text;
    const std::size_t length = std::strlen(text);
    std::memmove(text + 1, text, length);
    text[0] = '"';
    text[length + 1] = '"';
    text[length + 2] = '\0';
    return text;
}

char* util_strusws(char* text) {
    for (char* p = text; *p != '\0'; ++p) {
        switch (*p) {
            case '\t': case '\n': case '\f': case '\r': case ' ':
                *p = '_';
                break;
            default:
                break;
        }
    }
    return text;
}
