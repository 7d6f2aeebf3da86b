// Aborted calls: the exception that carries an abort message to the entry point.
#pragma once

#include <cstddef>
#include <exception>
#include <source_location>
#include <string>

namespace pymorvel {

// Thrown when a call cannot go on: a violated assertion, a bounds check, an
// internal fault. The report has already been written to standard error by the
// time this is thrown; catching it only has to turn it into a Python exception.
class AbortError : public std::exception {
public:
    explicit AbortError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// Writes the abort report (thread, source location, message) to standard error.
void write_abort_report(const std::string& message,
                        const std::source_location& where) noexcept;

// Reports and throws AbortError.
[[noreturn]] void abort_call(std::string message,
                             std::source_location where = std::source_location::current());

// Aborts with the usual out-of-bounds text when index >= len.
inline void check_index(std::size_t index, std::size_t len,
                        std::source_location where = std::source_location::current()) {
    if (index >= len) [[unlikely]] {
        abort_call("index out of bounds: the len is " + std::to_string(len) +
                       " but the index is " + std::to_string(index),
                   where);
    }
}

}  // namespace pymorvel
