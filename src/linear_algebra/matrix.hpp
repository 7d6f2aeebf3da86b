// Row-of-vectors matrices shared by the design matrix and the solver.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

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
struct Execution {
    parallel::WorkerPool* pool = nullptr;  // null: the process-wide pool
    std::size_t parallel_rows_threshold = PARALLEL_ROWS_THRESHOLD;

    static Execution sequential() noexcept {
        return {nullptr, std::numeric_limits<std::size_t>::max()};
    }
};

}  // namespace pymorvel
