// Where and how an elimination runs: the pool, the parallel threshold, the update tile and the block sizes.
#pragma once

#include <cstddef>

#include "common/cancellation.hpp"
#include "linear_algebra/update_tile.hpp"

namespace pymorvel::parallel {
class WorkerPool;
}

namespace pymorvel {

// An elimination step runs on the pool only when more than this many rows lie
// below the pivot row.
inline constexpr std::size_t PARALLEL_ROWS_THRESHOLD = 100;

// Block sizes of the blocked factorisation. They change speed, never results;
// tests shrink them so that every edge path runs on small matrices.
struct LuBlocking {
    std::size_t panel = 128;         // columns factorised before each trailing update
    std::size_t base = 8;            // panel width below which columns go one by one
    std::size_t row_block = 252;     // rows per parallel piece (a multiple of the tile height)
    std::size_t depth = 256;         // elimination steps per packed block
    std::size_t column_chunk = 128;  // columns per parallel piece (one packed block of U)
};

// The defaults are the production choice; tests use other pools, thresholds,
// tiles and blocks to show that results do not depend on them.
struct Execution {
    parallel::WorkerPool* pool = nullptr;  // null: the process-wide pool
    std::size_t parallel_rows_threshold = PARALLEL_ROWS_THRESHOLD;
    TilePath tile = default_tile_path();
    LuBlocking blocking = {};
    Cancellation* cancellation = nullptr;  // null: the computation cannot be stopped
};

}  // namespace pymorvel
