// config: the block-layout configuration. Reads the file that says, for every block type,
// where each counter lies, how wide it is, the block's byte order and its repeated group,
// checks it, and keeps the result in the process-wide block table that the record walk
// and the counter decoder look block types up in. Loaded by the host's config_initialise.
#ifndef RADIOBIN_CONFIG_H
#define RADIOBIN_CONFIG_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <string>

// repeat values of a counter.
enum counter_repeat : int {
    REPEAT_NONE = 0,
    REPEAT_FIRST = 1,  // REPEAT_START: first counter of the group in file order
    REPEAT_LAST = 2,   // REPEAT_END: last counter; its offset is the group's length
};

struct counter_details {
    std::string name;  // upper case
    std::uint8_t size = 0;
    std::uint16_t offset = 0;
    int repeat = REPEAT_NONE;
    std::uint16_t repeat_count = 0;
};

struct block_details {
    std::uint32_t block_num = 0;
    std::string block_name;
    int big_endian = 0;
    // Newest configuration line first: this order is the column order of the output and
    // the order in which repeated groups are walked.
    std::forward_list<counter_details> counters;
};

inline constexpr std::size_t block_buckets = 23;
extern std::array<std::forward_list<block_details>, block_buckets> blk_hash_table;

// Range of BSS software releases the loaded configuration is valid for.
extern int config_min_release;
extern int config_max_release;

// Stores the release bounds, drops the blocks of an earlier load, reads and checks the
// file. Returns 0 when loaded, 2 on any failure (logged); after a failure the blocks read
// so far stay in the table.
int config_initialise(const char* config_filename, int config_min_version, int config_max_version);

// The block record for a block type, or nullptr when the type is not configured.
const block_details* get_block_data(std::uint32_t number);

#endif
