// The processor contexts this machine runs, for the tests that hold each path to the plain one.
#pragma once

#include <string>
#include <vector>

#include "exact_math/exact_math.hpp"
#include "numeric/processor_context.hpp"

namespace pymorvel::testing_support {

// One context for each subset of this processor's features, each distinct
// in what `same` compares once.
template <class Same>
std::vector<ProcessorContext> contexts_differing(Same same) {
    const system::ProcessorFeatures& has = system::processor_features();
    std::vector<ProcessorContext> contexts;
    for (unsigned subset = 0; subset < 8; ++subset) {
        const ProcessorContext c = context_for({.avx2 = has.avx2 && (subset & 1) != 0,
                                                .fma = has.fma && (subset & 2) != 0,
                                                .avx512f = has.avx512f && (subset & 4) != 0});
        bool seen = false;
        for (const ProcessorContext& known : contexts) seen = seen || same(known, c);
        if (!seen) contexts.push_back(c);
    }
    return contexts;
}

// Those that differ in the LU's update tile or column steps ...
inline std::vector<ProcessorContext> lu_contexts() {
    return contexts_differing([](const ProcessorContext& a, const ProcessorContext& b) {
        return a.update_tile == b.update_tile && a.column_steps.divide == b.column_steps.divide &&
               a.column_steps.subtract_scaled == b.column_steps.subtract_scaled;
    });
}

// ... and in the kernel batches or the exp lanes.
inline std::vector<ProcessorContext> kernel_contexts() {
    return contexts_differing([](const ProcessorContext& a, const ProcessorContext& b) {
        return a.kernel_batches == b.kernel_batches && a.exp_lanes == b.exp_lanes;
    });
}

// What a context runs, for test names: its tile and, with lanes, their width.
inline std::string context_label(const ProcessorContext& c) {
#if defined(__x86_64__)
    const std::string lanes = c.exp_lanes == exact_exp_lanes8   ? "_exp8"
                              : c.exp_lanes == exact_exp_lanes4 ? "_exp4"
                                                                : "";
    return instructions_name(c.instructions) + lanes;
#else
    return instructions_name(c.instructions);
#endif
}

// `base` with other block sizes.
inline ProcessorContext with_blocking(const LuBlocking& blocking, ProcessorContext base = processor_context()) {
    base.blocking = blocking;
    return base;
}

}  // namespace pymorvel::testing_support
