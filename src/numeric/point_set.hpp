// Vector points stored back to back in one block, each reached as a span.
#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "numeric/values.hpp"

namespace pymorvel {

// Points may differ in length (distances use the common prefix), so each keeps
// its own extent; the coordinates themselves are contiguous, which keeps the
// n^2 distance evaluations of a fit and the m x n of a prediction in cache.
class PointSet {
public:
    PointSet() = default;
    explicit PointSet(const std::vector<Vector>& points) {
        std::size_t total = 0;
        for (const Vector& p : points) total += p.size();
        coordinates_.reserve(total);
        offsets_.reserve(points.size() + 1);
        offsets_.push_back(0);
        for (const Vector& p : points) {
            coordinates_.insert(coordinates_.end(), p.begin(), p.end());
            offsets_.push_back(coordinates_.size());
            if (p.size() != points.front().size()) dimension_ = RAGGED;
        }
        if (dimension_ != RAGGED && !points.empty()) dimension_ = points.front().size();
    }

    // `count` points of `dimension` coordinates each, back to back in `coordinates`.
    PointSet(std::vector<double> coordinates, std::size_t dimension)
        : coordinates_(std::move(coordinates)), dimension_(dimension) {
        const std::size_t count = dimension == 0 ? 0 : coordinates_.size() / dimension;
        offsets_.reserve(count + 1);
        for (std::size_t i = 0; i <= count; ++i) offsets_.push_back(i * dimension);
    }

    // What dimension() says of a set whose points differ in length.
    static constexpr std::size_t RAGGED = static_cast<std::size_t>(-1);
    // The common length of the points (0 for an empty set), or RAGGED.
    std::size_t dimension() const noexcept { return dimension_; }
    // All coordinates, point after point; with a common dimension D, point i starts at i * D.
    const double* coordinates() const noexcept { return coordinates_.data(); }

    std::size_t size() const noexcept { return offsets_.empty() ? 0 : offsets_.size() - 1; }
    std::span<const double> operator[](std::size_t i) const noexcept {
        return {coordinates_.data() + offsets_[i], offsets_[i + 1] - offsets_[i]};
    }

private:
    std::vector<double> coordinates_;
    std::vector<std::size_t> offsets_;
    std::size_t dimension_ = 0;
};

// How a model keeps its sample points: numbers in a plain vector, vectors in a PointSet.
template <class X>
struct PointStorage {
    using type = std::vector<X>;
    static type from(std::vector<X>&& points) { return std::move(points); }
};

template <>
struct PointStorage<Vector> {
    using type = PointSet;
    static type from(std::vector<Vector>&& points) {
        PointSet set(points);
        std::vector<Vector>().swap(points);  // the separate vectors are not kept
        return set;
    }
};

}  // namespace pymorvel
