// Python objects to native vectors: iteration, and the buffers that iteration would read alike.
#pragma once

#include "binding/arguments.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "numeric/values.hpp"

namespace pymorvel::binding {

// float(obj) as the interpreter computes it; its exception unchanged on failure.
double extract_number(PyObject* obj);
// Any sequence (not str) of numbers.
Vector extract_number_vector(PyObject* obj);
// Any sequence (not str) of sequences (not str) of numbers.
std::vector<Vector> extract_vector_vector(PyObject* obj);

class FloatBuffer;

// Points converted as extract_sequence<T> converts them, handed out a block at
// a time. A buffer that iteration would read alike is held and read block by
// block, so that no copy of all the points is ever made; anything else is
// iterated whole here, under the interpreter lock.
template <class T>
class PointBlocks {
public:
    // Raises what extract_sequence<T>(obj) raises.
    explicit PointBlocks(PyObject* obj);
    ~PointBlocks();
    PointBlocks(const PointBlocks&) = delete;
    PointBlocks& operator=(const PointBlocks&) = delete;

    std::size_t size() const noexcept { return size_; }
    // Points [begin, end), valid until the next call. Runs no Python code, so
    // it may run without the interpreter lock.
    std::span<const T> block(std::size_t begin, std::size_t end);
    // The length every point has (1 for numbers), or none when they differ or
    // there are no points to tell.
    std::optional<std::size_t> common_length() const;

private:
    std::unique_ptr<FloatBuffer> buffer_;
    std::vector<T> whole_;
    std::vector<T> block_;
    std::size_t size_ = 0;
};

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
