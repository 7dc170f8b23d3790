// zelpaal: reads what an Alcatel BSS performance file says about itself (record header,
// performance header in one of four layouts, release, sizes, BSS number from the file
// name), checks it, and hands the data records to the record walk. Built as its own
// shared library; the walk, the byte-order conversions, the log and the release bounds
// come from the radiobin units loaded into the same process.
#ifndef RADIOBIN_ZELPAAL_H
#define RADIOBIN_ZELPAAL_H

#include <cstdio>
#include <string>

#include "pgrh.h"

// Result codes of process_file_v3.
enum process_result : int {
    PROCESS_OK = 0,
    PROCESS_FAILED = -1,
    PROCESS_WRONG_RELEASE = -2,
    PROCESS_NO_MEMORY = 3,
};

// Converts one input file into a PIF file in out_dir. out_name receives the output path
// once it is known (also when a later step fails); release it with free_allocated_memory.
// Returns a process_result; every failure is logged and nothing is left open.
int process_file_v3(const char* in_file, const char* out_dir, const char* omc_name, std::string& out_name,
                    const char* network_id, const char* region_id);

// Reads the header record at the stream's position into the normalised form and sets the
// block header size (4, or 2 at release 0) and the release. Returns 0, or -1 (logged).
int process_pgrh(std::FILE* stream, const char* file_name, pgrh_form& pgrh, int& header_size, int& release);

// The stream's file size in bytes, or -1 when it cannot be taken.
long getchksum(std::FILE* stream);

// The BSS number carried by the file name, or 0 (with a warning) when it has none.
void getbss(const char* file_name, int& bss_number);

// Releases an output path handed back by process_file_v3.
void free_allocated_memory(std::string& out_name);

#endif
