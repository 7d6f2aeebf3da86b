// The worker pool's scheduler: its threads, loop pieces and their queues, fork-join, and when workers sleep.
#include "parallel/pool.hpp"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>

#include "parallel/notifier.hpp"

namespace pymorvel::parallel {

namespace {

constexpr std::size_t kWorkerStackBytes = std::size_t{2} << 20;
// How long an idle worker keeps yielding before it goes to sleep, and how long
// a caller yields before it blocks on its completion signal. An elimination
// hands in its steps a few microseconds apart, while a sleep and the wake-up
// that ends it cost tens of microseconds each on a virtual machine: below a
// few hundred rows that hand-over, not the arithmetic, was the price of a step.
// A yielding thread gives its core to any runnable one, so the window costs
// idle cycles only.
constexpr std::chrono::microseconds kWorkerIdleWindow{200};
constexpr std::chrono::microseconds kCallerSpinWindow{50};
// How often a waiting caller runs its hook.
constexpr std::chrono::milliseconds kCallerHookInterval{10};

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

    void wait_and_reset(const WaitHook* while_waiting) {
        // 1. Short jobs finish within the spin window: no sleep, no wake-up.
        const auto give_up = std::chrono::steady_clock::now() + kCallerSpinWindow;
        while (!raised_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < give_up)
            sched_yield();
        // 2. Taking the mutex, even after the flag was seen, is what tells us
        // the raiser has left raise() and the signal may be reused.
        std::unique_lock lock(mutex_);
        const auto raised = [this] { return raised_.load(std::memory_order_relaxed); };
        if (while_waiting == nullptr) {
            done_.wait(lock, raised);
        } else {
            while (!done_.wait_for(lock, kCallerHookInterval, raised)) {
                lock.unlock();
                (*while_waiting)();
                lock.lock();
            }
        }
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
};

thread_local Worker* current_worker = nullptr;

}  // namespace

struct WorkerPool::State {
    explicit State(unsigned count)
        : thread_count(count), workers(std::make_unique<Worker[]>(count)), idle(count) {
        for (unsigned i = 0; i < count; ++i) {
            workers[i].pool = this;
            workers[i].index = i;
            workers[i].random_state = 0x9E3779B9u * (i + 1) | 1u;
        }
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
    void sleep(Worker& self, std::uint64_t seen_epoch, const std::atomic<bool>* done);
    void shut_down();

    const unsigned thread_count;
    std::unique_ptr<Worker[]> workers;
    PieceQueue shared;

    // Bumped after every new piece; a worker sleeps only if it has not moved
    // since before its last fruitless search.
    std::atomic<std::uint64_t> epoch{0};
    std::atomic<bool> stopping{false};
    // Where idle workers sleep; the waiters are the workers, by index.
    Notifier idle;

    std::mutex exit_mutex;
    unsigned running = 0;  // guarded by exit_mutex: workers still in their loop
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
    std::lock_guard lock(exit_mutex);
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
    const unsigned owner = piece.owner;
    piece.done.store(true);
    idle.notify(owner);
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
    idle.notify_one();
}

// The news that ends a sleep is a new piece (epoch), the pool stopping or the
// awaited piece done; each is published before its notification (announce_work,
// shut_down, execute). Every awake worker searches all queues before it may
// sleep again, which is what notify_one needs.
void WorkerPool::State::sleep(Worker& self, std::uint64_t seen_epoch,
                              const std::atomic<bool>* done) {
    idle.prepare_wait(self.index);
    if (epoch.load() != seen_epoch || stopping.load() || (done != nullptr && done->load()))
        idle.cancel_wait(self.index);
    else
        idle.commit_wait(self.index);
}

void WorkerPool::State::shut_down() {
    stopping.store(true);
    idle.notify_all();
    std::unique_lock lock(exit_mutex);
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
            std::lock_guard lock(pool.exit_mutex);
            ++pool.running;
        }
        if (const int error = starter(&worker_entry, &pool.workers[i]); error != 0) {
            {
                std::lock_guard lock(pool.exit_mutex);
                --pool.running;
            }
            pool.shut_down();
            throw ThreadPoolBuildError{BuildErrorKind::IOError, error};
        }
    }
}

WorkerPool::~WorkerPool() { state_->shut_down(); }

unsigned WorkerPool::thread_count() const noexcept { return state_->thread_count; }

unsigned WorkerPool::sleeping_workers() const noexcept { return state_->idle.asleep(); }

void WorkerPool::for_each_range(std::size_t count, RangeOperation op, const WaitHook* while_waiting) {
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
    signal.wait_and_reset(while_waiting);
    if (root.fault) std::rethrow_exception(root.fault);
}

}  // namespace pymorvel::parallel
