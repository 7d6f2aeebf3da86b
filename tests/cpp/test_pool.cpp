// Tests of the worker pool: exactly-once coverage, faults, waking sleeping workers, and the global pool's sizing rules.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <ostream>
#include <thread>
#include <utility>
#include <vector>

#include "bounded_wait.hpp"
#include "common/panic.hpp"
#include "parallel/global_pool.hpp"

namespace {

using pymorvel::testing_support::kHang;
using pymorvel::testing_support::wait_until;
using pymorvel::Panic;
using namespace pymorvel::parallel;

// Runs one loop and returns how many indices were not visited exactly once.
// Every call of the operation must cover exactly one block.
std::size_t indices_not_visited_once(WorkerPool& pool, std::size_t count, std::size_t grain = 1) {
    std::vector<std::atomic<int>> visits(count);
    std::atomic<int> bad_blocks{0};
    pool.parallel_for(count, grain, [&](std::size_t begin, std::size_t end) {
        if (begin % grain != 0 || end != std::min(count, begin + grain)) ++bad_blocks;
        for (std::size_t i = begin; i < end && i < count; ++i) visits[i].fetch_add(1);
    });
    EXPECT_EQ(bad_blocks.load(), 0);
    return std::count_if(visits.begin(), visits.end(), [](auto& v) { return v.load() != 1; });
}

class ExactlyOnce : public testing::TestWithParam<std::tuple<unsigned, std::size_t, std::size_t>> {};

TEST_P(ExactlyOnce, EveryIndexIsVisitedOnce) {
    const auto [workers, count, grain] = GetParam();
    WorkerPool pool(workers);
    ASSERT_EQ(pool.thread_count(), workers);
    for (int round = 0; round < 20; ++round) ASSERT_EQ(indices_not_visited_once(pool, count, grain), 0u);
}

INSTANTIATE_TEST_SUITE_P(Pool, ExactlyOnce,
                         testing::Combine(testing::Values(1u, 2u, 3u, 8u),
                                          testing::Values(0, 1, 2, 3, 101, 102, 1000, 4097),
                                          testing::Values(1, 7, 32)));

struct FaultCase {
    unsigned workers;
    std::size_t count;
    std::size_t faulty;  // SIZE_MAX: every block faults
};
void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.workers << " workers, " << c.count << " rows, fault at " << static_cast<long long>(c.faulty);
}

class FaultPropagation : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultPropagation, CallerGetsTheFaultAfterAllBlocksSettled) {
    const FaultCase c = GetParam();
    WorkerPool pool(c.workers);
    std::atomic<int> in_flight{0};
    try {
        pool.parallel_for(c.count, 1, [&](std::size_t begin, std::size_t end) {
            ++in_flight;
            struct Leave { std::atomic<int>& n; ~Leave() { --n; } } leave{in_flight};
            std::this_thread::yield();  // gives the other blocks a chance to overlap
            if (c.faulty == SIZE_MAX || (begin <= c.faulty && c.faulty < end))
                throw Panic("row " + std::to_string(c.faulty == SIZE_MAX ? begin : c.faulty));
        });
        FAIL() << "no fault reached the caller";
    } catch (const Panic& error) {
        if (c.faulty != SIZE_MAX) {
            EXPECT_EQ(error.message(), "row " + std::to_string(c.faulty));
        }
    }
    EXPECT_EQ(in_flight.load(), 0);
    EXPECT_EQ(indices_not_visited_once(pool, c.count), 0u);
}

INSTANTIATE_TEST_SUITE_P(Pool, FaultPropagation,
                         testing::Values(FaultCase{1, 10, 0}, FaultCase{2, 1000, 999},
                                         FaultCase{3, 102, 50}, FaultCase{8, 4097, 2048},
                                         FaultCase{8, 4097, SIZE_MAX}));

TEST(Pool, ConcurrentCallersEachSeeExactlyOnce) {
    WorkerPool pool(3);
    std::atomic<std::size_t> failures{0};
    std::vector<std::thread> callers;
    for (std::size_t t = 0; t < 4; ++t) {
        callers.emplace_back([&, t] {
            for (std::size_t round = 0; round < 50; ++round)
                failures += indices_not_visited_once(pool, 101 + 7 * t + round, 1 + t);
        });
    }
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(failures.load(), 0u);
}

TEST(Pool, LoopInsideABlockRunsToo) {
    WorkerPool pool(2);
    std::vector<std::atomic<int>> visits(8 * 100);
    pool.parallel_for(8, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t outer = begin; outer < end; ++outer) {
            pool.parallel_for(100, 3, [&](std::size_t b, std::size_t e) {
                for (std::size_t i = b; i < e; ++i) ++visits[outer * 100 + i];
            });
        }
    });
    EXPECT_TRUE(std::all_of(visits.begin(), visits.end(), [](auto& v) { return v.load() == 1; }));
}

// Runs f; a loop whose wake-up was lost never returns, and then the test
// stops the run instead of hanging it.
template <class F>
void without_hanging(F f) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, kHang, [&] { return done; })) {
            std::fprintf(stderr, "a loop never returned\n");
            std::abort();
        }
    });
    f();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    watchdog.join();
}

class SleepingPool : public testing::TestWithParam<unsigned> {};

// Work handed to a pool whose workers all sleep wakes them: a loop whose
// blocks each wait for another thread can only finish with every helper awake.
TEST_P(SleepingPool, LoopWakesTheWorkers) {
    const unsigned workers = GetParam();
    WorkerPool pool(workers);
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(wait_until([&] { return pool.sleeping_workers() == workers; })) << "workers never fell asleep";
        std::atomic<unsigned> arrived{0};
        without_hanging([&] {
            pool.parallel_for(workers, 1, [&](std::size_t, std::size_t) {
                ++arrived;
                EXPECT_TRUE(wait_until([&] { return arrived.load() == workers; })) << "a worker was never woken";
            });
        });
    }
}

INSTANTIATE_TEST_SUITE_P(Pool, SleepingPool, testing::Values(1u, 2u, 3u));

// The caller runs blocks itself: a loop finishes while every worker is held
// in another loop, as on a machine whose other processes keep the workers
// from running.
TEST(Pool, CallerFinishesALoopWhileTheWorkersAreHeld) {
    WorkerPool pool(2);
    std::atomic<bool> release{false};
    std::atomic<unsigned> held{0};
    std::thread holder([&] {
        pool.parallel_for(3, 1, [&](std::size_t, std::size_t) {
            ++held;
            EXPECT_TRUE(wait_until([&] { return release.load(); }));
        });
    });
    ASSERT_TRUE(wait_until([&] { return held.load() == 2; }));  // the holder and one worker
    without_hanging([&] { EXPECT_EQ(indices_not_visited_once(pool, 1000, 10), 0u); });
    release.store(true);
    holder.join();
}

// A caller's wait hook may start a loop of its own on the same thread and the
// same pool (a signal handler that fits a model): each loop waits for its own
// blocks only, and both cover their ranges exactly once. The workers' blocks
// of the outer loop end only once the hook has run a nested loop, and the
// caller's only once a worker holds one, so the caller must wait for them.
TEST(Pool, LoopStartedWhileWaitingFinishesAndSoDoesTheOuterOne) {
    for (unsigned workers : {2u, 3u}) {
        WorkerPool pool(workers);
        std::vector<std::atomic<int>> outer(4 * workers);
        std::atomic<int> nested_loops{0};
        std::atomic<bool> worker_in_block{false};
        std::size_t nested_failures = 0;
        bool inside_hook = false;
        auto hook = [&] {
            if (inside_hook || nested_loops.load() >= 3) return;
            inside_hook = true;
            nested_failures += indices_not_visited_once(pool, 500, 5);
            ++nested_loops;
            inside_hook = false;
        };
        const WaitHook while_waiting(hook);
        const auto caller = std::this_thread::get_id();
        without_hanging([&] {
            pool.parallel_for(outer.size(), 1, [&](std::size_t begin, std::size_t end) {
                if (std::this_thread::get_id() == caller) {
                    EXPECT_TRUE(wait_until([&] { return worker_in_block.load(); })) << "no worker joined";
                } else {
                    worker_in_block.store(true);
                    EXPECT_TRUE(wait_until([&] { return nested_loops.load() > 0; })) << "the hook never ran";
                }
                for (std::size_t i = begin; i < end; ++i) ++outer[i];
            }, &while_waiting);
        });
        EXPECT_EQ(nested_failures, 0u);
        EXPECT_TRUE(std::all_of(outer.begin(), outer.end(), [](auto& v) { return v.load() == 1; }));
    }
}

struct TextCase {
    const char* text;
    std::optional<unsigned long long> value;
};
void PrintTo(const TextCase& c, std::ostream* out) { *out << '"' << (c.text ? c.text : "(unset)") << '"'; }

class ParseCount : public testing::TestWithParam<TextCase> {};

TEST_P(ParseCount, Table) { EXPECT_EQ(parse_count(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Pool, ParseCount,
    testing::Values(TextCase{"+4", 4}, TextCase{"4", 4}, TextCase{"0", 0}, TextCase{"007", 7},
                    TextCase{"18446744073709551615", 18446744073709551615ULL},
                    TextCase{"18446744073709551616", {}}, TextCase{" 4", {}}, TextCase{"4 ", {}},
                    TextCase{"abc", {}}, TextCase{"", {}}, TextCase{"+", {}}, TextCase{"-1", {}},
                    TextCase{"++4", {}}, TextCase{nullptr, {}}));

struct ChoiceCase {
    const char* num_threads;
    const char* rs_num_cpus;
    unsigned expected;  // the default is 7
};
void PrintTo(const ChoiceCase& c, std::ostream* out) {
    *out << (c.num_threads ? c.num_threads : "(unset)") << ", " << (c.rs_num_cpus ? c.rs_num_cpus : "(unset)");
}

class ChooseThreadCount : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseThreadCount, Table) {
    const ChoiceCase c = GetParam();
    EXPECT_EQ(choose_thread_count(c.num_threads, c.rs_num_cpus, 7), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Pool, ChooseThreadCount,
                         testing::Values(ChoiceCase{"0", "5", 7}, ChoiceCase{"abc", "3", 3},
                                         ChoiceCase{nullptr, nullptr, 7}, ChoiceCase{"+4", nullptr, 4},
                                         ChoiceCase{" 4", "2", 2}, ChoiceCase{nullptr, "0", 7},
                                         ChoiceCase{"70000", nullptr, 65535},
                                         ChoiceCase{nullptr, "18446744073709551615", 65535}));

// A starter that runs workers on joinable threads (so the test can prove they
// left) and fails on the start numbered fail_at.
struct StartCase {
    unsigned workers;
    unsigned fail_at;  // == workers: no failure
    int error;
};
void PrintTo(const StartCase& c, std::ostream* out) { *out << c.workers << " workers, start " << c.fail_at << " fails"; }
StartCase start_plan;
std::vector<std::thread> started;

int planned_starter(void* (*entry)(void*), void* arg) {
    if (started.size() == start_plan.fail_at) return start_plan.error;
    started.emplace_back(entry, arg);
    return 0;
}

class ThreadStart : public testing::TestWithParam<StartCase> {};

TEST_P(ThreadStart, FailedStartStopsTheStartedWorkers) {
    start_plan = GetParam();
    started.clear();
    try {
        WorkerPool pool(start_plan.workers, planned_starter);
        EXPECT_EQ(start_plan.fail_at, start_plan.workers) << "start failure not reported";
        EXPECT_EQ(indices_not_visited_once(pool, 1000), 0u);
    } catch (const ThreadPoolBuildError& error) {
        EXPECT_EQ(error.kind, BuildErrorKind::IOError);
        EXPECT_EQ(error.os_error, start_plan.error);
        EXPECT_NE(error.debug_string().find(std::strerror(start_plan.error)), std::string::npos);
    }
    EXPECT_EQ(started.size(), std::min(start_plan.fail_at, start_plan.workers));
    // Every started worker has to return on its own; a worker left running hangs here.
    for (auto& thread : started) thread.join();
}

INSTANTIATE_TEST_SUITE_P(Pool, ThreadStart,
                         testing::Values(StartCase{8, 2, EAGAIN}, StartCase{8, 0, EAGAIN},
                                         StartCase{4, 3, ENOMEM}, StartCase{4, 4, 0}));

TEST(Pool, GlobalPoolIsSizedOnceFromTheEnvironment) {
    if (global_pool_requested()) GTEST_SKIP() << "another test already made the global pool";
    setenv("RAYON_NUM_THREADS", "3", 1);
    EXPECT_EQ(global_pool().thread_count(), 3u);
    EXPECT_TRUE(global_pool_requested());
    setenv("RAYON_NUM_THREADS", "5", 1);
    EXPECT_EQ(&global_pool(), &global_pool());
    EXPECT_EQ(global_pool().thread_count(), 3u);
    unsetenv("RAYON_NUM_THREADS");
}

int fail_third_start(void* (*entry)(void*), void* arg) {
    static int starts = 0;
    return ++starts == 3 ? EAGAIN : start_detached_thread(entry, arg);
}

// Runs in a child process: every use of a pool whose creation failed aborts.
[[noreturn]] void use_global_pool_that_cannot_start() {
    set_global_pool_starter(fail_third_start);
    setenv("RAYON_NUM_THREADS", "4", 1);
    const std::string expected = "The global thread pool has not been initialized.: " +
                                 ThreadPoolBuildError{BuildErrorKind::IOError, EAGAIN}.debug_string();
    int aborts = 0;
    for (int use = 0; use < 2; ++use) {
        try {
            global_pool().thread_count();
        } catch (const Panic& error) {
            aborts += error.message() == expected;
        }
    }
    std::exit(aborts == 2 ? 0 : 1);
}

TEST(Pool, FailedGlobalPoolAbortsEveryUse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process without a global pool
    EXPECT_EXIT(use_global_pool_that_cannot_start(), testing::ExitedWithCode(0), "has not been initialized");
}

}  // namespace
