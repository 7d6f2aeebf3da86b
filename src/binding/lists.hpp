// Native vectors to new Python lists of floats.
#pragma once

#include "binding/errors.hpp"
#include "binding/py_ref.hpp"

#include <span>
#include <vector>

#include "numeric/point_set.hpp"
#include "numeric/values.hpp"

namespace pymorvel::binding {

// New lists of new floats. The interpreter failing to make one raises its
// exception (MemoryError).
PyRef number_vector_to_list(std::span<const double> values);
PyRef vector_vector_to_list(std::span<const Vector> values);
PyRef nested_vector_to_list(std::span<const std::vector<Vector>> values);

// One list of floats per point, each as long as that point.
PyRef point_set_to_list(const PointSet& points);

inline PyRef to_list(std::span<const double> values) { return number_vector_to_list(values); }
inline PyRef to_list(std::span<const Vector> values) { return vector_vector_to_list(values); }
inline PyRef to_list(const PointSet& points) { return point_set_to_list(points); }
inline PyRef to_list(std::span<const std::vector<Vector>> values) { return nested_vector_to_list(values); }

}  // namespace pymorvel::binding
