// export: the Perl containers that measdoc_data and measdoc_configuration return, built
// from the records of the last run (measdata) and from the configuration store. Called on
// the host interpreter's thread after a run; every container is new and belongs to the
// caller. Include after perl.h.
#ifndef MEASDOC_EXPORT_H
#define MEASDOC_EXPORT_H

#include <cstdint>

struct a_measpair;
struct a_measdata;

// Stores the pair's value (the empty text when it has none) under its name in hash and,
// when dictionary is given, the decimal text of its type under the same name there. A
// pair without name is skipped. Returns hash.
HV* measdoc_set_measpair(pTHX_ HV* dictionary, HV* hash, const a_measpair* pair);
// Stores a reference to subhash in hash under the decimal text of index; hash takes over
// subhash. Nothing when subhash is NULL. Returns hash.
HV* measdoc_setnum_measpair(pTHX_ HV* hash, HV* subhash, std::int32_t index);
// Appends the decimal text of number. Returns array.
AV* measdoc_add_intvalue(pTHX_ AV* array, std::int32_t number);

// A new hash of the results in data: "commonHeaderData", "dataTypeDict" and one entry
// per measurement-info block (the shape is documented in measdoc.pm).
HV* measdoc_export_data(pTHX_ const a_measdata& data);
// The number of measurement-info blocks in data.
std::int32_t measdoc_export_block_count(const a_measdata& data);
// A new hash of block number (from 0) alone, as measdoc_export_data has it: the block's
// entry under its number and "commonHeaderData" holding its header entry; no
// "dataTypeDict" (measdoc_export_types). Returns NULL when data has no such block.
HV* measdoc_export_block(pTHX_ const a_measdata& data, std::int32_t number);
// Block number (from 0) rendered as the text of its PIF file, for a host that writes the
// octets and keeps no hash of the rows: a new hash of "name", "text", "lines" and
// "identity" (measdoc.pm documents them), or of "name" and "bad" when a field holds a
// "|" or a line break. types is the hash measdoc_export_types returns (NULL: no name is
// an object name), suspect the suspect-flag column or NULL. Returns NULL when data has no
// such block, and NULL with *failure set when memory ran out.
HV* measdoc_export_pif(pTHX_ const a_measdata& data, std::int32_t number, HV* types, const char* suspect,
                       const char** failure);
// Block number's rows as the host's JSON rows (measdoc.pm documents both calls): with
// fixed NULL, a new hash of the block's "name", "header", "values", "columns" and
// "identity", or "name" and "bad" as measdoc_export_pif; with fixed (the host's encoded
// "begin", "block", "end", "file" and "granularity"), a new hash of "text" and "lines",
// or an empty one when the block holds content left to the host's encoder. NULL as
// measdoc_export_pif.
HV* measdoc_export_json(pTHX_ const a_measdata& data, std::int32_t number, HV* types, const char* suspect,
                        HV* fixed, const char** failure);
// A new hash equal to the "dataTypeDict" entry of measdoc_export_data.
HV* measdoc_export_types(pTHX_ const a_measdata& data);
// A new hash of every item that has values, under its export key: an array of its texts
// (element names as name and attribute, key/value items as key and value).
HV* measdoc_export_configuration(pTHX);

#endif
