// Fuzz target for measdoc's block reader and tokenizer: a whole run over the input as the
// file, with blocks as small as one byte (the size is picked by the input's length), the
// sections converted and released on the reading thread. After each run every block must
// be gone once the tree is released, whatever the input did.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scratch_input.h"
#include "md_conf.h"
#include "md_error.h"
#include "md_io.h"
#include "md_regex.h"
#include "md_thread.h"
#include "md_xml.h"

namespace {

constexpr std::uint32_t block_sizes[] = {1, 2, 3, 7, 64, 0};

void forget_messages() {
    a_errinfo* area = &thr_info.th_main.tr_error;
    area->code = 0;
    error_free_warnings(area);
    error_free_warnmsgs();
    thr_info.th_error = nullptr;
}

// The configuration lives for the whole session: file name and no worker threads.
bool configure(const std::string& path) {
    const char* file[] = {path.c_str(), nullptr};
    const char* threads[] = {"0", nullptr};
    return regex_init() && glob_set_config(xcfg_xmlfilename, file) && glob_set_config(xcfg_threadnum, threads) &&
           glob_init();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string& path = scratch_input::path("measdoc-xml-fuzz-");
    static const bool ready = configure(path);
    if (!ready) std::abort();
    scratch_input::write("measdoc-xml-fuzz-", data, size);

    io_set_blocksize(block_sizes[size % (sizeof block_sizes / sizeof block_sizes[0])]);
    if (thr_init() && xml_init() && io_init()) thr_run_xml();
    xml_deinit();
    io_deinit();
    thr_deinit();
    forget_messages();
    if (io_count_blockinfo() != 0) __builtin_trap();  // a block outlived every token
    return 0;
}
