// Fuzz target for the radiobin converter: the input is an Alcatel BSS binary file,
// converted through zelpaal and the engine with a fixed block layout that has plain
// counters of every size, a big-endian block, special block types, a repeated group and
// a paired measurement type. The output goes to a scratch directory.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config.h"
#include "logmsg.h"
#include "zelpaal.h"

namespace {

constexpr const char* layout = R"(
BLOCK 110 COUNTER := "mcc_mnc" OFFSET := 0 SIZE := 1 END
BLOCK 110 COUNTER := "s2" OFFSET := 1 SIZE := 2 END
BLOCK 110 COUNTER := "s4" OFFSET := 3 SIZE := 4 END
BLOCK 110 COUNTER := "s6" OFFSET := 7 SIZE := 6 END
BLOCK 110 COUNTER := "txt" OFFSET := 13 SIZE := 16 END
BLOCK 110 COUNTER := "s3" OFFSET := 29 SIZE := 3 END
BLOCK 111 ENDIAN_ORDER := "BIG_ENDIAN" COUNTER := "b2" OFFSET := 0 SIZE := 2 END
BLOCK 111 COUNTER := "b4" OFFSET := 2 SIZE := 4 END
BLOCK 112 COUNTER := "hdr" OFFSET := 0 SIZE := 1 END
BLOCK 112 COUNTER := "ga" OFFSET := 1 SIZE := 2 REPEAT_START END
BLOCK 112 COUNTER := "gb" OFFSET := 3 SIZE := 1 REPEAT_END := 8 END
BLOCK 112 COUNTER := "tail" OFFSET := 40 SIZE := 1 END
BLOCK 113 COUNTER := "z" OFFSET := 0 SIZE := 1 REPEAT_START END
BLOCK 113 COUNTER := "zend" OFFSET := 0 SIZE := 1 REPEAT_END := 30 END
BLOCK 1125 COUNTER := "sp" OFFSET := 3 SIZE := 2 END
BLOCK 91 COUNTER := "sp" OFFSET := 0 SIZE := 1 END
BLOCK 121 COUNTER := "p" OFFSET := 0 SIZE := 2 END
BLOCK 122 COUNTER := "q" OFFSET := 0 SIZE := 1 END
BLOCK 1000 COUNTER := "x" OFFSET := 0 SIZE := 4 END
)";

std::string scratch(const char* what) {
    char name[] = "/tmp/radiobin_file_fuzz_XXXXXX";
    if (!mkdtemp(name)) std::abort();
    return std::string(name) + what;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = scratch("");
    static const std::string input = dir + "/PMRES001.01a.7.";
    static const bool configured = [] {
        const std::string cfg = dir + "/layout.cfg";
        if (std::FILE* f = std::fopen(cfg.c_str(), "wb")) {
            std::fputs(layout, f);
            std::fclose(f);
        }
        logopen("", 0);
        return config_initialise(cfg.c_str(), -32768, 32767) == 0;
    }();
    if (!configured) std::abort();
    if (std::FILE* f = std::fopen(input.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    std::string out_name;
    process_file_v3(input.c_str(), dir.c_str(), "OMC", out_name, "N", "R");
    if (!out_name.empty()) std::remove(out_name.c_str());
    free_allocated_memory(out_name);
    return 0;
}
