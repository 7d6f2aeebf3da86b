// The process-wide worker pool and the parallel for-each over matrix rows.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "parallel/function_ref.hpp"

namespace pymorvel::parallel {

enum class BuildErrorKind { GlobalPoolAlreadyInitialized, CurrentThreadAlreadyInPool, IOError };

struct ThreadPoolBuildError {
    BuildErrorKind kind;
    int os_error = 0;  // errno of the thread start that failed, for IOError
    std::string debug_string() const;
};

// Starts one detached thread running entry(arg); returns 0 or an errno value.
using ThreadStarter = int (*)(void* (*entry)(void*), void* arg);

// The default starter: a detached POSIX thread with a 2 MiB stack and no name.
int start_detached_thread(void* (*entry)(void*), void* arg);

// Called on each piece that is not split further, with the half-open index range [begin, end).
using RangeOperation = FunctionRef<void(std::size_t begin, std::size_t end)>;

class WorkerPool {
public:
    // Throws ThreadPoolBuildError{IOError} when a worker cannot be started; the
    // workers already started are stopped first.
    explicit WorkerPool(unsigned thread_count, ThreadStarter starter = start_detached_thread);
    // Stops the workers and waits until every one has left. The global pool is
    // never destroyed; pools made by tests are.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned thread_count() const noexcept;

    // Calls op on disjoint ranges that together cover [0, count) exactly once,
    // and returns only when all of them are done. Must be called from a thread
    // that is not one of this pool's workers (a worker that calls it anyway runs
    // the loop in place). A fault (exception) raised by op on a worker is
    // re-raised here.
    void for_each_range(std::size_t count, RangeOperation op);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The process-wide pool, created on first use under a once-only guard. If its
// creation failed, every call aborts with the internal fault
// "The global thread pool has not been initialized.: <error>".
WorkerPool& global_pool();
unsigned thread_count();
// True once global_pool() has started creating the pool (tests use it to check
// that small fits never do).
bool global_pool_requested() noexcept;
// Test hook: the starter global_pool() will use for its workers, so a test (in a
// child process) can make the creation fail. Without effect once created.
void set_global_pool_starter(ThreadStarter starter) noexcept;

// Parses an unsigned decimal count: optional '+', then digits only; nullopt on
// anything else, including overflow of an unsigned 64-bit value.
std::optional<unsigned long long> parse_count(const char* text) noexcept;
// The thread count rule: RAYON_NUM_THREADS, then RAYON_RS_NUM_CPUS, then the
// default, cut at 65535. Either text may be null (variable unset).
unsigned choose_thread_count(const char* num_threads, const char* rs_num_cpus,
                             unsigned default_count) noexcept;
// The CPUs available to this process: affinity mask, then sysconf, capped by a
// cgroup v1 or v2 CPU quota; 1 if nothing can be determined.
unsigned default_thread_count() noexcept;
// The CPU cap set by control-group quotas, or nullopt when none applies. root is
// where the cgroup file systems are mounted (/sys/fs/cgroup: the unified
// hierarchy there or in root/unified, version-1 controllers in root/<controllers>);
// proc_self_cgroup is the text of /proc/self/cgroup. The smallest quota/period
// (at least 1) over the group and its ancestors wins.
std::optional<unsigned> cgroup_cpu_limit(const std::string& root, std::string_view proc_self_cgroup);

// Applies op to every row of rows exactly once; an unsplit piece visits its
// rows in ascending order.
template <class Row, class Op>
void parallel_for_each(WorkerPool& pool, std::span<Row> rows, Op&& op) {
    pool.for_each_range(rows.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) op(rows[i]);
    });
}

template <class Row, class Op>
void parallel_for_each(std::span<Row> rows, Op&& op) {
    parallel_for_each(global_pool(), rows, std::forward<Op>(op));
}

}  // namespace pymorvel::parallel
