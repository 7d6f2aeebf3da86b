// The process-wide worker pool and the environment rules that size it.
#pragma once

#include <optional>

#include "parallel/pool.hpp"
#include "system/resources.hpp"

namespace pymorvel::parallel {

// The process-wide pool, created on first use under a once-only guard. If its
// creation failed, every call aborts with the internal fault
// "The global thread pool has not been initialized.: <error>".
WorkerPool& global_pool();
// The same pool, or null where its creation failed, for work that can do
// without it.
WorkerPool* global_pool_if_available() noexcept;
// True once global_pool() has started creating the pool (tests use it to check
// that small fits never do).
bool global_pool_requested() noexcept;
// Test hook: the starter global_pool() will use for its workers, so a test (in a
// child process) can make the creation fail. Without effect once created.
void set_global_pool_starter(ThreadStarter starter) noexcept;

// The sizing variables are counts in the kernel's syntax: optional '+', then digits only.
using system::parse_count;
// The thread count rule: RAYON_NUM_THREADS, then RAYON_RS_NUM_CPUS, then the
// default, cut at 65535. Either text may be null (variable unset).
unsigned choose_thread_count(const char* num_threads, const char* rs_num_cpus,
                             unsigned default_count) noexcept;

}  // namespace pymorvel::parallel
