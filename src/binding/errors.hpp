// How failures cross the boundary: pending Python exceptions, aborted calls, the entry guard.
#pragma once

#include "binding/py_ref.hpp"

#include <new>
#include <string>
#include <utility>

#include "parallel/abort.hpp"

namespace pymorvel::binding {

// Thrown when a Python exception is pending and the current entry point must
// return null with it.
struct PythonError {};

// Throws PythonError for the pending exception, unless that exception is a
// PanicException let through by Python code: then the aborted call resumes
// here (banner and traceback on standard error, then AbortError).
[[noreturn]] void raise_pending();

// Sets a pending exception of the given class with a text message and throws PythonError.
[[noreturn]] void raise_message(PyObject* exception_class, const std::string& message);

// The PanicException class, created on first need; never released.
PyObject* panic_exception_type();

// Turns a C++ failure escaping an entry point into the matching Python exception.
// Returns null after setting it. Ends the process if even that fails.
PyObject* translate_current_exception() noexcept;

// Runs body under the entry guard: a returned object goes to the interpreter,
// every failure becomes a pending Python exception and null.
template <class Body>
PyObject* entry_guard(Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return translate_current_exception();
    }
}

// For deallocation: any failure ends the process.
[[noreturn]] void terminate_at_boundary() noexcept;

}  // namespace pymorvel::binding
