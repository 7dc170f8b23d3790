// measdoc host functions. This layer only moves values across the boundary: texts and
// numbers go to the host unit (host.cpp), results come back as Perl integers, strings and
// the containers of the export unit. No C++ object lives on the stack of an XSUB, so the
// usage croak that xsubpp generates unwinds nothing of ours.
#include <cstddef>
#include <cstdint>

#include "host.h"
#include "md_conf.h"
#include "md_error.h"
#include "md_parse.h"

#define PERL_NO_GET_CONTEXT
#include "EXTERN.h"
#include "perl.h"
#include "XSUB.h"

#include "export.h"

MODULE = measdoc    PACKAGE = measdoc

PROTOTYPES: DISABLE

int
measdoc_add_config(value)
    SV* value
  PREINIT:
    STRLEN length = 0;
    const char* text;
  CODE:
    text = SvPV(value, length);
    RETVAL = measdoc_add_config(text, length);
  OUTPUT:
    RETVAL

int
measdoc_set_xmlNameAttrDelimiter()
  ALIAS:
    measdoc_set_xmlNameAttrDelimiter = xcfg_xmlnameattrdelimiter
    measdoc_set_counterListDelimiter = xcfg_counterlistdelimiter
    measdoc_set_headerElementNames = xcfg_hdrelemnames
    measdoc_set_uniquePifHeaderElementNames = xcfg_uniquepifhdrelemnames
    measdoc_set_uniquePIFBlockElementName = xcfg_uniquepifblkelemname
    measdoc_set_measurementValueElementName = xcfg_measvalelemname
    measdoc_set_measureTypeElementSeq = xcfg_meastypelemseq
    measdoc_set_measurementResultsElementSeq = xcfg_measrsltelemseq
    measdoc_set_suspectFlagElementName = xcfg_suspectflagelemname
    measdoc_set_distinguishedNameElementNames = xcfg_distnameelemnames
    measdoc_set_delimitedCounterElementNames = xcfg_delimcntrelemnames
    measdoc_set_normalCounterElementNames = xcfg_normcntrelemnames
    measdoc_set_timestampCounterElementNames = xcfg_timestampctrelemnames
    measdoc_set_measurementDataElementName = xcfg_measdatelemname
    measdoc_set_measurementHeaderElementName = xcfg_meashdrelemname
    measdoc_set_measurementFooterElementName = xcfg_measftrelemname
    measdoc_set_outputBlockElementName = xcfg_outblkelemname
    measdoc_set_instanceObject = xcfg_instanceobject
    measdoc_set_maxCounterNameSize = xcfg_maxcntrnamesz
    measdoc_set_xmlDocumentType = xcfg_xmldocumenttype
    measdoc_set_threadNumber = xcfg_threadnum
    measdoc_set_threadStackSize = xcfg_threadstacksize
    measdoc_set_altCounterNullValue = xcfg_altcntrval
    measdoc_set_xmlFileName = xcfg_xmlfilename
    measdoc_set_outputBlockDescription = xcfg_outblkdesc
    measdoc_set_altCounterNames = xcfg_altcntrnames
    measdoc_set_timestampDesc = xcfg_timestampdesc
    measdoc_set_altOutputBlockNames = xcfg_altoutblknames
    measdoc_set_counterListWhiteSpace = xcfg_counterlistwhitespace
    measdoc_set_counterPositionAttribute = xcfg_counterpositionattr
    measdoc_set_plainObjectNames = xcfg_plainobjectnames
    measdoc_set_qualifiedHeaderNames = xcfg_qualifiedheadernames
    measdoc_set_xmlStandardText = xcfg_xmlstandardtext
  CODE:
    RETVAL = measdoc_set_config(ix);
  OUTPUT:
    RETVAL

int
measdoc_init()
  CODE:
    RETVAL = measdoc_init();
  OUTPUT:
    RETVAL

int
measdoc_run()
  CODE:
    RETVAL = measdoc_run();
  OUTPUT:
    RETVAL

int
measdoc_deinit()
  CODE:
    RETVAL = measdoc_deinit();
  OUTPUT:
    RETVAL

SV*
measdoc_configuration()
  CODE:
    RETVAL = newRV_noinc(reinterpret_cast<SV*>(measdoc_export_configuration(aTHX)));
  OUTPUT:
    RETVAL

SV*
measdoc_error()
  PREINIT:
    const char* text;
  CODE:
    text = error_get_errmsg();
    RETVAL = text != nullptr ? newSVpv(text, 0) : &PL_sv_undef;
  OUTPUT:
    RETVAL

SV*
measdoc_warning()
  PREINIT:
    const char* text;
  CODE:
    text = error_get_warnmsg();
    if (text != nullptr) {
        RETVAL = newSVpv(text, 0);
        error_pop_warnmsg();
    } else {
        RETVAL = &PL_sv_undef;
    }
  OUTPUT:
    RETVAL

SV*
measdoc_data()
  CODE:
    RETVAL = newRV_noinc(reinterpret_cast<SV*>(measdoc_export_data(aTHX_ measdata)));
  OUTPUT:
    RETVAL

int
measdoc_block_count()
  CODE:
    RETVAL = measdoc_export_block_count(measdata);
  OUTPUT:
    RETVAL

SV*
measdoc_block(number)
    IV number
  PREINIT:
    HV* block;
  CODE:
    block = number >= 0 && number <= INT32_MAX ? measdoc_export_block(aTHX_ measdata, static_cast<std::int32_t>(number)) : nullptr;
    RETVAL = block != nullptr ? newRV_noinc(reinterpret_cast<SV*>(block)) : &PL_sv_undef;
  OUTPUT:
    RETVAL

SV*
measdoc_data_types()
  CODE:
    RETVAL = newRV_noinc(reinterpret_cast<SV*>(measdoc_export_types(aTHX_ measdata)));
  OUTPUT:
    RETVAL

SV*
measdoc_block_pif(number, types, suspect)
    IV number
    SV* types
    SV* suspect
  PREINIT:
    HV* rendered;
    HV* dictionary;
    const char* failure;
  CODE:
    dictionary = SvROK(types) && SvTYPE(SvRV(types)) == SVt_PVHV ? reinterpret_cast<HV*>(SvRV(types)) : nullptr;
    failure = nullptr;
    rendered = number >= 0 && number <= INT32_MAX
        ? measdoc_export_pif(aTHX_ measdata, static_cast<std::int32_t>(number), dictionary,
                             SvOK(suspect) ? SvPV_nolen(suspect) : nullptr, &failure)
        : nullptr;
    if (failure != nullptr) croak("measdoc_block_pif: %s", failure);
    RETVAL = rendered != nullptr ? newRV_noinc(reinterpret_cast<SV*>(rendered)) : &PL_sv_undef;
  OUTPUT:
    RETVAL

SV*
measdoc_block_json(number, types, suspect, fixed)
    IV number
    SV* types
    SV* suspect
    SV* fixed
  PREINIT:
    HV* rendered;
    HV* dictionary;
    HV* texts;
    const char* failure;
  CODE:
    dictionary = SvROK(types) && SvTYPE(SvRV(types)) == SVt_PVHV ? reinterpret_cast<HV*>(SvRV(types)) : nullptr;
    texts = SvROK(fixed) && SvTYPE(SvRV(fixed)) == SVt_PVHV ? reinterpret_cast<HV*>(SvRV(fixed)) : nullptr;
    failure = nullptr;
    rendered = number >= 0 && number <= INT32_MAX
        ? measdoc_export_json(aTHX_ measdata, static_cast<std::int32_t>(number), dictionary,
                              SvOK(suspect) ? SvPV_nolen(suspect) : nullptr, texts, &failure)
        : nullptr;
    if (failure != nullptr) croak("measdoc_block_json: %s", failure);
    RETVAL = rendered != nullptr ? newRV_noinc(reinterpret_cast<SV*>(rendered)) : &PL_sv_undef;
  OUTPUT:
    RETVAL
