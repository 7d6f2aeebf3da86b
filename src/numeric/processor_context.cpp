// The choice of paths from a processor's features.
#include "numeric/processor_context.hpp"

#include "exact_math/exact_math.hpp"
#include "numeric/kernel_batch.hpp"

namespace pymorvel {

const char* instructions_name(Instructions instructions) noexcept {
    switch (instructions) {
        case Instructions::portable: return "portable";
#if defined(__x86_64__)
        case Instructions::avx2: return "avx2";
        case Instructions::avx512: return "avx512";
#endif
    }
    return "unknown";
}

ProcessorContext context_for([[maybe_unused]] const system::ProcessorFeatures& features) noexcept {
    ProcessorContext context{
        .instructions = Instructions::portable,
        .update_tile = update_tile_portable,
        .column_steps = PORTABLE_COLUMN_STEPS,
        .blocking = {},
        .kernel_batches = &PORTABLE_KERNEL_BATCHES,
        .exp_lanes = exact_exp_one_by_one,
        .fma_math = false,
    };
#if defined(__x86_64__)
    // Every wider path builds on AVX2: the AVX-512 update tile shares its
    // column steps and kernel batches, and LLVM libc's FMA build is compiled for both.
    if (!features.avx2) return context;
    context.instructions = Instructions::avx2;
    context.update_tile = update_tile_avx2;
    context.column_steps = AVX2_COLUMN_STEPS;
    context.kernel_batches = &AVX2_KERNEL_BATCHES;
    context.fma_math = fma_math_runs(features);
    if (context.fma_math) context.exp_lanes = exact_exp_lanes4;
    if (features.avx512f) {
        context.instructions = Instructions::avx512;
        context.update_tile = update_tile_avx512;
        if (features.fma) context.exp_lanes = exact_exp_lanes8;
    }
#endif
    return context;
}

}  // namespace pymorvel
