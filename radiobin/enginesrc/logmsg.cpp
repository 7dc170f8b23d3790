// logmsg: log settings, the log writer and the shared warning texts. Everything here is
// process-wide and lives until the process ends; the host sets it once through logopen.
#include "logmsg.h"

#include <unistd.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "file_handle.h"

std::string log_filename;
int log_level = LOG_ERROR;
int pid = 0;

const std::array<const char*, warnmsg_count> warnmsg = {
    "",
    "",
    "WARNING : Failed to open file %s",
    "WARNING : Unknown line in config file:%s",
    "WARNING : Ignoring unknown block number: %s",
    "WARNING : Ignoring unknown clause:%s",
    "WARNING : Offset too big in line:%s",
    "WARNING : Size too big in line:%s",
    "WARNING : Block %d has no counters",
    "WARNING : Block %d has a counter with no name",
    "WARNING : Counter %s in block %d has a weird size %d",
    "WARNING : There are no blocks defined by the configuration file",
    "WARNING : Failed to open file: %s",
    "WARNING : Failed to read system header record in file: %s",
    "WARNING : File is not a performance measurement file: %s",
    "",
    "WARNING : pgrh header record size not as expected in: %s",
    "WARNING : Failed to read the performance header from file: %s",
    "",
    "",
    "WARNING : Record size not an integral number in file: %s",
    "",
    "WARNING : Failed to move to first data record in file: %s",
    "",
    "",
    "",
    "WARNING : Checksum failed on input file %s",
    " PGRH: File '%s' corrupt. Record file size '%d' differs from system file size '%d'.",
    "",
    "WARNING : Failed to read a complete record from input file",
    "",
    "",
    "WARNING : Failed to open output file %s",
    "WARNING : Counter %s size %s in block type %d cannot print",
    "",
    "",
    "WARNING : Block %d counter %s offset beyond end of record",
};

bool logopen(std::string_view log_file_name, int level) {
    log_level = level;
    pid = static_cast<int>(getpid());
    // A shorter name than the one given would be another file, perhaps in another directory.
    const bool usable = log_file_name.size() < PATH_MAX && log_file_name.find('\0') == std::string_view::npos;
    log_filename.assign(usable ? log_file_name : std::string_view{});
    return usable;
}

namespace {

void write_line(std::FILE* out, int level, const char* format, va_list args) {
    const std::time_t now = std::time(nullptr);
    char when[32] = "";
    if (!ctime_r(&now, when)) when[0] = '\0';
    when[24] = '\0';  // ctime's text ends in a line feed at 24
    std::fprintf(out, "[%d] %s %d:%d ", pid, when, log_level, level);
    std::vfprintf(out, format, args);
    std::fputc('\n', out);
}

}  // namespace

void logmsg(int level, const char* format, ...) {
    if (!log_wanted(level)) return;
    va_list args;
    va_start(args, format);
    if (!log_filename.empty()) {
        if (file_ptr out{std::fopen(log_filename.c_str(), "a")}) write_line(out.get(), level, format, args);
    } else if (isatty(fileno(stderr))) {
        write_line(stderr, level, format, args);
    }
    va_end(args);
}
