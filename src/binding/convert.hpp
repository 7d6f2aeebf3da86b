// Values across the boundary: argument binding, Python objects to native vectors and back.
#pragma once

#include "binding/errors.hpp"
#include "binding/py_ref.hpp"

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "numeric/point_set.hpp"
#include "numeric/values.hpp"

namespace pymorvel::binding {

// What bind_arguments needs to know about a function's parameters. None is
// positional-only; the first `required` must be given, and the last
// `keyword_only` can only be given by keyword (they are never required).
struct Signature {
    std::string_view class_name;
    std::string_view function_name;
    std::span<const char* const> parameters;
    std::size_t required;
    std::size_t keyword_only = 0;
};

// Keyword arguments as parallel name and value arrays, borrowed for the
// duration of the binding: a vectorcall keyword tuple or a dictionary's items.
struct KeywordArguments {
    std::span<PyObject* const> names;
    std::span<PyObject* const> values;
};

// Binds the arguments to the parameters; `bound` has one slot per parameter and
// receives a strong reference for each given one (absent ones stay null; an
// explicit None is a value). Throws PythonError with the binding's TypeError.
void bind_arguments(const Signature& signature, std::span<PyObject* const> positional,
                    const KeywordArguments& keywords, std::span<PyRef> bound);
// The same for a tuple of positional arguments and a keyword dictionary (or null).
void bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, std::span<PyRef> bound);
// The same for vectorcall arguments with a keyword-name tuple (or null).
void bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    std::span<PyRef> bound);

// Raises TypeError "'<qualified type name of obj>' object cannot be converted to '<target>'".
[[noreturn]] void raise_wrong_kind(PyObject* obj, const char* target);

// Called with a pending exception raised while converting the argument
// `parameter`: an exact TypeError is replaced by "argument '<parameter>': <text>"
// carrying the original's cause; anything else stays pending. Always throws.
[[noreturn]] void raise_argument_error(const char* parameter);

// Runs convert(); a failure is re-raised as an argument error for `parameter`.
template <class Convert>
auto as_argument(const char* parameter, Convert&& convert) -> decltype(convert()) {
    try {
        return convert();
    } catch (const PythonError&) {
        raise_argument_error(parameter);
    }
}

// True when the pending exception must reach the caller even where conversion
// failures are otherwise discarded: anything that is not an ordinary Exception
// (KeyboardInterrupt, SystemExit, PanicException) and MemoryError.
bool pending_must_propagate() noexcept;

// float(obj) as the interpreter computes it; its exception unchanged on failure.
double extract_number(PyObject* obj);
// Any sequence (not str) of numbers.
Vector extract_number_vector(PyObject* obj);
// Any sequence (not str) of sequences (not str) of numbers.
std::vector<Vector> extract_vector_vector(PyObject* obj);

// The inbound conversion that yields a vector of T, for code generic over shapes.
template <class T>
std::vector<T> extract_sequence(PyObject* obj);
template <>
inline std::vector<double> extract_sequence<double>(PyObject* obj) { return extract_number_vector(obj); }
template <>
inline std::vector<Vector> extract_sequence<Vector>(PyObject* obj) { return extract_vector_vector(obj); }

// True when extract_sequence<T>(obj) is certain to fail with an ordinary
// TypeError at its first item, and finding that out runs no Python code: obj
// is an exact list or tuple whose first item is an exact list or tuple (for
// numbers) or an exact float or int (for vectors). Such a conversion would
// have no effect but the exception, so the shape trials skip it.
template <class T>
bool fails_at_first_item(PyObject* obj) noexcept;

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
