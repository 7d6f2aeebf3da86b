// Where and how a fit's matrix work runs: the pool, the parallel thresholds, the update and kernel tiles, the block sizes.
#pragma once

#include <cstddef>

#include "common/cancellation.hpp"
#include "linear_algebra/update_tile.hpp"
#include "parallel/global_pool.hpp"

namespace pymorvel {

struct KernelTileOps;

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

// Block sizes of the blocked factorisation. They change speed, never results;
// tests shrink them so that every edge path runs on small matrices.
struct LuBlocking {
    std::size_t panel = 128;         // columns factorised before each trailing update
    std::size_t base = 8;            // panel width below which columns go one by one
    std::size_t row_block = 252;     // rows per parallel piece (a multiple of the tile height)
    std::size_t depth = 256;         // elimination steps per packed block
    std::size_t column_chunk = 128;  // columns per parallel piece (one packed block of U)
    std::size_t min_pieces = 4;      // row groups shrink until an update has this many pieces
    // From wide_from rows on, panels are wide_panel columns: fewer passes over
    // a trailing matrix that no longer fits in the caches.
    std::size_t wide_panel = 192;
    std::size_t wide_from = 1000;
};

// The defaults are the production choice; tests use other pools, thresholds,
// tiles and blocks to show that results do not depend on them.
struct Execution {
    parallel::WorkerPool* pool = nullptr;  // null: the process-wide pool
    std::size_t parallel_rows_threshold = PARALLEL_ROWS_THRESHOLD;
    TilePath tile = default_tile_path();
    LuBlocking blocking = {};
    std::size_t parallel_work_threshold = PARALLEL_WORK_THRESHOLD;
    std::size_t parallel_min_rows = PARALLEL_MIN_ROWS;
    std::size_t parallel_fill_threshold = PARALLEL_FILL_THRESHOLD;
    const KernelTileOps* kernel_tiles = nullptr;  // null: the best this processor runs
    Cancellation* cancellation = nullptr;         // null: the computation cannot be stopped
};

// Whether a pass over every entry of an n x n matrix (the fill, the solver's
// equilibration) is spread over the pool.
inline bool whole_matrix_on_pool(const Execution& execution, std::size_t n) noexcept {
    return n - 1 > execution.parallel_rows_threshold && n * n / 2 >= execution.parallel_fill_threshold;
}

// Whether pieces running on the pool should give up: a stop has been decided.
inline bool stop_requested(const Execution& execution) noexcept {
    return execution.cancellation != nullptr && execution.cancellation->requested();
}

// Runs op over [0, count) on the execution's pool (the process-wide one when
// it names none). Under a cancellation the waiting caller polls it; the pieces
// only read its decision (stop_requested).
template <class Op>
void run_on_pool(const Execution& execution, std::size_t count, Op& op) {
    parallel::WorkerPool& pool = execution.pool != nullptr ? *execution.pool : parallel::global_pool();
    if (Cancellation* cancellation = execution.cancellation) {
        auto poll = [cancellation] { cancellation->poll(); };
        const parallel::WaitHook hook(poll);
        pool.for_each_range(count, op, &hook);
    } else {
        pool.for_each_range(count, op);
    }
}

}  // namespace pymorvel
