// The code paths one processor runs, chosen once per process: the LU's update tile, column steps and block sizes, the kernel batches, the exp lanes and the build of exp and log.
#pragma once

#include <cstddef>

#include "numeric/update_tile.hpp"
#include "system/processor.hpp"

namespace pymorvel {

struct KernelBatchOps;

// Block sizes of the blocked factorisation. They change speed, never results;
// tests shrink them so that every edge path runs on small matrices.
struct LuBlocking {
    std::size_t panel = 128;         // columns factorised before each trailing update
    std::size_t base = 8;            // panel width below which columns go one by one
    std::size_t row_block = 252;     // rows per parallel piece (a multiple of the tile height)
    std::size_t depth = 256;         // elimination steps per packed block
    std::size_t column_chunk = 128;  // columns per parallel piece (one packed block of U)
    std::size_t min_pieces = 4;      // row groups shrink until an update has this many pieces
    // From wide_from rows on, panels are wide_panel columns: fewer passes over
    // a trailing matrix that no longer fits in the caches.
    std::size_t wide_panel = 192;
    std::size_t wide_from = 1000;
};

// The widest vector instructions a context's paths use. Code with vector
// variants of its own beside the context's (the inverse diagonal's chunks)
// picks the variant of its context's level.
// Other architectures have the portable paths alone.
#if defined(__x86_64__)
enum class Instructions { portable, avx2, avx512 };
#else
enum class Instructions { portable };
#endif
// "portable", "avx2" or "avx512".
const char* instructions_name(Instructions instructions) noexcept;

// v[i] = exact_exp(v[i]) for i < count, some lanes at a time (exact_math/exact_math.hpp).
using ExpLanes = void (*)(double* v, std::size_t count) noexcept;

// Everything that differs between processors, in one record, as a BLAS keeps
// one context per processor type. Every path gives the same bits as the
// portable one; only the speed differs. Fits and predictions take the
// process's (processor_context()); tests pass others to show that.
struct ProcessorContext {
    Instructions instructions;  // those of the update tile, the widest of all
    UpdateTile update_tile;
    ColumnSteps column_steps;
    // The block sizes suit the tile: its height divides row_block, its width column_chunk.
    LuBlocking blocking;
    const KernelBatchOps* kernel_batches;
    ExpLanes exp_lanes;
    // Whether exact_exp and exact_log run LLVM libc's FMA build. Read from the
    // process's context alone: a kernel function takes no context.
    bool fma_math;
};

// The fastest paths a processor with these features runs.
ProcessorContext context_for(const system::ProcessorFeatures& features) noexcept;

namespace processor_context_detail {
// Chosen during static initialisation, before the static objects of every file
// that includes this one, and without a guard to test on every read: exact_exp
// reads it for each argument.
inline const ProcessorContext PROCESS = context_for(system::processor_features());
}  // namespace processor_context_detail

// This process's: the one for this processor.
inline const ProcessorContext& processor_context() noexcept { return processor_context_detail::PROCESS; }

}  // namespace pymorvel
