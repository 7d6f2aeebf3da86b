// The constructor's argument conversions and shape trials, shared by the entry points that take its arguments.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "binding/py_ref.hpp"
#include "rbf/fitting.hpp"

namespace pymorvel::binding {

template <class X, class Y>
struct Samples {
    std::vector<X> x;
    std::vector<Y> y;
};

// The four shapes, in the order they are tried.
using SampleShapes = std::variant<Samples<double, double>, Samples<double, Vector>, Samples<Vector, double>,
                                  Samples<Vector, Vector>>;

// Each raises the constructor's exception for a value it refuses; null (an
// absent argument) and None give the constructor's defaults.
std::string kernel_name_text(PyObject* kernel_name);
double epsilon_value(PyObject* epsilon);
std::variant<double, std::vector<double>> smoothing_value(PyObject* smoothing);
std::optional<std::size_t> degree_value(PyObject* degree);

// The first shape whose conversions of x and y both succeed; ValueError with
// the constructor's message when none does.
SampleShapes convert_samples(PyObject* x, PyObject* y);

}  // namespace pymorvel::binding
