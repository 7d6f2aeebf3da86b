// Blocked, in-place LU factorisation that reproduces row-by-row elimination bit for bit.
#pragma once

#include <cstddef>
#include <vector>

#include "linear_algebra/matrix.hpp"
#include "linear_algebra/square_matrix.hpp"

namespace pymorvel {

inline constexpr std::size_t NO_ZERO_PIVOT = static_cast<std::size_t>(-1);

// Factorises `a` in place (multipliers of L below the diagonal, U on and
// above it) and permutes `perm` with its rows. Returns the first column whose
// pivot is exactly zero, or NO_ZERO_PIVOT. Every entry receives the same
// sequence of roundings as in row-by-row elimination with partial pivoting,
// so the factors are identical to it, whatever the blocking, kernel or pool.
std::size_t lu_factor_in_place(SquareMatrix& a, std::vector<std::size_t>& perm,
                               const Execution& execution = {});

}  // namespace pymorvel
