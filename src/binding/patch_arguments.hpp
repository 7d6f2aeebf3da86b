// The arguments of fits in patches: patch_size, a tile's domain and region, and the corners of boxes.
#pragma once

#include "binding/py_ref.hpp"

#include <cstddef>
#include <optional>
#include <vector>

#include "rbf/patch_fitting.hpp"

namespace pymorvel::binding {

// None, or an int (anything with __index__; not a bool) from MIN_PATCH_SIZE to
// MAX_PATCH_SIZE. Anything else that is not an int is a TypeError, an int out
// of range a ValueError; both messages say what is valid.
std::optional<std::size_t> patch_size_value(PyObject* patch_size);

// A corner of a box: a number (for points that are numbers) or a sequence of
// numbers. `what` names the argument in the TypeError of anything else.
std::vector<double> corner_value(PyObject* corner, const char* what);

// None, or (lower, upper, count): a data set's bounding box and sample count.
std::optional<PatchDomain> domain_value(PyObject* domain);
// None, or (lower, upper): a box.
std::optional<PatchBox> region_value(PyObject* region);

}  // namespace pymorvel::binding
