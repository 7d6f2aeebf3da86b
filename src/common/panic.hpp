// Panics: calls that cannot go on, their report on standard error and the exception that carries them.
#pragma once

#include <cstddef>
#include <exception>
#include <source_location>
#include <string>
#include <string_view>

#include "common/messages.hpp"

namespace pymorvel {

// Thrown when a call cannot go on: a violated assertion, a bounds check, an
// internal fault. The report has already been written to standard error by the
// time this is thrown; catching it only has to turn it into a Python exception.
class Panic : public std::exception {
public:
    explicit Panic(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// Writes the panic report (thread, source location, message) to standard error.
void write_panic_report(std::string_view message, const std::source_location& where) noexcept;

// Reports and throws Panic.
[[noreturn]] void panic(std::string message, std::source_location where = std::source_location::current());

// Panics with the usual out-of-bounds text when index >= len.
inline void check_index(std::size_t index, std::size_t len,
                        std::source_location where = std::source_location::current()) {
    if (index >= len) [[unlikely]] panic(messages::index_out_of_bounds(len, index), where);
}

}  // namespace pymorvel
