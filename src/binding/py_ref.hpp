// An owning handle for a Python object reference.
#pragma once

#include "binding/thread_exit.hpp"

#include <utility>

namespace pymorvel::binding {

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
