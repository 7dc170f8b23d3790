// conf: the configuration store (glob_ functions). The host glue sets items before
// start-up; glob_init fills in defaults and prepares the values; the parse side, the block
// reader (file name) and the thread unit (thread number, stack size) read them through the
// typed accessors during a run, without locks, since nothing writes them then.
#include "md_conf.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

#include "md_error.h"
#include "md_index.h"
#include "md_memory.h"
#include "md_regex.h"
#include "md_thread.h"
#include "md_util.h"

namespace {

// A default table: the values, NULL-terminated, and the table's name for messages.
struct a_defaults {
    const char* const* values;
    const char* name;
};

// One item: how it is read, the host's names, and its defaults for the two layouts (set 1
// for document type 1, set 0 for any other).
struct a_itemdef {
    a_xmlcfginfo info;
    a_defaults set0;
    a_defaults set1;
};

constexpr const char* def_NameAttrDelimiter[] = {".", nullptr};
constexpr const char* def_counterListDelimiter[] = {" ", nullptr};
constexpr const char* def_headerElementNames0[] = {"vn", "st", "ts", "nedn", "cbt", "sn", "ffv", nullptr};
constexpr const char* def_headerElementNames1[] = {
    "fileHeader.vendorName", "fileSender.elementType", "measCollec.endTime",
    "fileHeader.dnPrefix",   "managedElement.localDn", "measCollec.beginTime",
    "fileHeader.dnPrefix",   "fileSender.localDn",     "fileHeader.fileFormatVersion",
    nullptr};
constexpr const char* def_uniquePifHeaderElementNames0[] = {"mts", "gp", "moid", nullptr};
constexpr const char* def_uniquePifHeaderElementNames1[] = {"granPeriod.endTime", "granPeriod.duration",
                                                            "measValue.measObjLdn", nullptr};
constexpr const char* def_uniquePIFBlockElementName0[] = {"mi", nullptr};
constexpr const char* def_uniquePIFBlockElementName1[] = {"measInfo", nullptr};
constexpr const char* def_measurementValueElementName0[] = {"mv", nullptr};
constexpr const char* def_measurementValueElementName1[] = {"measValue", nullptr};
constexpr const char* def_measureTypeElementSeq0[] = {"mt", nullptr};
constexpr const char* def_measureTypeElementSeq1[] = {"measTypes", nullptr};
constexpr const char* def_measurementResultsElementSeq0[] = {"r", nullptr};
constexpr const char* def_measurementResultsElementSeq1[] = {"measResults", nullptr};
constexpr const char* def_suspectFlagElementName0[] = {"sf", nullptr};
constexpr const char* def_suspectFlagElementName1[] = {"Suspect", nullptr};
constexpr const char* def_distinguishedNameElementNames0[] = {"sn", "nedn", "moid", nullptr};
constexpr const char* def_distinguishedNameElementNames1[] = {"fileHeader.vendorName", "fileHeader.dnPrefix",
                                                              "managedElement.localDn", "measValue.measObjLdn",
                                                              nullptr};
constexpr const char* def_delimitedCounterElementNames0[] = {nullptr};
constexpr const char* def_delimitedCounterElementNames1[] = {"measResults", "measTypes", nullptr};
constexpr const char* def_normalCounterElementNames0[] = {"mt", "r", nullptr};
constexpr const char* def_normalCounterElementNames1[] = {"measType", "r", nullptr};
constexpr const char* def_timestampCounterElementNames[] = {nullptr};
constexpr const char* def_measurementDataElementName0[] = {"md", nullptr};
constexpr const char* def_measurementDataElementName1[] = {"measData", nullptr};
constexpr const char* def_measurementHeaderElementName0[] = {"mfh", nullptr};
constexpr const char* def_measurementHeaderElementName1[] = {"fileHeader", nullptr};
constexpr const char* def_measurementFooterElementName0[] = {"mff", nullptr};
constexpr const char* def_measurementFooterElementName1[] = {"fileFooter", nullptr};
constexpr const char* def_outputBlockElementName0[] = {"moid", nullptr};
constexpr const char* def_outputBlockElementName1[] = {"measValue.measObjLdn", nullptr};
constexpr const char* def_instanceObject0[] = {"moid", nullptr};
constexpr const char* def_instanceObject1[] = {"measValue.measObjLdn", nullptr};
constexpr const char* def_maxCounterNameSize[] = {"60", nullptr};
constexpr const char* def_xmlDocumentType[] = {"0", nullptr};
static_assert(thr_max_num >= 0 && thr_max_num <= 9, "the default thread number is one digit");
constexpr char thread_number_text[] = {static_cast<char>('0' + thr_max_num), '\0'};
constexpr const char* def_threadNumber[] = {thread_number_text, nullptr};
constexpr const char* def_threadStackSize[] = {"3145728", nullptr};
constexpr const char* def_altCounterNullValue[] = {nullptr};
constexpr const char* def_xmlFileName[] = {nullptr};
constexpr const char* def_outputBlockDescription[] = {nullptr};
constexpr const char* def_altCounterNames[] = {nullptr};
constexpr const char* def_timestampDesc[] = {
    "^20\\d{2}\\d{2}(\\d{2})\\d{2}\\d{2}\\d{2}\\.\\d+?\\+\\d{4}?$",
    "^20\\d{2}(\\d{2})\\d{2}\\d{2}\\d{2}\\d{2}\\.\\d+?\\+\\d{4}?$",
    "^(20\\d{2})\\d{2}\\d{2}\\d{2}\\d{2}\\d{2}\\.\\d+?\\+\\d{4}?$",
    "^20\\d{2}\\d{2}\\d{2}(\\d{2})\\d{2}\\d{2}\\.\\d+?\\+\\d{4}?$",
    "^20\\d{2}\\d{2}\\d{2}\\d{2}(\\d{2})\\d{2}\\.\\d+?\\+\\d{4}?$",
    "^20\\d{2}\\d{2}\\d{2}\\d{2}\\d{2}(\\d{2})\\.\\d+?\\+\\d{4}?$",
    nullptr};
constexpr const char* def_altOutputBlockNames[] = {nullptr};
constexpr const char* def_switchOff[] = {"0", nullptr};
constexpr const char* def_counterPositionAttribute[] = {nullptr};
constexpr const char* def_xmlStandardText[] = {"0", nullptr};

constexpr a_defaults no_item{nullptr, nullptr};

// Indexed by item number; markers have kind xkind_none.
constexpr std::array<a_itemdef, xcfg_s_last + 1> item_defs = {{
    {{xkind_none, "", ""}, no_item, no_item},  // undef
    {{xkind_none, "", ""}, no_item, no_item},  // s_start
    {{xkind_none, "", ""}, no_item, no_item},  // s_char
    {{xkind_char, "xmlNameAttrDelimiter", "i_xmlnameattrdelimiter"},
     a_defaults{def_NameAttrDelimiter, "def_NameAttrDelimiter"},
     a_defaults{def_NameAttrDelimiter, "def_NameAttrDelimiter"}},
    {{xkind_char, "counterListDelimiter", "i_counterlistdelimiter"},
     a_defaults{def_counterListDelimiter, "def_counterListDelimiter"},
     a_defaults{def_counterListDelimiter, "def_counterListDelimiter"}},
    {{xkind_none, "", ""}, no_item, no_item},  // s_tag
    {{xkind_tag, "headerElementNames", "i_hdrelemnames"},
     a_defaults{def_headerElementNames0, "def_headerElementNames0"},
     a_defaults{def_headerElementNames1, "def_headerElementNames1"}},
    {{xkind_tag, "uniquePifHeaderElementNames", "i_uniquepifhdrelemnames"},
     a_defaults{def_uniquePifHeaderElementNames0, "def_uniquePifHeaderElementNames0"},
     a_defaults{def_uniquePifHeaderElementNames1, "def_uniquePifHeaderElementNames1"}},
    {{xkind_tag, "uniquePIFBlockElementName", "i_uniquepifblkelemname"},
     a_defaults{def_uniquePIFBlockElementName0, "def_uniquePIFBlockElementName0"},
     a_defaults{def_uniquePIFBlockElementName1, "def_uniquePIFBlockElementName1"}},
    {{xkind_tag, "measurementValueElementName", "i_measvalelemname"},
     a_defaults{def_measurementValueElementName0, "def_measurementValueElementName0"},
     a_defaults{def_measurementValueElementName1, "def_measurementValueElementName1"}},
    {{xkind_tag, "measureTypeElementSeq", "i_meastypelemseq"},
     a_defaults{def_measureTypeElementSeq0, "def_measureTypeElementSeq0"},
     a_defaults{def_measureTypeElementSeq1, "def_measureTypeElementSeq1"}},
    {{xkind_tag, "measurementResultsElementSeq", "i_measrsltelemseq"},
     a_defaults{def_measurementResultsElementSeq0, "def_measurementResultsElementSeq0"},
     a_defaults{def_measurementResultsElementSeq1, "def_measurementResultsElementSeq1"}},
    {{xkind_tag, "suspectFlagElementName", "i_suspectflagelemname"},
     a_defaults{def_suspectFlagElementName0, "def_suspectFlagElementName0"},
     a_defaults{def_suspectFlagElementName1, "def_suspectFlagElementName1"}},
    {{xkind_tag, "distinguishedNameElementNames", "i_distnameelemnames"},
     a_defaults{def_distinguishedNameElementNames0, "def_distinguishedNameElementNames0"},
     a_defaults{def_distinguishedNameElementNames1, "def_distinguishedNameElementNames1"}},
    {{xkind_tag, "delimitedCounterElementNames", "i_delimcntrelemnames"},
     a_defaults{def_delimitedCounterElementNames0, "def_delimitedCounterElementNames0"},
     a_defaults{def_delimitedCounterElementNames1, "def_delimitedCounterElementNames1"}},
    {{xkind_tag, "normalCounterElementNames", "i_normcntrelemnames"},
     a_defaults{def_normalCounterElementNames0, "def_normalCounterElementNames0"},
     a_defaults{def_normalCounterElementNames1, "def_normalCounterElementNames1"}},
    {{xkind_tag, "timestampCounterElementNames", "i_timestampctrelemnames"},
     a_defaults{def_timestampCounterElementNames, "def_timestampCounterElementNames"},
     a_defaults{def_timestampCounterElementNames, "def_timestampCounterElementNames"}},
    {{xkind_tag, "measurementDataElementName", "i_measdatelemname"},
     a_defaults{def_measurementDataElementName0, "def_measurementDataElementName0"},
     a_defaults{def_measurementDataElementName1, "def_measurementDataElementName1"}},
    {{xkind_tag, "measurementHeaderElementName", "i_meashdrelemname"},
     a_defaults{def_measurementHeaderElementName0, "def_measurementHeaderElementName0"},
     a_defaults{def_measurementHeaderElementName1, "def_measurementHeaderElementName1"}},
    {{xkind_tag, "measurementFooterElementName", "i_measftrelemname"},
     a_defaults{def_measurementFooterElementName0, "def_measurementFooterElementName0"},
     a_defaults{def_measurementFooterElementName1, "def_measurementFooterElementName1"}},
    {{xkind_tag, "outputBlockElementName", "i_outblkelemname"},
     a_defaults{def_outputBlockElementName0, "def_outputBlockElementName0"},
     a_defaults{def_outputBlockElementName1, "def_outputBlockElementName1"}},
    {{xkind_tag, "instanceObject", "i_instanceobject"},
     a_defaults{def_instanceObject0, "def_instanceObject0"}, a_defaults{def_instanceObject1, "def_instanceObject1"}},
    {{xkind_none, "", ""}, no_item, no_item},  // s_number
    {{xkind_number, "maxCounterNameSize", "i_maxcntrnamesz"},
     a_defaults{def_maxCounterNameSize, "def_maxCounterNameSize"},
     a_defaults{def_maxCounterNameSize, "def_maxCounterNameSize"}},
    {{xkind_number, "xmlDocumentType", "i_xmlDocumentType"},
     a_defaults{def_xmlDocumentType, "def_xmlDocumentType"}, a_defaults{def_xmlDocumentType, "def_xmlDocumentType"}},
    {{xkind_number, "threadNumber", "i_threadnum"},
     a_defaults{def_threadNumber, "def_threadNumber"},
     a_defaults{def_threadNumber, "def_threadNumber"}},
    {{xkind_number, "threadStackSize", "i_threadStackSize"},
     a_defaults{def_threadStackSize, "def_threadStackSize"}, a_defaults{def_threadStackSize, "def_threadStackSize"}},
    {{xkind_none, "", ""}, no_item, no_item},  // s_strings
    {{xkind_string, "altCounterNullValue", "i_altcntrval"},
     a_defaults{def_altCounterNullValue, "def_altCounterNullValue"},
     a_defaults{def_altCounterNullValue, "def_altCounterNullValue"}},
    {{xkind_string, "xmlFileName", "i_xmlfilename"},
     a_defaults{def_xmlFileName, "def_xmlFileName"},
     a_defaults{def_xmlFileName, "def_xmlFileName"}},
    {{xkind_none, "", ""}, no_item, no_item},  // s_regex
    {{xkind_regex, "outputBlockDescription", "i_outblkdesc"},
     a_defaults{def_outputBlockDescription, "def_outputBlockDescription"},
     a_defaults{def_outputBlockDescription, "def_outputBlockDescription"}},
    {{xkind_regex, "altCounterNames", "i_altcntrnames"},
     a_defaults{def_altCounterNames, "def_altCounterNames"}, a_defaults{def_altCounterNames, "def_altCounterNames"}},
    {{xkind_regex, "timestampDesc", "i_timestampdaydesc"},
     a_defaults{def_timestampDesc, "def_timestampDesc"}, a_defaults{def_timestampDesc, "def_timestampDesc"}},
    {{xkind_none, "", ""}, no_item, no_item},  // s_hash
    {{xkind_hash, "altOutputBlockNames", "i_altoutblknames"},
     a_defaults{def_altOutputBlockNames, "def_altOutputBlockNames"},
     a_defaults{def_altOutputBlockNames, "def_altOutputBlockNames"}},
    {{xkind_none, "", ""}, no_item, no_item},  // s_end
    {{xkind_number, "counterListWhiteSpace", "i_counterlistwhitespace"},
     a_defaults{def_switchOff, "def_counterListWhiteSpace"}, a_defaults{def_switchOff, "def_counterListWhiteSpace"}},
    {{xkind_string, "counterPositionAttribute", "i_counterpositionattr"},
     a_defaults{def_counterPositionAttribute, "def_counterPositionAttribute"},
     a_defaults{def_counterPositionAttribute, "def_counterPositionAttribute"}},
    {{xkind_number, "plainObjectNames", "i_plainobjectnames"},
     a_defaults{def_switchOff, "def_plainObjectNames"}, a_defaults{def_switchOff, "def_plainObjectNames"}},
    {{xkind_number, "qualifiedHeaderNames", "i_qualifiedheadernames"},
     a_defaults{def_switchOff, "def_qualifiedHeaderNames"}, a_defaults{def_switchOff, "def_qualifiedHeaderNames"}},
    {{xkind_number, "xmlStandardText", "i_xmlstandardtext"},
     a_defaults{def_xmlStandardText, "def_xmlStandardText"}, a_defaults{def_xmlStandardText, "def_xmlStandardText"}},
}};

// The module-wide slots, one per item number (markers stay empty).
std::array<a_xmlconfig*, xcfg_s_last + 1> config_slots{};
// True between a glob_init that prepared the items and glob_deinit.
bool config_prepared = false;

a_xmlcfgkind kind_of(int type) {
    return type >= 0 && type <= xcfg_s_last ? item_defs[static_cast<std::size_t>(type)].info.kind : xkind_none;
}

// The record of type if it is of kind and i (when given) is one of its values;
// otherwise records code 36 under the accessor's name and returns NULL.
a_xmlconfig* checked(int type, a_xmlcfgkind kind, const char* accessor, int item = 0, bool with_item = true) {
    a_xmlconfig* config = kind_of(type) == kind ? config_slots[static_cast<std::size_t>(type)] : nullptr;
    if (config != nullptr && (!with_item || (item >= 0 && item < config->xcf_count))) return config;
    if (with_item)
        error_set_message(accessor, ERR_GLOB_INVALID, {err_int(type), err_int(item)});
    else
        error_set_message(accessor, ERR_GLOB_INVALID, {err_int(type)});
    return nullptr;
}

// Value texts are decimal numbers over their whole length; anything else reads as 0.
// Values too large for the 32-bit fields that use them are held at the largest one, so
// that a huge thread number or stack size still falls under the upper-limit rules.
std::int32_t to_number(const char* text) {
    const std::size_t length = util_strlen(text);
    for (std::size_t i = 0; i < length; ++i)
        if (text[i] < '0' || text[i] > '9') return 0;
    std::size_t first = 0;
    while (first < length && text[first] == '0') ++first;
    if (length - first > 10) return INT32_MAX;
    const char* pos = text + first;
    const std::int64_t value = util_decnstr2int(&pos, static_cast<int>(length - first), 0);
    return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

// Splits element-name values at the first delimiter: element before it, attribute after
// it (none when nothing follows).
void split_names(a_xmlconfig* config, char delimiter) {
    for (std::int32_t i = 0; i < config->xcf_count; ++i) {
        a_xmlslot& slot = config->xcf_slot[i];
        slot.xs_attr = nullptr;
        if (delimiter == '\0') continue;
        char* at = std::strchr(slot.xs_text, delimiter);
        if (at == nullptr) continue;
        *at = '\0';
        if (at[1] != '\0') slot.xs_attr = at + 1;
    }
}

void convert_numbers(a_xmlconfig* config) {
    for (std::int32_t i = 0; i < config->xcf_count; ++i)
        config->xcf_slot[i].xs_num = to_number(config->xcf_slot[i].xs_text);
}

// The replacement template of a pattern value: the text after the first "[]" whose "["
// is not escaped. The value is cut before that "[". NULL when there is no such "[]".
char* split_template(char* text) {
    char* candidate = nullptr;
    bool escaped = false;
    for (char* p = text; *p != '\0'; ++p) {
        if (escaped) {
            escaped = false;
            candidate = nullptr;
        } else if (*p == '\\') {
            escaped = true;  // the candidate survives the backslash itself
        } else if (*p == '[') {
            if (candidate == nullptr) candidate = p;
        } else if (*p == ']' && candidate != nullptr) {
            *candidate = '\0';
            return p + 1;
        } else {
            candidate = nullptr;
        }
    }
    return nullptr;
}

// Compiles the values from the last to the first, so that value 0 is the newest pattern
// of the item's list, then the combined pattern. A failure stops the item and stays
// recorded; the values not compiled keep no pattern.
void compile_patterns(a_xmlconfig* config) {
    a_pregex* list = nullptr;
    for (std::int32_t i = config->xcf_count - 1; i >= 0; --i) {
        a_xmlslot& slot = config->xcf_slot[i];
        const char* replacement = split_template(slot.xs_text);
        if (!regex_compile_pregex(&list, slot.xs_text, replacement)) {
            error_set_message("regex_compile_pregex(&regex, rsp, ssp)", ERR_NULL);
            return;
        }
        slot.xs_regex = list;
    }
    if (config->xcf_count < 2) return;
    a_pregex* meta = regex_meta_pregex(config->xcf_slot[0].xs_regex);
    if (meta == nullptr) {
        error_set_message("regex_meta_pregex(first_regex)", ERR_NULL);
        return;
    }
    config->xcf_extra = meta;
}

// Pairs the texts (key, value, key, value ...) and indexes them. An odd list is recorded
// and left without index, its count still the number of texts.
void prepare_hash(a_xmlconfig* config) {
    if (config->xcf_count % 2 != 0) {
        error_set_message("glob_prepare_hash", ERR_GLOB_HASHODD);
        return;
    }
    config->xcf_count /= 2;
    if (config->xcf_count == 0) return;
    a_objhead* idx_root = index_new_stridx();
    if (idx_root == nullptr) {
        error_set_message("index_new_stridx()", ERR_NULL);
        return;
    }
    for (std::int32_t i = 0; i < config->xcf_count; ++i) {
        const char* ksp = config->xcf_slot[2 * i].xs_text;
        a_objidx* node = index_find_stridx(idx_root, ksp);
        if (node == nullptr) {
            error_set_message("index_find_stridx(idxroot, ksp)", ERR_NULL);
            index_destroy_stridx(idx_root);
            return;
        }
        node->poi_data = config->xcf_slot[2 * i + 1].xs_text;  // a repeated key keeps the later value
    }
    index_set_stridx(idx_root, IDX_FINDONLY, 1);
    config->xcf_extra = idx_root;
}

// Gives an empty item its default of the selected set. False (recorded) when the default
// cannot be made.
bool fill_default(int type, int document_type) {
    a_xmlconfig*& slot = config_slots[static_cast<std::size_t>(type)];
    if (slot != nullptr) return true;
    const a_itemdef& def = item_defs[static_cast<std::size_t>(type)];
    const a_defaults& set = document_type == 1 ? def.set1 : def.set0;
    slot = glob_generate_config(set.values);
    if (slot != nullptr) return true;
    char expression[96];
    char* end = util_strcpy(expression, "glob_generate_config(");
    end = util_strcpy(end, set.name);
    util_strcpy(end, ")");
    error_set_message(expression, ERR_NULL);
    return false;
}

// Frees an item's record with everything it owns and empties its slot. False when its
// index could not be destroyed (recorded; the rest is freed all the same).
bool release_item(int type) {
    a_xmlconfig*& slot = config_slots[static_cast<std::size_t>(type)];
    a_xmlconfig* config = slot;
    if (config == nullptr) return true;
    slot = nullptr;
    bool ok = true;
    switch (kind_of(type)) {
        case xkind_regex:
            regex_destroy_pregex(static_cast<a_pregex*>(config->xcf_extra));
            for (std::int32_t i = 0; i < config->xcf_count; ++i) regex_destroy_pregex(config->xcf_slot[i].xs_regex);
            break;
        case xkind_hash: {
            auto* idx_root = static_cast<a_objhead*>(config->xcf_extra);
            if (!index_destroy_stridx(idx_root)) {
                error_set_message("index_destroy_stridx(idx_root)", ERR_NULL);
                ok = false;
            }
            break;
        }
        default:
            break;
    }
    for (std::int32_t i = 0; i < config->xcf_texts; ++i) mem_sysfree(config->xcf_slot[i].xs_text);
    mem_sysfree(config);
    return ok;
}

}  // namespace

a_xmlconfig* glob_generate_config(const char* const* values) {
    std::size_t count = 0;
    if (values != nullptr)
        while (values[count] != nullptr) ++count;
    if (count > static_cast<std::size_t>(INT32_MAX / 2)) {
        error_set_message("(a_xmlconfig_ptr)mem_sysmalloc(sizeof(a_xmlconfig) + memsz)", ERR_SYSTEM,
                          {err_errno(ENOMEM)});
        return nullptr;
    }
    const std::size_t memsz = count * sizeof(a_xmlslot);
    auto* config = static_cast<a_xmlconfig*>(mem_sysmalloc(sizeof(a_xmlconfig) + memsz));
    if (config == nullptr) {
        error_set_message("(a_xmlconfig_ptr)mem_sysmalloc(sizeof(a_xmlconfig) + memsz)", ERR_SYSTEM,
                          {err_errno(errno)});
        return nullptr;
    }
    std::memset(static_cast<void*>(config), 0, sizeof(a_xmlconfig) + memsz);
    config->xcf_slot = reinterpret_cast<a_xmlslot*>(config + 1);
    for (std::size_t i = 0; i < count; ++i) {
        char* copy = util2_strdup(values[i]);
        if (copy == nullptr) {
            error_set_message("util2_strdup(str_value[i])", ERR_NULL);
            for (std::size_t j = 0; j < i; ++j) mem_sysfree(config->xcf_slot[j].xs_text);
            mem_sysfree(config);
            return nullptr;
        }
        config->xcf_slot[i].xs_text = copy;
    }
    config->xcf_count = static_cast<std::int32_t>(count);
    config->xcf_texts = static_cast<std::int32_t>(count);
    return config;
}

a_xmlconfig** glob_get_config_ptr(int type) {
    if (kind_of(type) == xkind_none) return nullptr;
    return &config_slots[static_cast<std::size_t>(type)];
}

a_xmlconfig* glob_get_config(int type) {
    a_xmlconfig** config = glob_get_config_ptr(type);
    return config != nullptr ? *config : nullptr;
}

const a_xmlcfginfo* glob_get_config_info(int type) {
    if (kind_of(type) == xkind_none) return nullptr;
    return &item_defs[static_cast<std::size_t>(type)].info;
}

bool glob_set_config(int type, const char* const* values) {
    a_xmlconfig** config = glob_get_config_ptr(type);
    if (config == nullptr) {
        error_set_message("glob_get_config_ptr(type)", ERR_NULL);
        return false;
    }
    if (*config != nullptr) {
        error_set_message("*config != NULL", ERR_CONDITION);
        error_clear_message(ERR_CONDITION, false);
        error_set_message("glob_set_config", ERR_GLOB_ASSIGNED);
        return false;
    }
    if (error_clear_message(0, false) != 0) return false;
    a_xmlconfig* fresh = glob_generate_config(values);
    if (fresh == nullptr) return false;
    *config = fresh;
    return true;
}

bool glob_init() {
    if (config_prepared) return true;

    // The delimiter and the document type decide how the rest is read: they come first.
    for (int type : {xcfg_xmlnameattrdelimiter, xcfg_counterlistdelimiter, xcfg_xmldocumenttype})
        if (!fill_default(type, 0)) return false;
    convert_numbers(config_slots[xcfg_xmldocumenttype]);
    const std::int32_t document_type = glob_getnum_value(xcfg_xmldocumenttype, 0);

    const a_xmlconfig* delimiters = config_slots[xcfg_xmlnameattrdelimiter];
    const char delimiter = delimiters->xcf_texts > 0 ? delimiters->xcf_slot[0].xs_text[0] : '\0';
    for (int type = xcfg_hdrelemnames; type <= xcfg_instanceobject; ++type) {
        if (!fill_default(type, document_type)) return false;
        split_names(config_slots[static_cast<std::size_t>(type)], delimiter);
    }
    for (int type : {xcfg_maxcntrnamesz, xcfg_threadnum, xcfg_threadstacksize}) {
        if (!fill_default(type, document_type)) return false;
        convert_numbers(config_slots[static_cast<std::size_t>(type)]);
    }
    for (int type : {xcfg_altcntrval, xcfg_xmlfilename})
        if (!fill_default(type, document_type)) return false;
    for (int type = xcfg_outblkdesc; type <= xcfg_timestampdesc; ++type) {
        if (!fill_default(type, document_type)) return false;
        compile_patterns(config_slots[static_cast<std::size_t>(type)]);
    }
    if (!fill_default(xcfg_altoutblknames, document_type)) return false;
    prepare_hash(config_slots[xcfg_altoutblknames]);
    for (int type : {xcfg_counterlistwhitespace, xcfg_plainobjectnames, xcfg_qualifiedheadernames}) {
        if (!fill_default(type, document_type)) return false;
        convert_numbers(config_slots[static_cast<std::size_t>(type)]);
    }
    if (!fill_default(xcfg_counterpositionattr, document_type)) return false;
    if (!fill_default(xcfg_xmlstandardtext, document_type)) return false;
    convert_numbers(config_slots[xcfg_xmlstandardtext]);
    config_prepared = true;
    return true;
}

bool glob_deinit() {
    bool ok = true;
    for (int type = 0; type <= xcfg_s_last; ++type)
        if (!release_item(type)) ok = false;
    config_prepared = false;
    return ok;
}

std::int32_t glob_getnum_config(int type) {
    if (type < xcfg_s_char || type > xcfg_s_last || type == xcfg_s_end) {
        error_set_message("glob_getnum_config", ERR_GLOB_INVALID, {err_int(type)});
        return -1;
    }
    const a_xmlconfig* config = config_slots[static_cast<std::size_t>(type)];
    return config != nullptr ? config->xcf_count : 0;
}

char glob_get_delim(int type) {
    a_xmlconfig* config = checked(type, xkind_char, "glob_get_delim", 0, false);
    if (config == nullptr) return '\0';
    if (config->xcf_count != 1) {
        error_set_message("glob_get_delim", ERR_GLOB_INVALID, {err_int(type)});
        return '\0';
    }
    return config->xcf_slot[0].xs_text[0];
}

const char* glob_getname_tagelem(int type, int item) {
    a_xmlconfig* config = checked(type, xkind_tag, "glob_getname_tagelem", item);
    return config != nullptr ? config->xcf_slot[item].xs_text : nullptr;
}

const char* glob_getattr_tagelem(int type, int item) {
    a_xmlconfig* config = checked(type, xkind_tag, "glob_getattr_tagelem", item);
    return config != nullptr ? config->xcf_slot[item].xs_attr : nullptr;
}

std::int32_t glob_getnum_value(int type, int item) {
    a_xmlconfig* config = checked(type, xkind_number, "glob_getnum_value", item);
    return config != nullptr ? config->xcf_slot[item].xs_num : -1;
}

const char* glob_get_string(int type, int item) {
    a_xmlconfig* config = checked(type, xkind_string, "glob_get_string", item);
    return config != nullptr ? config->xcf_slot[item].xs_text : nullptr;
}

a_pregex* glob_get_regex(int type, a_pregex* record, int item) {
    a_xmlconfig* config = checked(type, xkind_regex, "glob_get_regex", item);
    if (config == nullptr) return nullptr;
    const a_pregex* regex = config->xcf_slot[item].xs_regex;
    if (regex == nullptr || record == nullptr) {
        error_set_message(regex == nullptr ? "glob_get_regex" : "record == NULL",
                          regex == nullptr ? ERR_REGEX_NOPATTERN : ERR_CONDITION, {err_int(type), err_int(item)});
        return nullptr;
    }
    *record = *regex;
    return record;
}

const char* glob_getstr_regex(int type, int item) {
    a_xmlconfig* config = checked(type, xkind_regex, "glob_getstr_regex", item);
    return config != nullptr ? config->xcf_slot[item].xs_text : nullptr;
}

a_objhead* glob_getindex_hash(int type) {
    a_xmlconfig* config = checked(type, xkind_hash, "glob_getindex_hash", 0, false);
    if (config == nullptr) return nullptr;
    if (config->xcf_extra == nullptr) {
        error_set_message("glob_getindex_hash", ERR_GLOB_INVALID, {err_int(type)});
        return nullptr;
    }
    return static_cast<a_objhead*>(config->xcf_extra);
}

const char* glob_getkey_hash(int type, int item) {
    a_xmlconfig* config = checked(type, xkind_hash, "glob_getkey_hash", item);
    if (config == nullptr || 2 * item >= config->xcf_texts) return nullptr;
    return config->xcf_slot[2 * item].xs_text;
}

const char* glob_getval_hash(int type, int item) {
    a_xmlconfig* config = checked(type, xkind_hash, "glob_getval_hash", item);
    if (config == nullptr || 2 * item + 1 >= config->xcf_texts) return nullptr;
    return config->xcf_slot[2 * item + 1].xs_text;
}
