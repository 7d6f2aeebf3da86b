// Bit-exact comparison of doubles, vectors, matrices and outcomes for the C++ tests.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/outcome.hpp"
#include "common/panic.hpp"

namespace pymorvel::testing_support {

inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double INF = std::numeric_limits<double>::infinity();

// Signed zeros differ here. Any NaN matches any NaN: the sign and payload of a
// NaN produced by arithmetic are the processor's choice, and no result depends on them.
inline std::string diff(double expected, double actual, const std::string& at) {
    if (std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(actual) ||
        (std::isnan(expected) && std::isnan(actual)))
        return "";
    char text[128];
    std::snprintf(text, sizeof text, ": expected %.17g (%a), got %.17g (%a)", expected, expected,
                  actual, actual);
    return at + text;
}

inline std::string diff(std::size_t expected, std::size_t actual, const std::string& at) {
    return expected == actual ? ""
                              : at + ": expected " + std::to_string(expected) + ", got " +
                                    std::to_string(actual);
}

// Reports the first difference only, so that a wrong 400 x 400 matrix stays readable.
template <class T>
std::string diff(const std::vector<T>& expected, const std::vector<T>& actual, const std::string& at) {
    if (expected.size() != actual.size())
        return at + ": length " + std::to_string(actual.size()) + ", expected " +
               std::to_string(expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::string d = diff(expected[i], actual[i], at + "[" + std::to_string(i) + "]");
        if (!d.empty()) return d;
    }
    return "";
}

template <class T>
::testing::AssertionResult same_bits(const T& expected, const T& actual) {
    const std::string d = diff(expected, actual, "value");
    if (d.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << d;
}

// An expected outcome is either the exact value or the exact message.
template <class T>
::testing::AssertionResult same_outcome(const Outcome<T>& expected, const Outcome<T>& actual) {
    if (failed(expected) != failed(actual)) {
        return ::testing::AssertionFailure()
               << (failed(actual) ? "unexpected failure \"" + std::get<Failure>(actual).message + "\""
                                  : "succeeded, expected \"" + std::get<Failure>(expected).message + "\"");
    }
    if (failed(expected)) {
        const std::string& e = std::get<Failure>(expected).message;
        const std::string& a = std::get<Failure>(actual).message;
        if (e == a) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "message \"" << a << "\", expected \"" << e << "\"";
    }
    return same_bits(std::get<T>(expected), std::get<T>(actual));
}

// By value, so that a range-for over value_of(temporary) never dangles.
template <class T>
T value_of(Outcome<T> outcome) {
    if (failed(outcome)) throw std::runtime_error("unexpected failure: " + std::get<Failure>(outcome).message);
    return std::get<T>(std::move(outcome));
}

// The message of the Panic that call raises, or a marker when it raises none.
inline std::string panic_message(const std::function<void()>& call) {
    try {
        call();
    } catch (const Panic& e) {
        return e.message();
    }
    return "<no panic>";
}

}  // namespace pymorvel::testing_support
