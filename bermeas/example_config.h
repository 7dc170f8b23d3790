// example_config: the built-in example configuration, for bermeas-convert and for trying
// the converter without a host: header fields from NETWORK_/REGION_ directories and the
// file name, 3GPP file-name validation, a UTRAN RNC object-instance map and PIF file
// names from the sender, time stamp and granularity.
#ifndef PM_BERMEAS_EXAMPLE_CONFIG_H
#define PM_BERMEAS_EXAMPLE_CONFIG_H

#include <memory>

#include "conf.h"

// The example configuration; NULL when the heap is exhausted.
std::unique_ptr<config> config_new_for_test() noexcept;
// Fills `conf` with the example entries. False on an exhausted heap (then partly filled).
bool config_init_for_test(config& conf) noexcept;

#endif
