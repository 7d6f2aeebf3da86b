// LU factorisation with partial pivoting (P A = L U), blocked and in place.
#pragma once

#include <cstddef>
#include <vector>

#include "common/outcome.hpp"
#include "linear_algebra/execution.hpp"
#include "linear_algebra/square_matrix.hpp"

namespace pymorvel {

struct LuFactors {
    // Below the diagonal: the multipliers of L (unit diagonal implied); on and
    // above it: U.
    SquareMatrix lu;
    // perm[i] is the input row that ended at position i.
    std::vector<std::size_t> perm;
};

// Factorises the matrix it is given (the caller hands over a matrix it no
// longer needs, so no copy is made). Fails with "Exact zero pivot encountered
// at column k" for the first column k < N-1 whose chosen pivot is exactly zero.
// Every entry receives the same sequence of roundings as in row-by-row
// elimination, so the factors are identical to it, whatever the blocking,
// update tile or pool.
Outcome<LuFactors> lu_decompose(SquareMatrix a, const Execution& execution = {});

}  // namespace pymorvel
