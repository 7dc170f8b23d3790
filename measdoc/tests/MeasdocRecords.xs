// MeasdocRecords: a test-only module that fills measurement records by hand from a Perl
// description and returns what measdoc_data would make of them, so that the shape of the
// host's hash can be checked without a parser or an input file. Records are taken from
// Perl's heap and freed with the call's scope; texts point into the description.
#include <cstdint>

#include "md_parse.h"

#define PERL_NO_GET_CONTEXT
#include "EXTERN.h"
#include "perl.h"
#include "XSUB.h"

#include "export.h"

namespace {

template <typename T>
T* scoped_record(pTHX) {
    T* record;
    Newxz(record, 1, T);
    SAVEFREEPV(record);
    return record;
}

AV* array_of(pTHX_ SV* value) {
    if (value == nullptr || !SvROK(value) || SvTYPE(SvRV(value)) != SVt_PVAV) return nullptr;
    return reinterpret_cast<AV*>(SvRV(value));
}

HV* hash_of(pTHX_ SV* value) {
    if (value == nullptr || !SvROK(value) || SvTYPE(SvRV(value)) != SVt_PVHV) return nullptr;
    return reinterpret_cast<HV*>(SvRV(value));
}

SV* entry(pTHX_ HV* hash, const char* key) {
    SV** slot = hv_fetch(hash, key, static_cast<I32>(strlen(key)), 0);
    return slot != nullptr ? *slot : nullptr;
}

SV* element(pTHX_ AV* array, SSize_t i) {
    SV** slot = av_fetch(array, i, 0);
    return slot != nullptr ? *slot : nullptr;
}

char* text_of(pTHX_ SV* value) {
    if (value == nullptr || !SvOK(value)) return nullptr;
    return SvPV_nolen(value);
}

// [[name, value, type], ...] as a chain, in list order; undef name or value: none.
a_measpair* chain_of(pTHX_ SV* description) {
    AV* list = array_of(aTHX_ description);
    if (list == nullptr) return nullptr;
    a_measpair* head = nullptr;
    a_measpair** link = &head;
    for (SSize_t i = 0; i <= av_len(list); ++i) {
        AV* fields = array_of(aTHX_ element(aTHX_ list, i));
        if (fields == nullptr) continue;
        auto* pair = scoped_record<a_measpair>(aTHX);
        pair->mmp_name = text_of(aTHX_ element(aTHX_ fields, 0));
        pair->mmp_value = text_of(aTHX_ element(aTHX_ fields, 1));
        SV* type = element(aTHX_ fields, 2);
        pair->mmp_type = type != nullptr && SvOK(type) ? static_cast<std::int32_t>(SvIV(type)) : 0;
        *link = pair;
        link = &pair->mmp_next;
    }
    return head;
}

a_measvalue* rows_of(pTHX_ SV* description) {
    AV* list = array_of(aTHX_ description);
    if (list == nullptr) return nullptr;
    a_measvalue* head = nullptr;
    a_measvalue** link = &head;
    for (SSize_t i = 0; i <= av_len(list); ++i) {
        HV* fields = hash_of(aTHX_ element(aTHX_ list, i));
        if (fields == nullptr) continue;
        auto* row = scoped_record<a_measvalue>(aTHX);
        row->mmv_uniquehdr = chain_of(aTHX_ entry(aTHX_ fields, "unique"));
        row->mmv_measrslt = chain_of(aTHX_ entry(aTHX_ fields, "results"));
        row->mmv_suspect = chain_of(aTHX_ entry(aTHX_ fields, "suspect"));
        row->mmv_instanceobj = chain_of(aTHX_ entry(aTHX_ fields, "instances"));
        row->mmv_blockname = chain_of(aTHX_ entry(aTHX_ fields, "blockname"));
        *link = row;
        link = &row->mmv_next;
    }
    return head;
}

a_measinfo* blocks_of(pTHX_ SV* description) {
    AV* list = array_of(aTHX_ description);
    if (list == nullptr) return nullptr;
    a_measinfo* head = nullptr;
    a_measinfo** link = &head;
    for (SSize_t i = 0; i <= av_len(list); ++i) {
        HV* fields = hash_of(aTHX_ element(aTHX_ list, i));
        if (fields == nullptr) continue;
        auto* block = scoped_record<a_measinfo>(aTHX);
        block->mmi_commonhdr = chain_of(aTHX_ entry(aTHX_ fields, "common"));
        block->mmi_measvalue = rows_of(aTHX_ entry(aTHX_ fields, "rows"));
        *link = block;
        link = &block->mmi_next;
    }
    return head;
}

}  // namespace

MODULE = MeasdocRecords    PACKAGE = MeasdocRecords

PROTOTYPES: DISABLE

SV*
export_data(description)
    SV* description
  PREINIT:
    HV* fields;
    a_measdata data;
  CODE:
    ENTER;
    data = a_measdata{};
    fields = hash_of(aTHX_ description);
    if (fields != nullptr) {
        data.md_header = chain_of(aTHX_ entry(aTHX_ fields, "header"));
        data.md_footer = chain_of(aTHX_ entry(aTHX_ fields, "footer"));
        data.md_measinfo = blocks_of(aTHX_ entry(aTHX_ fields, "blocks"));
    }
    RETVAL = newRV_noinc(reinterpret_cast<SV*>(measdoc_export_data(aTHX_ data)));
    LEAVE;
  OUTPUT:
    RETVAL
