// Python objects to native vectors: iteration, and the buffers that iteration would read alike.
#pragma once

#include "binding/arguments.hpp"

#include <vector>

#include "numeric/values.hpp"

namespace pymorvel::binding {

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

}  // namespace pymorvel::binding
