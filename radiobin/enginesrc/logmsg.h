// logmsg: the log settings of the module and the one function through which every radiobin
// unit (and zelpaal) reports. Written by the host through logopen; read by everyone else.
// Also holds warnmsg, the table of warning texts that the units share.
#ifndef RADIOBIN_LOGMSG_H
#define RADIOBIN_LOGMSG_H

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// Message levels. A message is written when its level is at most log_level.
enum log_levels : int {
    LOG_ERROR = 1,      // the file or configuration cannot be used
    LOG_INPUT = 2,      // something wrong with the input file
    LOG_DECODE = 3,     // configuration and decoding warnings
    LOG_RELEASE = 4,    // release outside the configured range
    LOG_PROGRESS = 5,
    LOG_DETAIL = 6,
    LOG_TRACE = 7,
    LOG_CONFIG = 8,     // every line of the block-layout file
    LOG_INTERNAL = 20,  // notes for whoever debugs the walk itself
};

extern std::string log_filename;  // empty: no log file
extern int log_level;
extern int pid;

// Stores the log file name and level, and takes the process id. A name is never cut: one
// the system cannot open as a path (PATH_MAX or longer, or holding a NUL) leaves the
// module without log file and returns false, for the caller to say so.
bool logopen(std::string_view log_file_name, int level);

// True when a message of this level would be written: the one level test, which logmsg
// makes itself. Callers ask it only to skip work a suppressed message would waste:
// building its arguments, or a run of trace lines on the per-record and per-counter paths.
inline bool log_wanted(int level) { return level <= log_level; }

// Writes "[pid] time configured:level message\n" to the log file (opened and closed per
// line, so several processes can share it), or to standard error when no file is set and
// standard error is a terminal. A log file that cannot be opened loses the line.
void logmsg(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Indexes into warnmsg. The empty slots are kept so that the numbering stays stable.
enum warn_index : std::size_t {
    W_CFG_OPEN = 2,
    W_CFG_UNKNOWN_LINE = 3,
    W_CFG_BLOCK_NUMBER = 4,
    W_CFG_CLAUSE = 5,
    W_CFG_OFFSET = 6,
    W_CFG_SIZE = 7,
    W_CFG_NO_COUNTERS = 8,
    W_CFG_NO_NAME = 9,
    W_CFG_WEIRD_SIZE = 10,
    W_CFG_NO_BLOCKS = 11,
    W_OPEN_INPUT = 12,
    W_SYSTEM_HEADER = 13,
    W_NOT_PM_FILE = 14,
    W_PGRH_SIZE = 16,
    W_PGRH_READ = 17,
    W_RECORD_SIZE = 20,
    W_FIRST_RECORD = 22,
    W_CHECKSUM = 26,
    W_FILE_CORRUPT = 27,
    W_SHORT_RECORD = 29,
    W_OPEN_OUTPUT = 32,
    W_CANNOT_PRINT = 33,
    W_OFFSET_BEYOND = 36,
};
inline constexpr std::size_t warnmsg_count = 37;
extern const std::array<const char*, warnmsg_count> warnmsg;

#endif
