// output: the line buffer through which every line of a radiobin PIF file is built field
// by field and written to the one open output file. Pair mode of the record walk saves a
// half-built line here and restores it when the block that completes it arrives.
// State is process-wide: one output file at a time.
#ifndef RADIOBIN_OUTPUT_H
#define RADIOBIN_OUTPUT_H

#include <cstddef>
#include <string_view>

#include "shortcopy.h"

inline constexpr std::size_t output_buffer_size = 15000;

// Creates (or truncates) the file and makes it the output. Returns 1 when open, 0 (logged)
// when no name is given or the file cannot be created; the previous file, if any, is
// closed first.
int OutputOpenFile(const char* name);

// Appends one field ("|" before it unless it is the first). A line that would overflow
// the buffer is written out without a line feed and continued, so the file still gets it
// whole. Returns 1.
int OutputData(std::string_view text);

// Writes the line and a line feed when the line has any text; the buffer keeps the line.
// Returns 1.
int OutputWriteToFile();

// Empties the line and the saved copy. Returns the (empty) line.
std::string_view OutputStoreInit();

// Saves the line, or puts the saved copy back. Return 0.
int OutputStore();
int OutputRestore();

// Closes the output file. Returns 1 when every write since OutputOpenFile reached the
// file and the close succeeded, else 0 (logged): a caller must not report a partly
// written file as converted.
int OutputCloseFile();

// Writes the line's text as it stands. Returns 1; a short write is logged and remembered
// for OutputCloseFile.
int writetofile();

// The line being built (for the decoder's tests and traces).
std::string_view OutputLine();

#endif
