// Stopping a long computation between blocks of work, at its owner's request.
#pragma once

#include <atomic>
#include <chrono>

#include "common/function_ref.hpp"

namespace pymorvel {

// Thrown on the computation's own thread once a stop has been decided; it
// unwinds the computation, which releases everything on the way.
struct Cancelled {};

// The owner's hook is asked whether to stop at most once per interval, and
// only on the thread that runs the computation (the binding's hook takes the
// interpreter lock to look at pending signals). Other threads, such as the
// pool's workers, only read the decision.
class Cancellation {
public:
    // Short enough that a stop is felt at once, long enough that asking costs nothing.
    static constexpr std::chrono::milliseconds INTERVAL{20};

    explicit Cancellation(FunctionRef<bool()> should_stop,
                          std::chrono::steady_clock::duration interval = INTERVAL) noexcept
        : should_stop_(should_stop), interval_(interval), next_poll_(std::chrono::steady_clock::now() + interval) {}

    // Any thread: has a stop been decided?
    bool requested() const noexcept { return stopped_.load(std::memory_order_relaxed); }

    // The computation's thread, between blocks: asks the owner when it is
    // time, and throws Cancelled once a stop has been decided.
    void check() {
        poll();
        if (requested()) throw Cancelled{};
    }

    // The computation's thread, while it waits for other threads: asks the
    // owner when it is time and records a stop; never throws.
    void poll() noexcept {
        if (requested()) return;
        const auto now = std::chrono::steady_clock::now();
        if (now < next_poll_) return;
        next_poll_ = now + interval_;
        if (should_stop_()) stopped_.store(true, std::memory_order_relaxed);
    }

private:
    FunctionRef<bool()> should_stop_;
    std::chrono::steady_clock::duration interval_;
    std::chrono::steady_clock::time_point next_poll_;
    std::atomic<bool> stopped_{false};
};

// For code that may or may not run under a Cancellation.
inline void check_cancellation(Cancellation* cancellation) {
    if (cancellation != nullptr) cancellation->check();
}

}  // namespace pymorvel
