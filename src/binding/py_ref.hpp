// An owning handle for a Python object reference.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace pymorvel::binding {

// False only on a thread that a shutting-down interpreter is ending: CPython
// (3.9 to 3.13) ends a daemon thread from inside the call that would hand it
// the interpreter lock back, and the thread then unwinds without the lock,
// possibly after the interpreter is gone. Whatever it still holds is left to
// the process's exit rather than released unlocked. The finalisation test
// comes first: it is a plain read, and almost always ends the question. After
// that, the thread may touch objects only if it is the one that holds the lock.
// (PyGILState_Check cannot tell: once the interpreter is gone it answers yes
// to every thread.)
inline bool may_touch_objects() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    if (!Py_IsFinalizing()) return true;
    const PyThreadState* holder = PyThreadState_GetUnchecked();
#else
    if (!_Py_IsFinalizing()) return true;
    const PyThreadState* holder = _PyThreadState_UncheckedGet();
#endif
    return holder != nullptr && holder->thread_id == PyThread_get_thread_ident();
}

// Owns one strong reference; releases it when it goes out of scope, so that no
// error path can leak.
class PyRef {
public:
    PyRef() noexcept = default;
    // Takes over a new reference (may be null).
    static PyRef steal(PyObject* o) noexcept { return PyRef(o); }
    // Takes a new reference to a borrowed one.
    static PyRef borrow(PyObject* o) noexcept {
        Py_XINCREF(o);
        return PyRef(o);
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        PyRef(std::move(other)).swap(*this);
        return *this;
    }
    ~PyRef() {
        if (object_ != nullptr && may_touch_objects()) Py_DECREF(object_);
    }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Hands the reference to the caller (for returning to the interpreter).
    PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

private:
    explicit PyRef(PyObject* o) noexcept : object_(o) {}
    PyObject* object_ = nullptr;
};

}  // namespace pymorvel::binding
