// Fuzz target for measdoc's pattern wrapper: compiling a list of patterns with a
// replacement template, building their combined pattern, finding, replacing into a
// buffer of exactly the given size and expanding the template into a tight area.
// Input: first byte = buffer size; then pattern, template, second pattern and subject,
// separated by line feeds (the subject takes the rest).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "md_error.h"
#include "md_regex.h"

namespace {

std::string take_line(const std::uint8_t*& data, std::size_t& size) {
    std::string line;
    while (size > 0 && *data != '\n') {
        line += static_cast<char>(*data);
        ++data;
        --size;
    }
    if (size > 0) {
        ++data;
        --size;
    }
    return line;
}

void destroy_list(a_pregex* newest) {
    if (newest != nullptr && newest->grx_newer != nullptr) regex_destroy_pregex(newest->grx_newer);
    while (newest != nullptr) {
        a_pregex* older = newest->grx_older;
        regex_destroy_pregex(newest);
        newest = older;
    }
}

void forget_messages() {
    a_errinfo* area = error_get_area();
    area->code = 0;
    error_free_warnings(area);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = regex_init();
    if (!ready || size == 0) return 0;
    const std::size_t length = *data++;
    --size;
    // NUL bytes end the texts early, as they would for the module's C strings.
    const std::string pattern = take_line(data, size).c_str();
    const std::string templ = take_line(data, size).c_str();
    const std::string second = take_line(data, size).c_str();
    const std::string subject = std::string(reinterpret_cast<const char*>(data), size).c_str();

    a_pregex* list = nullptr;
    if (regex_compile_pregex(&list, pattern.c_str(), templ.c_str())) {
        std::vector<char> buffer(length);
        regex_replace_pregex(list, subject.c_str(), buffer.empty() ? nullptr : buffer.data(), static_cast<int>(length));

        std::vector<int> vector(static_cast<std::size_t>(list->grx_size));
        if (regex_exec_pregex(list, vector.data(), subject.c_str())) {
            std::vector<char> tight(length % 16);
            regex_replace_str(list, templ.c_str(), tight.data(), tight.data() + tight.size());
            char piece[8];
            for (int i = 0; i < list->grx_count; ++i) regex_get_pregexstr(list, piece, sizeof piece, i);
        }
        if (!second.empty() && regex_compile_pregex(&list, second.c_str(), nullptr) && regex_meta_pregex(list) != nullptr)
            regex_find_pregex(list, subject.c_str());
    }
    for (const char* t = templ.c_str(); *t != '\0'; ++t) {
        int value = 0;
        if (*t == '\\') t = regex_get_escape(t + 1, &value) - 1;
    }
    destroy_list(list);
    forget_messages();
    return 0;
}
