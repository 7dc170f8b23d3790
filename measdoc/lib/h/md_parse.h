// parse: the measurement records that the section conversion builds in the workers'
// pools, the thread unit collects at the end of a run and the host glue exports.
#ifndef MEASDOC_MD_PARSE_H
#define MEASDOC_MD_PARSE_H

#include <cstdint>

struct a_taginfo;

// One name/value pair.
struct a_measpair {
    char* mmp_name;             // none until expanded
    char* mmp_value;
    std::int32_t mmp_type;      // 0 plain value, 1 distinguished-name part, 2 timestamp part
    char* mmp_attr;             // attribute whose value the pair takes, or none (element text)
    a_taginfo* mmp_tag;         // the element the pair was made from
    a_measpair* mmp_next;
};

struct a_measvalue;

// One measurement-info block: one output block.
struct a_measinfo {
    a_measpair* mmi_commonhdr;  // common header chain (may be shared within a section)
    a_measpair* mmi_meastype;   // counter names, in document order
    a_measvalue* mmi_measvalue; // value records, in document order
    a_taginfo* mmi_tag;         // the block's element (not to be followed once converted)
    a_measinfo* mmi_tail;       // in the first record of a list only: the list's last record
    a_measinfo* mmi_next;
};

// One measurement-value record: one output row.
struct a_measvalue {
    a_measpair* mmv_uniquehdr;  // own header chain (may be shared)
    a_measpair* mmv_measrslt;   // counter pairs, in document order
    a_measpair* mmv_suspect;    // suspect-flag pair, or none
    a_measpair* mmv_instanceobj;// instance pairs (may be shared)
    a_measpair* mmv_blockname;  // chain whose first pair's name is the block name (may be shared)
    a_taginfo* mmv_tag;
    a_measvalue* mmv_next;
};

// The results of the last run.
struct a_measdata {
    a_measpair* md_header;      // pairs of the measurement-header section
    a_measpair* md_footer;      // pairs of the measurement-footer section
    a_measinfo* md_measinfo;    // every block of the run, in document order
};

// Written by the workers (header, footer) and by the end of a run (blocks), read by the
// host glue after the run.
extern a_measdata measdata;

#endif
