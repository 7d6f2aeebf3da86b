// Building the monomial basis, its shift and scale, and evaluating it.
#include "numeric/polynomial.hpp"

#include <algorithm>
#include <limits>

namespace pymorvel {

std::size_t PolynomialBasis::monomial_count(std::size_t dimension, std::size_t degree) noexcept {
    // C(n, k) with k = min(dimension, degree), built as C(n - k + i, i) for
    // i = 1..k: every step is an exact integer, and the steps only grow, so
    // the first one past the cap settles it.
    constexpr std::size_t saturated = std::numeric_limits<std::size_t>::max();
    const std::size_t k = std::min(dimension, degree);
    const unsigned __int128 n = static_cast<unsigned __int128>(dimension) + degree;
    unsigned __int128 c = 1;
    for (std::size_t i = 1; i <= k; ++i) {
        c = c * (n - k + i) / i;
        if (c >= saturated) return saturated;
    }
    return static_cast<std::size_t>(c);
}

PolynomialBasis::PolynomialBasis(std::size_t degree, std::size_t dimension, std::span<const double> points,
                                 std::size_t count)
    : degree_(degree), shift_(dimension, 0.0), scale_(dimension, 1.0) {
    for (std::size_t k = 0; k < dimension && count > 0; ++k) {
        double low = points[k], high = points[k];
        for (std::size_t i = 1; i < count; ++i) {
            low = std::min(low, points[i * dimension + k]);
            high = std::max(high, points[i * dimension + k]);
        }
        // Halved before they are combined, so that no finite range overflows.
        shift_[k] = (low * 0.5) + (high * 0.5);
        const double half_range = (high * 0.5) - (low * 0.5);
        // A coordinate that never changes keeps u = 0 on every sample: its
        // monomials then vanish there, and the rank test refuses them.
        scale_[k] = half_range > 0.0 ? half_range : 1.0;
    }
    std::vector<Factor> current;
    for (std::size_t total = 0; total <= degree && (total == 0 || dimension > 0); ++total)
        add_monomials(0, total, current);
}

// Appends, in basis order, every monomial of total degree `remaining` more
// than `current` whose further factors use coordinates from first_coordinate on.
void PolynomialBasis::add_monomials(std::size_t first_coordinate, std::size_t remaining,
                                    std::vector<Factor>& current) {
    if (remaining == 0) {
        factors_.insert(factors_.end(), current.begin(), current.end());
        offsets_.push_back(factors_.size());
        return;
    }
    const std::size_t dimension = shift_.size();
    for (std::size_t k = first_coordinate; k < dimension; ++k) {
        // The last coordinate must take all that remains.
        const std::size_t lowest = k + 1 == dimension ? remaining : 1;
        for (std::size_t e = remaining; e >= lowest; --e) {
            current.push_back({k, e});
            add_monomials(k + 1, remaining - e, current);
            current.pop_back();
        }
    }
}

std::vector<double> PolynomialBasis::powers_at(std::span<const double> p) const {
    const std::size_t stride = degree_ + 1;
    std::vector<double> powers(shift_.size() * stride, 1.0);
    for (std::size_t k = 0; k < shift_.size(); ++k) {
        const double u = (p[k] - shift_[k]) / scale_[k];
        if (degree_ >= 1) powers[k * stride + 1] = u;
        for (std::size_t e = 2; e <= degree_; ++e) powers[k * stride + e] = powers[k * stride + e - 1] * u;
    }
    return powers;
}

void PolynomialBasis::evaluate(std::span<const double> p, std::span<double> out) const {
    const std::vector<double> powers = powers_at(p);
    for (std::size_t q = 0; q < size(); ++q) {
        double value = 1.0;
        for (std::size_t f = offsets_[q]; f < offsets_[q + 1]; ++f) {
            const double power = powers[factors_[f].coordinate * (degree_ + 1) + factors_[f].exponent];
            // The first factor is taken as it is: 1 * power is power exactly.
            value = f == offsets_[q] ? power : value * power;
        }
        out[q] = value;
    }
}

}  // namespace pymorvel
