// A square matrix's one allocation, refused when the machine cannot hold it.
#include "linear_algebra/square_matrix.hpp"

#include <sys/mman.h>

#include <new>

#include "system/resources.hpp"

namespace pymorvel {

namespace {

constexpr std::size_t HUGE_PAGE_BYTES = std::size_t{2} << 20;

}  // namespace

SquareMatrix::SquareMatrix(std::size_t n) : n_(n), stride_(padded(n)), rows_(n) {
    if (n == 0) return;
    // Refuse sizes whose byte count would overflow before asking for memory.
    const double needed = static_cast<double>(n) * static_cast<double>(stride_) * sizeof(double);
    if (stride_ > (static_cast<std::size_t>(-1) / sizeof(double)) / n)
        throw MatrixRefused(needed, system::available_memory_bytes());
    const std::size_t bytes = n * stride_ * sizeof(double);
    // The system may promise memory it cannot deliver (overcommit), and
    // then the process is killed while the matrix is filled. A request the
    // machine cannot hold is refused here instead, as out of memory. The
    // probe reads several files (tens of microseconds), so only requests
    // large enough to threaten a machine pay for it.
    if (bytes >= MEMORY_PROBE_BYTES)
        if (const std::size_t available = system::available_memory_bytes(); bytes > available)
            throw MatrixRefused(needed, available);
    // A large block is asked for in whole huge pages: filling it then takes a
    // page fault per 2 MiB instead of per 4 KiB, and the elimination's walks
    // down columns miss the address-translation cache far less often.
    const bool huge = bytes >= HUGE_PAGE_BYTES;
    const std::size_t rounded = huge ? (bytes + HUGE_PAGE_BYTES - 1) / HUGE_PAGE_BYTES * HUGE_PAGE_BYTES : bytes;
    void* block = std::aligned_alloc(huge ? HUGE_PAGE_BYTES : 64, rounded);
    if (block == nullptr) throw MatrixRefused(needed, 0);
    // Only advice: where the kernel offers no huge pages, nothing changes.
    if (huge) madvise(block, rounded, MADV_HUGEPAGE);
    data_.reset(static_cast<double*>(block));
    for (std::size_t i = 0; i < n; ++i) rows_[i] = data_.get() + i * stride_;
}

}  // namespace pymorvel
