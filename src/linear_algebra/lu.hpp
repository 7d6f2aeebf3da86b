// LU factorisation with partial pivoting (P A = L U).
#pragma once

#include <cstddef>
#include <vector>

#include "linear_algebra/matrix.hpp"
#include "linear_algebra/square_matrix.hpp"
#include "common/outcome.hpp"

namespace pymorvel {

struct LuFactors {
    // Below the diagonal: the multipliers of L (unit diagonal implied); on and
    // above it: U.
    DesignMatrix lu;
    // perm[i] is the input row that ended at position i.
    std::vector<std::size_t> perm;
};

// Copies separately owned rows into one square matrix. A row shorter than the
// number of rows aborts the call (an index outside it would be needed).
SquareMatrix to_square(MatrixView matrix);

// Factorises a copy of the square matrix; the input is never modified. Fails
// with "Exact zero pivot encountered at column k" for the first column k < N-1
// whose chosen pivot is exactly zero.
Outcome<LuFactors> lu_decompose(MatrixView matrix, const Execution& execution = {});

}  // namespace pymorvel
