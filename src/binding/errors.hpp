// How failures cross the boundary: pending Python exceptions, panics, the entry guard.
#pragma once

#include "binding/py_ref.hpp"
#include "binding/thread_exit.hpp"

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "common/panic.hpp"

namespace pymorvel::binding {

// Thrown when a Python exception is pending and the current entry point must
// return null with it.
struct PythonError {};

// Sets the pending exception (if any) aside for as long as it lives, so that
// the interpreter can be called meanwhile, and puts it back when it ends
// unless it was dropped or restored earlier.
class PendingError {
public:
    PendingError() noexcept { PyErr_Fetch(&type_, &value_, &traceback_); }
    ~PendingError() {
        if (may_touch_objects()) restore();
    }
    PendingError(const PendingError&) = delete;
    PendingError& operator=(const PendingError&) = delete;

    // The exception in its normalised form: only then does its value tell a
    // class from a subclass.
    void normalize() noexcept { PyErr_NormalizeException(&type_, &value_, &traceback_); }
    PyObject* type() const noexcept { return type_; }
    PyObject* value() const noexcept { return value_; }
    PyObject* traceback() const noexcept { return traceback_; }
    bool empty() const noexcept { return type_ == nullptr; }
    // Makes it the pending exception again, now.
    void restore() noexcept {
        if (type_ != nullptr) PyErr_Restore(type_, value_, traceback_);
        type_ = value_ = traceback_ = nullptr;
    }
    // Sets aside the exception pending now instead.
    void take() noexcept {
        drop();
        PyErr_Fetch(&type_, &value_, &traceback_);
    }
    // Forgets it.
    void drop() noexcept {
        Py_XDECREF(type_), Py_XDECREF(value_), Py_XDECREF(traceback_);
        type_ = value_ = traceback_ = nullptr;
    }

private:
    PyObject* type_ = nullptr;
    PyObject* value_ = nullptr;
    PyObject* traceback_ = nullptr;
};

// Throws PythonError for the pending exception, unless that exception is a
// PanicException let through by Python code: then the aborted call resumes
// here as a panic (banner and traceback on standard error, then Panic).
[[noreturn]] void raise_pending();

// True when the pending exception is a PanicException.
bool pending_is_panic() noexcept;

// Sets a pending exception of the given class with a text message and throws PythonError.
[[noreturn]] void raise_message(PyObject* exception_class, std::string_view message);

// Makes the PanicException class; module initialisation does so before
// anything can need it, so that no later call can fail for want of it.
void create_panic_exception_type();
// The class, kept for the life of the process.
PyObject* panic_exception_type() noexcept;

// Prints the pending exception and its traceback to sys.stderr and clears it,
// without sys.excepthook and without keeping it in sys.last_*.
void print_pending_exception() noexcept;

// Turns a C++ failure escaping an entry point into the matching Python exception.
// Returns null after setting it. Ends the process if even that fails.
PyObject* translate_current_exception() noexcept;

// The C++ runtime keeps each thread's exception state, and this module its
// own thread-local state, in storage that the C library allocates on the
// thread's first touch and ends the process when it cannot. Made on the way in,
// while memory is still to be had, so that a thread's first bad_alloc can be
// thrown and reported later, however little memory is left then.
void prepare_thread_for_failures() noexcept;

// Runs body under the entry guard: a returned object goes to the interpreter,
// every failure becomes a pending Python exception and null.
template <class Body>
PyObject* entry_guard(Body&& body) noexcept {
    prepare_thread_for_failures();
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        if (caught_forced_unwind()) stop_forced_unwind_at_entry();
        return translate_current_exception();
    }
}

// For deallocation: any failure ends the process.
[[noreturn]] void terminate_at_boundary() noexcept;

}  // namespace pymorvel::binding
