// Row-by-row Gaussian elimination with partial pivoting.
#include "linear_algebra/lu.hpp"

#include <cmath>
#include <numeric>
#include <span>
#include <string>
#include <utility>

#include "parallel/abort.hpp"
#include "parallel/pool.hpp"

namespace pymorvel {

namespace {

// Row i below the pivot: the multiplier replaces the eliminated entry, then
// every later column loses (pivot entry x multiplier), rounded twice.
void eliminate_row(Row& row, const Row& pivot_row, std::size_t k, double pivot) {
    check_index(k, row.size());
    const double f = row[k] / pivot;
    row[k] = f;
    for (std::size_t j = k + 1; j < pivot_row.size(); ++j) {
        check_index(j, row.size());
        row[j] = row[j] - (pivot_row[j] * f);
    }
}

}  // namespace

Outcome<LuFactors> lu_decompose(MatrixView matrix, const Execution& execution) {
    // 1. Work on a copy; perm starts as the identity.
    const std::size_t n = matrix.size();
    LuFactors factors{DesignMatrix(matrix.begin(), matrix.end()), std::vector<std::size_t>(n)};
    DesignMatrix& lu = factors.lu;
    std::iota(factors.perm.begin(), factors.perm.end(), std::size_t{0});

    // 2. A single entry has nothing to eliminate and is not tested for zero.
    if (n <= 1) return factors;

    for (std::size_t k = 0; k + 1 < n; ++k) {
        // 3.1 Pivot search: strict comparison, so ties keep the lowest row and
        // a NaN never wins (and, once the best, is never replaced).
        std::size_t p = k;
        check_index(k, lu[p].size());
        for (std::size_t i = k + 1; i < n; ++i) {
            check_index(k, lu[i].size());
            if (std::fabs(lu[i][k]) > std::fabs(lu[p][k])) p = i;
        }
        // 3.2 Exact zero test, no tolerance; both signed zeros count.
        if (lu[p][k] == 0.0)
            return Failure{"Exact zero pivot encountered at column " + std::to_string(k)};
        // 3.3 Whole rows travel, the multipliers stored so far with them.
        if (p != k) {
            std::swap(lu[k], lu[p]);
            std::swap(factors.perm[k], factors.perm[p]);
        }
        // 3.4-3.6 Each row below reads only itself and the pivot row, so the
        // rows may be updated in any order or in parallel with the same bits.
        const Row& pivot_row = lu[k];
        const double pivot = pivot_row[k];
        std::span<Row> below(lu.data() + k + 1, n - k - 1);
        if (below.size() > execution.parallel_rows_threshold) {
            parallel::WorkerPool& pool =
                execution.pool != nullptr ? *execution.pool : parallel::global_pool();
            parallel::parallel_for_each(pool, below,
                                        [&](Row& row) { eliminate_row(row, pivot_row, k, pivot); });
        } else {
            for (Row& row : below) eliminate_row(row, pivot_row, k, pivot);
        }
    }
    return factors;
}

}  // namespace pymorvel
