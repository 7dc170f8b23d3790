// host: what stands behind the host functions of the measdoc module, without Perl. It keeps
// the module's state (started, failed), the values the host queues for the next setter,
// and starts, runs and stops the library's units in their fixed order. measdoc.xs calls it
// with plain texts and numbers and turns the results into Perl values; export builds the
// Perl containers.
#ifndef MEASDOC_HOST_H
#define MEASDOC_HOST_H

#include <cstddef>
#include <cstdint>

// One queued value. The head of the list is the newest value.
struct a_config_list {
    char* cl_value;             // private copy (mem_sysmalloc)
    a_config_list* cl_next;     // the value queued before this one
    a_config_list* cl_prev;     // the value queued after this one
};

// Queues a copy of value (length bytes and a terminator, as Perl keeps its strings) for
// the next setter. Returns 0, or 1 (recorded) when the copy cannot be made or the value
// holds a NUL byte (it could not reach the item whole); the whole pending list is
// discarded then, so the host queues the item's values again.
int measdoc_add_config(const char* value, std::size_t length);
// Commits the pending values, oldest first, to item type. Returns 0 (also with nothing
// pending: the item keeps what it had), or 1 while the module has failed (the list is
// left alone) or when the item refuses them (recorded; the list is discarded).
int measdoc_set_config(int type);
// Discards the pending values.
void measdoc_cleanup_config();
// Number of pending values.
std::size_t measdoc_pending_config();

// Starts the units: patterns, configuration, threads, tokenizer, reader, parser. Returns
// 0, or 1 when one of them fails (recorded) or the module has failed before. A failure
// stops the units again (workers joined, file closed, items released); the message
// stays pending until the host fetches it or the next cycle begins (the next value,
// setter, start-up or stop). Only when that stop fails too is the module failed for good.
int measdoc_init();
// Converts the file of the xmlFileName item into measdata. Returns 0 when the run left no
// error pending, -1 otherwise; also -1 (recorded) when the module is not started, and -1
// without a record while the module has failed, so that a host that ignored a failed
// start never reads an empty result as a conversion.
int measdoc_run();
// Drops the error the cycle left pending, stops the units in the reverse order and
// releases every item. Returns 0, or 1 when one of them fails (recorded; the module has
// failed then) or the module has failed before.
int measdoc_deinit();

// The module's state as the host functions see it.
bool measdoc_errored();
bool measdoc_started();

extern "C" {
// Plain C heap wrappers for glue on the host's side; nothing in the module calls them.
void* xsmalloc(std::size_t size);
void xsfree(void* pointer);
}

#endif
