// The constructor's argument conversions and shape trials, shared by the entry points that take its arguments.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "binding/interpreter_lock.hpp"
#include "binding/py_ref.hpp"
#include "common/cancellation.hpp"
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
// The degree a fit with this kernel runs with (kernel_degree): None may mean
// the kernel's minimum; ValueError for a degree below that minimum.
std::optional<std::size_t> kernel_degree_value(Kernel kernel, std::optional<std::size_t> degree);

// The first shape whose conversions of x and y both succeed; ValueError with
// the constructor's message when none does.
SampleShapes convert_samples(PyObject* x, PyObject* y);

// Below this many samples a fit takes a few milliseconds at most, and is not
// worth watching for signals.
inline constexpr std::size_t INTERRUPTIBLE_POINTS = 256;
// A fit of fewer points is over in a few microseconds and keeps the lock:
// giving it up and taking it back, possibly after another thread's turn,
// would cost more than the fit.
inline constexpr std::size_t UNLOCKED_FIT_POINTS = 32;

// Runs work(execution) as a fit runs: with the interpreter lock released past
// a few points and, on the main thread past a few hundred, stopped by a
// pending signal. work touches only native copies made before.
template <class Work>
auto run_released(std::size_t points, Work&& work) {
    return run_without_lock(points >= UNLOCKED_FIT_POINTS, points >= INTERRUPTIBLE_POINTS && on_main_thread(),
                            std::forward<Work>(work));
}

}  // namespace pymorvel::binding
