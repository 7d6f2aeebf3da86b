// The result of a numerical operation: a value, or a message for the caller.
#pragma once

#include <string>
#include <utility>
#include <variant>

#include "common/messages.hpp"

namespace pymorvel {

struct Failure {
    std::string message;
};

template <class T>
using Outcome = std::variant<T, Failure>;

template <class T>
bool failed(const Outcome<T>& o) noexcept { return std::holds_alternative<Failure>(o); }

}  // namespace pymorvel
