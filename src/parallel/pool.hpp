// The worker pool: its threads and the one parallel loop, over blocks of an index range.
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

// Called once per block with the block's half-open index range [begin, end).
using RangeOperation = FunctionRef<void(std::size_t begin, std::size_t end)>;
// Run by a caller while it waits for the workers' last blocks; it must not throw.
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

    // Calls op once on each block [k * grain, min((k + 1) * grain, count)) and
    // returns when every block is done. The calling thread takes blocks itself,
    // and up to thread_count() - 1 workers join it, so at most thread_count()
    // threads work on one loop. A worker of this pool that calls it runs the
    // blocks in place. The first fault (exception) raised by op, by block
    // order among the blocks that ran, is re-raised here once every block has
    // settled; blocks not yet begun are skipped after a fault.
    // `while_waiting`, when given, runs on the calling thread every few
    // milliseconds while it waits for the workers' last blocks, outside any of
    // the pool's locks. It may itself start loops on this pool (a signal
    // handler may fit a model): each loop has its own completion, so nested
    // loops on one thread never mistake each other's.
    void parallel_for(std::size_t count, std::size_t grain, RangeOperation op,
                      const WaitHook* while_waiting = nullptr);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace pymorvel::parallel
