// Worker pools, random inputs and the list of kernels shared by the C++ tests.
#pragma once

#include <array>
#include <cstdlib>
#include <memory>
#include <random>

#include "numeric/kernels.hpp"
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

// Every kernel the library names, in its table's order: a kernel added there
// is in every test that runs over all of them.
inline constexpr std::array<Kernel, KERNELS.size()> ALL_KERNELS = [] {
    std::array<Kernel, KERNELS.size()> kernels{};
    for (std::size_t i = 0; i < KERNELS.size(); ++i) kernels[i] = KERNELS[i].kernel;
    return kernels;
}();

// The hardening stage sets PYMORVEL_FULL_TESTS: tests whose time grows with the
// cube of a size run their largest sizes there, and the quick loop keeps to
// sizes that reach every edge path.
inline bool full_sizes() {
    const char* value = std::getenv("PYMORVEL_FULL_TESTS");
    return value != nullptr && *value != '\0';
}

}  // namespace pymorvel::testing_support
