// Fuzz target for the radiobin block-layout reader: the input is a whole configuration
// file, loaded and checked as config_initialise does for the host.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config.h"
#include "logmsg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        char name[] = "/tmp/radiobin_config_fuzz_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    logopen("", 0);  // no log: standard error stays quiet
    config_initialise(path.c_str(), 0, 99);
    // Every lookup must land on a well-formed record or none.
    for (std::uint32_t n = 0; n < 64; ++n) {
        if (const block_details* b = get_block_data(n)) {
            std::size_t names = 0;
            for (const counter_details& c : b->counters) names += c.name.size();
            if (names > size) std::abort();
        }
    }
    return 0;
}
