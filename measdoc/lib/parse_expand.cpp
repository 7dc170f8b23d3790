// parse (expansion): names and values for the pairs that the header indexes and the
// assignments produce. A pair only points at an element and maybe an attribute; this
// reads the text or attribute, expands it by the element's kind (distinguished name,
// delimited counter list, plain value, timestamp), renames through altCounterNames,
// replaces NULL values, cuts and quotes counter names, derives block names and suspect
// flags. Called by the section conversion on the worker that owns the section; every text
// made here is a private copy in that worker's pool, with room to quote it in place.
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "md_conf.h"
#include "md_error.h"
#include "md_index.h"
#include "md_parse.h"
#include "md_regex.h"
#include "md_thread.h"
#include "md_util.h"
#include "md_xml.h"

namespace {

// Bytes every copy keeps behind its terminator: quoting in place needs two.
constexpr std::size_t spare_bytes = 11;
// What quoting in place needs behind a text's terminator. The texts that a counter list or
// a distinguished name is cut into, millions in a large file, keep only this: they are
// renamed, cut and quoted, and nothing else is ever written into them.
constexpr std::size_t quote_room = 2;
static_assert(quote_room <= spare_bytes);
constexpr char empty_str[] = "";
// The block name of a row whose name cannot be derived.
constexpr char DEF_BLOCKNAME[] = "BLOCKNAME";
constexpr std::array<const char*, 12> month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Distinguished names with up to this many components find repeated names by comparing
// with the earlier ones; longer ones count them in a string index.
constexpr std::size_t dn_linear_limit = 16;

// Where a pair's value and name come from: the attribute and its name, or the element's
// text and its name.
struct pair_source {
    const char* value;
    const char* name;
};

pair_source source_of(const a_measpair* pair) {
    const a_taginfo* tag = pair->mmp_tag;
    if (tag == nullptr) return {nullptr, nullptr};
    if (pair->mmp_attr != nullptr) return {parse_get_attrval(tag, pair->mmp_attr), pair->mmp_attr};
    return {tag->ti_text.str, tag->ti_name.str};
}

// An uninitialised text of length len (terminator and room bytes beyond), or NULL.
char* pool_text(std::size_t len, std::size_t room = spare_bytes) {
    return static_cast<char*>(thr_malloc(len + 1 + room));
}

char* copy_n(const char* text, std::size_t len, std::size_t room = spare_bytes) {
    char* copy = pool_text(len, room);
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    return copy;
}

// True when no error is pending in this thread: only then can a "no match" be told from
// other failures by the pending code.
bool nothing_pending() { return error_clear_message(0, false) == 0; }

// A match vector of a pattern's size: on the stack for the usual few groups.
class match_space {
public:
    explicit match_space(int size) {
        if (size > static_cast<int>(local_.size())) {
            pooled_ = static_cast<int*>(thr_malloc(sizeof(int) * static_cast<std::size_t>(size)));
        }
        data_ = size > static_cast<int>(local_.size()) ? pooled_ : local_.data();
    }
    int* get() const { return data_; }

private:
    std::array<int, 96> local_{};
    int* pooled_ = nullptr;
    int* data_ = nullptr;
};

// Puts the run first..last in the place of pair: pair takes first's contents, last links
// to pair's old successor. Returns the run's last record (pair itself for a run of one).
a_measpair* splice_run(a_measpair* pair, a_measpair* first, a_measpair* last) {
    a_measpair* old_next = pair->mmp_next;
    pair->mmp_name = first->mmp_name;
    pair->mmp_value = first->mmp_value;
    pair->mmp_type = first->mmp_type;
    if (first == last) return pair;
    pair->mmp_next = first->mmp_next;
    last->mmp_next = old_next;
    return last;
}

// XML white space: the separators of a list-typed value.
constexpr bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_blank(const char* text) {
    while (is_xml_space(*text)) ++text;
    return *text == '\0';
}

// True when counter lists are split at runs of white space rather than at the delimiter.
bool list_splits_at_white_space() {
    return glob_getnum_config(xcfg_counterlistwhitespace) == 1 && glob_getnum_value(xcfg_counterlistwhitespace, 0) == 1;
}

// True when measured-object names may hold components without "=".
bool plain_object_names() {
    return glob_getnum_config(xcfg_plainobjectnames) == 1 && glob_getnum_value(xcfg_plainobjectnames, 0) == 1;
}

// Counter names are cut to this many characters; 0 or less: not cut.
std::int32_t max_counter_name() {
    return glob_getnum_config(xcfg_maxcntrnamesz) > 0 ? glob_getnum_value(xcfg_maxcntrnamesz, 0) : 0;
}

// Renames, cuts and quotes a counter name in place.
bool finish_counter_name(a_measpair* pair, std::int32_t max_len) {
    if (!parse_find_altcounter(pair)) return false;
    if (max_len > 0 && std::strlen(pair->mmp_name) > static_cast<std::size_t>(max_len)) pair->mmp_name[max_len] = '\0';
    util_addquotes(pair->mmp_name);
    return true;
}

// A counter value: NULL replaced, copied (unless it already is the caller's copy), quoted.
// A copy keeps only the room quoting takes: a file holds millions of values. NULL
// (recorded) on failure.
char* counter_value(const char* value, char* own_copy) {
    const char* alt = parse_find_altvalue(value, empty_str);
    if (alt == nullptr) return nullptr;
    char* copy = alt == own_copy ? own_copy : copy_n(alt, std::strlen(alt), quote_room);
    if (copy == nullptr) {
        error_set_message("(a_str)thr_malloc(sizeof(a_char) * len)", ERR_NULL);
        return nullptr;
    }
    return util_addquotes(copy);
}

// The name of a header pair read from the source name: with qualifiedHeaderNames an
// attribute's pair is named element, delimiter, attribute ("fileSender.localDn"), so that
// equal attribute names of different elements stay apart. NULL (recorded) on failure.
char* header_name(const a_measpair* pair, const char* source_name) {
    const bool qualified = pair->mmp_attr != nullptr && pair->mmp_tag->ti_name.str != nullptr &&
                           glob_getnum_config(xcfg_qualifiedheadernames) == 1 &&
                           glob_getnum_value(xcfg_qualifiedheadernames, 0) == 1;
    if (!qualified) return parse_strdup(source_name);
    const char delimiter = glob_get_delim(xcfg_xmlnameattrdelimiter);
    const std::size_t element_len = std::strlen(pair->mmp_tag->ti_name.str);
    const std::size_t source_len = std::strlen(source_name);
    char* name = pool_text(element_len + 1 + source_len);
    if (name == nullptr) {
        error_set_message("(a_str)thr_malloc(sizeof(a_char) * len)", ERR_NULL);
        return nullptr;
    }
    std::memcpy(name, pair->mmp_tag->ti_name.str, element_len);
    name[element_len] = delimiter;
    std::memcpy(name + element_len + 1, source_name, source_len + 1);
    return name;
}

// Expands one header pair by its element's kind. Failures are recorded and leave the pair
// without name; the caller goes on with the next pair.
void expand_header_pair(a_measpair* pair) {
    const pair_source src = source_of(pair);
    if (src.name == nullptr) {
        error_set_message("tag->ti_name.str", ERR_NULL);
        return;
    }
    switch (parse_get_globtype(pair)) {
        case xcfg_distnameelemnames:
            parse_expand_distname(pair);
            return;
        case xcfg_timestampctrelemnames:
            parse_expand_timestamp(pair);
            return;
        default:
            break;
    }
    // An element that does not carry the configured attribute holds no such header: an
    // empty pair would override the same name from another section (the footer's
    // measCollec has no beginTime, the header's has).
    if (pair->mmp_attr != nullptr && src.value == nullptr) return;
    const char* value = parse_find_altvalue(src.value, empty_str);
    if (value == nullptr) {
        error_set_message("parse_find_altvalue(value, empty_str)", ERR_NULL);
        return;
    }
    char* name = header_name(pair, src.name);
    if (name == nullptr) {
        error_set_message("parse_strdup(name)", ERR_NULL);
        return;
    }
    char* value_copy = parse_strdup(value);
    if (value_copy == nullptr) {
        error_set_message("parse_strdup(value)", ERR_NULL);
        return;
    }
    pair->mmp_type = 0;
    pair->mmp_value = util_addquotes(value_copy);
    pair->mmp_name = name;
    if (!parse_find_altcounter(pair)) error_set_message("parse_find_altcounter(measpair)", ERR_NULL);
}

// The first pair of an index node, or NULL with code 2.
a_measpair* node_pair(const a_objidx* node, const char* expression) {
    auto* pair = static_cast<a_measpair*>(node->poi_data);
    if (pair == nullptr || pair->mmp_tag == nullptr) error_set_message(expression, ERR_NULL);
    return pair != nullptr && pair->mmp_tag != nullptr ? pair : nullptr;
}

// One counter-name pair; the run's last pair goes to *last.
bool expand_meastype_pair(a_measpair* pair, std::int32_t max_len, a_measpair** last) {
    if (parse_get_globtype(pair) == xcfg_delimcntrelemnames) return parse_expand_delimcounter(pair, true, last);
    *last = pair;
    const pair_source src = source_of(pair);
    if (src.value == nullptr) {
        error_set_message("parse_expand_normalcounter", ERR_PARSE_EMPTYCOUNTER, {err_tag(pair->mmp_tag)});
        return false;
    }
    // The counter's name is the element's content.
    char* name = parse_strdup(src.value);
    if (name == nullptr) {
        error_set_message("parse_strdup(value)", ERR_NULL);
        return false;
    }
    pair->mmp_name = name;
    if (!finish_counter_name(pair, max_len)) {
        error_set_message("parse_find_altcounter(meastype_pair)", ERR_NULL);
        return false;
    }
    return true;
}

bool expand_measrslt_pair(a_measpair* pair, a_measpair** last) {
    if (parse_get_globtype(pair) == xcfg_delimcntrelemnames) return parse_expand_delimcounter(pair, false, last);
    *last = pair;
    char* value = counter_value(source_of(pair).value, nullptr);
    if (value == nullptr) {
        error_set_message("parse_find_altvalue(value, empty_str)", ERR_NULL);
        return false;
    }
    pair->mmp_value = value;
    pair->mmp_type = 0;
    return true;
}

// The block name of one row's block-name pair, before the alternative-name lookup. NULL
// with nothing pending: the name cannot be derived (no value, a pattern that does not
// match or captures nothing, an empty result); NULL with an error: failure.
char* derive_blockname(a_measpair* pair, std::int32_t has_blockdesc) {
    const pair_source src = source_of(pair);
    if (src.value == nullptr) return nullptr;
    char* name = nullptr;
    if (has_blockdesc > 0) {
        const bool clean = nothing_pending();
        name = parse_get_regblock(src.value);
        if (name == nullptr) {
            if (clean && error_check_message(ERR_REGEX_NOMATCH)) {
                error_clear_message(ERR_REGEX_NOMATCH, false);
                return nullptr;
            }
            error_set_message("parse_get_regblock(value)", ERR_NULL);
            return nullptr;
        }
    } else if (parse_get_globtype(pair) == xcfg_distnameelemnames) {
        name = parse_get_distblock(src.value, plain_object_names() ? src.name : nullptr);
        if (name == nullptr) {
            error_set_message("parse_get_distblock(value)", ERR_NULL);
            return nullptr;
        }
    } else {
        name = parse_strdup(src.value);
        if (name == nullptr) {
            error_set_message("parse_strdup(value)", ERR_NULL);
            return nullptr;
        }
        util_strusws(name);
    }
    return name[0] != '\0' ? name : nullptr;
}

bool expand_blockname_pair(a_measpair* pair, std::int32_t has_blockdesc, std::int32_t alt_names) {
    const bool clean = nothing_pending();
    char* name = derive_blockname(pair, has_blockdesc);
    if (name == nullptr) {
        if (!clean || !nothing_pending()) return false;
        // A row keeps its place under a default name rather than failing the file.
        error_set_message("parse_expand_blockname", ERR_PARSE_BLOCKDESC, {err_measpair(pair)});
        error_clear_message(ERR_PARSE_BLOCKDESC, true);
        name = parse_strdup(DEF_BLOCKNAME);
        if (name == nullptr) {
            error_set_message("parse_strdup(DEF_BLOCKNAME)", ERR_NULL);
            return false;
        }
    }
    if (alt_names > 0) {
        a_objhead* alt_idx = glob_getindex_hash(xcfg_altoutblknames);
        if (alt_idx == nullptr) {
            error_set_message("glob_getindex_hash(xcfg_altoutblknames)", ERR_NULL);
            return false;
        }
        const a_objidx* node = index_find_stridx(alt_idx, name);
        if (node != nullptr && node->poi_data != nullptr) {
            name = parse_strdup(static_cast<const char*>(node->poi_data));
            if (name == nullptr) {
                error_set_message("parse_strdup(value)", ERR_NULL);
                return false;
            }
        }
    }
    pair->mmp_name = name;
    pair->mmp_type = 0;
    return true;
}

bool expand_suspect_pair(a_measpair* pair) {
    const a_taginfo* suspect_tag = pair->mmp_tag;
    if (suspect_tag->ti_name.str == nullptr) {
        error_set_message("suspect_tag->ti_name.str", ERR_NULL);
        return false;
    }
    char* name = parse_strdup(suspect_tag->ti_name.str);
    if (name == nullptr) {
        error_set_message("parse_strdup(name)", ERR_NULL);
        return false;
    }
    pair->mmp_name = name;
    if (!parse_find_altcounter(pair)) {
        error_set_message("parse_find_altcounter(suspect_pair)", ERR_NULL);
        return false;
    }
    const char* text = suspect_tag->ti_text.str;
    if (text == nullptr) {
        pair->mmp_name = nullptr;
        error_set_message("suspect_tag->ti_text.str", ERR_NULL, {err_tag(suspect_tag)});
        return false;
    }
    const bool is_true = util_strcasecmp(text, "TRUE") == 0;
    char* value = parse_strdup(is_true ? "TRUE" : "FALSE");
    if (value == nullptr) {
        pair->mmp_name = nullptr;
        error_set_message(is_true ? "parse_strdup(str_true)" : "parse_strdup(str_false)", ERR_NULL);
        return false;
    }
    pair->mmp_value = value;
    pair->mmp_type = 0;
    return true;
}

}  // namespace

char* parse_strdup(const char* text) {
    if (text == nullptr) text = empty_str;
    char* copy = copy_n(text, std::strlen(text));
    if (copy == nullptr) error_set_message("(a_str)thr_malloc(sizeof(a_char) * len)", ERR_NULL);
    return copy;
}

const char* parse_get_attrval(const a_taginfo* element, const char* attribute) {
    if (element == nullptr || attribute == nullptr || attribute[0] == '\0') return nullptr;
    for (const a_attrinfo* attr = element->ti_attrs; attr != nullptr; attr = attr->ai_next)
        if (attr->ai_name.str != nullptr && std::strcmp(attr->ai_name.str, attribute) == 0) return attr->ai_value.str;
    return nullptr;
}

const char* parse_find_altvalue(const char* value, const char* def) {
    if (value == nullptr) return def;
    if (util_strcasecmp(value, "NULL") != 0) return value;
    const std::int32_t num = glob_getnum_config(xcfg_altcntrval);
    if (num == -1) {
        error_set_message("num == -1", ERR_CONDITION);
        return nullptr;
    }
    if (num == 0) return value;
    const char* alt = glob_get_string(xcfg_altcntrval, 0);
    if (alt == nullptr) error_set_message("glob_get_string(xcfg_altcntrval, 0)", ERR_NULL);
    return alt;
}

bool parse_find_altcounter(a_measpair* pair) {
    if (pair == nullptr || pair->mmp_name == nullptr) {
        error_set_message("measpair->mmp_name", ERR_NULL);
        return false;
    }
    const std::int32_t num = glob_getnum_config(xcfg_altcntrnames);
    if (num == -1) {
        error_set_message("num == -1", ERR_CONDITION);
        return false;
    }
    if (num == 0) return true;
    a_pregex regex;
    if (glob_get_regex(xcfg_altcntrnames, &regex, 0) == nullptr) {
        error_set_message("glob_get_regex(xcfg_altcntrnames, &regex_rec, regex_item)", ERR_NULL);
        return false;
    }
    const bool clean = nothing_pending();
    const int regex_item = regex_find_pregex(&regex, pair->mmp_name);
    if (regex_item < 0) {
        // No pattern applies: the name stays. (With an error already pending the cause
        // cannot be told; the run fails anyway.)
        if (!clean) return true;
        if (error_check_message(ERR_REGEX_NOMATCH)) {
            error_clear_message(ERR_REGEX_NOMATCH, false);
            return true;
        }
        error_set_message("regex_find_pregex(regex, counter)", ERR_NULL);
        return false;
    }
    if (regex_item != 0 && glob_get_regex(xcfg_altcntrnames, &regex, regex_item) == nullptr) {
        error_set_message("glob_get_regex(xcfg_altcntrnames, &regex_rec, regex_item)", ERR_NULL);
        return false;
    }
    // Room for the longest result the template can give: the name around the match plus,
    // for every template byte, at most a whole substring of the name.
    char* counter = pair->mmp_name;
    const std::size_t len = std::strlen(counter);
    const std::size_t templ_len = regex.grx_replace != nullptr ? std::strlen(regex.grx_replace) : 0;
    std::size_t bufflen = len + templ_len * (len + 1) + 1;
    if (bufflen > static_cast<std::size_t>(INT_MAX)) bufflen = INT_MAX;
    std::array<char, 512> local{};
    char* buff = bufflen <= local.size() ? local.data() : static_cast<char*>(thr_malloc(bufflen));
    if (buff == nullptr) {
        error_set_message("(a_str)thr_malloc(sizeof(a_char) * bufflen)", ERR_NULL);
        return false;
    }
    if (regex_replace_pregex(&regex, counter, buff, static_cast<int>(bufflen)) == nullptr) {
        // The combined pattern loses the patterns' own groups, so it can pick one that
        // does not match by itself (an alternative in a group): no pattern applies then.
        if (clean && error_check_message(ERR_REGEX_NOMATCH)) {
            error_clear_message(ERR_REGEX_NOMATCH, false);
            return true;
        }
        error_set_message("regex_replace_pregex(regex, counter, buff, bufflen)", ERR_NULL);
        return false;
    }
    const std::size_t new_len = std::strlen(buff);
    if (new_len <= len) {
        std::memcpy(counter, buff, new_len + 1);
        return true;
    }
    char* copy = copy_n(buff, new_len);
    if (copy == nullptr) {
        error_set_message("parse_strdup(bcp)", ERR_NULL);
        return false;
    }
    pair->mmp_name = copy;
    return true;
}

a_measpair* parse_get_distname(const char* prefix, const char* text) {
    if (prefix == nullptr || text == nullptr) {
        error_set_message(prefix == nullptr ? "prefix" : "text", ERR_NULL);
        return nullptr;
    }
    // Plain names read every component by itself: one without "=" is a value named by
    // the prefix alone, so the pieces need not pair up.
    const bool plain = plain_object_names();
    std::size_t pieces = 1;
    std::size_t components = 1;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == ',') {
            ++pieces;
            ++components;
        } else if (*p == '=') {
            ++pieces;
        }
    }
    if (!plain && pieces % 2 != 0) {
        error_set_message("parse_get_distname", ERR_PARSE_BADPAIR, {err_str(text)});
        return nullptr;
    }
    // The pairs and their texts in one piece of the pool. A name is the prefix, "_", the
    // attribute and room for a "_" and a counter; a value its part of the text; each with
    // its terminator and room to quote it. Attributes and values together are shorter
    // than the text.
    const std::size_t prefix_len = std::strlen(prefix);
    const std::size_t text_len = std::strlen(text);
    const std::size_t per_name = prefix_len + 1 + 1 + 10 + 1 + quote_room;
    const std::size_t per_value = 1 + quote_room;
    auto* pairs = static_cast<a_measpair*>(
        thr_malloc(sizeof(a_measpair) * components + components * (per_name + per_value) + text_len));
    if (pairs == nullptr) {
        error_set_message("(a_measpair_ptr)thr_malloc(sizeof(a_measpair))", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    char* room = reinterpret_cast<char*>(pairs + components);
    // Repeated names of a long name are counted in a private index (keys copied: the
    // names grow their suffix after being counted).
    a_objhead* dn_idxroot = nullptr;
    if (components > dn_linear_limit) {
        dn_idxroot = index_new_stridx();
        if (dn_idxroot == nullptr || !index_set_stridx(dn_idxroot, IDX_COPYKEY, 1)) {
            error_set_message("index_new_stridx()", ERR_NULL);
            index_destroy_stridx(dn_idxroot);
            return nullptr;
        }
    }
    // Where each component's attribute starts and how long it is, for the short case.
    std::array<const char*, dn_linear_limit> attr_at{};
    std::array<std::size_t, dn_linear_limit> attr_len{};
    std::array<bool, dn_linear_limit> bare{};

    const char* p = text;
    for (std::size_t i = 0; i < components; ++i) {
        const char* end = std::strchr(p, ',');
        if (end == nullptr) end = p + std::strlen(p);
        const char* eq = static_cast<const char*>(std::memchr(p, '=', static_cast<std::size_t>(end - p)));
        const bool plain_value = plain && eq == nullptr;
        if (eq == nullptr) eq = end;
        const std::size_t alen = plain_value ? 0 : static_cast<std::size_t>(eq - p);

        // name: prefix "_" attribute (a plain value: the prefix alone), maybe "_" and the
        // number of earlier occurrences.
        char* name = room;
        room += prefix_len + 1 + alen + 1 + 10 + 1 + quote_room;
        // value: what follows the first "=", further "=" dropped; a plain value whole.
        char* value = room;
        const std::size_t vlen = plain_value ? static_cast<std::size_t>(end - p)
                                 : eq < end  ? static_cast<std::size_t>(end - eq - 1)
                                             : 0;
        room += vlen + 1 + quote_room;
        std::memcpy(name, prefix, prefix_len);
        char* name_end = name + prefix_len;
        if (!plain_value) {
            name[prefix_len] = '_';
            std::memcpy(name + prefix_len + 1, p, alen);
            name_end += 1 + alen;
        }
        *name_end = '\0';
        char* v = value;
        if (plain_value) {
            std::memcpy(v, p, static_cast<std::size_t>(end - p));
            v += end - p;
        } else {
            for (const char* q = eq; q < end; ++q)
                if (*q != '=') *v++ = *q;
        }
        *v = '\0';

        std::uint32_t earlier = 0;
        if (dn_idxroot == nullptr) {
            for (std::size_t j = 0; j < i; ++j)
                if (bare[j] == plain_value && attr_len[j] == alen && std::memcmp(attr_at[j], p, alen) == 0) ++earlier;
            attr_at[i] = p;
            attr_len[i] = alen;
            bare[i] = plain_value;
        } else {
            const a_objidx* node = index_find_stridx(dn_idxroot, name);
            if (node == nullptr) {
                error_set_message("index_find_stridx(*dn_idxroot, name)", ERR_NULL);
                index_destroy_stridx(dn_idxroot);
                return nullptr;
            }
            earlier = node->poi_hits - 1;
        }
        if (earlier > 0) {
            *name_end = '_';
            util_int2decnstr(name_end + 1, 0, earlier);
        }

        a_measpair* pair = &pairs[i];
        pair->mmp_name = name;
        pair->mmp_value = util_addquotes(value);
        pair->mmp_type = 1;
        pair->mmp_next = i + 1 < components ? &pairs[i + 1] : nullptr;
        p = *end == ',' ? end + 1 : end;
    }
    if (!index_destroy_stridx(dn_idxroot)) {
        error_set_message("index_destroy_stridx(name_idx)", ERR_NULL);
        return nullptr;
    }
    return pairs;
}

bool parse_expand_distname(a_measpair* pair) {
    const pair_source src = source_of(pair);
    if (src.value == nullptr) {
        error_set_message("parse_expand_distname", ERR_PARSE_EMPTYCOUNTER, {err_tag(pair->mmp_tag)});
        return false;
    }
    if (src.name == nullptr) {
        error_set_message("tag->ti_name.str", ERR_NULL);
        return false;
    }
    if (src.value[0] == '\0' && plain_object_names()) {
        // No object at all: the row keeps its counters without instance pairs.
        pair->mmp_name = nullptr;
        pair->mmp_value = nullptr;
        pair->mmp_type = 1;
        return true;
    }
    a_measpair* first = parse_get_distname(src.name, src.value);
    if (first == nullptr) {
        error_set_message("parse_get_distname(name, value)", ERR_NULL);
        return false;
    }
    a_measpair* last = first;
    for (a_measpair* p = first; p != nullptr; p = p->mmp_next) {
        if (!parse_find_altcounter(p)) {
            error_set_message("parse_find_altcounter(last_measpair)", ERR_NULL);
            return false;
        }
        p->mmp_type = 1;
        p->mmp_tag = pair->mmp_tag;
        p->mmp_attr = pair->mmp_attr;
        last = p;
    }
    splice_run(pair, first, last);
    return true;
}

char* parse_get_distblock(const char* text, const char* prefix) {
    const std::size_t prefix_len = prefix != nullptr ? std::strlen(prefix) : 0;
    std::size_t components = 1;
    for (const char* p = text; *p != '\0'; ++p)
        if (*p == ',') ++components;
    char* name = pool_text(std::strlen(text) + components * prefix_len);
    if (name == nullptr) {
        error_set_message("(a_str)thr_malloc(sizeof(a_char) * char_num)", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    char* out = name;
    const char* p = text;
    for (bool first = true;; first = false) {
        if (!first) *out++ = '_';
        const char* end = p;
        while (*end != '\0' && *end != ',') ++end;
        if (prefix != nullptr && std::memchr(p, '=', static_cast<std::size_t>(end - p)) == nullptr) {
            // A plain value is named by the prefix, as its pair is.
            std::memcpy(out, prefix, prefix_len);
            out += prefix_len;
            p = end;
        }
        while (*p != '\0' && *p != '=' && *p != ',') *out++ = *p++;
        while (*p != '\0' && *p != ',') ++p;
        if (*p == '\0') break;
        ++p;
    }
    *out = '\0';
    return util_strusws(name);
}

char* parse_get_regblock(const char* text) {
    a_pregex regex;
    if (glob_get_regex(xcfg_outblkdesc, &regex, 0) == nullptr) {
        error_set_message("glob_get_regex(xcfg_outblkdesc, &regex_rec, 0)", ERR_NULL);
        return nullptr;
    }
    match_space vector(regex.grx_size);
    if (vector.get() == nullptr) {
        error_set_message("(a_int_ptr)thr_malloc(sizeof(int) * size)", ERR_NULL);
        return nullptr;
    }
    if (!regex_exec_pregex(&regex, vector.get(), text)) {
        error_set_message("regex_exec_pregex(regex, vector, data)", ERR_NULL);
        return nullptr;
    }
    std::size_t length = 1;
    for (int i = 1; i < regex.grx_count; ++i) length += static_cast<std::size_t>(regex_get_pregexlen(&regex, i)) + 1;
    char* name = pool_text(length);
    if (name == nullptr) {
        error_set_message("(a_str)thr_malloc(sizeof(a_char) * length)", ERR_NULL);
        return nullptr;
    }
    char* bcp = name;
    *bcp = '\0';
    for (int i = 1; i < regex.grx_count; ++i) {
        if (i > 1) *bcp++ = '_';
        bcp = regex_get_pregexstr(&regex, bcp, static_cast<int>(length - static_cast<std::size_t>(bcp - name)), i);
        if (bcp == nullptr) {
            error_set_message("regex_get_pregexstr(regex, bcp, length, i)", ERR_NULL);
            return nullptr;
        }
    }
    return util_strusws(name);
}

a_measpair* parse_get_delimcounter(const char* text) {
    const bool white_space = list_splits_at_white_space();
    const char delimiter = glob_getnum_config(xcfg_counterlistdelimiter) == 1 ? glob_get_delim(xcfg_counterlistdelimiter)
                                                                             : '\0';
    if (delimiter == '\0' && !white_space) {
        error_set_message("delimiter == EOS", ERR_SYSTEM);
        return nullptr;
    }
    auto separates = [white_space, delimiter](char c) { return white_space ? is_xml_space(c) : c == delimiter; };
    // Without white-space splitting every delimiter ends a piece, so empty pieces count;
    // with it a piece is a run of other characters.
    std::size_t count = white_space ? 0 : 1;
    std::size_t length = 0;
    bool in_piece = false;
    for (const char* p = text; *p != '\0'; ++p, ++length) {
        if (separates(*p)) {
            if (!white_space) ++count;
            in_piece = false;
        } else if (white_space && !in_piece) {
            ++count;
            in_piece = true;
        }
    }
    if (count == 0) {
        error_set_message("parse_get_delimcounter", ERR_PARSE_EMPTYCOUNTER, {err_str(text)});
        return nullptr;
    }
    // The pairs and the copies of the pieces in one piece of the pool: each copy with its
    // terminator and room to quote it.
    const std::size_t texts = length + count * (1 + quote_room);
    auto* pairs = static_cast<a_measpair*>(thr_malloc(sizeof(a_measpair) * count + texts));
    if (pairs == nullptr) {
        error_set_message("(a_measpair_ptr)thr_malloc(sizeof(a_measpair))", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    char* out = reinterpret_cast<char*>(pairs + count);
    const char* p = text;
    for (std::size_t i = 0; i < count; ++i) {
        if (white_space)
            while (is_xml_space(*p)) ++p;
        const char* end = p;
        while (*end != '\0' && !separates(*end)) ++end;
        const std::size_t len = static_cast<std::size_t>(end - p);
        std::memcpy(out, p, len);
        out[len] = '\0';
        pairs[i].mmp_name = out;
        pairs[i].mmp_value = nullptr;
        pairs[i].mmp_next = i + 1 < count ? &pairs[i + 1] : nullptr;
        out += len + 1 + quote_room;
        p = *end != '\0' ? end + 1 : end;
    }
    return pairs;
}

bool parse_expand_delimcounter(a_measpair* pair, bool is_name, a_measpair** last) {
    const pair_source src = source_of(pair);
    const bool white_space = list_splits_at_white_space();
    if (src.value == nullptr && !white_space) {
        error_set_message("parse_expand_delimcounter", ERR_PARSE_EMPTYCOUNTER, {err_tag(pair->mmp_tag)});
        return false;
    }
    if (white_space && (src.value == nullptr || is_blank(src.value))) {
        // An empty list stands for no counter at all; the placeholder goes before the
        // records leave the section.
        pair->mmp_name = nullptr;
        pair->mmp_value = nullptr;
        pair->mmp_type = no_counter_type;
        if (last != nullptr) *last = pair;
        return true;
    }
    a_measpair* first = parse_get_delimcounter(src.value);
    if (first == nullptr) {
        error_set_message("parse_get_delimcounter(value)", ERR_NULL);
        return false;
    }
    const std::int32_t max_len = is_name ? max_counter_name() : 0;
    a_measpair* last_measpair = first;
    for (a_measpair* p = first; p != nullptr; p = p->mmp_next) {
        last_measpair = p;
        p->mmp_tag = pair->mmp_tag;
        p->mmp_attr = pair->mmp_attr;
        if (is_name) {
            if (!finish_counter_name(p, max_len)) {
                error_set_message("parse_find_altcounter(last_measpair)", ERR_NULL);
                return false;
            }
            continue;
        }
        char* value = counter_value(p->mmp_name, p->mmp_name);
        if (value == nullptr) {
            error_set_message("parse_find_altvalue(last_measpair->mmp_name, empty_str)", ERR_NULL);
            return false;
        }
        p->mmp_value = value;
        p->mmp_name = nullptr;
    }
    a_measpair* run_last = splice_run(pair, first, last_measpair);
    pair->mmp_type = 0;
    if (last != nullptr) *last = run_last;
    return true;
}

int parse_get_timestampvalue(const char* text, int field) {
    const std::int32_t item_num = glob_getnum_config(xcfg_timestampdesc);
    if (item_num != 6) {
        error_set_message("parse_get_timestampvalue", ERR_PARSE_TSMISSING, {err_int(item_num)});
        return -1;
    }
    a_pregex regex;
    if (glob_get_regex(xcfg_timestampdesc, &regex, field) == nullptr) {
        error_set_message("glob_get_regex(xcfg_timestampdesc, &regex_rec, item)", ERR_NULL);
        return -1;
    }
    auto fail = [text, field] {
        error_set_message("parse_get_timestampvalue", ERR_CONDITION, {err_str(text), err_int(field)});
        return -1;
    };
    match_space vector(regex.grx_size);
    if (vector.get() == nullptr) {
        error_set_message("(a_int_ptr)thr_malloc(sizeof(int) * size)", ERR_NULL);
        return fail();
    }
    if (!regex_exec_pregex(&regex, vector.get(), text)) {
        error_set_message("regex_exec_pregex(regex, vector, text)", ERR_NULL);
        return fail();
    }
    if (regex.grx_count != 2) {
        error_set_message("parse_get_timestampvalue", ERR_PARSE_TSDESC, {err_int(regex.grx_count)});
        return fail();
    }
    const int len = regex_get_pregexlen(&regex, 1);
    // Nine digits always fit the result; a longer field is no date or time part.
    if (len > 9) {
        error_set_message("parse_get_timestampvalue", ERR_PARSE_TSVALUE, {err_int(len)});
        return fail();
    }
    const char* bcp = text + vector.get()[2];
    const std::int64_t value = util_decnstr2int(&bcp, len, -1);
    if (value < 0) {
        error_set_message("util_decnstr2int(&bcp, len, -1)", ERR_NULL);
        return fail();
    }
    return static_cast<int>(value);
}

char* parse_get_timestampdate(const char* text) {
    const int day = parse_get_timestampvalue(text, dcfg_daydesc);
    if (day < 0) {
        error_set_message("parse_get_timestampvalue(text, dcfg_daydesc)", ERR_NULL);
        return nullptr;
    }
    const int month = parse_get_timestampvalue(text, dcfg_monthdesc);
    if (month < 0) {
        error_set_message("parse_get_timestampvalue(text, dcfg_monthdesc)", ERR_NULL);
        return nullptr;
    }
    int year = parse_get_timestampvalue(text, dcfg_yeardesc);
    if (year < 0) {
        error_set_message("parse_get_timestampvalue(text, dcfg_yeardesc)", ERR_NULL);
        return nullptr;
    }
    if (day < 1 || day > 31) {
        error_set_message("parse_get_timestampdate", ERR_PARSE_TSVALUE, {err_int(day)});
        return nullptr;
    }
    if (month < 1 || month > 12) {
        error_set_message("parse_get_timestampdate", ERR_PARSE_TSVALUE, {err_int(month)});
        return nullptr;
    }
    if (year < 100) year += 2000;
    if (year < 2000 || year > 2099) {
        error_set_message("parse_get_timestampdate", ERR_PARSE_TSVALUE, {err_int(year)});
        return nullptr;
    }
    char* date_str = pool_text(9);
    if (date_str == nullptr) {
        error_set_message("(a_str)thr_malloc(sizeof(a_char) * DATE_LEN)", ERR_NULL);
        return nullptr;
    }
    const int n = std::snprintf(date_str, 10 + spare_bytes, "%02d%s%04d", day,
                                month_names[static_cast<std::size_t>(month - 1)], year);
    if (n != 9) {
        error_set_message("parse_get_timestampdate", ERR_PARSE_TSVALUE, {err_str(date_str)});
        return nullptr;
    }
    return date_str;
}

char* parse_get_timestamptime(const char* text) {
    const int hour = parse_get_timestampvalue(text, dcfg_hourdesc);
    if (hour < 0) {
        error_set_message("parse_get_timestampvalue(text, dcfg_hourdesc)", ERR_NULL);
        return nullptr;
    }
    const int min = parse_get_timestampvalue(text, dcfg_mindesc);
    if (min < 0) {
        error_set_message("parse_get_timestampvalue(text, dcfg_mindesc)", ERR_NULL);
        return nullptr;
    }
    const int sec = parse_get_timestampvalue(text, dcfg_secdesc);
    if (sec < 0) {
        error_set_message("parse_get_timestampvalue(text, dcfg_secdesc)", ERR_NULL);
        return nullptr;
    }
    if (hour > 23) {
        error_set_message("parse_get_timestamptime", ERR_PARSE_TSVALUE, {err_int(hour)});
        return nullptr;
    }
    if (min > 59) {
        error_set_message("parse_get_timestamptime", ERR_PARSE_TSVALUE, {err_int(min)});
        return nullptr;
    }
    if (sec > 59) {
        error_set_message("parse_get_timestamptime", ERR_PARSE_TSVALUE, {err_int(sec)});
        return nullptr;
    }
    char* time_str = pool_text(8);
    if (time_str == nullptr) {
        error_set_message("(a_str)thr_malloc(sizeof(a_char) * TIME_LEN)", ERR_NULL);
        return nullptr;
    }
    std::snprintf(time_str, 9 + spare_bytes, "%02d:%02d:%02d", hour, min, sec);
    return time_str;
}

bool parse_expand_timestamp(a_measpair* pair) {
    const pair_source src = source_of(pair);
    if (src.value == nullptr) {
        error_set_message("parse_expand_timestamp", ERR_PARSE_EMPTYCOUNTER, {err_tag(pair->mmp_tag)});
        return false;
    }
    if (src.name == nullptr) {
        error_set_message("tag->ti_name.str", ERR_NULL);
        return false;
    }
    char* date = parse_get_timestampdate(src.value);
    if (date == nullptr) {
        error_set_message("parse_get_timestampdate(value)", ERR_NULL);
        return false;
    }
    char* time = parse_get_timestamptime(src.value);
    if (time == nullptr) {
        error_set_message("parse_get_timestamptime(value)", ERR_NULL);
        return false;
    }
    const char* base = header_name(pair, src.name);
    if (base == nullptr) {
        error_set_message("parse_strdup(name)", ERR_NULL);
        return false;
    }
    const std::size_t name_len = std::strlen(base);
    char* date_name = pool_text(name_len + 5);
    char* time_name = pool_text(name_len + 5);
    if (date_name == nullptr || time_name == nullptr) {
        error_set_message("parse_strdup(buff)", ERR_NULL);
        return false;
    }
    std::memcpy(date_name, base, name_len);
    std::memcpy(date_name + name_len, "_Date", 6);
    std::memcpy(time_name, base, name_len);
    std::memcpy(time_name + name_len, "_Time", 6);
    auto* time_pair = static_cast<a_measpair*>(thr_malloc(sizeof(a_measpair)));
    if (time_pair == nullptr) {
        error_set_message("(a_measpair_ptr)thr_malloc(sizeof(a_measpair))", ERR_SYSTEM, {err_errno(errno)});
        return false;
    }
    time_pair->mmp_name = time_name;
    time_pair->mmp_value = time;
    time_pair->mmp_type = 2;
    time_pair->mmp_attr = pair->mmp_attr;
    time_pair->mmp_tag = pair->mmp_tag;
    time_pair->mmp_next = pair->mmp_next;
    pair->mmp_name = date_name;
    pair->mmp_value = date;
    pair->mmp_type = 2;
    pair->mmp_next = time_pair;
    return true;
}

bool parse_expand_headerpair(a_measpair* chain) {
    for (a_measpair* pair = chain; pair != nullptr;) {
        // A pair expands into a run that ends before its old successor: go on from there.
        a_measpair* next = pair->mmp_next;
        if (pair->mmp_name == nullptr && pair->mmp_tag != nullptr) expand_header_pair(pair);
        pair = next;
    }
    return true;
}

bool parse_expand_commonheader(a_objhead* measinfo_idx) {
    a_measinfo* measinfo_list = parse_get_measinfo(measinfo_idx);
    if (measinfo_list == nullptr) {
        error_set_message("(measinfo_list == NULL)", ERR_CONDITION);
        return false;
    }
    // Blocks share chains: once a value has failed (the run fails with it), the blocks
    // after it would only repeat the failure.
    for (a_measinfo* block = measinfo_list; block != nullptr && nothing_pending(); block = block->mmi_next)
        parse_expand_headerpair(block->mmi_commonhdr);
    return true;
}

bool parse_expand_uniqueheader(a_objhead* measvalue_idx) {
    const a_objidx* first = measvalue_idx != nullptr ? index_first_stridx(measvalue_idx) : nullptr;
    auto* measvalue_list = first != nullptr ? static_cast<a_measvalue*>(first->poi_data) : nullptr;
    if (measvalue_list == nullptr) {
        error_set_message("(measvalue_list == NULL)", ERR_CONDITION);
        return false;
    }
    for (a_measvalue* row = measvalue_list; row != nullptr && nothing_pending(); row = row->mmv_next)
        parse_expand_headerpair(row->mmv_uniquehdr);
    return true;
}

// The counter indexes keep, in each node's spare word, the last pair of the run its item
// expanded into: the assignment moves exactly that run.
bool parse_expand_meastype(a_objhead* meastype_idx) {
    const std::int32_t max_len = max_counter_name();
    for (a_objidx* node = index_first_stridx(meastype_idx); node != nullptr; node = index_next_stridx(node)) {
        a_measpair* pair = node_pair(node, "(a_measpair_ptr)meastype_idxnode->poi_data");
        a_measpair* last = nullptr;
        if (pair == nullptr || !expand_meastype_pair(pair, max_len, &last)) {
            error_set_message("(meastype_pair == NULL)", ERR_CONDITION);
            return false;
        }
        node->poi_child = last;
    }
    return true;
}

bool parse_expand_measrslt(a_objhead* measrslt_idx) {
    for (a_objidx* node = index_first_stridx(measrslt_idx); node != nullptr; node = index_next_stridx(node)) {
        a_measpair* pair = node_pair(node, "(a_measpair_ptr)measrslt_idxnode->poi_data");
        a_measpair* last = nullptr;
        if (pair == nullptr || !expand_measrslt_pair(pair, &last)) {
            error_set_message("(measrslt_pair == NULL)", ERR_CONDITION);
            return false;
        }
        node->poi_child = last;
    }
    return true;
}

bool parse_expand_blockname(a_objhead* blockname_idx) {
    const std::int32_t has_blockdesc = glob_getnum_config(xcfg_outblkdesc);
    if (has_blockdesc == -1) {
        error_set_message("has_blockdesc == -1", ERR_CONDITION);
        return false;
    }
    const std::int32_t alt_names = glob_getnum_config(xcfg_altoutblknames);
    for (a_objidx* node = index_first_stridx(blockname_idx); node != nullptr; node = index_next_stridx(node)) {
        a_measpair* pair = node_pair(node, "(a_measpair_ptr)blockname_idxnode->poi_data");
        if (pair == nullptr || !expand_blockname_pair(pair, has_blockdesc, alt_names)) {
            error_set_message("(blockname_pair == NULL)", ERR_CONDITION);
            return false;
        }
    }
    return true;
}

bool parse_expand_instanceobj(a_objhead* instance_idx) {
    for (a_objidx* node = index_first_stridx(instance_idx); node != nullptr; node = index_next_stridx(node)) {
        a_measpair* instanceobj_pair = node_pair(node, "(a_measpair_ptr)instanceobj_idxnode->poi_data");
        if (instanceobj_pair == nullptr) return false;
        const int type = parse_get_globtype(instanceobj_pair);
        if (type != xcfg_distnameelemnames) {
            error_set_message("parse_expand_instanceobj", ERR_PARSE_NOTDN,
                              {err_int(type), err_tag(instanceobj_pair->mmp_tag)});
            return false;
        }
        if (!parse_expand_distname(instanceobj_pair)) {
            error_set_message("parse_expand_distname(instanceobj_pair)", ERR_NULL);
            return false;
        }
    }
    return true;
}

bool parse_expand_suspect(a_objhead* suspect_idx) {
    for (a_objidx* node = index_first_stridx(suspect_idx); node != nullptr; node = index_next_stridx(node)) {
        a_measpair* suspect_pair = node_pair(node, "suspect_pair->mmp_tag");
        if (suspect_pair == nullptr || !expand_suspect_pair(suspect_pair)) return false;
    }
    return true;
}
