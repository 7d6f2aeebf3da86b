// Fitting a model: the length assertion, the design matrix and the solve.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "common/panic.hpp"
#include "linear_algebra/design_matrix.hpp"
#include "linear_algebra/solver.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

// Takes over x and y. A length mismatch panics; the solver's failures are
// returned unchanged. Under a Cancellation, a stop throws Cancelled.
template <class X, class Y>
Outcome<RbfModel<X, Y>> fit(std::vector<X> x, std::vector<Y> y, Kernel kernel, double epsilon,
                            const Execution& execution = {}) {
    if (x.size() != y.size()) panic(messages::length_mismatch(x.size(), y.size()));
    // One factorisation serves every value component, and the solver consumes
    // the design matrix, so a fit holds a single N x N block at a time.
    typename PointStorage<X>::type points = PointStorage<X>::from(std::move(x));
    Outcome<std::vector<Y>> weights =
        solve(build_design_matrix(points, kernel, epsilon, execution), std::span<const Y>(y), execution);
    if (auto* failure = std::get_if<Failure>(&weights)) return std::move(*failure);
    return RbfModel<X, Y>{std::move(points), std::move(y), std::get<std::vector<Y>>(std::move(weights)), kernel,
                          epsilon};
}

}  // namespace pymorvel
