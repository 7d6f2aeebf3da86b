// Buffers of doubles that iterating their exporter would yield item for item.
#pragma once

#include "binding/py_ref.hpp"

#include <cstddef>

namespace pymorvel::binding {

// A C-contiguous buffer of native doubles (exact NumPy arrays, array('d'),
// one-dimensional memoryviews), held for as long as this lives.
class DoubleBuffer {
public:
    // Empty unless obj exports such a buffer with `dimensions` dimensions, and
    // iterating obj would yield its items.
    DoubleBuffer(PyObject* obj, int dimensions);
    ~DoubleBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    DoubleBuffer(const DoubleBuffer&) = delete;
    DoubleBuffer& operator=(const DoubleBuffer&) = delete;

    explicit operator bool() const noexcept { return usable_; }
    const double* data() const noexcept { return static_cast<const double*>(view_.buf); }
    std::size_t count() const noexcept { return static_cast<std::size_t>(view_.len) / sizeof(double); }
    std::size_t extent(int d) const noexcept { return static_cast<std::size_t>(view_.shape[d]); }

private:
    Py_buffer view_{};
    bool held_ = false;
    bool usable_ = false;
};

}  // namespace pymorvel::binding
