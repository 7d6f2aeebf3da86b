// The choice of paths from a processor's features.
#include "numeric/processor_context.hpp"

#include "numeric/exact_math.hpp"
#include "numeric/kernel_tile.hpp"

namespace pymorvel {

ProcessorContext context_for(const system::ProcessorFeatures& features) noexcept {
    ProcessorContext context{
        .name = "portable",
        .update_tile = update_tile_portable,
        .column_steps = PORTABLE_COLUMN_STEPS,
        .blocking = {},
        .kernel_tiles = &PORTABLE_KERNEL_TILES,
        .exp_lanes = exact_exp_one_by_one,
        .fma_math = false,
    };
    // Every wider path builds on AVX2: the AVX-512 update tile shares its
    // column steps and kernel tiles, and LLVM libc's FMA build is compiled for both.
    if (!features.avx2) return context;
    context.name = "avx2";
    context.update_tile = update_tile_avx2;
    context.column_steps = AVX2_COLUMN_STEPS;
    context.kernel_tiles = &AVX2_KERNEL_TILES;
    if (features.fma) {
        context.fma_math = true;
        context.exp_lanes = exact_exp_lanes4;
    }
    if (features.avx512f) {
        context.name = "avx512";
        context.update_tile = update_tile_avx512;
        if (features.fma) context.exp_lanes = exact_exp_lanes8;
    }
    return context;
}

}  // namespace pymorvel
