// Row-of-vectors matrices shared by the design matrix and the solver.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "linear_algebra/update_kernels.hpp"

namespace pymorvel::parallel {
class WorkerPool;
}

namespace pymorvel {

// Each row is its own vector, so that a row exchange swaps two handles.
using Row = std::vector<double>;
using DesignMatrix = std::vector<Row>;
using MatrixView = std::span<const Row>;

// An elimination step runs on the pool only when more than this many rows lie
// below the pivot row.
inline constexpr std::size_t PARALLEL_ROWS_THRESHOLD = 100;

// Where the parallel steps of a solve run. The defaults are the production
// choice; tests use other pools and thresholds to show that results do not
// depend on them.
// Block sizes of the blocked factorisation. They change speed, never results;
// tests shrink them so that every edge path runs on small matrices.
struct LuBlocking {
    std::size_t panel = 128;      // columns factorised before each trailing update
    std::size_t base = 8;         // panel width below which columns go one by one
    std::size_t row_block = 252;     // rows per parallel piece (a multiple of the tile height)
    std::size_t depth = 256;         // elimination steps per packed block
    std::size_t column_chunk = 128;  // columns per parallel piece (one packed block of U)
};

struct Execution {
    parallel::WorkerPool* pool = nullptr;  // null: the process-wide pool
    std::size_t parallel_rows_threshold = PARALLEL_ROWS_THRESHOLD;
    KernelPath kernel = default_kernel_path();
    LuBlocking blocking = {};

    static Execution sequential() noexcept {
        return {nullptr, std::numeric_limits<std::size_t>::max()};
    }
};

}  // namespace pymorvel
