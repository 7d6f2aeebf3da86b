// A square matrix in one aligned block, reached through a table of row pointers.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace pymorvel {

// A matrix refused because the memory it needs cannot be had: still a
// std::bad_alloc, and it tells how much was needed and how much there was, so
// that the caller can say so.
class MatrixRefused : public std::bad_alloc {
public:
    // available is 0 when the allocation itself failed and nothing is known.
    MatrixRefused(double needed_bytes, std::size_t available_bytes) noexcept
        : needed_(needed_bytes), available_(available_bytes) {}
    double needed_bytes() const noexcept { return needed_; }
    std::size_t available_bytes() const noexcept { return available_; }
    const char* what() const noexcept override { return "matrix allocation refused"; }

private:
    double needed_;
    std::size_t available_;
};

// Rows live in one allocation (padded to whole cache lines, so every row starts
// 64-byte aligned) and are reached through a table of row pointers. A row
// exchange rewrites that table and never moves data.
class SquareMatrix {
public:
    // Matrices of at least this many bytes (N >= 1024) are checked against the
    // memory this process can still get before they are allocated.
    static constexpr std::size_t MEMORY_PROBE_BYTES = std::size_t{8} << 20;

    SquareMatrix() = default;
    // Throws MatrixRefused when the allocation fails or, from MEMORY_PROBE_BYTES
    // on, when the memory this process can still get cannot hold it.
    explicit SquareMatrix(std::size_t n);

    std::size_t size() const noexcept { return n_; }
    // The table itself, for code that exchanges rows by rewriting it.
    double** row_table() noexcept { return rows_.data(); }
    double* row(std::size_t i) noexcept { return rows_[i]; }
    const double* row(std::size_t i) const noexcept { return rows_[i]; }
    double& operator()(std::size_t i, std::size_t j) noexcept { return rows_[i][j]; }
    double operator()(std::size_t i, std::size_t j) const noexcept { return rows_[i][j]; }

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
