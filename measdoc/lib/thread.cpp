// thread: the module's process-wide thread state. The registry and the heap lock use it
// from the first allocation on; the worker machinery fills the rest at start-up.
#include "md_thread.h"

a_thrinfo thr_info{};
