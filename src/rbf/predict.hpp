// Evaluating a fitted model at new points.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "numeric/distances.hpp"
#include "numeric/outcome.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

// Gaussian and thin-plate values come from exp and log: long chains of
// dependent operations, which the processor overlaps only when nothing else
// sits between the calls. The other kernels are a few operations each.
inline bool kernel_calls_exp_or_log(KernelFn kernel) noexcept {
    return kernel == &gaussian || kernel == &thin_plate_spline;
}

// Sequential on purpose: each output is a sum over the samples in sample order,
// which is what makes results reproducible bit for bit. Stops at the first
// output holding a NaN.
template <class X, class Y>
Outcome<std::vector<Y>> predict(const RbfModel<X, Y>& model, std::span<const X> x_new) {
    // 1-2. Outputs start as zeros shaped like the first sample value.
    std::vector<Y> out(x_new.size(), zero_like(model.y.front()));
    // 3. One query after another; terms are added in sample order. For exp and
    // log kernels the distances to all samples come first, in a pass of their
    // own, with the same roundings as in the one loop.
    const std::size_t n = model.x.size();
    std::vector<double> distances(kernel_calls_exp_or_log(model.kernel) ? n : 0);
    for (std::size_t i = 0; i < x_new.size(); ++i) {
        // A local sum stays in registers; the output is not re-read per term.
        Y sum = std::move(out[i]);
        if (distances.empty()) {
            for (std::size_t j = 0; j < n; ++j)
                add_scaled(sum, model.weights[j],
                           model.kernel(floor_distance(squared_distance(x_new[i], model.x[j])), model.epsilon));
        } else {
            floored_distances(x_new[i], model.x, distances.data());
            for (std::size_t j = 0; j < n; ++j) add_scaled(sum, model.weights[j], model.kernel(distances[j], model.epsilon));
        }
        out[i] = std::move(sum);
        if (has_nan(out[i])) return Failure{"NaN values in output"};
    }
    return out;
}

}  // namespace pymorvel
