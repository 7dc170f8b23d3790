// records: the PIF writer of radiobin and the walk over the data records of one input
// file. Names and opens the output file, writes its header section, then walks records
// and blocks and writes one section per run of blocks of one type (or one paired section
// for measurement types made of two block types). Called by zelpaal once the file's
// header record has been accepted.
#ifndef RADIOBIN_RECORDS_H
#define RADIOBIN_RECORDS_H

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "pgrh.h"

// Walks the data records from the stream's position (the first data record) to the end
// of the file, reading each into `buffer` (the record length). Puts the output path into
// out_name as soon as it is known, even when a later step fails. Returns 0 when the walk
// reached the end of the file and the output file was written whole, else -1 (logged);
// the output file is closed on every path once opened.
int procrecs(std::FILE* stream, const pgrh_form& pgrh, std::span<std::uint8_t> buffer, int bss_number, int release,
             const char* out_dir, const char* omc_name, int header_size, std::string& out_name, const char* network_id,
             const char* region_id);

// Names and creates the output file and writes its banner and header section. Returns 0,
// or -1 (logged) when the file cannot be created; out_name is set in both cases once the
// name could be built.
int start_output(int bss_number, const pgrh_form& pgrh, std::int16_t& meas_type, const char* omc_name,
                 const char* out_dir, std::string& out_name, const char* network_id, const char* region_id);

// How many block types make up a measurement type; 2 means the paired layout.
int num_of_relevant_blks_in_config(int meas_type);

#endif
