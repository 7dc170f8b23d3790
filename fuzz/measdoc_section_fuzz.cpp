// Fuzz target for measdoc's section conversion: a whole cycle over the input as the file
// (configuration, workers, tokenizer, reader, parser; run; then everything stopped), with
// the number of workers (0 to 8) and the read block size picked from the input's length,
// the layout and a few expansion settings from its last byte. After the run every exported pair that
// has a name must have a value, and after the cycle no block and no result may be left.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "scratch_input.h"
#include "md_conf.h"
#include "md_error.h"
#include "md_io.h"
#include "md_parse.h"
#include "md_regex.h"
#include "md_thread.h"
#include "md_xml.h"

namespace {

constexpr std::uint32_t block_sizes[] = {1, 2, 3, 7, 64, 0};
constexpr const char* thread_numbers[] = {"0", "1", "2", "4", "8"};

void forget_messages() {
    a_errinfo* area = &thr_info.th_main.tr_error;
    area->code = 0;
    area->cursor = nullptr;
    error_free_warnings(area);
    error_free_warnmsgs();
    thr_info.th_error = nullptr;
}

bool set(int type, std::vector<const char*> values) {
    values.push_back(nullptr);
    return glob_set_config(type, values.data());
}

// The items of one cycle; choice's bits pick the layout and the optional settings.
bool configure(const std::string& path, const char* threads, unsigned choice) {
    bool ok = set(xcfg_xmlfilename, {path.c_str()}) && set(xcfg_threadnum, {threads});
    if (choice & 4) ok = ok && set(xcfg_xmldocumenttype, {"1"});
    if (choice & 8) ok = ok && set(xcfg_timestampctrelemnames, {"mts", "cbt", "granPeriod.endTime"});
    if (choice & 16) ok = ok && set(xcfg_altcntrnames, {"^pm(.*)$[]$1$1", "x$[]y", "^(.)[]\\x41"});
    if (choice & 32) ok = ok && set(xcfg_outblkdesc, {"^([^=]*)=[^,]*,?(.*)$"});
    if (choice & 64) ok = ok && set(xcfg_altcntrval, {"0"}) && set(xcfg_altoutblknames, {"BLOCKNAME", "X"});
    if (choice & 128) ok = ok && set(xcfg_delimcntrelemnames, {"mt", "r", "measTypes", "measResults"}) &&
                      set(xcfg_normcntrelemnames, {"measType"}) && set(xcfg_maxcntrnamesz, {"3"});
    return ok;
}

void check_chain(const a_measpair* pair) {
    for (; pair != nullptr; pair = pair->mmp_next)
        if (pair->mmp_name != nullptr && pair->mmp_value == nullptr) __builtin_trap();
}

// Everything the host glue exports must be complete.
void check_results() {
    check_chain(measdata.md_header);
    check_chain(measdata.md_footer);
    for (const a_measinfo* block = measdata.md_measinfo; block != nullptr; block = block->mmi_next) {
        check_chain(block->mmi_commonhdr);
        for (const a_measvalue* row = block->mmi_measvalue; row != nullptr; row = row->mmv_next) {
            check_chain(row->mmv_uniquehdr);
            check_chain(row->mmv_measrslt);
            check_chain(row->mmv_instanceobj);
            check_chain(row->mmv_suspect);
            if (row->mmv_blockname != nullptr && row->mmv_blockname->mmp_name == nullptr) __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = scratch_input::write("measdoc-section-fuzz-", data, size);

    const unsigned choice = size > 0 ? data[size - 1] : 0;
    io_set_blocksize(block_sizes[size % std::size(block_sizes)]);
    const char* threads = thread_numbers[size / std::size(block_sizes) % std::size(thread_numbers)];
    if (regex_init() && configure(path, threads, choice) && glob_init() &&
        thr_init() && xml_init() && io_init() && parse_init()) {
        thr_run_xml();
        check_results();
    }
    parse_deinit();
    xml_deinit();
    io_deinit();
    thr_deinit();
    glob_deinit();
    regex_deinit();
    forget_messages();
    if (io_count_blockinfo() != 0) __builtin_trap();  // a block outlived every token
    if (measdata.md_measinfo != nullptr || measdata.md_header != nullptr) __builtin_trap();
    return 0;
}
