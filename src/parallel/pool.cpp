// The worker pool: its threads, the work-stealing run of loop pieces, the global pool and its size.
#include "parallel/pool.hpp"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "common/panic.hpp"

namespace pymorvel::parallel {

namespace {

constexpr std::size_t kWorkerStackBytes = std::size_t{2} << 20;
constexpr unsigned kMaxThreadCount = 65535;
// How long an idle worker keeps yielding before it goes to sleep, and how long
// a caller yields before it blocks on its completion signal. An elimination
// hands in its steps a few microseconds apart, while a sleep and the wake-up
// that ends it cost tens of microseconds each on a virtual machine: below a
// few hundred rows that hand-over, not the arithmetic, was the price of a step.
// A yielding thread gives its core to any runnable one, so the window costs
// idle cycles only.
constexpr std::chrono::microseconds kWorkerIdleWindow{200};
constexpr std::chrono::microseconds kCallerSpinWindow{50};
constexpr std::size_t kNotSleeping = static_cast<std::size_t>(-1);

// How a thread outside the pool learns that its root piece is done. One per
// thread, made on first use and reused: handing in a loop then allocates nothing.
class CompletionSignal {
public:
    void raise() {
        std::lock_guard lock(mutex_);
        raised_.store(true, std::memory_order_release);
        // Notified under the lock: once the waiter owns the mutex again, this
        // thread is done with the signal.
        done_.notify_one();
    }

    void wait_and_reset() {
        // 1. Short jobs finish within the spin window: no sleep, no wake-up.
        const auto give_up = std::chrono::steady_clock::now() + kCallerSpinWindow;
        while (!raised_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < give_up)
            sched_yield();
        // 2. Taking the mutex, even after the flag was seen, is what tells us
        // the raiser has left raise() and the signal may be reused.
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return raised_.load(std::memory_order_relaxed); });
        raised_.store(false, std::memory_order_relaxed);
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    std::atomic<bool> raised_{false};
};

CompletionSignal& this_thread_signal() {
    thread_local CompletionSignal signal;
    return signal;
}

// One unit of a parallel loop. It lives in the stack frame of the thread that
// made it, and that frame is not left before the piece has completed.
struct LoopPiece {
    LoopPiece(std::size_t first, std::size_t count, unsigned budget, RangeOperation operation)
        : begin(first), length(count), split_budget(budget), op(operation) {}

    std::size_t begin;
    std::size_t length;
    unsigned split_budget;
    RangeOperation op;
    // Links of the queue that holds the piece, guarded by that queue's mutex.
    LoopPiece* prev = nullptr;
    LoopPiece* next = nullptr;
    // A root piece reports to the thread that handed it in; a forked piece to
    // the worker that forked it, which watches `done`.
    CompletionSignal* caller = nullptr;
    unsigned owner = 0;
    std::atomic<bool> done{false};
    std::exception_ptr fault;
};

// An intrusive queue of pieces: the links live in the pieces, so queueing never
// allocates and has no capacity limit. A worker uses the bottom end for its own
// pieces and thieves take from the top; the shared queue pushes at the bottom
// and pops at the top, which makes it first-in first-out.
class PieceQueue {
public:
    void push_bottom(LoopPiece* piece) {
        std::lock_guard lock(mutex_);
        piece->prev = bottom_;
        piece->next = nullptr;
        (bottom_ ? bottom_->next : top_) = piece;
        bottom_ = piece;
        size_.store(size_.load(std::memory_order_relaxed) + 1);
    }

    LoopPiece* pop_bottom() {
        if (looks_empty()) return nullptr;
        std::lock_guard lock(mutex_);
        return bottom_ ? unlink(bottom_) : nullptr;
    }

    // Takes `piece` back if it is still the newest entry; it is either that or
    // already taken, since newer pieces belong to frames that have returned.
    bool remove_bottom(LoopPiece* piece) {
        std::lock_guard lock(mutex_);
        if (bottom_ != piece) return false;
        unlink(piece);
        return true;
    }

    LoopPiece* pop_top() {
        if (looks_empty()) return nullptr;
        std::lock_guard lock(mutex_);
        return top_ ? unlink(top_) : nullptr;
    }

private:
    // The size is read without the lock to skip empty queues cheaply. Its store
    // is sequentially consistent so that a searcher that misses a new piece is
    // sure to see the announcement that follows it (see State::sleep).
    bool looks_empty() const { return size_.load() == 0; }

    LoopPiece* unlink(LoopPiece* piece) {
        (piece->prev ? piece->prev->next : top_) = piece->next;
        (piece->next ? piece->next->prev : bottom_) = piece->prev;
        piece->prev = piece->next = nullptr;
        size_.store(size_.load(std::memory_order_relaxed) - 1);
        return piece;
    }

    std::mutex mutex_;
    LoopPiece* top_ = nullptr;
    LoopPiece* bottom_ = nullptr;
    std::atomic<std::size_t> size_{0};
};

struct Task {
    LoopPiece* piece = nullptr;
    bool stolen = false;
};

struct Worker {
    WorkerPool::State* pool = nullptr;
    unsigned index = 0;
    PieceQueue queue;
    std::uint32_t random_state = 1;
    // Guarded by State::sleep_mutex: the worker's place in State::sleepers, or
    // kNotSleeping once a waker has taken it out.
    std::size_t sleep_slot = kNotSleeping;
    std::condition_variable wake;
};

thread_local Worker* current_worker = nullptr;

}  // namespace

struct WorkerPool::State {
    explicit State(unsigned count)
        : thread_count(count), workers(std::make_unique<Worker[]>(count)) {
        for (unsigned i = 0; i < count; ++i) {
            workers[i].pool = this;
            workers[i].index = i;
            workers[i].random_state = 0x9E3779B9u * (i + 1) | 1u;
        }
        // Every worker is asleep at most once at a time, so this never grows.
        sleepers.reserve(count);
    }

    void work(Worker& self);
    void run_until(Worker& self, const std::atomic<bool>* done);
    Task find_work(Worker& self);
    void execute(Worker& self, Task task) noexcept;
    void run_range(Worker& self, std::size_t begin, std::size_t length, unsigned budget,
                   bool stolen, RangeOperation op);
    void fork_join(Worker& self, std::size_t begin, std::size_t length, unsigned budget,
                   RangeOperation op);
    void announce_work();
    void wake_worker(Worker& worker);
    void sleep(Worker& self, std::uint64_t seen_epoch, const std::atomic<bool>* done);
    void take_out_of_sleepers(Worker& worker);
    void shut_down();

    const unsigned thread_count;
    std::unique_ptr<Worker[]> workers;
    PieceQueue shared;

    // Bumped after every new piece; a worker sleeps only if it has not moved
    // since before its last fruitless search.
    std::atomic<std::uint64_t> epoch{0};
    // Workers between deciding to sleep and waking up; wakers skip the mutex when 0.
    std::atomic<unsigned> sleeping{0};
    std::atomic<bool> stopping{false};

    std::mutex sleep_mutex;
    std::vector<unsigned> sleepers;  // guarded by sleep_mutex
    unsigned running = 0;            // guarded by sleep_mutex: workers still in their loop
    std::condition_variable all_left;
};

namespace {

void* worker_entry(void* arg) {
    auto& self = *static_cast<Worker*>(arg);
    self.pool->work(self);
    return nullptr;
}

std::uint32_t next_random(Worker& self) {
    std::uint32_t x = self.random_state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    self.random_state = x;
    return x;
}

}  // namespace

void WorkerPool::State::work(Worker& self) {
    current_worker = &self;
    run_until(self, nullptr);
    current_worker = nullptr;
    std::lock_guard lock(sleep_mutex);
    // Notified under the lock: after this, the worker touches the pool no more,
    // and the destructor may free it.
    if (--running == 0) all_left.notify_all();
}

// Runs pieces until `done` is set or, for a worker's main loop (done null),
// until the pool stops.
void WorkerPool::State::run_until(Worker& self, const std::atomic<bool>* done) {
    // When this stretch of idleness began; zero while the worker is busy.
    std::chrono::steady_clock::time_point idle_since{};
    for (;;) {
        if (done != nullptr && done->load(std::memory_order_acquire)) return;
        const std::uint64_t seen_epoch = epoch.load();
        if (const Task task = find_work(self); task.piece != nullptr) {
            execute(self, task);
            idle_since = {};
            continue;
        }
        if (done == nullptr && stopping.load()) return;
        const auto now = std::chrono::steady_clock::now();
        if (idle_since == std::chrono::steady_clock::time_point{}) idle_since = now;
        if (now - idle_since < kWorkerIdleWindow) {
            sched_yield();
            continue;
        }
        sleep(self, seen_epoch, done);
        idle_since = {};
    }
}

Task WorkerPool::State::find_work(Worker& self) {
    // 1. Own queue, newest first: that piece is the smallest and its data the warmest.
    if (LoopPiece* piece = self.queue.pop_bottom()) return {piece, false};
    // 2. Other workers' oldest pieces, the largest ones; starting at a random
    //    victim keeps thieves from all crowding the same queue.
    const unsigned start = next_random(self) % thread_count;
    for (unsigned k = 0; k < thread_count; ++k) {
        const unsigned victim = (start + k) % thread_count;
        if (victim == self.index) continue;
        if (LoopPiece* piece = workers[victim].queue.pop_top()) return {piece, true};
    }
    // 3. Loops handed in from outside; their root pieces start out as not stolen.
    if (LoopPiece* piece = shared.pop_top()) return {piece, false};
    return {};
}

void WorkerPool::State::execute(Worker& self, Task task) noexcept {
    LoopPiece& piece = *task.piece;
    try {
        run_range(self, piece.begin, piece.length, piece.split_budget, task.stolen, piece.op);
    } catch (...) {
        piece.fault = std::current_exception();
    }
    // The piece may vanish the moment its completion is visible, so everything
    // needed afterwards is read before.
    if (CompletionSignal* caller = piece.caller) {
        caller->raise();
        return;
    }
    Worker& owner = workers[piece.owner];
    piece.done.store(true);
    wake_worker(owner);
}

void WorkerPool::State::run_range(Worker& self, std::size_t begin, std::size_t length,
                                  unsigned budget, bool stolen, RangeOperation op) {
    // A stolen piece renews its budget: a steal shows that other workers are
    // idle, so it is worth splitting again. Otherwise halving the budget limits
    // the pieces to about one per worker.
    bool split = false;
    if (length / 2 >= 1) {
        if (stolen) {
            budget = std::max(thread_count, budget / 2);
            split = true;
        } else if (budget > 0) {
            budget /= 2;
            split = true;
        }
    }
    if (!split) {
        op(begin, begin + length);
        return;
    }
    fork_join(self, begin, length, budget, op);
}

void WorkerPool::State::fork_join(Worker& self, std::size_t begin, std::size_t length,
                                  unsigned budget, RangeOperation op) {
    const std::size_t half = length / 2;
    // 1. Offer the right half to thieves.
    LoopPiece right(begin + half, length - half, budget, op);
    right.owner = self.index;
    self.queue.push_bottom(&right);
    announce_work();

    // 2. Run the left half now. Its fault waits until the right half is settled,
    //    because `right` lives in this frame.
    std::exception_ptr fault;
    try {
        run_range(self, begin, half, budget, false, op);
    } catch (...) {
        fault = std::current_exception();
    }

    // 3. Take the right half back if nobody took it; after a fault it is dropped.
    if (self.queue.remove_bottom(&right)) {
        if (fault) std::rethrow_exception(fault);
        run_range(self, right.begin, right.length, budget, false, op);
        return;
    }

    // 4. Somebody runs it (this worker itself, maybe, in an earlier wait). Stay
    //    useful on other pieces until it reports back.
    run_until(self, &right.done);
    if (!fault) fault = right.fault;
    if (fault) std::rethrow_exception(fault);
}

void WorkerPool::State::announce_work() {
    epoch.fetch_add(1);
    if (sleeping.load() == 0) return;
    std::lock_guard lock(sleep_mutex);
    if (sleepers.empty()) return;
    // The most recent sleeper is the likeliest to still have a warm cache.
    Worker& worker = workers[sleepers.back()];
    take_out_of_sleepers(worker);
    worker.wake.notify_one();
}

void WorkerPool::State::wake_worker(Worker& worker) {
    if (sleeping.load() == 0) return;
    std::lock_guard lock(sleep_mutex);
    if (worker.sleep_slot == kNotSleeping) return;
    take_out_of_sleepers(worker);
    worker.wake.notify_one();
}

// Lost wake-ups are excluded by pairing, all sequentially consistent:
//   sleeper: sleeping += 1, then re-check epoch / done / stopping;
//   waker:   publish piece, epoch += 1 (or done = true), then read sleeping.
// Either the sleeper sees the news and stays up, or the waker sees the sleeper
// and takes the mutex, which the sleeper holds until it waits on its variable.
void WorkerPool::State::sleep(Worker& self, std::uint64_t seen_epoch,
                              const std::atomic<bool>* done) {
    std::unique_lock lock(sleep_mutex);
    sleeping.fetch_add(1);
    if (epoch.load() == seen_epoch && !stopping.load() && !(done != nullptr && done->load())) {
        self.sleep_slot = sleepers.size();
        sleepers.push_back(self.index);
        self.wake.wait(lock, [&self] { return self.sleep_slot == kNotSleeping; });
    }
    sleeping.fetch_sub(1);
}

void WorkerPool::State::take_out_of_sleepers(Worker& worker) {
    const std::size_t slot = worker.sleep_slot;
    const unsigned last = sleepers.back();
    sleepers[slot] = last;
    workers[last].sleep_slot = slot;
    sleepers.pop_back();
    worker.sleep_slot = kNotSleeping;
}

void WorkerPool::State::shut_down() {
    std::unique_lock lock(sleep_mutex);
    stopping.store(true);
    while (!sleepers.empty()) {
        Worker& worker = workers[sleepers.back()];
        take_out_of_sleepers(worker);
        worker.wake.notify_one();
    }
    all_left.wait(lock, [this] { return running == 0; });
}

int start_detached_thread(void* (*entry)(void*), void* arg) {
    pthread_attr_t attributes;
    if (const int error = pthread_attr_init(&attributes); error != 0) return error;
    int error = pthread_attr_setstacksize(&attributes, kWorkerStackBytes);
    if (error == 0) error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    if (error == 0) error = pthread_create(&thread, &attributes, entry, arg);
    pthread_attr_destroy(&attributes);
    return error;
}

// A pool of no threads could never finish a loop; it gets one.
WorkerPool::WorkerPool(unsigned thread_count, ThreadStarter starter)
    : state_(std::make_unique<State>(std::max(thread_count, 1u))) {
    State& pool = *state_;
    for (unsigned i = 0; i < pool.thread_count; ++i) {
        {
            // Counted before the start, so a worker that leaves at once cannot
            // bring the count to 0 early.
            std::lock_guard lock(pool.sleep_mutex);
            ++pool.running;
        }
        if (const int error = starter(&worker_entry, &pool.workers[i]); error != 0) {
            {
                std::lock_guard lock(pool.sleep_mutex);
                --pool.running;
            }
            pool.shut_down();
            throw ThreadPoolBuildError{BuildErrorKind::IOError, error};
        }
    }
}

WorkerPool::~WorkerPool() { state_->shut_down(); }

unsigned WorkerPool::thread_count() const noexcept { return state_->thread_count; }

void WorkerPool::for_each_range(std::size_t count, RangeOperation op) {
    if (count == 0) return;
    State& pool = *state_;
    // A worker of this pool would wait for itself; it runs the loop in place.
    if (current_worker != nullptr && current_worker->pool == &pool) {
        pool.run_range(*current_worker, 0, count, pool.thread_count, false, op);
        return;
    }
    // 1. The root piece lives here; this frame is not left before it reports.
    CompletionSignal& signal = this_thread_signal();
    LoopPiece root(0, count, pool.thread_count, op);
    root.caller = &signal;
    // 2. Hand it in and wake a worker.
    pool.shared.push_bottom(&root);
    pool.announce_work();
    // 3. Wait; the signal's mutex orders the workers' writes before what follows.
    signal.wait_and_reset();
    if (root.fault) std::rethrow_exception(root.fault);
}

namespace {

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

}  // namespace

std::string ThreadPoolBuildError::debug_string() const {
    std::string kind_text;
    switch (kind) {
        case BuildErrorKind::GlobalPoolAlreadyInitialized:
            kind_text = "GlobalPoolAlreadyInitialized";
            break;
        case BuildErrorKind::CurrentThreadAlreadyInPool:
            kind_text = "CurrentThreadAlreadyInPool";
            break;
        case BuildErrorKind::IOError: {
            char buffer[256];
            const char* message = strerror_r(os_error, buffer, sizeof buffer);
            kind_text = "IOError(Os { code: " + std::to_string(os_error) + ", kind: " +
                        io_error_kind(os_error) + ", message: \"" + message + "\" })";
            break;
        }
    }
    return "ThreadPoolBuildError { kind: " + kind_text + " }";
}

namespace {

std::once_flag global_once;
WorkerPool* global_instance = nullptr;
std::exception_ptr global_failure;
std::atomic<bool> global_requested{false};
std::atomic<ThreadStarter> global_starter{start_detached_thread};

}  // namespace

WorkerPool& global_pool() {
    global_requested.store(true);
    std::call_once(global_once, [] {
        // Nothing may escape the once-only guard: a failure is kept and
        // reported to this and every later caller.
        try {
            const unsigned count =
                choose_thread_count(std::getenv("RAYON_NUM_THREADS"),
                                    std::getenv("RAYON_RS_NUM_CPUS"), default_thread_count());
            // Never deleted: the workers run until the process ends.
            global_instance = new WorkerPool(count, global_starter.load());
        } catch (...) {
            global_failure = std::current_exception();
        }
    });
    if (global_instance != nullptr) return *global_instance;
    try {
        std::rethrow_exception(global_failure);
    } catch (const ThreadPoolBuildError& error) {
        panic(std::string(messages::POOL_NOT_INITIALIZED) + error.debug_string());
    }
}

unsigned thread_count() { return global_pool().thread_count(); }

bool global_pool_requested() noexcept { return global_requested.load(); }

void set_global_pool_starter(ThreadStarter starter) noexcept { global_starter.store(starter); }

std::optional<unsigned long long> parse_count(const char* text) noexcept {
    if (text == nullptr) return std::nullopt;
    if (*text == '+') ++text;
    if (*text == '\0') return std::nullopt;
    unsigned long long value = 0;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return std::nullopt;
        const unsigned digit = static_cast<unsigned>(*text - '0');
        if (value > (ULLONG_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

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

namespace {

std::optional<std::string> read_text_file(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool is_directory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

using CapReader = std::optional<unsigned long long> (*)(const std::string& directory);

std::optional<unsigned long long> cap_from(unsigned long long quota, unsigned long long period) {
    if (period == 0) return std::nullopt;
    return std::max(1ULL, quota / period);
}

// Version 2: cpu.max holds "<quota> <period>", or "max <period>" for no limit.
std::optional<unsigned long long> read_cpu_max(const std::string& directory) {
    const auto text = read_text_file(directory + "/cpu.max");
    if (!text) return std::nullopt;
    std::istringstream in(*text);
    std::string quota, period;
    if (!(in >> quota >> period)) return std::nullopt;
    const auto quota_value = parse_count(quota.c_str());
    const auto period_value = parse_count(period.c_str());
    if (!quota_value || !period_value) return std::nullopt;
    return cap_from(*quota_value, *period_value);
}

// Version 1: a quota of -1 means no limit.
std::optional<unsigned long long> read_cfs_quota(const std::string& directory) {
    const auto quota_text = read_text_file(directory + "/cpu.cfs_quota_us");
    const auto period_text = read_text_file(directory + "/cpu.cfs_period_us");
    if (!quota_text || !period_text) return std::nullopt;
    long long quota = 0;
    unsigned long long period = 0;
    std::istringstream quota_in(*quota_text), period_in(*period_text);
    if (!(quota_in >> quota) || !(period_in >> period) || quota <= 0) return std::nullopt;
    return cap_from(static_cast<unsigned long long>(quota), period);
}

void keep_smaller(std::optional<unsigned long long>& best, std::optional<unsigned long long> cap) {
    if (cap && (!best || *cap < *best)) best = cap;
}

// A group is limited by its own quota and by every ancestor's. Directories
// that do not exist are skipped: inside a container the mount often starts
// at the container's own group while /proc/self/cgroup names the host path.
std::optional<unsigned long long> smallest_cap_along(std::string directory,
                                                     std::string_view group_path,
                                                     CapReader read_cap) {
    std::optional<unsigned long long> best;
    if (is_directory(directory)) keep_smaller(best, read_cap(directory));
    while (!group_path.empty()) {
        const std::size_t slash = group_path.find('/');
        const std::string_view part = group_path.substr(0, slash);
        group_path = slash == std::string_view::npos ? std::string_view{} : group_path.substr(slash + 1);
        if (part.empty()) continue;
        directory.append("/").append(part);
        if (is_directory(directory)) keep_smaller(best, read_cap(directory));
    }
    return best;
}

bool names_cpu_controller(std::string_view controllers) {
    while (!controllers.empty()) {
        const std::size_t comma = controllers.find(',');
        if (controllers.substr(0, comma) == "cpu") return true;
        if (comma == std::string_view::npos) break;
        controllers.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace

std::optional<unsigned> cgroup_cpu_limit(const std::string& root, std::string_view proc_self_cgroup) {
    std::optional<unsigned long long> best;
    // Each line is "<id>:<controllers>:<path>"; "0::<path>" is the unified hierarchy.
    while (!proc_self_cgroup.empty()) {
        const std::size_t end = proc_self_cgroup.find('\n');
        const std::string_view line = proc_self_cgroup.substr(0, end);
        proc_self_cgroup =
            end == std::string_view::npos ? std::string_view{} : proc_self_cgroup.substr(end + 1);
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        const std::string_view id = line.substr(0, first);
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string_view path = line.substr(second + 1);
        if (id == "0" && controllers.empty()) {
            // A host on version 2 only mounts the unified hierarchy at root; a
            // hybrid host mounts it at root/unified.
            std::error_code error;
            const bool unified_at_root = std::filesystem::exists(root + "/cgroup.controllers", error);
            keep_smaller(best, smallest_cap_along(unified_at_root ? root : root + "/unified", path,
                                                  read_cpu_max));
        } else if (names_cpu_controller(controllers)) {
            // Co-mounted controllers share one directory named after all of them.
            std::string base = root + "/" + std::string(controllers);
            if (!is_directory(base)) base = root + "/cpu";
            keep_smaller(best, smallest_cap_along(base, path, read_cfs_quota));
        }
    }
    if (!best) return std::nullopt;
    return static_cast<unsigned>(std::min<unsigned long long>(*best, UINT_MAX));
}

unsigned default_thread_count() noexcept {
    unsigned count = 0;
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (sched_getaffinity(0, sizeof mask, &mask) == 0) count = static_cast<unsigned>(CPU_COUNT(&mask));
    if (count == 0) {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        count = online > 0 ? static_cast<unsigned>(std::min<long>(online, UINT_MAX)) : 1;
    }
    try {
        if (const auto text = read_text_file("/proc/self/cgroup")) {
            if (const auto cap = cgroup_cpu_limit("/sys/fs/cgroup", *text)) count = std::min(count, *cap);
        }
    } catch (...) {
        // Without a readable quota the CPU count stands.
    }
    return count;
}

}  // namespace pymorvel::parallel
