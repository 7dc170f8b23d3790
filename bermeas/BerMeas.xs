// BerMeas host functions. This layer only moves values across the boundary: set_config
// copies the host's hash into the configuration record (conf), process_file hands three
// texts to the conversion run (parser). Nothing here croaks while a C++ object lives on
// the stack: the configuration being built is held in a global that Perl's scope
// unwinding releases when the host's data dies under us (tied values).
#include <cstddef>
#include <memory>
#include <string_view>

#include "conf.h"
#include "parser.h"
#include "util.h"

#define PERL_NO_GET_CONTEXT
#include "EXTERN.h"
#include "perl.h"
#include "XSUB.h"

static std::unique_ptr<config> g_pending;

static void release_pending(pTHX_ void*) { g_pending.reset(); }

static void out_of_memory(pTHX) { croak("BerMeas: out of memory"); }

// A scalar held as a string (not a number, undef or reference), tied values fetched.
static bool plain_string(pTHX_ SV* sv, std::string_view* out) {
    if (!sv) return false;
    SvGETMAGIC(sv);
    if (SvROK(sv) || !SvPOK(sv)) return false;
    STRLEN length = 0;
    const char* text = SvPV_nomg(sv, length);
    *out = std::string_view(text, length);
    return true;
}

// The value stored under `key`, or NULL.
static SV* get_entry(pTHX_ HV* hash, std::string_view key) {
    SV** slot = hv_fetch(hash, key.data(), static_cast<I32>(key.size()), 0);
    if (!slot || !*slot) return nullptr;
    SvGETMAGIC(*slot);
    return *slot;
}

// The hash that the value under `key` references, or NULL.
static HV* get_hash(pTHX_ HV* hash, std::string_view key) {
    SV* value = get_entry(aTHX_ hash, key);
    if (!value || !SvROK(value) || SvTYPE(SvRV(value)) != SVt_PVHV) return nullptr;
    return reinterpret_cast<HV*>(SvRV(value));
}

static AV* get_array(pTHX_ SV* value) {
    if (!value || !SvROK(value) || SvTYPE(SvRV(value)) != SVt_PVAV) return nullptr;
    return reinterpret_cast<AV*>(SvRV(value));
}

// Every plain string of the hash, and every plain string of an array it references, under
// its key, in the hash's iteration order; other values are skipped.
static void populate_map(pTHX_ HV* hash, text_map* map) {
    hv_iterinit(hash);
    while (HE* entry = hv_iternext(hash)) {
        STRLEN key_length = 0;
        const char* key_text = SvPV(hv_iterkeysv(entry), key_length);
        const std::string_view key(key_text, key_length);
        SV* value = hv_iterval(hash, entry);
        std::string_view text;
        if (plain_string(aTHX_ value, &text)) {
            if (!map_append_value(*map, key, text)) out_of_memory(aTHX);
        } else if (AV* list = get_array(aTHX_ value)) {
            const SSize_t top = av_top_index(list);
            for (SSize_t i = 0; i <= top; ++i) {
                SV** element = av_fetch(list, i, 0);
                if (element && plain_string(aTHX_ *element, &text) && !map_append_value(*map, key, text)) {
                    out_of_memory(aTHX);
                }
            }
        }
    }
}

// Builds g_pending from the host's root hash; the caller's scope releases it unless the
// caller takes it.
static void build_config(pTHX_ SV* root_ref) {
    g_pending = config_new();
    if (!g_pending) out_of_memory(aTHX);
    SAVEDESTRUCTOR_X(release_pending, nullptr);
    SvGETMAGIC(root_ref);
    if (!SvROK(root_ref) || SvTYPE(SvRV(root_ref)) != SVt_PVHV) return;
    HV* root = reinterpret_cast<HV*>(SvRV(root_ref));

    for (const std::string_view key : {key_directory_header_fields, key_filename_header_fields, key_filename_validation}) {
        if (HV* hash = get_hash(aTHX_ root, key)) populate_map(aTHX_ hash, config_map_slot(*g_pending, key));
    }
    SV* null_value = get_entry(aTHX_ root, key_counter_null_value);
    if (null_value && SvOK(null_value) && !SvROK(null_value)) {
        STRLEN length = 0;
        const char* text = SvPV_nomg(null_value, length);
        if (!config_set_null_value(*g_pending, std::string_view(text, length))) out_of_memory(aTHX);
    }
    for (const std::string_view key : {key_object_instance_description, key_alt_object_instance_names}) {
        if (HV* hash = get_hash(aTHX_ root, key)) populate_map(aTHX_ hash, config_map_slot(*g_pending, key));
    }
    if (AV* fields = get_array(aTHX_ get_entry(aTHX_ root, key_pif_filename_fields))) {
        const SSize_t top = av_top_index(fields);
        for (SSize_t i = 0; i <= top; ++i) {
            SV** element = av_fetch(fields, i, 0);
            std::string_view text;
            if (element && plain_string(aTHX_ *element, &text) && !config_add_pif_filename_field(*g_pending, text)) {
                out_of_memory(aTHX);
            }
        }
    }
}

MODULE = BerMeas    PACKAGE = BerMeas

PROTOTYPES: DISABLE

void
set_config(rootHashref)
    SV* rootHashref
  CODE:
    if (!g_conf) {
        ENTER;
        build_config(aTHX_ rootHashref);
        g_conf = std::move(g_pending);
        LEAVE;
    }

bool
process_file(filename, origFilename, outputDir)
    SV* filename
    SV* origFilename
    SV* outputDir
  PREINIT:
    STRLEN file_length = 0;
    STRLEN orig_length = 0;
    STRLEN dir_length = 0;
    const char* file_text;
    const char* orig_text;
    const char* dir_text;
  CODE:
    file_text = SvPV(filename, file_length);
    orig_text = SvPV(origFilename, orig_length);
    dir_text = SvPV(outputDir, dir_length);
    RETVAL = file_length && orig_length && dir_length &&
             parse_input_file(std::string_view(file_text, file_length), std::string_view(orig_text, orig_length),
                              g_conf.get(), std::string_view(dir_text, dir_length));
  OUTPUT:
    RETVAL

void
delete_config()
  CODE:
    config_delete(g_conf);

SV*
pattern_error(pattern)
    SV* pattern
  PREINIT:
    STRLEN length = 0;
    const char* text;
    std::string reason;
  CODE:
    text = SvPV(pattern, length);
    reason = pattern_error(std::string_view(text, length));
    RETVAL = reason.empty() ? &PL_sv_undef : newSVpvn(reason.data(), reason.size());
  OUTPUT:
    RETVAL
