// Where and how a fit or a prediction runs: the pool, the parallel thresholds, the processor context, the one parallel loop.
#pragma once

#include <cstddef>

#include "common/cancellation.hpp"
#include "numeric/processor_context.hpp"
#include "parallel/global_pool.hpp"

namespace pymorvel {

// An elimination step runs on the pool only when more than this many rows lie
// below the pivot row ...
inline constexpr std::size_t PARALLEL_ROWS_THRESHOLD = 100;
// ... and it has at least this many multiply-subtracts, enough to pay for
// handing it to the pool and waiting for it ...
inline constexpr std::size_t PARALLEL_WORK_THRESHOLD = std::size_t{1} << 19;
// ... in a system of at least this many rows. Below it, the first hand-over of
// a fit, which has to wake the sleeping workers (about 0.1 ms on a virtual
// machine), costs more than the pool wins back; above it a fit after a pause
// and one of many in a row both gain (measured on two cores).
inline constexpr std::size_t PARALLEL_MIN_ROWS = 320;
// The design matrix is filled on the pool from this many entries (N^2 / 2,
// N = 320) on, when more than PARALLEL_ROWS_THRESHOLD rows follow its first.
inline constexpr std::size_t PARALLEL_FILL_THRESHOLD = 51200;
// Query points are spread over the pool from this many kernel evaluations
// (query points x samples) on.
inline constexpr std::size_t PARALLEL_PREDICT_THRESHOLD = std::size_t{1} << 17;

// Where the pool takes over. Production uses the defaults; tests lower them
// so that small inputs run the pooled paths too.
struct ParallelThresholds {
    std::size_t rows = PARALLEL_ROWS_THRESHOLD;
    std::size_t work = PARALLEL_WORK_THRESHOLD;
    std::size_t min_rows = PARALLEL_MIN_ROWS;
    std::size_t fill = PARALLEL_FILL_THRESHOLD;
    std::size_t predict = PARALLEL_PREDICT_THRESHOLD;
};

// Where and how a fit or a prediction runs. The defaults are the production
// choice; tests use other pools, thresholds, tiles and blocks to show that
// results do not depend on them.
struct Execution {
    parallel::WorkerPool* pool = nullptr;  // null: the process-wide pool
    Cancellation* cancellation = nullptr;  // null: the computation cannot be stopped
    ParallelThresholds thresholds = {};
    const ProcessorContext* context = &processor_context();  // the tiles and their block sizes
};

// Whether a pass over every entry of an n x n matrix (the fill, the solver's
// equilibration) is spread over the pool.
inline bool whole_matrix_on_pool(const Execution& execution, std::size_t n) noexcept {
    return n - 1 > execution.thresholds.rows && n * n / 2 >= execution.thresholds.fill;
}

// Whether pieces running on the pool should give up: a stop has been decided.
inline bool stop_requested(const Execution& execution) noexcept {
    return execution.cancellation != nullptr && execution.cancellation->requested();
}

// What a loop does when the process-wide pool cannot be created: a fit fails
// with the pool's fault; a prediction, which needs no pool to be right, runs
// on the calling thread.
enum class WithoutPool { fail, run_here };

// Runs op over [0, count) in blocks of `grain` on the execution's pool (the
// process-wide one when it names none), the calling thread taking blocks too.
// Under a cancellation the caller polls it while it waits for the workers;
// the blocks only read its decision (stop_requested).
template <class Op>
void parallel_for(const Execution& execution, std::size_t count, std::size_t grain, Op& op,
                  WithoutPool without_pool = WithoutPool::fail) {
    parallel::WorkerPool* pool = execution.pool;
    if (pool == nullptr)
        pool = without_pool == WithoutPool::run_here ? parallel::global_pool_if_available() : &parallel::global_pool();
    if (pool == nullptr) {
        op(0, count);
        return;
    }
    if (Cancellation* cancellation = execution.cancellation) {
        auto poll = [cancellation] { cancellation->poll(); };
        const parallel::WaitHook hook(poll);
        pool->parallel_for(count, grain, op, &hook);
    } else {
        pool->parallel_for(count, grain, op);
    }
}

// Runs op over [0, count): on the pool in blocks of `grain` when `on_pool`,
// else one index at a time on the calling thread, a stop checked before each.
// Either way a stop decided meanwhile is thrown once op has finished.
template <class Op>
void run_blocks(const Execution& execution, std::size_t count, std::size_t grain, bool on_pool, Op& op) {
    if (on_pool) {
        parallel_for(execution, count, grain, op);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            check_cancellation(execution.cancellation);
            op(i, i + 1);
        }
    }
    check_cancellation(execution.cancellation);
}

}  // namespace pymorvel
