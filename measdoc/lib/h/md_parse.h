// parse: the measurement records that the section conversion builds in the workers'
// pools and the host glue exports.
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

#endif
