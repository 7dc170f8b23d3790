// radiobin.xs: the host functions of the radiobin module. Arguments are converted here
// and the work is done by the engine (config, zelpaal), which reports through return
// codes and the log; nothing below croaks while a C++ object is alive.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "config.h"
#include "logmsg.h"
#include "zelpaal.h"

#define PERL_NO_GET_CONTEXT
#include "EXTERN.h"
#include "perl.h"
#include "XSUB.h"

// The text of a string argument, or NULL when it holds a NUL: the C library would take
// the shorter text before it for the whole, and name another file.
static const char* whole_text(pTHX_ SV* sv) {
    STRLEN length = 0;
    const char* text = SvPV(sv, length);
    return std::memchr(text, '\0', length) == nullptr ? text : nullptr;
}

MODULE = radiobin    PACKAGE = radiobin

PROTOTYPES: ENABLE

double
constant(name, arg)
    char* name
    int arg
  PROTOTYPE: $$
  CODE:
    PERL_UNUSED_VAR(name);
    PERL_UNUSED_VAR(arg);
    errno = EINVAL;
    RETVAL = 0;
  OUTPUT:
    RETVAL

void
logopen(log_file_name, log_level)
    SV* log_file_name
    int log_level
  PROTOTYPE: $$
  PREINIT:
    const char* name;
    STRLEN length;
  CODE:
    name = SvPV(log_file_name, length);
    if (!logopen(std::string_view(name, length), log_level))
        warn("radiobin::logopen: the log file name (%lu characters) %s; no log file is written",
             static_cast<unsigned long>(length),
             std::memchr(name, '\0', length) ? "holds a NUL character" : "is longer than a path may be");

int
config_initialise(config_filename, config_min_version, config_max_version)
    SV* config_filename
    int config_min_version
    int config_max_version
  PROTOTYPE: $$$
  PREINIT:
    const char* name;
  CODE:
    name = whole_text(aTHX_ config_filename);
    if (name != nullptr) {
        RETVAL = config_initialise(name, config_min_version, config_max_version);
    } else {
        logmsg(LOG_ERROR, "ERROR: Config file name holds a NUL character");
        RETVAL = 2;
    }
  OUTPUT:
    RETVAL

void
process_file(in_file, out_dir, omc_name, network_id, region_id)
    SV* in_file
    SV* out_dir
    SV* omc_name
    SV* network_id
    SV* region_id
  PROTOTYPE: $$$$$
  PREINIT:
    const char* texts[5];
  PPCODE:
    int rc = PROCESS_FAILED;
    SV* path;
    texts[0] = whole_text(aTHX_ in_file);
    texts[1] = whole_text(aTHX_ out_dir);
    texts[2] = whole_text(aTHX_ omc_name);
    texts[3] = whole_text(aTHX_ network_id);
    texts[4] = whole_text(aTHX_ region_id);
    if (std::find(texts, texts + 5, nullptr) != texts + 5) {
        logmsg(LOG_INPUT, "WARNING : An argument holds a NUL character, file not converted: %s", SvPV_nolen(in_file));
        path = newSViv(rc);
    } else {
        std::string out_name;
        rc = process_file_v3(texts[0], texts[1], texts[2], out_name, texts[3], texts[4]);
        path = out_name.empty() ? newSViv(rc) : newSVpvn(out_name.data(), out_name.size());
        free_allocated_memory(out_name);
    }
    EXTEND(SP, 2);
    mPUSHi(rc);
    mPUSHs(path);
