// Worker pools and random inputs shared by the C++ tests.
#pragma once

#include <array>
#include <cstdlib>
#include <memory>
#include <random>

#include "parallel/pool.hpp"

namespace pymorvel::testing_support {

// A few pools shared by the tests; one pool per size for the whole run.
inline parallel::WorkerPool& pool_of(unsigned workers) {
    static std::array<std::unique_ptr<parallel::WorkerPool>, 8> pools;
    if (!pools.at(workers)) pools[workers] = std::make_unique<parallel::WorkerPool>(workers);
    return *pools[workers];
}

// Same bits on every platform: a fixed generator and an exact mapping to [0, 1).
struct Uniform {
    std::mt19937_64 engine;
    double operator()() { return static_cast<double>(engine() >> 11) * 0x1p-53; }
};

// The hardening stage sets PYMORVEL_FULL_TESTS: tests whose time grows with the
// cube of a size run their largest sizes there, and the quick loop keeps to
// sizes that reach every edge path.
inline bool full_sizes() {
    const char* value = std::getenv("PYMORVEL_FULL_TESTS");
    return value != nullptr && *value != '\0';
}

}  // namespace pymorvel::testing_support
