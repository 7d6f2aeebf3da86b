// Evaluating a fitted model at new points.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "common/outcome.hpp"
#include "numeric/distances.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

// A model with a polynomial term needs query points of its samples' length;
// any other model takes every query (vectors are compared over their common
// prefix). The first query of another length is refused.
template <class X, class Y>
std::optional<Failure> refuse_queries(const RbfModel<X, Y>& model, std::span<const X> x_new) {
    if (!model.polynomial) return std::nullopt;
    const std::size_t dimension = model.polynomial->basis.dimension();
    for (std::size_t i = 0; i < x_new.size(); ++i)
        if (const std::size_t length = numbers_of(x_new[i]).size(); length != dimension)
            return Failure{messages::query_dimension(dimension, i, length)};
    return std::nullopt;
}

template <class Phi>
inline constexpr bool calls_exp_or_log = false;
template <KernelFn F, KernelFn D>
inline constexpr bool calls_exp_or_log<StaticKernel<F, D>> =
    F == &kernel_functions::gaussian || F == &kernel_functions::thin_plate_spline;

// Each output is a sum over the samples in sample order, then over the
// monomials in basis order, which is what makes results reproducible bit for
// bit. Stops at the first output holding a NaN. phi is the model's kernel
// function.
template <class X, class Y, class Phi>
Outcome<std::vector<Y>> predict_with(const RbfModel<X, Y>& model, std::span<const X> x_new, Phi phi) {
    if (std::optional<Failure> refusal = refuse_queries(model, x_new)) return std::move(*refusal);
    // Outputs start as zeros shaped like the first sample value.
    std::vector<Y> out(x_new.size(), zero_like(model.y.front()));
    std::vector<double> monomials(model.polynomial ? model.polynomial->basis.size() : 0);
    const std::size_t n = model.x.size();
    // For the kernels that call exp or log the distances to all samples come
    // first, in a pass of their own, with the same roundings as in one loop:
    // exp and log are long chains of dependent operations, which the
    // processor overlaps only when little else comes between the calls.
    constexpr bool two_passes = calls_exp_or_log<Phi>;
    std::vector<double> distances(two_passes ? n : 0);
    for (std::size_t i = 0; i < x_new.size(); ++i) {
        // A local sum stays in registers; the output is not re-read per term.
        Y sum = std::move(out[i]);
        if constexpr (two_passes) {
            floored_distances(x_new[i], model.x, 0, distances.data());
            for (std::size_t j = 0; j < n; ++j) add_scaled(sum, model.weights[j], phi(distances[j], model.epsilon));
        } else {
            for (std::size_t j = 0; j < n; ++j)
                add_scaled(sum, model.weights[j], phi(floor_distance(squared_distance(x_new[i], model.x[j])), model.epsilon));
        }
        out[i] = std::move(sum);
        if (model.polynomial) {
            model.polynomial->basis.evaluate(numbers_of(x_new[i]), monomials);
            for (std::size_t q = 0; q < monomials.size(); ++q)
                add_scaled(out[i], model.polynomial->coefficients[q], monomials[q]);
        }
        if (has_nan(out[i])) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    }
    return out;
}

template <class X, class Y>
Outcome<std::vector<Y>> predict(const RbfModel<X, Y>& model, std::span<const X> x_new) {
    return dispatch_kernel(model.kernel.id, [&](auto phi) { return predict_with(model, x_new, phi); });
}

}  // namespace pymorvel
