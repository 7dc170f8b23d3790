// radiobin.xs: the host functions of the radiobin module. Arguments are converted here
// and the work is done by the engine (config, zelpaal), which reports through return
// codes and the log; nothing below croaks while a C++ object is alive.
#include <cerrno>
#include <string>

#include "config.h"
#include "logmsg.h"
#include "zelpaal.h"

#define PERL_NO_GET_CONTEXT
#include "EXTERN.h"
#include "perl.h"
#include "XSUB.h"

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
    char* log_file_name
    int log_level
  PROTOTYPE: $$
  CODE:
    logopen(log_file_name, log_level);

int
config_initialise(config_filename, config_min_version, config_max_version)
    char* config_filename
    int config_min_version
    int config_max_version
  PROTOTYPE: $$$
  CODE:
    RETVAL = config_initialise(config_filename, config_min_version, config_max_version);
  OUTPUT:
    RETVAL

void
process_file(in_file, out_dir, omc_name, network_id, region_id)
    char* in_file
    char* out_dir
    char* omc_name
    char* network_id
    char* region_id
  PROTOTYPE: $$$$$
  PPCODE:
    int rc;
    SV* path;
    {
        std::string out_name;
        rc = process_file_v3(in_file, out_dir, omc_name, out_name, network_id, region_id);
        path = out_name.empty() ? newSViv(rc) : newSVpvn(out_name.data(), out_name.size());
        free_allocated_memory(out_name);
    }
    EXTEND(SP, 2);
    mPUSHi(rc);
    mPUSHs(path);
