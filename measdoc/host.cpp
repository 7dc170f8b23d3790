// host: the module's state and cycle behind the host functions (measdoc.xs): the pending
// configuration values, start-up and tear-down of the library's units in their fixed
// order, and the conversion run. Everything here runs on the host interpreter's thread.
#include "host.h"

#include <cstdlib>

#include "md_conf.h"
#include "md_error.h"
#include "md_io.h"
#include "md_memory.h"
#include "md_parse.h"
#include "md_regex.h"
#include "md_thread.h"
#include "md_util.h"
#include "md_xml.h"

namespace {

// Set when a start-up or tear-down fails and leaves units in an unknown state (a stop
// that failed too), cleared by a successful one. Once set, nothing the host does clears
// it.
std::int32_t errored = 0;
// Between a successful start-up and a successful tear-down.
bool started = false;
// A start-up failed and was undone: its message waits for the host, but must not outlive
// the cycle, or the next cycle's settings would be refused for it.
bool startup_error_left = false;
// Newest pending value.
a_config_list* config_list = nullptr;

// One step of start-up or tear-down: its function and the text a failure is recorded with.
struct a_step {
    bool (*run)();
    const char* expression;
};

constexpr a_step start_steps[] = {
    {regex_init, "regex_init()"}, {glob_init, "glob_init()"}, {thr_init, "thr_init()"},
    {xml_init, "xml_init()"},     {io_init, "io_init()"},     {parse_init, "parse_init()"},
};
constexpr a_step stop_steps[] = {
    {parse_deinit, "parse_deinit()"}, {xml_deinit, "xml_deinit()"},   {io_deinit, "io_deinit()"},
    {thr_deinit, "thr_deinit()"},     {glob_deinit, "glob_deinit()"}, {regex_deinit, "regex_deinit()"},
};

// Runs the steps in order up to the first failure, which is recorded with this unit's
// location after whatever the step recorded. Returns 0, or 1.
template <std::size_t N>
int run_steps(const a_step (&steps)[N], a_srcloc where = a_srcloc::current()) {
    for (const a_step& step : steps) {
        if (!step.run()) {
            error_set_message(step.expression, ERR_NULL, {}, where);
            return 1;
        }
    }
    return 0;
}

// Forgets the error the calling thread has pending, whatever its code.
void drop_pending_error() {
    const std::uint32_t code = error_clear_message(0, false);
    if (code != 0) error_clear_message(code, false);
}

// The first call of a cycle drops the message of a start-up that failed before: the host
// had the time to read it and may never have.
void begin_cycle() {
    if (!startup_error_left || started) return;
    drop_pending_error();
    startup_error_left = false;
}

}  // namespace

void measdoc_cleanup_config() {
    while (config_list != nullptr) {
        a_config_list* older = config_list->cl_next;
        mem_sysfree(config_list->cl_value);
        mem_sysfree(config_list);
        config_list = older;
    }
}

std::size_t measdoc_pending_config() {
    std::size_t count = 0;
    for (const a_config_list* node = config_list; node != nullptr; node = node->cl_next) ++count;
    return count;
}

int measdoc_add_config(const char* value, std::size_t length) {
    begin_cycle();
    // The store keeps C texts: a value with a NUL would arrive cut short, and a file name
    // cut short names another file.
    if (util_strlen(value) != length) {
        error_set_message("util_strlen(value) != length", ERR_CONDITION, {err_int(static_cast<long long>(length))});
        measdoc_cleanup_config();
        return 1;
    }
    auto* node = static_cast<a_config_list*>(mem_sysmalloc(sizeof(a_config_list)));
    if (node == nullptr) {
        error_set_message("mem_sysmalloc(sizeof(a_config_list))", ERR_NULL);
        measdoc_cleanup_config();
        return 1;
    }
    *node = a_config_list{};
    node->cl_value = util2_strdup(value);
    if (node->cl_value == nullptr) {
        error_set_message("util2_strdup((a_str)value)", ERR_NULL);
        mem_sysfree(node);
        measdoc_cleanup_config();
        return 1;
    }
    node->cl_next = config_list;
    if (config_list != nullptr) config_list->cl_prev = node;
    config_list = node;
    return 0;
}

int measdoc_set_config(int type) {
    if (errored != 0) return 1;
    begin_cycle();
    if (config_list == nullptr) return 0;

    std::size_t count = 0;
    a_config_list* oldest = config_list;
    for (a_config_list* node = config_list; node != nullptr; node = node->cl_next) {
        ++count;
        oldest = node;
    }
    auto* config_data = static_cast<const char**>(mem_sysmalloc(sizeof(const char*) * (count + 1)));
    if (config_data == nullptr) {
        error_set_message("mem_sysmalloc(sizeof(a_str) * (count+1))", ERR_NULL);
        measdoc_cleanup_config();
        return 1;
    }
    std::size_t i = 0;
    for (const a_config_list* node = oldest; node != nullptr; node = node->cl_prev) config_data[i++] = node->cl_value;
    config_data[i] = nullptr;

    const bool ok = glob_set_config(type, config_data);
    if (!ok) error_set_message("glob_set_config(type, config_data)", ERR_NULL);
    mem_sysfree(config_data);
    measdoc_cleanup_config();
    return ok ? 0 : 1;
}

int measdoc_init() {
    if (errored != 0) return 1;
    begin_cycle();
    if (run_steps(start_steps) == 0) {
        started = true;
        return 0;
    }
    // Undo what started (workers, an open file, the items): every stop copes with a unit
    // that never started. A gateway goes on with its next file; only a stop that fails
    // too leaves the module failed.
    measdata = a_measdata{};
    errored = run_steps(stop_steps);
    started = false;
    startup_error_left = errored == 0;
    return 1;
}

int measdoc_deinit() {
    if (errored != 0) return 1;
    // An error of this cycle that the host did not fetch ends with it.
    drop_pending_error();
    startup_error_left = false;
    // The records live in the workers' pools, which the stop releases: the results must
    // not be reachable afterwards.
    measdata = a_measdata{};
    errored = run_steps(stop_steps);
    started = false;
    return errored;
}

int measdoc_run() {
    if (errored != 0) return -1;
    // Without started units a run would tokenize no open file through a thread key that
    // was never made.
    if (!started) {
        error_set_message("!measdoc_started()", ERR_CONDITION);
        return -1;
    }
    if (!thr_run_xml() && error_clear_message(0, false) == 0) error_set_message("thr_run_xml()", ERR_NULL);
    return error_clear_message(0, false) == 0 ? 0 : -1;
}

bool measdoc_errored() { return errored != 0; }
bool measdoc_started() { return started; }

void* xsmalloc(std::size_t size) { return std::malloc(size); }
void xsfree(void* pointer) { std::free(pointer); }
