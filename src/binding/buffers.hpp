// Buffers of floats and doubles that iterating their exporter would yield item for item.
#pragma once

#include "binding/py_ref.hpp"

#include <cstddef>

namespace pymorvel::binding {

// A buffer of native float32 or float64 items in any strides (exact NumPy
// arrays, array('d') and array('f'), one-dimensional memoryviews of doubles),
// held for as long as this lives. Every item reads as the double that float()
// of the item iterating the exporter yields: float32 widens exactly.
class FloatBuffer {
public:
    // Empty unless obj exports such a buffer with `dimensions` dimensions, and
    // iterating obj would yield its items.
    FloatBuffer(PyObject* obj, int dimensions);
    ~FloatBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    FloatBuffer(const FloatBuffer&) = delete;
    FloatBuffer& operator=(const FloatBuffer&) = delete;

    explicit operator bool() const noexcept { return usable_; }
    std::size_t extent(int d) const noexcept { return static_cast<std::size_t>(view_.shape[d]); }
    // Items [begin, end) of a one-dimensional buffer into out. Runs no Python
    // code, so it may run without the interpreter lock while this is held.
    void read_items(std::size_t begin, std::size_t end, double* out) const noexcept;
    // Row `row` of a two-dimensional buffer, extent(1) items, into out.
    void read_row(std::size_t row, double* out) const noexcept;

private:
    void read(const char* first, Py_ssize_t stride, std::size_t count, double* out) const noexcept;

    Py_buffer view_{};
    Py_ssize_t strides_[2] = {};
    bool single_ = false;
    bool held_ = false;
    bool usable_ = false;
};

}  // namespace pymorvel::binding
