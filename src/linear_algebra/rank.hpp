// The numerical rank of a tall matrix, by elimination with complete pivoting.
#pragma once

#include <cstddef>
#include <vector>

namespace pymorvel {

// The rank of the rows x columns matrix `a` (row-major, taken over): the
// number of elimination steps whose pivot, the largest remaining entry in
// magnitude, exceeds max(rows, columns) * 2^-52 times the first pivot. Ties
// keep the first entry in row-major order, and a NaN never wins, so the
// answer is the same on every run. An all-zero (or all-NaN) matrix has rank 0.
std::size_t numerical_rank(std::vector<double> a, std::size_t rows, std::size_t columns);

}  // namespace pymorvel
