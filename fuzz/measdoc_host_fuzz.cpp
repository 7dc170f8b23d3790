// Fuzz target for measdoc's host cycle: every input is converted as a file through what the
// Perl functions call (queue and set the items, start, run, fetch the messages, stop), with
// the layout chosen by the input's first byte, and the number of workers (0 to 8) and the
// read block size (down to one byte) by its length. After the run every record the host would
// export is walked and every text read, so that a record left pointing into released
// memory shows; after the stop nothing may be left.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "scratch_input.h"
#include "host.h"
#include "md_conf.h"
#include "md_error.h"
#include "md_io.h"
#include "md_parse.h"

namespace {

constexpr std::uint32_t block_sizes[] = {1, 2, 3, 7, 64, 0};
constexpr const char* thread_numbers[] = {"0", "1", "2", "4", "8"};

void set_item(int type, const char* value) {
    if (measdoc_add_config(value, std::strlen(value)) != 0 || measdoc_set_config(type) != 0) std::abort();
}

// Reads every text of a chain as the export does.
std::size_t walk(const a_measpair* chain) {
    std::size_t bytes = 0;
    for (const a_measpair* pair = chain; pair != nullptr; pair = pair->mmp_next) {
        if (pair->mmp_name != nullptr) bytes += std::strlen(pair->mmp_name);
        if (pair->mmp_value != nullptr) bytes += std::strlen(pair->mmp_value);
    }
    return bytes;
}

std::size_t walk(const a_measdata& data) {
    std::size_t bytes = walk(data.md_header) + walk(data.md_footer);
    for (const a_measinfo* info = data.md_measinfo; info != nullptr; info = info->mmi_next) {
        bytes += walk(info->mmi_commonhdr);
        for (const a_measvalue* row = info->mmi_measvalue; row != nullptr; row = row->mmv_next)
            bytes += walk(row->mmv_uniquehdr) + walk(row->mmv_measrslt) + walk(row->mmv_suspect) +
                     walk(row->mmv_instanceobj) + walk(row->mmv_blockname);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = scratch_input::write("measdoc-host-fuzz-", data, size);

    set_item(xcfg_xmlfilename, path.c_str());
    set_item(xcfg_xmldocumenttype, size > 0 && (data[0] & 1) != 0 ? "1" : "0");
    set_item(xcfg_threadnum, thread_numbers[size / std::size(block_sizes) % std::size(thread_numbers)]);
    io_set_blocksize(block_sizes[size % std::size(block_sizes)]);
    if (measdoc_init() != 0) std::abort();
    const int run = measdoc_run();
    volatile std::size_t bytes = walk(measdata);
    (void)bytes;
    const char* error = error_get_errmsg();
    if ((run == 0) != (error == nullptr)) std::abort();  // a failure always has its message
    while (error_get_warnmsg() != nullptr) error_pop_warnmsg();
    if (measdoc_deinit() != 0 || measdoc_errored()) std::abort();
    if (measdata.md_header != nullptr || measdata.md_measinfo != nullptr) std::abort();
    error_get_errmsg();  // anything the stop recorded
    return 0;
}
