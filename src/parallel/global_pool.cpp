// The process-wide pool: its once-only creation, its size from the environment and its creation fault.
#include "parallel/global_pool.hpp"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>

#include "common/panic.hpp"

namespace pymorvel::parallel {

namespace {

constexpr unsigned kMaxThreadCount = 65535;

const char* io_error_kind(int code) {
    switch (code) {
        case EAGAIN: return "WouldBlock";
        case ENOMEM: return "OutOfMemory";
        case EPERM:
        case EACCES: return "PermissionDenied";
        case EINVAL: return "InvalidInput";
        case EINTR: return "Interrupted";
        default: return "Uncategorized";
    }
}

// Everything a process knows of its pool. A forked child has none of the
// parent's workers, and may have been forked while one of them, or another
// thread of the parent, held a lock of the pool or was inside the once-only
// guard. So the child never touches the parent's record: it starts a fresh
// one, and with it a pool of its own on first use. The parent's record is
// left as it is (freeing it would mean touching its locks).
struct GlobalPool {
    std::once_flag once;
    WorkerPool* instance = nullptr;
    std::exception_ptr failure;
    std::atomic<bool> requested{false};
};

std::atomic<GlobalPool*> current{new GlobalPool};
std::atomic<ThreadStarter> global_starter{start_detached_thread};

void start_afresh_in_child() noexcept { current.store(new GlobalPool); }

// Registered when the library is loaded, before any pool can exist.
[[maybe_unused]] const int fork_handler_registered = pthread_atfork(nullptr, nullptr, start_afresh_in_child);

}  // namespace

std::string ThreadPoolBuildError::debug_string() const {
    char buffer[256];
    const char* message = strerror_r(os_error, buffer, sizeof buffer);
    return "ThreadPoolBuildError { kind: IOError(Os { code: " + std::to_string(os_error) +
           ", kind: " + io_error_kind(os_error) + ", message: \"" + message + "\" }) }";
}

namespace {

// Creates the pool on first use; null where its creation failed.
WorkerPool* create_once(GlobalPool& global) noexcept {
    global.requested.store(true);
    std::call_once(global.once, [&global] {
        // Nothing may escape the once-only guard: a failure is kept and
        // reported to this and every later caller.
        try {
            const unsigned count = choose_thread_count(std::getenv("RAYON_NUM_THREADS"),
                                                       std::getenv("RAYON_RS_NUM_CPUS"),
                                                       system::available_cpus());
            // Never deleted: the workers run until the process ends.
            global.instance = new WorkerPool(count, global_starter.load());
        } catch (...) {
            global.failure = std::current_exception();
        }
    });
    return global.instance;
}

}  // namespace

WorkerPool* global_pool_if_available() noexcept { return create_once(*current.load()); }

WorkerPool& global_pool() {
    GlobalPool& global = *current.load();
    if (WorkerPool* pool = create_once(global)) return *pool;
    try {
        std::rethrow_exception(global.failure);
    } catch (const ThreadPoolBuildError& error) {
        panic(std::string(messages::POOL_NOT_INITIALIZED) + error.debug_string());
    }
}

bool global_pool_requested() noexcept { return current.load()->requested.load(); }

void set_global_pool_starter(ThreadStarter starter) noexcept { global_starter.store(starter); }

unsigned choose_thread_count(const char* num_threads, const char* rs_num_cpus,
                             unsigned default_count) noexcept {
    unsigned long long count = default_count;
    // An explicit 0 asks for the default and overrides the second variable.
    if (const auto requested = parse_count(num_threads)) {
        if (*requested > 0) count = *requested;
    } else if (const auto cpus = parse_count(rs_num_cpus); cpus && *cpus > 0) {
        count = *cpus;
    }
    return static_cast<unsigned>(std::min<unsigned long long>(count, kMaxThreadCount));
}

}  // namespace pymorvel::parallel
