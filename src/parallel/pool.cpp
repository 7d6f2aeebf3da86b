// The worker pool's scheduler: its threads, the loops they join, the hand-out of blocks, and when workers sleep.
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
// a caller yields for the workers' last blocks before it blocks. An
// elimination hands in its steps a few microseconds apart, while a sleep and
// the wake-up that ends it cost tens of microseconds each on a virtual
// machine. A yielding thread gives its core to any runnable one, so the window
// costs idle cycles only.
constexpr std::chrono::microseconds kWorkerIdleWindow{200};
constexpr std::chrono::microseconds kCallerSpinWindow{50};
// How often a caller waiting for the workers runs its hook.
constexpr std::chrono::milliseconds kCallerHookInterval{10};

// How the last thread to leave a loop tells its caller. It lives in the loop,
// so a caller whose hook starts another loop on the same thread waits on that
// loop's own signal.
class CompletionSignal {
public:
    void raise() {
        std::lock_guard lock(mutex_);
        raised_.store(true, std::memory_order_release);
        // Notified under the lock: once the waiter owns the mutex again, the
        // raiser is done with the signal and the loop's frame may go.
        done_.notify_one();
    }

    void wait(const WaitHook* hook) {
        const auto give_up = std::chrono::steady_clock::now() + kCallerSpinWindow;
        while (!raised_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < give_up)
            sched_yield();
        // Taking the mutex, even after the flag was seen, is what tells us the
        // raiser has left raise().
        std::unique_lock lock(mutex_);
        const auto raised = [this] { return raised_.load(std::memory_order_relaxed); };
        if (hook == nullptr) {
            done_.wait(lock, raised);
            return;
        }
        while (!done_.wait_for(lock, kCallerHookInterval, raised)) {
            lock.unlock();
            (*hook)();
            lock.lock();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    std::atomic<bool> raised_{false};
};

// One call of parallel_for. It lives in its caller's frame, which is not left
// before every thread inside the loop has gone.
struct Loop {
    Loop(std::size_t count_, std::size_t grain_, RangeOperation op_, unsigned helpers)
        : count(count_), grain(grain_), blocks((count_ + grain_ - 1) / grain_), op(op_), helpers_wanted(helpers) {}

    // Takes blocks until none is left. Faults are kept, never thrown.
    void run_blocks() noexcept {
        for (;;) {
            const std::size_t block = next_block.fetch_add(1, std::memory_order_relaxed);
            if (block >= blocks) return;
            if (!failed.load(std::memory_order_relaxed)) {
                try {
                    op(block * grain, std::min(count, (block + 1) * grain));
                } catch (...) {
                    keep_fault(block, std::current_exception());
                }
            }
        }
    }

    // The fault of the lowest block among those that faulted, so that which
    // fault a caller sees does not depend on who ran what.
    void keep_fault(std::size_t block, std::exception_ptr error) {
        std::lock_guard lock(fault_mutex);
        if (block < fault_block) {
            fault_block = block;
            fault = std::move(error);
        }
        failed.store(true, std::memory_order_relaxed);
    }

    // A thread leaves; the last one out tells the caller.
    void leave() {
        if (inside.fetch_sub(1) == 1) finished.raise();
    }

    const std::size_t count;
    const std::size_t grain;
    const std::size_t blocks;
    const RangeOperation op;
    std::atomic<std::size_t> next_block{0};
    std::atomic<bool> failed{false};
    std::mutex fault_mutex;
    std::size_t fault_block = SIZE_MAX;  // guarded by fault_mutex, as is fault
    std::exception_ptr fault;
    // The caller and the workers that joined and have not left yet.
    std::atomic<unsigned> inside{1};
    CompletionSignal finished;

    // Guarded by the pool's loop list mutex.
    const unsigned helpers_wanted;
    unsigned helpers_joined = 0;
    Loop* prev = nullptr;
    Loop* next = nullptr;
};

struct Worker {
    WorkerPool::State* pool = nullptr;
    unsigned index = 0;
};

thread_local Worker* current_worker = nullptr;

}  // namespace

struct WorkerPool::State {
    explicit State(unsigned count) : thread_count(count), workers(std::make_unique<Worker[]>(count)), idle(count) {
        for (unsigned i = 0; i < count; ++i) {
            workers[i].pool = this;
            workers[i].index = i;
        }
    }

    void work(Worker& self);
    void post(Loop& loop);
    void withdraw(Loop& loop);
    Loop* join_a_loop();
    void sleep(Worker& self, std::uint64_t seen_epoch);
    void shut_down();

    const unsigned thread_count;
    std::unique_ptr<Worker[]> workers;

    // The loops that may still take helpers, oldest first.
    std::mutex loops_mutex;
    Loop* first = nullptr;
    Loop* last = nullptr;

    // Bumped after every posted loop; a worker sleeps only if it has not moved
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

}  // namespace

void WorkerPool::State::work(Worker& self) {
    current_worker = &self;
    // The C++ runtime keeps each thread's exception state in thread-local
    // storage that the C library allocates on first touch, and aborts the
    // process when it cannot. Made here, at the start, by a first throw, a
    // block that fails for want of memory later can still throw its bad_alloc.
    try {
        throw &self;
    } catch (Worker*) {
    }

    // When this stretch of idleness began; zero while the worker is busy.
    std::chrono::steady_clock::time_point idle_since{};
    for (;;) {
        const std::uint64_t seen_epoch = epoch.load();
        if (Loop* loop = join_a_loop()) {
            loop->run_blocks();
            loop->leave();
            idle_since = {};
            continue;
        }
        if (stopping.load()) break;
        const auto now = std::chrono::steady_clock::now();
        if (idle_since == std::chrono::steady_clock::time_point{}) idle_since = now;
        if (now - idle_since < kWorkerIdleWindow) {
            sched_yield();
            continue;
        }
        sleep(self, seen_epoch);
        idle_since = {};
    }

    current_worker = nullptr;
    std::lock_guard lock(exit_mutex);
    // Notified under the lock: after this, the worker touches the pool no more,
    // and the destructor may free it.
    if (--running == 0) all_left.notify_all();
}

void WorkerPool::State::post(Loop& loop) {
    {
        std::lock_guard lock(loops_mutex);
        loop.prev = last;
        (last ? last->next : first) = &loop;
        last = &loop;
    }
    epoch.fetch_add(1);
    for (unsigned k = 0; k < loop.helpers_wanted; ++k) idle.notify_one();
}

// After this no worker joins the loop any more.
void WorkerPool::State::withdraw(Loop& loop) {
    std::lock_guard lock(loops_mutex);
    (loop.prev ? loop.prev->next : first) = loop.next;
    (loop.next ? loop.next->prev : last) = loop.prev;
    loop.prev = loop.next = nullptr;
}

Loop* WorkerPool::State::join_a_loop() {
    std::lock_guard lock(loops_mutex);
    for (Loop* loop = first; loop != nullptr; loop = loop->next) {
        if (loop->helpers_joined < loop->helpers_wanted &&
            loop->next_block.load(std::memory_order_relaxed) < loop->blocks) {
            ++loop->helpers_joined;
            // Counted under the list's mutex, before the caller can withdraw
            // the loop and count who is still inside.
            loop->inside.fetch_add(1);
            return loop;
        }
    }
    return nullptr;
}

// The news that ends a sleep is a posted loop (epoch) or the pool stopping;
// each is published before its notification (post, shut_down). Every awake
// worker looks at every loop before it may sleep again, which is what
// notify_one needs.
void WorkerPool::State::sleep(Worker& self, std::uint64_t seen_epoch) {
    idle.prepare_wait(self.index);
    if (epoch.load() != seen_epoch || stopping.load())
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

void WorkerPool::parallel_for(std::size_t count, std::size_t grain, RangeOperation op,
                              const WaitHook* while_waiting) {
    if (count == 0) return;
    grain = std::max<std::size_t>(grain, 1);
    State& pool = *state_;
    const std::size_t blocks = (count + grain - 1) / grain;
    // Workers join only where there is a block for them besides the caller's
    // first; a worker of this pool would wait for itself, and runs in place.
    const unsigned helpers =
        static_cast<unsigned>(std::min<std::size_t>(pool.thread_count - 1, blocks - 1));
    if (helpers == 0 || (current_worker != nullptr && current_worker->pool == &pool)) {
        for (std::size_t begin = 0; begin < count; begin += grain) op(begin, std::min(count, begin + grain));
        return;
    }
    Loop loop(count, grain, op, helpers);
    pool.post(loop);
    // The caller never sleeps while a block is left that it could run: on a
    // busy machine the workers may not get a core before it is done.
    loop.run_blocks();
    pool.withdraw(loop);
    if (loop.inside.fetch_sub(1) != 1) loop.finished.wait(while_waiting);
    if (loop.fault) std::rethrow_exception(loop.fault);
}

}  // namespace pymorvel::parallel
