// The worker pool: its threads and the parallel loop over an index range.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "common/function_ref.hpp"

namespace pymorvel::parallel {

// Creating a pool fails in one way only: a worker thread that cannot be started.
enum class BuildErrorKind { IOError };

struct ThreadPoolBuildError {
    BuildErrorKind kind;
    int os_error = 0;  // errno of the thread start that failed
    // Defined beside the global pool, whose fault message is its one reader.
    std::string debug_string() const;
};

// Starts one detached thread running entry(arg); returns 0 or an errno value.
using ThreadStarter = int (*)(void* (*entry)(void*), void* arg);

// The default starter: a detached POSIX thread with a 2 MiB stack and no name.
int start_detached_thread(void* (*entry)(void*), void* arg);

// Called on each piece that is not split further, with the half-open index range [begin, end).
using RangeOperation = FunctionRef<void(std::size_t begin, std::size_t end)>;
// Run by a caller while it waits for its loop.
using WaitHook = FunctionRef<void()>;

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
    // Workers asleep right now; tests wait for all of them before handing work in.
    unsigned sleeping_workers() const noexcept;

    // Calls op on disjoint ranges that together cover [0, count) exactly once,
    // and returns only when all of them are done. Must be called from a thread
    // that is not one of this pool's workers (a worker that calls it anyway runs
    // the loop in place). A fault (exception) raised by op on a worker is
    // re-raised here.
    // While it waits, the calling thread runs `while_waiting` (when given)
    // every few milliseconds, outside any of the pool's locks.
    void for_each_range(std::size_t count, RangeOperation op, const WaitHook* while_waiting = nullptr);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace pymorvel::parallel
