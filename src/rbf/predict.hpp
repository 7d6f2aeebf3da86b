// Evaluating a fitted model at new points.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "numeric/outcome.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

// Sequential on purpose: each output is a sum over the samples in sample order,
// which is what makes results reproducible bit for bit. Stops at the first
// output holding a NaN.
template <class X, class Y>
Outcome<std::vector<Y>> predict(const RbfModel<X, Y>& model, std::span<const X> x_new) {
    // 1-2. Outputs start as zeros shaped like the first sample value.
    std::vector<Y> out(x_new.size(), zero_like(model.y.front()));
    // 3. One query after another; terms are added in sample order. Each query
    // takes three passes, distances, kernels, sum, with the same roundings as
    // one: a loop of kernel calls alone lets the processor overlap several
    // exp or log evaluations, which are long chains of dependent operations.
    const std::size_t n = model.x.size();
    std::vector<double> phi(n);
    for (std::size_t i = 0; i < x_new.size(); ++i) {
        for (std::size_t j = 0; j < n; ++j) phi[j] = floor_distance(squared_distance(x_new[i], model.x[j]));
        for (std::size_t j = 0; j < n; ++j) phi[j] = model.kernel(phi[j], model.epsilon);
        // A local sum stays in registers; the output is not re-read per term.
        Y sum = std::move(out[i]);
        for (std::size_t j = 0; j < n; ++j) add_scaled(sum, model.weights[j], phi[j]);
        out[i] = std::move(sum);
        if (has_nan(out[i])) return Failure{"NaN values in output"};
    }
    return out;
}

}  // namespace pymorvel
