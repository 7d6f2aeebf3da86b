// A square matrix in one aligned block, reached through a table of row pointers.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace pymorvel {

// Memory this process can still expect to get: the system's available memory,
// capped by the control group's limit where one is set.
std::size_t available_memory_bytes() noexcept;

// Rows live in one allocation (padded to whole cache lines, so every row starts
// 64-byte aligned) and are reached through `rows()`. A row exchange swaps two
// pointers and never moves data.
class SquareMatrix {
public:
    SquareMatrix() = default;
    explicit SquareMatrix(std::size_t n) : n_(n), stride_(padded(n)), rows_(n) {
        if (n == 0) return;
        // Refuse sizes whose byte count would overflow before asking for memory.
        if (stride_ > (static_cast<std::size_t>(-1) / sizeof(double)) / n) throw std::bad_alloc();
        const std::size_t bytes = n * stride_ * sizeof(double);
        // The system may promise memory it cannot deliver (overcommit), and
        // then the process is killed while the matrix is filled. A request the
        // machine cannot hold is refused here instead, as out of memory.
        if (bytes > available_memory_bytes()) throw std::bad_alloc();
        void* block = std::aligned_alloc(64, bytes);
        if (block == nullptr) throw std::bad_alloc();
        data_.reset(static_cast<double*>(block));
        for (std::size_t i = 0; i < n; ++i) rows_[i] = data_.get() + i * stride_;
    }

    std::size_t size() const noexcept { return n_; }
    double* const* rows() noexcept { return rows_.data(); }
    const double* const* rows() const noexcept { return rows_.data(); }
    // The table itself, for code that exchanges rows by rewriting it.
    double** row_table() noexcept { return rows_.data(); }
    double* row(std::size_t i) noexcept { return rows_[i]; }
    const double* row(std::size_t i) const noexcept { return rows_[i]; }
    double& operator()(std::size_t i, std::size_t j) noexcept { return rows_[i][j]; }
    double operator()(std::size_t i, std::size_t j) const noexcept { return rows_[i][j]; }
    void swap_rows(std::size_t a, std::size_t b) noexcept { std::swap(rows_[a], rows_[b]); }

private:
    static std::size_t padded(std::size_t n) noexcept { return (n + 7) & ~std::size_t{7}; }
    struct Free {
        void operator()(double* p) const noexcept { std::free(p); }
    };
    std::size_t n_ = 0;
    std::size_t stride_ = 0;
    std::unique_ptr<double[], Free> data_;
    std::vector<double*> rows_;
};

}  // namespace pymorvel
