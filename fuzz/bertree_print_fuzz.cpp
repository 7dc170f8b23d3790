// Fuzz target for bertree: the whole program (options, decoding, tree printing) over the
// input as its file, with and without indentation (picked by the input's length). The
// program's main is compiled in under another name; its output goes to /dev/null.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scratch_input.h"

int bertree_main(int argc, char** argv);

namespace {

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The tree goes to standard output; keep the fuzzer's own output readable.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = scratch_input::write("bertree_print_fuzz_", data, size);

    std::string program = "bertree";
    std::string indent = "-i";
    std::string file = path;
    char* with_indent[] = {program.data(), indent.data(), file.data(), nullptr};
    char* plain[] = {program.data(), file.data(), nullptr};
    optind = 0;  // getopt starts afresh for every run
    const int status = size % 2 ? bertree_main(3, with_indent) : bertree_main(2, plain);
    // Any file that opens is printed, however it ends.
    if (status != 0) std::abort();
    return 0;
}
