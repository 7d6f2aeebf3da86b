// Complete-pivoting elimination that stops at the first negligible pivot.
#include "linear_algebra/rank.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace pymorvel {

std::size_t numerical_rank(std::vector<double> a, std::size_t rows, std::size_t columns) {
    const std::size_t steps = std::min(rows, columns);
    double tolerance = 0.0;
    for (std::size_t r = 0; r < steps; ++r) {
        // The largest remaining entry.
        std::size_t pivot_row = r, pivot_column = r;
        double largest = 0.0;
        for (std::size_t i = r; i < rows; ++i)
            for (std::size_t j = r; j < columns; ++j)
                if (std::fabs(a[i * columns + j]) > largest) {
                    largest = std::fabs(a[i * columns + j]);
                    pivot_row = i;
                    pivot_column = j;
                }
        if (r == 0) tolerance = static_cast<double>(std::max(rows, columns)) * 2.220446049250313e-16 * largest;
        if (!(largest > tolerance)) return r;
        // Bring it to (r, r).
        for (std::size_t j = 0; j < columns; ++j) std::swap(a[r * columns + j], a[pivot_row * columns + j]);
        for (std::size_t i = 0; i < rows; ++i) std::swap(a[i * columns + r], a[i * columns + pivot_column]);
        // Eliminate below it.
        const double pivot = a[r * columns + r];
        for (std::size_t i = r + 1; i < rows; ++i) {
            const double m = a[i * columns + r] / pivot;
            for (std::size_t j = r + 1; j < columns; ++j) a[i * columns + j] = a[i * columns + j] - (a[r * columns + j] * m);
        }
    }
    return steps;
}

}  // namespace pymorvel
