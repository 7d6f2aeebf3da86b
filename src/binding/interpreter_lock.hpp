// The interpreter lock around native work: released, taken back on every way out, and briefly retaken to look at signals.
#pragma once

#include "binding/errors.hpp"
#include "binding/py_ref.hpp"
#include "common/cancellation.hpp"
#include "linear_algebra/execution.hpp"

#include <optional>
#include <utility>

namespace pymorvel::binding {

// Holds the interpreter lock released for its lifetime and takes it back on
// every way out, a panic included, before any exception is raised.
class UnlockedInterpreter {
public:
    UnlockedInterpreter() noexcept : state_(PyEval_SaveThread()) {}
    ~UnlockedInterpreter() { restore_thread(state_); }
    UnlockedInterpreter(const UnlockedInterpreter&) = delete;
    UnlockedInterpreter& operator=(const UnlockedInterpreter&) = delete;

    // Runs f with the lock held, then releases it again. f must not throw.
    template <class F>
    auto with_lock(F&& f) noexcept {
        restore_thread(state_);
        auto result = std::forward<F>(f)();
        state_ = PyEval_SaveThread();
        return result;
    }

private:
    PyThreadState* state_;
};

#if PY_VERSION_HEX >= 0x030D0000
// Exported by every CPython from 3.9 on; 3.13 moved its declaration to the
// internal headers.
extern "C" int _PyOS_IsMainThread(void);
#endif

// True on the thread that runs Python's signal handlers.
inline bool on_main_thread() noexcept { return _PyOS_IsMainThread() != 0; }

// The stop hook of a computation run with the lock released on the main
// thread: it retakes the lock to run pending signal handlers, and a handler
// that raised (KeyboardInterrupt, a timeout) stops the computation. Its
// exception is kept to be raised once the computation has unwound. Made with
// the lock held, then told which release it answers for.
class SignalWatch {
public:
    void watch(UnlockedInterpreter& unlocked) noexcept { unlocked_ = &unlocked; }

    bool operator()() noexcept {
        return unlocked_->with_lock([this] {
            if (PyErr_CheckSignals() == 0) return false;
            raised_.take();
            return true;
        });
    }

    // With the lock held again: raises the handler's exception.
    [[noreturn]] void raise() {
        raised_.restore();
        throw PythonError{};
    }

private:
    UnlockedInterpreter* unlocked_ = nullptr;
    PendingError raised_;  // empty until a handler raises
};

// Runs work(execution), with the interpreter lock released when `release`
// and, when `interruptible` too, stopped by a pending signal, whose exception
// is then raised with the lock held again. Only a computation on the main
// thread can be interruptible: only there do signal handlers run.
template <class Work>
auto run_without_lock(bool release, bool interruptible, Work&& work) {
    using Result = decltype(work(Execution{}));
    SignalWatch should_stop;
    std::optional<Result> result;
    try {
        if (!release) {
            result.emplace(work(Execution{}));
        } else {
            UnlockedInterpreter unlocked;
            if (!interruptible) {
                result.emplace(work(Execution{}));
            } else {
                should_stop.watch(unlocked);
                Cancellation cancellation(should_stop);
                Execution execution;
                execution.cancellation = &cancellation;
                result.emplace(work(execution));
            }
        }
    } catch (const Cancelled&) {
        should_stop.raise();
    }
    return std::move(*result);
}

}  // namespace pymorvel::binding
