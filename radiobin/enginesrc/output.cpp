// output: the line buffer and the output stream of the PIF writer. Called by the record
// walk (section lines, pair mode) and the counter decoder (one field per counter).
#include "output.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "logmsg.h"

namespace {

struct line_buffer {
    std::array<char, output_buffer_size> text{};
    std::size_t length = 0;
    int fields = 0;
    bool spilled = false;  // the start of the line is already in the file (overflow)
};

std::FILE* fp = nullptr;
line_buffer output_str;   // the line being built; num_fields_in_output is its field count
line_buffer storeage_str; // saved copy for pair mode
bool write_failed = false;

// Finished lines collect here and reach the stream in large writes: a conversion writes
// millions of short lines, and a stream call per line costs more than building it.
constexpr std::size_t pending_size = 1 << 16;
std::array<char, pending_size> pending;
std::size_t pending_used = 0;

void write_out(const char* bytes, std::size_t count) {
    if (std::fwrite(bytes, 1, count, fp) != count) {
        logmsg(LOG_ERROR, "Output: error while writing to the output file");
        write_failed = true;
    }
}

void flush_pending() {
    if (fp && pending_used > 0) write_out(pending.data(), pending_used);
    pending_used = 0;
}

[[gnu::noinline]] void put_raw_flushing(std::string_view text) {
    flush_pending();
    if (text.size() > pending_size) {
        write_out(text.data(), text.size());
        return;
    }
    copy_short(pending.data(), text.data(), text.size());
    pending_used = text.size();
}

inline void put_raw(std::string_view text) {
    if (!fp || text.empty()) return;
    if (pending_used + text.size() > pending_size) {
        put_raw_flushing(text);
        return;
    }
    copy_short(pending.data() + pending_used, text.data(), text.size());
    pending_used += text.size();
}

void append(std::string_view text) {
    if (text.empty()) return;
    copy_short(output_str.text.data() + output_str.length, text.data(), text.size());
    output_str.length += text.size();
}

}  // namespace

int OutputOpenFile(const char* name) {
    if (fp) OutputCloseFile();
    if (!name || *name == '\0') {
        logmsg(LOG_ERROR, "Output: No filename supplied");
        return 0;
    }
    // Truncate: a shorter new file must not keep the tail of an older one.
    fp = std::fopen(name, "wb");
    if (!fp) {
        logmsg(LOG_ERROR, "Output: Can't open the file '%s' for writting", name);
        return 0;
    }
    pending_used = 0;
    write_failed = false;
    return 1;
}

namespace {

// Writes the line so far, without line feed, when `count` more bytes would leave no room
// for the line feed and terminator still to come; the line continues in the emptied
// buffer, so the file still gets it whole.
void make_room(std::size_t count) {
    if (output_str.length + count + 2 <= output_buffer_size) return;
    writetofile();
    output_str.length = 0;
    output_str.spilled = true;
    logmsg(LOG_PROGRESS, "Output: Unrequested write to file of the output buffer, due to overflow");
}

}  // namespace

namespace {

// A field that does not fit into what is left of the buffer. Separators need room too:
// a line of thousands of empty fields must not run past the buffer.
[[gnu::noinline]] int append_field_at_the_limit(std::string_view text) {
    if (output_str.fields > 0) {
        make_room(1);
        output_str.text[output_str.length++] = '|';
    }
    if (!text.empty()) {
        make_room(text.size());
        if (text.size() + 2 > output_buffer_size) {
            put_raw(text);  // longer than any line the buffer could hold
            text = {};
        }
        append(text);
    }
    ++output_str.fields;
    return 1;
}

}  // namespace

int OutputData(std::string_view text) {
    const std::size_t separator = output_str.fields > 0 ? 1 : 0;
    if (output_str.length + separator + text.size() + 2 > output_buffer_size) return append_field_at_the_limit(text);
    if (separator) output_str.text[output_str.length++] = '|';
    append(text);
    ++output_str.fields;
    return 1;
}

int OutputWriteToFile() {
    // A line whose last field went around the buffer has nothing left in it, yet needs
    // its line feed.
    if (output_str.length > 0 || output_str.spilled) {
        // OutputData always leaves room for the line feed after the text: line and line
        // feed go out in one write, and the line itself stays as it was.
        output_str.text[output_str.length] = '\n';
        put_raw({output_str.text.data(), output_str.length + 1});
    }
    return 1;
}

std::string_view OutputStoreInit() {
    output_str.length = 0;
    output_str.fields = 0;
    output_str.spilled = false;
    storeage_str.length = 0;
    storeage_str.fields = 0;
    storeage_str.spilled = false;
    return OutputLine();
}

namespace {

// Pair mode copies a line per block: copy only the part in use.
void copy_line(line_buffer& to, const line_buffer& from) {
    std::memcpy(to.text.data(), from.text.data(), from.length);
    to.length = from.length;
    to.fields = from.fields;
    to.spilled = from.spilled;
}

}  // namespace

int OutputStore() {
    copy_line(storeage_str, output_str);
    return 0;
}

int OutputRestore() {
    copy_line(output_str, storeage_str);
    return 0;
}

int OutputCloseFile() {
    if (!fp) return 0;
    flush_pending();
    const bool closed = std::fclose(fp) == 0;
    fp = nullptr;
    if (!closed) logmsg(LOG_ERROR, "Output: problems closing the file");
    const bool whole = closed && !write_failed;
    write_failed = false;
    return whole ? 1 : 0;
}

int writetofile() {
    put_raw(OutputLine());
    return 1;
}

std::string_view OutputLine() { return {output_str.text.data(), output_str.length}; }
