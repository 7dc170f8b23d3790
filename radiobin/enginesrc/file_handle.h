// file_handle: an owning stdio stream for the radiobin units that open files for one call
// (log lines, the block-layout file, the input file).
#ifndef RADIOBIN_FILE_HANDLE_H
#define RADIOBIN_FILE_HANDLE_H

#include <cstdio>
#include <memory>

struct file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

#endif
