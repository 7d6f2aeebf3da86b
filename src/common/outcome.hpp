// The result of a numerical operation: a value, or a message for the caller.
#pragma once

#include <string>
#include <utility>
#include <variant>

#include "common/messages.hpp"

namespace pymorvel {

struct Failure {
    std::string message;
    // The input is one the operation does not take (a ValueError at the
    // boundary), as opposed to a computation that failed on it.
    bool refused_input = false;
};

template <class T>
using Outcome = std::variant<T, Failure>;

template <class T>
bool failed(const Outcome<T>& o) noexcept { return std::holds_alternative<Failure>(o); }

}  // namespace pymorvel
