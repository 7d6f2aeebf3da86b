// Waits in the concurrency tests: bounded only so that a hang fails instead of blocking the run.
#pragma once

#include <chrono>
#include <thread>

namespace pymorvel::testing_support {

// Only a hang ends a wait, so the limit is far beyond any honest run.
inline constexpr std::chrono::seconds kHang{60};

// Yields until pred() holds; false if it still does not after kHang.
template <class Pred>
bool wait_until(Pred pred) {
    const auto give_up = std::chrono::steady_clock::now() + kHang;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace pymorvel::testing_support
