// util2: the primitives that need the heap and the registry (kept apart from util so that
// util stays free of both).
#include <cerrno>
#include <cstring>

#include "md_error.h"
#include "md_memory.h"
#include "md_util.h"

char* util2_strdup(const char* text) {
    const std::size_t len = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(mem_sysmalloc(len));
    if (copy == nullptr) {
        error_set_message("(a_str)mem_sysmalloc(sizeof(a_char) * len)", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    std::memcpy(copy, text, len);
    return copy;
}
