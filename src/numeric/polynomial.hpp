// The polynomial term's basis: the monomials of total degree <= d, their values and their derivatives.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace pymorvel {

// The monomials of total degree at most `degree` in `dimension` coordinates,
// written in u_k = (x_k - shift_k) / scale_k, where shift and scale map the
// samples' range of every coordinate onto [-1, 1]. The shift and scale change
// the basis, not the space it spans, so the interpolant is the one of plain
// monomials; they keep every entry of the polynomial block within [-1, 1],
// which is what makes the rank test's tolerance meaningful, and keep points
// far from the origin from squaring into huge entries.
//
// Order (it fixes the order of every sum over the monomials): by total degree,
// then by exponent tuple, largest first: 1, u0, u1, u0^2, u0 u1, u1^2, ...
class PolynomialBasis {
public:
    // C(dimension + degree, degree), or the largest std::size_t when it is
    // at least that large.
    static std::size_t monomial_count(std::size_t dimension, std::size_t degree) noexcept;

    PolynomialBasis() = default;
    // `points` holds `count` points of `dimension` finite coordinates each,
    // back to back.
    PolynomialBasis(std::size_t degree, std::size_t dimension, std::span<const double> points, std::size_t count);

    std::size_t size() const noexcept { return offsets_.size() - 1; }
    std::size_t dimension() const noexcept { return shift_.size(); }
    std::size_t degree() const noexcept { return degree_; }

    // The value of every monomial at p, in basis order. Each power is a chain
    // of products u * u * ... left to right, and each monomial the product of
    // its powers in coordinate order; factors u^0 do not take part.
    void evaluate(std::span<const double> p, std::span<double> out) const;

    // Calls add(q, k, value) with d m_q / d x_k at p for every monomial q that
    // holds x_k, q ascending and k ascending within q; the derivatives left
    // out are exactly zero. value = ((e_k * the powers, u_k's lowered by one)
    // / scale_k), products in coordinate order.
    template <class Add>
    void differentiate(std::span<const double> p, Add&& add) const {
        const std::vector<double> powers = powers_at(p);
        for (std::size_t q = 0; q < size(); ++q) {
            for (std::size_t f = offsets_[q]; f < offsets_[q + 1]; ++f) {
                const std::size_t k = factors_[f].coordinate;
                double value = static_cast<double>(factors_[f].exponent);
                for (std::size_t g = offsets_[q]; g < offsets_[q + 1]; ++g) {
                    const std::size_t e = factors_[g].exponent - (g == f ? 1 : 0);
                    if (e > 0) value = value * powers[factors_[g].coordinate * (degree_ + 1) + e];
                }
                add(q, k, value / scale_[k]);
            }
        }
    }

private:
    struct Factor {
        std::size_t coordinate;
        std::size_t exponent;  // at least 1
    };

    void add_monomials(std::size_t first_coordinate, std::size_t remaining, std::vector<Factor>& current);
    // powers[k * (degree + 1) + e] = u_k^e for e >= 1.
    std::vector<double> powers_at(std::span<const double> p) const;

    std::size_t degree_ = 0;
    std::vector<double> shift_, scale_;
    // Monomial q is the product of factors_[offsets_[q] .. offsets_[q + 1]),
    // coordinates ascending; the constant has none.
    std::vector<Factor> factors_;
    std::vector<std::size_t> offsets_{0};
};

}  // namespace pymorvel
