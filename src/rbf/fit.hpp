// Fitting a model: the length assertion, the design matrix and the solve.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "linear_algebra/design_matrix.hpp"
#include "linear_algebra/solver.hpp"
#include "common/panic.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

// Takes over x and y. A length mismatch aborts the call; the solver's failures
// are returned unchanged.
template <class X, class Y>
Outcome<RbfModel<X, Y>> fit(std::vector<X> x, std::vector<Y> y, KernelFn kernel, double epsilon,
                            const Execution& execution = {}) {
    // 1. Same number of points and values.
    if (x.size() != y.size()) {
        panic(messages::length_mismatch(x.size(), y.size()));
    }
    // 2-3. One factorisation for all value components. The solver consumes
    // the matrix in place, so a fit holds a single N x N block at a time.
    typename PointStorage<X>::type points = PointStorage<X>::from(std::move(x));
    Outcome<std::vector<Y>> weights = [&] {
        SquareMatrix matrix = build_kernel_matrix(points, kernel, epsilon);
        return solve_in_place(matrix, std::span<const Y>(y), execution);
    }();
    if (auto* failure = std::get_if<Failure>(&weights)) return std::move(*failure);
    // 4. The model owns everything it was given.
    return RbfModel<X, Y>{std::move(points), std::move(y), std::get<std::vector<Y>>(std::move(weights)),
                          kernel, epsilon};
}

}  // namespace pymorvel
