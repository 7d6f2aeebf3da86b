// Evaluating a fitted model at new points.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "common/outcome.hpp"
#include "numeric/kernel_batch.hpp"
#include "linear_algebra/execution.hpp"
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
            return Failure{messages::query_dimension(dimension, i, length), true};
    return std::nullopt;
}

// Runs op over the query points [0, m) in blocks of `grain`, on the pool when
// there are several blocks and at least the threshold's kernel evaluations
// (query points x n samples); else here. Each query point's result is its own,
// so neither the pool nor the blocks change a bit, and a process whose pool
// cannot be started still predicts, on this thread.
template <class Op>
void run_queries(const Execution& execution, std::size_t m, std::size_t n, std::size_t grain, Op& op) {
    if (m > grain && m * n >= execution.thresholds.predict)
        parallel_for(execution, m, grain, op, WithoutPool::run_here);
    else
        op(0, m);
}

namespace prediction_detail {

// Adds one batch's terms, samples [j0, j1) in order, to the outputs of its lanes.
inline void add_batch(double* out, std::size_t lanes, const std::vector<double>& weights, std::size_t j0,
                     std::size_t j1, const double* phi, const KernelBatchOps& ops) {
    double acc[BATCH_LANES] = {};
    for (std::size_t l = 0; l < lanes; ++l) acc[l] = out[l];
    ops.lane_sums(weights.data() + j0, phi, j1 - j0, acc);
    for (std::size_t l = 0; l < lanes; ++l) out[l] = acc[l];
}

inline void add_batch(Vector* out, std::size_t lanes, const std::vector<Vector>& weights, std::size_t j0,
                     std::size_t j1, const double* phi, const KernelBatchOps&) {
    for (std::size_t l = 0; l < lanes; ++l)
        for (std::size_t j = j0; j < j1; ++j) add_scaled(out[l], weights[j], phi[(j - j0) * BATCH_LANES + l]);
}

}  // namespace prediction_detail

// Each output is a sum over the samples in sample order, then over the
// monomials in basis order, which makes results reproducible bit for bit;
// BATCH_LANES query points are evaluated at a time: each
// output still starts at zero, adds its terms in sample order and then its
// polynomial terms in basis order, so neither the lanes nor the pool change a
// bit. Large queries are spread over the pool.
template <class X, class Y>
Outcome<std::vector<Y>> predict(const RbfModel<X, Y>& model, std::span<const X> x_new,
                                const Execution& execution = {}) {
    if (std::optional<Failure> refusal = refuse_queries(model, x_new)) return std::move(*refusal);
    const std::size_t m = x_new.size(), n = model.x.size();
    const ProcessorContext& context = *execution.context;
    std::vector<Y> out(m, zero_like(model.y.front()));
    std::atomic<bool> nan_found{false};
    // Blocks hold whole batches, so every batch starts at a multiple of BATCH_LANES.
    constexpr std::size_t QUERIES_PER_BLOCK = 4 * BATCH_LANES;
    auto run = [&](std::size_t begin, std::size_t end) {
        double phi[BATCH_SAMPLES * BATCH_LANES];
        std::vector<double> monomials(model.polynomial ? model.polynomial->basis.size() : 0);
        for (std::size_t i0 = begin; i0 < end && !nan_found.load(std::memory_order_relaxed); i0 += BATCH_LANES) {
            const std::size_t lanes = std::min(BATCH_LANES, end - i0);
            for (std::size_t j0 = 0; j0 < n; j0 += BATCH_SAMPLES) {
                const std::size_t j1 = std::min(j0 + BATCH_SAMPLES, n);
                kernel_batch(context, model.kernel, model.epsilon, model.x, [&](std::size_t l) -> const X& { return x_new[i0 + l]; },
                            lanes, j0, j1, phi);
                prediction_detail::add_batch(out.data() + i0, lanes, model.weights, j0, j1, phi, *context.kernel_batches);
            }
            for (std::size_t l = 0; l < lanes; ++l) {
                if (model.polynomial) {
                    model.polynomial->basis.evaluate(numbers_of(x_new[i0 + l]), monomials);
                    for (std::size_t q = 0; q < monomials.size(); ++q)
                        add_scaled(out[i0 + l], model.polynomial->coefficients[q], monomials[q]);
                }
                if (has_nan(out[i0 + l])) nan_found.store(true, std::memory_order_relaxed);
            }
        }
    };
    run_queries(execution, m, n, QUERIES_PER_BLOCK, run);
    if (nan_found.load()) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    return out;
}

}  // namespace pymorvel
