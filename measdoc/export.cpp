// export: turns measdata and the configuration store into the host's nested hashes and
// arrays, and one block at a time into the text of its PIF file. Used by measdoc_data and measdoc_configuration (measdoc.xs), and by the tests'
// record module, which fills measdata by hand. Nothing here croaks: only containers that
// this unit has just made are written to.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "md_conf.h"
#include "md_parse.h"
#include "md_util.h"

#define PERL_NO_GET_CONTEXT
#include "EXTERN.h"
#include "perl.h"

#include "export.h"

namespace {

// Decimal text of a 32-bit value.
struct a_decimal {
    char text[16];
    std::size_t length;
};

a_decimal decimal(std::int64_t value) {
    a_decimal d{};
    // ~11: at most 11 characters, enough for any 32-bit value with its sign.
    const char* end = util_int2decnstr(d.text, ~11, value);
    d.length = static_cast<std::size_t>(end - d.text);
    return d;
}

// hv_store that never leaks value: a fresh, plain hash accepts every store, but a refused
// one must not keep the reference count up.
void store(pTHX_ HV* hash, const char* key, std::size_t length, SV* value, U32 key_hash = 0) {
    if (hv_store(hash, key, static_cast<I32>(length), value, key_hash) == nullptr) SvREFCNT_dec(value);
}

SV* new_text(pTHX_ const char* text) { return text != nullptr ? newSVpv(text, 0) : newSVpvn("", 0); }

void store_text(pTHX_ HV* hash, const char* key, std::size_t key_length, const char* text) {
    store(aTHX_ hash, key, key_length, new_text(aTHX_ text));
}

template <std::size_t N>
void store_key(pTHX_ HV* hash, const char (&key)[N], SV* value) {
    store(aTHX_ hash, key, N - 1, value);
}

SV* reference(pTHX_ HV* hash) { return newRV_noinc(reinterpret_cast<SV*>(hash)); }
SV* reference(pTHX_ AV* array) { return newRV_noinc(reinterpret_cast<SV*>(array)); }

void push_text(pTHX_ AV* array, const char* text) { av_push(array, new_text(aTHX_ text)); }

// A hash key with its length and hash value.
struct a_hashkey {
    const char* text = nullptr;
    std::size_t length = 0;
    U32 hash = 0;
};

// The keys of one export, measured and hashed once per text: the counter names of every
// row are their block's texts, so a table by the texts' addresses serves each name for
// all rows after the first.
class key_table {
public:
    const a_hashkey& get(pTHX_ const char* text) {
        a_hashkey& slot = slots_[(reinterpret_cast<std::uintptr_t>(text) >> 3) % slot_count];
        if (slot.text != text) {
            slot.text = text;
            slot.length = util_strlen(text);
            PERL_HASH(slot.hash, text, slot.length);
        }
        return slot;
    }

private:
    static constexpr std::size_t slot_count = 4096;
    std::vector<a_hashkey> slots_ = std::vector<a_hashkey>(slot_count);
};

// Every pair of the chain, in chain order, into hash (a later pair of the same name
// wins).
void fill_pairs(pTHX_ key_table& keys, HV* hash, const a_measpair* chain) {
    for (const a_measpair* pair = chain; pair != nullptr; pair = pair->mmp_next) {
        if (pair->mmp_name == nullptr) continue;
        const a_hashkey& key = keys.get(aTHX_ pair->mmp_name);
        store(aTHX_ hash, key.text, key.length, new_text(aTHX_ pair->mmp_value), key.hash);
    }
}

// The types of a chain's pairs into the dictionary, in chain order (a later pair of the
// same name wins): a name whose entry already holds the same type is left alone.
void note_types(pTHX_ key_table& keys, HV* dictionary, const a_measpair* chain) {
    for (const a_measpair* pair = chain; pair != nullptr; pair = pair->mmp_next) {
        if (pair->mmp_name == nullptr) continue;
        const a_hashkey& key = keys.get(aTHX_ pair->mmp_name);
        const a_decimal type = decimal(pair->mmp_type);
        SV** old = static_cast<SV**>(hv_common_key_len(dictionary, key.text, static_cast<I32>(key.length),
                                                       HV_FETCH_JUST_SV, nullptr, key.hash));
        if (old != nullptr && SvPOK(*old) && SvCUR(*old) == type.length &&
            std::memcmp(SvPVX(*old), type.text, type.length) == 0)
            continue;
        store(aTHX_ dictionary, key.text, key.length, newSVpvn(type.text, type.length), key.hash);
    }
}

std::size_t chain_length(const a_measpair* chain) {
    std::size_t n = 0;
    for (; chain != nullptr; chain = chain->mmp_next) ++n;
    return n;
}

// The texts of one item, by its kind.
AV* item_values(pTHX_ int type, a_xmlcfgkind kind, std::int32_t count) {
    AV* array = newAV();
    const a_xmlconfig* config = glob_get_config(type);
    for (std::int32_t i = 0; i < count; ++i) {
        switch (kind) {
            case xkind_char: {
                // The first character of each value, read from the record: the typed
                // accessor insists on a single value and would leave an error pending
                // for the next run merely because the host looked.
                const char* text = config->xcf_slot[i].xs_text;
                const char delimiter[2] = {text != nullptr ? text[0] : '\0', '\0'};
                push_text(aTHX_ array, delimiter);
                break;
            }
            case xkind_tag:
                push_text(aTHX_ array, glob_getname_tagelem(type, i));
                push_text(aTHX_ array, glob_getattr_tagelem(type, i));
                break;
            case xkind_number:
                measdoc_add_intvalue(aTHX_ array, glob_getnum_value(type, i));
                break;
            case xkind_string:
                push_text(aTHX_ array, glob_get_string(type, i));
                break;
            case xkind_regex:
                push_text(aTHX_ array, glob_getstr_regex(type, i));
                break;
            case xkind_hash:
                push_text(aTHX_ array, glob_getkey_hash(type, i));
                push_text(aTHX_ array, glob_getval_hash(type, i));
                break;
            case xkind_none:
                break;
        }
    }
    return array;
}

}  // namespace

HV* measdoc_set_measpair(pTHX_ HV* dictionary, HV* hash, const a_measpair* pair) {
    if (pair == nullptr || pair->mmp_name == nullptr) return hash;
    const std::size_t length = util_strlen(pair->mmp_name);
    store_text(aTHX_ hash, pair->mmp_name, length, pair->mmp_value);
    if (dictionary != nullptr) {
        const a_decimal type = decimal(pair->mmp_type);
        store(aTHX_ dictionary, pair->mmp_name, length, newSVpvn(type.text, type.length));
    }
    return hash;
}

HV* measdoc_setnum_measpair(pTHX_ HV* hash, HV* subhash, std::int32_t index) {
    if (subhash == nullptr) return hash;
    const a_decimal key = decimal(index);
    store(aTHX_ hash, key.text, key.length, reference(aTHX_ subhash));
    return hash;
}

AV* measdoc_add_intvalue(pTHX_ AV* array, std::int32_t number) {
    const a_decimal text = decimal(number);
    av_push(array, newSVpvn(text.text, text.length));
    return array;
}

namespace {

// The types the block leaves in the dictionary, in the order measdoc_data writes them:
// the file's header and footer, the block's header, then the internal header of each row.
void note_block_types(pTHX_ key_table& keys, HV* dictionary, const a_measdata& data, const a_measinfo* info) {
    note_types(aTHX_ keys, dictionary, data.md_header);
    note_types(aTHX_ keys, dictionary, data.md_footer);
    note_types(aTHX_ keys, dictionary, info->mmi_commonhdr);
    for (const a_measvalue* row = info->mmi_measvalue; row != nullptr; row = row->mmv_next)
        note_types(aTHX_ keys, dictionary, row->mmv_uniquehdr);
}

// One block's entries: its header fields into a new hash that *header receives, and the
// returned new hash of its rows, internal header and block name. The types are left to
// the caller (note_block_types).
HV* export_block(pTHX_ key_table& keys, const a_measdata& data, const a_measinfo* info, HV** header) {
    // The block's own header comes last, so that it overrides the file's.
    *header = newHV();
    fill_pairs(aTHX_ keys, *header, data.md_header);
    fill_pairs(aTHX_ keys, *header, data.md_footer);
    fill_pairs(aTHX_ keys, *header, info->mmi_commonhdr);

    a_hashkey pif_data;
    pif_data.text = "pifData";
    pif_data.length = sizeof "pifData" - 1;
    PERL_HASH(pif_data.hash, pif_data.text, pif_data.length);
    HV* block = newHV();
    // Every row writes the block's internal header and block name in turn, so those of
    // the last row (the last named block name) remain.
    const a_measvalue* last_row = nullptr;
    const a_measpair* block_name = nullptr;
    std::int32_t row_number = 0;
    for (const a_measvalue* row = info->mmi_measvalue; row != nullptr; row = row->mmv_next, ++row_number) {
        last_row = row;
        if (row->mmv_blockname != nullptr && row->mmv_blockname->mmp_name != nullptr) block_name = row->mmv_blockname;

        HV* counters = newHV();
        const std::size_t pairs =
            chain_length(row->mmv_measrslt) + chain_length(row->mmv_instanceobj) + chain_length(row->mmv_suspect);
        if (pairs > 8) hv_ksplit(counters, static_cast<IV>(pairs));
        fill_pairs(aTHX_ keys, counters, row->mmv_measrslt);
        fill_pairs(aTHX_ keys, counters, row->mmv_instanceobj);
        fill_pairs(aTHX_ keys, counters, row->mmv_suspect);
        HV* entry = newHV();
        store(aTHX_ entry, pif_data.text, pif_data.length, reference(aTHX_ counters), pif_data.hash);
        measdoc_setnum_measpair(aTHX_ block, entry, row_number);
    }
    if (last_row != nullptr) {
        HV* internal = newHV();
        fill_pairs(aTHX_ keys, internal, last_row->mmv_uniquehdr);
        store_key(aTHX_ block, "internalHeaderData", reference(aTHX_ internal));
    }
    if (block_name != nullptr) store_key(aTHX_ block, "blockName", newSVpv(block_name->mmp_name, 0));
    return block;
}

}  // namespace

HV* measdoc_export_data(pTHX_ const a_measdata& data) {
    HV* top = newHV();
    HV* common = newHV();
    HV* dictionary = newHV();
    key_table keys;
    std::int32_t block_number = 0;
    for (const a_measinfo* info = data.md_measinfo; info != nullptr; info = info->mmi_next, ++block_number) {
        note_block_types(aTHX_ keys, dictionary, data, info);
        HV* header = nullptr;
        HV* block = export_block(aTHX_ keys, data, info, &header);
        measdoc_setnum_measpair(aTHX_ common, header, block_number);
        measdoc_setnum_measpair(aTHX_ top, block, block_number);
    }
    store_key(aTHX_ top, "commonHeaderData", reference(aTHX_ common));
    store_key(aTHX_ top, "dataTypeDict", reference(aTHX_ dictionary));
    return top;
}

std::int32_t measdoc_export_block_count(const a_measdata& data) {
    std::int32_t count = 0;
    for (const a_measinfo* info = data.md_measinfo; info != nullptr; info = info->mmi_next) ++count;
    return count;
}

HV* measdoc_export_block(pTHX_ const a_measdata& data, std::int32_t number) {
    if (number < 0) return nullptr;
    const a_measinfo* info = data.md_measinfo;
    for (std::int32_t i = 0; info != nullptr && i < number; ++i) info = info->mmi_next;
    if (info == nullptr) return nullptr;
    key_table keys;
    HV* header = nullptr;
    HV* block = export_block(aTHX_ keys, data, info, &header);
    HV* top = newHV();
    measdoc_setnum_measpair(aTHX_ top, block, number);
    store_key(aTHX_ top, "commonHeaderData", reference(aTHX_ measdoc_setnum_measpair(aTHX_ newHV(), header, number)));
    return top;
}

namespace {

constexpr std::string_view pif_banner = "## Parser Intermediate File\n##START|HEADER\n";
constexpr std::string_view pif_header_end = "##END|HEADER\n";
constexpr std::string_view pif_block_start = "##START|";
constexpr std::string_view pif_block_end = "##END|";
constexpr std::string_view pif_default_name = "XMLDATA";
// The banner, the header's four lines, the block's start, names and end lines.
constexpr std::int64_t pif_fixed_lines = 8;
constexpr char pif_separator = '|';
// A field holding one of these would shift every later field or split its line.
constexpr std::string_view pif_unsafe = "|\r\n";

// Every field of every row is checked: a table lookup per octet rather than a search of
// the unsafe octets for each one.
constexpr std::array<std::uint8_t, 256> pif_unsafe_table = [] {
    std::array<std::uint8_t, 256> table{};
    for (char c : pif_unsafe) table[static_cast<unsigned char>(c)] = 1;
    return table;
}();

// Whether value can be a field: true when it holds none of the unsafe octets.
bool pif_safe(std::string_view value) {
    for (char c : value)
        if (pif_unsafe_table[static_cast<unsigned char>(c)] != 0) return false;
    return true;
}

// The unsafe octets in text, counted without a branch per octet: rendered rows are
// checked whole against the separators and line ends they must hold.
std::size_t pif_unsafe_count(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) count += pif_unsafe_table[static_cast<unsigned char>(c)];
    return count;
}

std::string_view text_of(const char* text) { return text != nullptr ? std::string_view(text) : std::string_view(); }

// The pairs of chains into fields, by name (a later pair of the same name wins).
using a_fieldmap = std::map<std::string_view, std::string_view>;
void collect_fields(a_fieldmap& fields, const a_measpair* chain) {
    for (const a_measpair* pair = chain; pair != nullptr; pair = pair->mmp_next)
        if (pair->mmp_name != nullptr) fields.insert_or_assign(std::string_view(pair->mmp_name), text_of(pair->mmp_value));
}

// The column number of each counter name of a block. Rows repeat their block's name
// texts at the same places, so the name seen last at a place answers without hashing.
class column_slots {
public:
    std::size_t slot(std::size_t place, const char* name) {
        if (place < last_text_.size() && last_text_[place] == name) return last_slot_[place];
        const auto [found, fresh] = by_name_.try_emplace(std::string_view(name), names_.size());
        if (fresh) names_.push_back(found->first);
        if (place >= last_text_.size()) {
            last_text_.resize(place + 1, nullptr);
            last_slot_.resize(place + 1, 0);
        }
        last_text_[place] = name;
        last_slot_[place] = found->second;
        return found->second;
    }
    const std::vector<std::string_view>& names() const { return names_; }

private:
    std::unordered_map<std::string_view, std::size_t> by_name_;
    std::vector<std::string_view> names_;
    std::vector<const char*> last_text_;
    std::vector<std::size_t> last_slot_;
};

// Whether the type dictionary marks name as part of the measured object's name.
bool is_object_name(pTHX_ HV* types, std::string_view name) {
    if (types == nullptr) return false;
    SV** type = hv_fetch(types, name.data(), static_cast<I32>(name.size()), 0);
    if (type == nullptr || !SvOK(*type)) return false;
    STRLEN length = 0;
    const char* text = SvPV_const(*type, length);
    return length == 1 && text[0] == '1';
}

// Lines of "|"-separated fields; remembers the first field that cannot be written.
class pif_writer {
public:
    pif_writer(std::size_t estimate, bool keep) : keep_(keep) { text_.reserve(estimate); }
    void raw(std::string_view octets) {
        if (keep_) text_.append(octets);
    }
    void check(std::string_view value) {
        if (!refused_ && !pif_safe(value)) {
            refused_ = true;
            bad_ = value;
        }
    }
    void field(bool first, std::string_view value) {
        check(value);
        unchecked_field(first, value);
    }
    // A field whose check is the caller's (rows are checked whole once written).
    void unchecked_field(bool first, std::string_view value) {
        if (!keep_) return;
        if (!first) text_.push_back(pif_separator);
        text_.append(value);
    }
    void end_line() {
        if (keep_) text_.push_back('\n');
    }
    template <typename Range>
    void line(const Range& values) {
        bool first = true;
        for (std::string_view value : values) {
            field(first, value);
            first = false;
        }
        end_line();
    }
    bool refused() const { return refused_; }
    std::string_view bad() const { return bad_; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    bool keep_;
    bool refused_ = false;
    std::string_view bad_;
};

// One counter value of a row: its column and text.
struct a_rowfield {
    std::size_t slot;
    std::string_view value;
};

void store_view(pTHX_ HV* hash, std::string_view key, std::string_view value) {
    store(aTHX_ hash, key.data(), key.size(), newSVpvn(value.data(), value.size()));
}

AV* texts_of(pTHX_ const std::vector<std::string_view>& texts) {
    AV* array = newAV();
    for (std::string_view text : texts) av_push(array, newSVpvn(text.data(), text.size()));
    return array;
}

// A block laid out as its PIF file has it: header fields, columns and each row's fields.
struct a_blockview {
    std::string_view name;
    std::vector<std::string_view> header_names;
    std::vector<std::string_view> header_values;
    std::vector<std::string_view> names;     // by column slot
    std::vector<bool> object;                // by column slot
    std::vector<std::size_t> columns;        // slots, in column order
    std::vector<a_rowfield> fields;
    std::vector<std::size_t> row_ends;       // the end of each row's fields
    bool has_flag = false;
    std::size_t flag_slot = 0;
};

// The view's name and header alone, which need no row but the last.
void block_head(const a_measdata& data, const a_measinfo* info, a_blockview& view) {
    // The header: the file's fields, overridden by the block's, then the internal header
    // of the last row; the internal names the others lack follow in their own order.
    a_fieldmap header;
    collect_fields(header, data.md_header);
    collect_fields(header, data.md_footer);
    collect_fields(header, info->mmi_commonhdr);
    const a_measvalue* last_row = nullptr;
    const a_measpair* block_name = nullptr;
    for (const a_measvalue* row = info->mmi_measvalue; row != nullptr; row = row->mmv_next) {
        last_row = row;
        if (row->mmv_blockname != nullptr && row->mmv_blockname->mmp_name != nullptr) block_name = row->mmv_blockname;
    }
    a_fieldmap internal;
    if (last_row != nullptr) collect_fields(internal, last_row->mmv_uniquehdr);
    for (const auto& [name, value] : header) {
        view.header_names.push_back(name);
        const auto override = internal.find(name);
        view.header_values.push_back(override != internal.end() ? override->second : value);
    }
    for (const auto& [name, value] : internal) {
        if (header.count(name) != 0) continue;
        view.header_names.push_back(name);
        view.header_values.push_back(value);
    }
    view.name = block_name != nullptr ? std::string_view(block_name->mmp_name) : std::string_view();
    if (view.name.empty()) view.name = pif_default_name;
}

a_blockview block_view(pTHX_ const a_measdata& data, const a_measinfo* info, HV* types, const char* suspect) {
    a_blockview view;
    block_head(data, info, view);
    column_slots slots;
    for (const a_measvalue* row = info->mmi_measvalue; row != nullptr; row = row->mmv_next) {
        std::size_t place = 0;
        for (const a_measpair* chain : {row->mmv_measrslt, row->mmv_instanceobj, row->mmv_suspect}) {
            for (const a_measpair* pair = chain; pair != nullptr; pair = pair->mmp_next, ++place) {
                if (pair->mmp_name == nullptr) continue;
                view.fields.push_back({slots.slot(place, pair->mmp_name), text_of(pair->mmp_value)});
            }
        }
        view.row_ends.push_back(view.fields.size());
    }

    // Columns: the object's names, the counters, the suspect flag; each group sorted.
    view.names = slots.names();
    const std::vector<std::string_view>& names = view.names;
    std::vector<std::size_t> order(names.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&names](std::size_t a, std::size_t b) { return names[a] < names[b]; });
    const std::string_view flag = text_of(suspect);
    view.object.assign(names.size(), false);
    for (std::size_t slot : order) {
        view.object[slot] = is_object_name(aTHX_ types, names[slot]);
        if (view.object[slot]) view.columns.push_back(slot);
    }
    for (std::size_t slot : order) {
        const bool is_flag = suspect != nullptr && names[slot] == flag;
        if (is_flag) {
            view.has_flag = true;
            view.flag_slot = slot;
        }
        if (!view.object[slot] && !is_flag) view.columns.push_back(slot);
    }
    if (view.has_flag) view.columns.push_back(view.flag_slot);
    return view;
}

// Calls use(row number, fields by slot) for each row; a field the row lacks is empty.
template <typename Use>
void each_row(const a_blockview& view, Use use) {
    std::vector<std::string_view> values(view.names.size());
    std::size_t begin = 0;
    for (std::size_t row = 0; row < view.row_ends.size(); ++row) {
        std::fill(values.begin(), values.end(), std::string_view());
        for (std::size_t i = begin; i < view.row_ends[row]; ++i) values[view.fields[i].slot] = view.fields[i].value;
        use(row, values);
        begin = view.row_ends[row];
    }
}

// The view's PIF text, or only the check for a field it cannot carry when keep is false.
pif_writer write_pif(const a_blockview& view, bool keep) {
    std::size_t estimate = 0;
    if (keep) {
        estimate = pif_banner.size() + 2 * view.name.size() + 64 + view.row_ends.size();
        for (const a_rowfield& field : view.fields) estimate += field.value.size() + 1;
    }
    pif_writer out(estimate, keep);
    // The name goes into the block's start and end lines: it is checked first.
    out.check(view.name);
    if (out.refused()) return out;
    out.raw(pif_banner);
    out.line(view.header_names);
    out.line(view.header_values);
    out.raw(pif_header_end);
    out.raw(pif_block_start);
    out.raw(view.name);
    out.end_line();
    std::vector<std::string_view> column_names;
    column_names.reserve(view.columns.size());
    for (std::size_t slot : view.columns) column_names.push_back(view.names[slot]);
    out.line(column_names);
    const std::size_t rows_start = out.text().size();
    each_row(view, [&](std::size_t, const std::vector<std::string_view>& values) {
        bool first = true;
        for (std::size_t slot : view.columns) {
            out.unchecked_field(first, values[slot]);
            first = false;
        }
        out.end_line();
    });
    // Each written row holds a separator between its fields and a line end: any other
    // unsafe octet is a field's. Only then (or with nothing written to count) are the
    // fields checked one by one, to name the first of them.
    const std::size_t per_row = std::max<std::size_t>(view.columns.size(), 1);
    if (!out.refused() &&
        (!keep || pif_unsafe_count(std::string_view(out.text()).substr(rows_start)) != view.row_ends.size() * per_row)) {
        each_row(view, [&out, &view](std::size_t, const std::vector<std::string_view>& values) {
            for (std::size_t slot : view.columns) out.check(values[slot]);
        });
    }
    out.raw(pif_block_end);
    out.raw(view.name);
    out.end_line();
    return out;
}

AV* identity_of(pTHX_ const a_blockview& view) {
    AV* identity = newAV();
    for (std::size_t slot : view.columns)
        if (view.object[slot]) av_push(identity, newSVpvn(view.names[slot].data(), view.names[slot].size()));
    return identity;
}

HV* render_pif(pTHX_ const a_measdata& data, const a_measinfo* info, HV* types, const char* suspect) {
    const a_blockview view = block_view(aTHX_ data, info, types, suspect);
    const pif_writer out = write_pif(view, true);
    HV* result = newHV();
    store_view(aTHX_ result, "name", view.name);
    if (out.refused()) {
        store_view(aTHX_ result, "bad", out.bad());
        return result;
    }
    store_view(aTHX_ result, "text", out.text());
    store_key(aTHX_ result, "lines", newSViv(static_cast<IV>(pif_fixed_lines + static_cast<std::int64_t>(view.row_ends.size()))));
    store_key(aTHX_ result, "identity", reference(aTHX_ identity_of(aTHX_ view)));
    return result;
}

// --- the rows as the host's JSON text ---------------------------------------------------
//
// Only the common content is rendered here: texts of printable ASCII and whole numbers
// that a 64-bit integer holds. Anything else (other octets, fractions, exponents, numbers
// beyond that) is declined, and the host renders the block with its general encoder, so
// that the two never write the same value differently.

constexpr std::string_view json_indent_unit = "   ";
// A line break and the blanks of the deepest line a row has (a list's numbers).
constexpr std::string_view json_line_starts = "\n               ";
// The octets written as they are: printable ASCII.
constexpr unsigned char json_first_plain = 0x20;
constexpr unsigned char json_last_plain = 0x7e;
constexpr std::size_t json_row_depth = 1;
// Octets of a row besides its fields and the fixed texts, and of a field besides its
// value, for a first guess of the text's size (names of up to 24 octets).
constexpr std::size_t json_row_overhead = 180;
constexpr std::size_t json_field_overhead = 40;
// Digits every 64-bit integer of that many digits has exactly.
constexpr std::size_t json_exact_digits = 18;

// Whether text has the host's number form: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][-+]?[0-9]+)?
bool is_number(std::string_view text, bool* whole) {
    std::size_t i = 0;
    const auto digits = [&text, &i]() {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - start;
    };
    if (i < text.size() && text[i] == '-') ++i;
    const std::size_t integer_start = i;
    const std::size_t integer = digits();
    if (integer == 0 || (integer > 1 && text[integer_start] == '0')) return false;
    *whole = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (digits() == 0) return false;
        *whole = false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        if (digits() == 0) return false;
        *whole = false;
    }
    if (*whole && (integer > json_exact_digits || text == "-0")) *whole = false;
    return i == text.size();
}

// A text as the host's plain value: one in double quotes that holds a blank loses them.
std::string_view plain_value(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return text;
    const std::string_view inner = text.substr(1, text.size() - 2);
    return inner.find_first_of(" \t\n\r\f\v") != std::string_view::npos ? inner : text;
}

class json_writer {
public:
    bool declined() const { return declined_; }
    std::string& text() { return text_; }
    void raw(std::string_view octets) { text_.append(octets); }
    void reserve(std::size_t octets) { text_.reserve(octets); }
    void indent(std::size_t depth) {
        const std::size_t length = 1 + depth * json_indent_unit.size();
        if (length <= json_line_starts.size()) {
            text_.append(json_line_starts.substr(0, length));
            return;
        }
        text_.push_back('\n');
        for (std::size_t i = 0; i < depth; ++i) text_.append(json_indent_unit);
    }
    void string(std::string_view value) {
        std::size_t escapes = 0;
        for (const char c : value) {
            const auto octet = static_cast<unsigned char>(c);
            if (octet < json_first_plain || octet > json_last_plain) {
                declined_ = true;
                return;
            }
            escapes += c == '"' || c == '\\';
        }
        text_.push_back('"');
        if (escapes == 0) {
            text_.append(value);
        } else {
            for (const char c : value) {
                if (c == '"' || c == '\\') text_.push_back('\\');
                text_.push_back(c);
            }
        }
        text_.push_back('"');
    }
    void key(std::size_t depth, std::string_view name) {
        indent(depth);
        string(name);
        text_.append(" : ");
    }
    // A counter's value: null when empty, a number, a list of numbers ("86,87,2"), a text.
    void value(std::size_t depth, std::string_view text) {
        if (text.empty()) {
            text_.append("null");
            return;
        }
        bool whole = false;
        if (is_number(text, &whole)) {
            if (!whole) declined_ = true;
            text_.append(text);
            return;
        }
        if (text.find(',') != std::string_view::npos && list(depth, text)) return;
        string(text);
    }

private:
    // Writes text as a list when every part is a number; false (nothing written) else.
    bool list(std::size_t depth, std::string_view text) {
        for (std::size_t begin = 0;;) {
            const std::size_t end = std::min(text.find(',', begin), text.size());
            bool whole = false;
            if (!is_number(text.substr(begin, end - begin), &whole)) return false;
            if (!whole) declined_ = true;
            if (end == text.size()) break;
            begin = end + 1;
        }
        text_.push_back('[');
        for (std::size_t begin = 0;;) {
            const std::size_t end = std::min(text.find(',', begin), text.size());
            if (begin != 0) text_.push_back(',');
            indent(depth + 1);
            text_.append(text.substr(begin, end - begin));
            if (end == text.size()) break;
            begin = end + 1;
        }
        indent(depth);
        text_.push_back(']');
        return true;
    }

    std::string text_;
    bool declined_ = false;
};

// The texts the host encoded for what is the same in every row of the block.
struct a_jsonfixed {
    std::string_view begin, block, end, file, granularity;
};

bool fixed_text(pTHX_ HV* fixed, const char* key, std::string_view* text) {
    SV** value = hv_fetch(fixed, key, static_cast<I32>(std::strlen(key)), 0);
    if (value == nullptr || !SvOK(*value)) return false;
    STRLEN length = 0;
    const char* octets = SvPV_const(*value, length);
    *text = std::string_view(octets, length);
    return true;
}

// Writes the view's rows as JSON objects separated by ",\n"; false when it declines.
bool write_json_rows(const a_blockview& view, const a_jsonfixed& fixed, json_writer& out, std::int64_t* lines) {
    // Columns by name; identity names once each, the suspect flag apart.
    std::vector<std::size_t> object_slots;
    std::vector<std::size_t> counter_slots;
    std::vector<bool> special(view.names.size(), false);
    for (std::size_t slot : view.columns) {
        if (plain_value(view.names[slot]) != view.names[slot]) return false;
        if (view.object[slot]) special[slot] = true;
    }
    if (view.has_flag) special[view.flag_slot] = true;
    for (std::size_t slot : view.columns) {
        if (view.object[slot]) {
            if (std::find(object_slots.begin(), object_slots.end(), slot) == object_slots.end()) object_slots.push_back(slot);
        } else if (!special[slot]) {
            counter_slots.push_back(slot);
        }
    }
    const auto by_name = [&view](std::size_t a, std::size_t b) { return view.names[a] < view.names[b]; };
    std::sort(object_slots.begin(), object_slots.end(), by_name);
    std::sort(counter_slots.begin(), counter_slots.end(), by_name);

    constexpr std::size_t field_depth = json_row_depth + 1;
    constexpr std::size_t entry_depth = field_depth + 1;
    // A row's lines: braces and eight fields, and each hash's entries and closing brace.
    std::int64_t row_lines = 10;
    if (!object_slots.empty()) row_lines += static_cast<std::int64_t>(object_slots.size()) + 1;
    if (!counter_slots.empty()) row_lines += static_cast<std::int64_t>(counter_slots.size()) + 1;
    std::int64_t list_lines = 0;
    // The fixed part of each row, and each field with its key and indent.
    std::size_t estimate = view.row_ends.size() *
        (fixed.begin.size() + fixed.block.size() + fixed.end.size() + fixed.file.size() + fixed.granularity.size() +
         json_row_overhead);
    for (const a_rowfield& field : view.fields) estimate += field.value.size() + json_field_overhead;
    out.reserve(estimate);
    // A field whose JSON text the host made, and the comma after it.
    const auto fixed_field = [&out](std::string_view key, std::string_view text) {
        out.key(field_depth, key);
        out.raw(text);
        out.raw(",");
    };
    each_row(view, [&](std::size_t row, const std::vector<std::string_view>& values) {
        if (out.declined()) return;
        if (row != 0) out.raw(",");
        out.indent(json_row_depth);
        out.raw("{");
        fixed_field("begin", fixed.begin);
        fixed_field("block", fixed.block);
        out.key(field_depth, "counters");
        out.raw("{");
        for (std::size_t i = 0; i < counter_slots.size(); ++i) {
            if (i != 0) out.raw(",");
            out.key(entry_depth, view.names[counter_slots[i]]);
            const std::string_view value = plain_value(values[counter_slots[i]]);
            const std::size_t before = out.text().size();
            out.value(entry_depth, value);
            if (out.text()[before] == '[') list_lines += std::count(value.begin(), value.end(), ',') + 2;
        }
        if (!counter_slots.empty()) out.indent(field_depth);
        out.raw("},");
        fixed_field("end", fixed.end);
        fixed_field("file", fixed.file);
        fixed_field("granularity", fixed.granularity);
        out.key(field_depth, "object");
        out.raw("{");
        for (std::size_t i = 0; i < object_slots.size(); ++i) {
            if (i != 0) out.raw(",");
            out.key(entry_depth, view.names[object_slots[i]]);
            out.string(plain_value(values[object_slots[i]]));
        }
        if (!object_slots.empty()) out.indent(field_depth);
        out.raw("},");
        out.key(field_depth, "suspect");
        if (!view.has_flag) {
            out.raw("null");
        } else {
            const std::string_view flag = plain_value(values[view.flag_slot]);
            const bool suspect = flag.size() == 4 && (flag[0] | 0x20) == 't' && (flag[1] | 0x20) == 'r' &&
                                 (flag[2] | 0x20) == 'u' && (flag[3] | 0x20) == 'e';
            out.raw(suspect ? "true" : "false");
        }
        out.indent(json_row_depth);
        out.raw("}");
    });
    *lines = row_lines * static_cast<std::int64_t>(view.row_ends.size()) + list_lines;
    return !out.declined();
}

HV* render_json(pTHX_ const a_measdata& data, const a_measinfo* info, HV* types, const char* suspect, HV* fixed) {
    if (fixed == nullptr) {
        a_blockview head;
        block_head(data, info, head);
        HV* result = newHV();
        store_view(aTHX_ result, "name", head.name);
        store_key(aTHX_ result, "header", reference(aTHX_ texts_of(aTHX_ head.header_names)));
        store_key(aTHX_ result, "values", reference(aTHX_ texts_of(aTHX_ head.header_values)));
        return result;
    }
    const a_blockview view = block_view(aTHX_ data, info, types, suspect);
    const pif_writer check = write_pif(view, false);
    if (check.refused()) {
        HV* result = newHV();
        store_view(aTHX_ result, "name", view.name);
        store_view(aTHX_ result, "bad", check.bad());
        return result;
    }
    a_jsonfixed texts;
    if (!fixed_text(aTHX_ fixed, "begin", &texts.begin) || !fixed_text(aTHX_ fixed, "block", &texts.block) ||
        !fixed_text(aTHX_ fixed, "end", &texts.end) || !fixed_text(aTHX_ fixed, "file", &texts.file) ||
        !fixed_text(aTHX_ fixed, "granularity", &texts.granularity))
        return newHV();
    json_writer out;
    std::int64_t lines = 0;
    const bool written = write_json_rows(view, texts, out, &lines);
    HV* result = newHV();
    if (!written) return result;
    // The rows follow the opening line of the host's list: the first row's line break is
    // the separator's.
    std::string_view text = out.text();
    if (!text.empty()) text.remove_prefix(1);
    store_view(aTHX_ result, "text", text);
    store_key(aTHX_ result, "lines", newSViv(static_cast<IV>(lines)));
    return result;
}

}  // namespace

HV* measdoc_export_pif(pTHX_ const a_measdata& data, std::int32_t number, HV* types, const char* suspect,
                       const char** failure) {
    *failure = nullptr;
    if (number < 0) return nullptr;
    const a_measinfo* info = data.md_measinfo;
    for (std::int32_t i = 0; info != nullptr && i < number; ++i) info = info->mmi_next;
    if (info == nullptr) return nullptr;
    try {
        return render_pif(aTHX_ data, info, types, suspect);
    } catch (const std::bad_alloc&) {
        *failure = "out of memory";
        return nullptr;
    }
}

HV* measdoc_export_json(pTHX_ const a_measdata& data, std::int32_t number, HV* types, const char* suspect,
                        HV* fixed, const char** failure) {
    *failure = nullptr;
    if (number < 0) return nullptr;
    const a_measinfo* info = data.md_measinfo;
    for (std::int32_t i = 0; info != nullptr && i < number; ++i) info = info->mmi_next;
    if (info == nullptr) return nullptr;
    try {
        return render_json(aTHX_ data, info, types, suspect, fixed);
    } catch (const std::bad_alloc&) {
        *failure = "out of memory";
        return nullptr;
    }
}

HV* measdoc_export_types(pTHX_ const a_measdata& data) {
    HV* dictionary = newHV();
    key_table keys;
    for (const a_measinfo* info = data.md_measinfo; info != nullptr; info = info->mmi_next)
        note_block_types(aTHX_ keys, dictionary, data, info);
    return dictionary;
}

HV* measdoc_export_configuration(pTHX) {
    HV* hash = newHV();
    for (int type = xcfg_s_char; type <= xcfg_s_last; ++type) {
        const a_xmlcfginfo* info = glob_get_config_info(type);
        if (info == nullptr) continue;  // a marker
        const std::int32_t count = glob_getnum_config(type);
        if (count < 1) continue;
        AV* values = item_values(aTHX_ type, info->kind, count);
        store(aTHX_ hash, info->export_key.data(), info->export_key.size(), reference(aTHX_ values));
    }
    return hash;
}
