// Fuzz target for the BerMeas conversion run: the input is converted as a measurement
// file with the example configuration, PIF files and log included, in a private working
// directory that is emptied after every run. The fuzzer's own directory is the working
// directory between runs, so that its relative corpus paths keep working.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "conf.h"
#include "example_config.h"
#include "parser.h"

namespace {

std::unique_ptr<config> g_fuzz_conf;
char g_work_dir[] = "/tmp/bermeas_fuzz_XXXXXX";
int g_fuzzer_dir = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_fuzzer_dir = open(".", O_RDONLY | O_DIRECTORY);
    if (g_fuzzer_dir < 0 || !mkdtemp(g_work_dir)) abort();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(g_work_dir, ignored);
    });
    // The machine's restart messages go to standard output; keep the fuzzer's own clean.
    if (!std::freopen("/dev/null", "w", stdout)) abort();
    g_fuzz_conf = config_new_for_test();
    if (!g_fuzz_conf) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (chdir(g_work_dir) != 0) abort();
    std::error_code ignored;
    std::filesystem::create_directory("out", ignored);
    if (std::FILE* f = std::fopen("input.ber", "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        parse_input_file("input.ber", "/NETWORK_n/REGION_r/A20261205.1430+0100-1445+0100_RNC.ber",
                         g_fuzz_conf.get(), "out");
    }
    std::filesystem::remove_all("out", ignored);
    std::filesystem::remove("bermeas.log", ignored);
    if (fchdir(g_fuzzer_dir) != 0) abort();
    return 0;
}
