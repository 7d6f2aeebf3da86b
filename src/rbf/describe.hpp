// The text form of a model: its shape label and epsilon.
#pragma once

#include <cstddef>
#include <string>

#include "rbf/model.hpp"

namespace pymorvel {

// Shortest round-trip digits, always laid out positionally (no exponent);
// "NaN", "inf" and "-inf" for the special values; negative zero is "-0".
std::string format_epsilon(double v);

// "<label>: epsilon = <epsilon>", the label the one of the shape's index.
std::string describe(std::size_t shape, double epsilon);
std::string describe(const RbfVariant& model);

}  // namespace pymorvel
