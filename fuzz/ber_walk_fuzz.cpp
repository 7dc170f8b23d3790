// Fuzz target for the BER decoder: both walks over the same input, through a memory
// stream (size unknown to the decoder) and through a regular file (size known).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "asn1object.h"
#include "asn1parse.h"

namespace {

void touch(asn1_object& rec, std::uint32_t level, void* context) {
    auto* sum = static_cast<std::uint64_t*>(context);
    *sum += rec.tag + level + rec.length;
    if (rec.data && rec.length) *sum += rec.data[rec.length - 1];  // content must be readable
    std::string text;
    if (rec.data) copy_string_data(text, rec.data.get(), rec.length);
}

void walk_both(std::FILE* stream) {
    asn1_ptr root = asn1_parse_stream(stream);
    if (root) {
        std::FILE* sink = std::fopen("/dev/null", "w");
        asn1_object_print(root.get(), 0, sink);
        std::fclose(sink);
    }
    std::rewind(stream);
    asn1_object rec;
    std::uint32_t prlen = 0, indent = 0;
    std::uint64_t sum = 0;
    asn1_process(stream, &rec, &prlen, &indent, nullptr, touch, &sum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (std::FILE* m = fmemopen(const_cast<std::uint8_t*>(data), size, "rb")) {
        walk_both(m);
        std::fclose(m);
    }
    static std::string path = [] {
        char name[] = "/tmp/ber_walk_fuzz_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    if (std::FILE* f = std::fopen(path.c_str(), "w+b")) {
        std::fwrite(data, 1, size, f);
        std::fflush(f);
        std::rewind(f);
        walk_both(f);
        std::fclose(f);
    }
    return 0;
}
