// Tests of the notifier: no notification is lost, wherever on its way to sleep it meets a waiter.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bounded_wait.hpp"
#include "parallel/notifier.hpp"

namespace {

using pymorvel::testing_support::wait_until;
using pymorvel::parallel::Notifier;

// Gives up the processor a random number of times (sometimes none), so that the
// other side runs into the middle of whatever this thread is doing.
void dawdle(std::minstd_rand& random) {
    for (unsigned n = random() % 4; n > 0; --n) std::this_thread::yield();
}

enum class Kind { One, Targeted, All };

struct Case {
    const char* name;
    Kind kind;
    unsigned waiters;
    unsigned rounds;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// What the waiters wait for: items anyone may take (notify_one), items for
// one waiter (notify) or a new generation every waiter must see (notify_all).
struct Board {
    explicit Board(unsigned waiters) : notifier(waiters), mail(waiters) {}
    Notifier notifier;
    std::atomic<long> items{0};
    std::vector<std::atomic<long>> mail;
    std::atomic<long> generation{0};
    std::atomic<long> handled{0};
    std::atomic<bool> stop{false};
    std::atomic<unsigned> left{0};
};

bool take_one(std::atomic<long>& count) {
    long n = count.load();
    while (n > 0)
        if (count.compare_exchange_weak(n, n - 1)) return true;
    return false;
}

void wait_loop(Board& board, Kind kind, unsigned me) {
    std::minstd_rand random(me + 1);
    long seen_generation = 0;
    const auto news = [&] {
        switch (kind) {
            case Kind::One: return board.items.load() > 0;
            case Kind::Targeted: return board.mail[me].load() > 0;
            case Kind::All: return board.generation.load() != seen_generation;
        }
        return false;
    };
    const auto take = [&] {
        if (kind == Kind::One) return take_one(board.items);
        if (kind == Kind::Targeted) return take_one(board.mail[me]);
        const long generation = board.generation.load();
        if (generation == seen_generation) return false;
        seen_generation = generation;
        return true;
    };
    for (;;) {
        if (take()) {
            board.handled.fetch_add(1);
            continue;
        }
        if (board.stop.load()) break;
        // The window under test: between here and commit_wait the notifier
        // must not let a notification slip past.
        board.notifier.prepare_wait(me);
        dawdle(random);
        if (news() || board.stop.load()) {
            board.notifier.cancel_wait(me);
            continue;
        }
        dawdle(random);
        board.notifier.commit_wait(me);
    }
    board.left.fetch_add(1);
}

class PoolNotifier : public testing::TestWithParam<Case> {};

// Each round publishes news once and waits until it is handled. Every other
// round starts only when all waiters are asleep; the rest meet the waiters
// wherever they are, often between prepare_wait and commit_wait. A lost
// wake-up leaves the round unhandled, with every waiter asleep.
TEST_P(PoolNotifier, NoNotificationIsLost) {
    const Case c = GetParam();
    Board board(c.waiters);
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < c.waiters; ++w) threads.emplace_back(wait_loop, std::ref(board), c.kind, w);

    std::minstd_rand random(7);
    long expected = 0;
    for (unsigned round = 0; round < c.rounds; ++round) {
        if (round % 2 == 0) {
            ASSERT_TRUE(wait_until([&] { return board.notifier.asleep() == c.waiters; }))
                << "waiters never fell asleep";
        } else {
            dawdle(random);
        }
        switch (c.kind) {
            case Kind::One:
                board.items.fetch_add(1);
                board.notifier.notify_one();
                expected += 1;
                break;
            case Kind::Targeted: {
                // An odd round goes to the waiter that handled the even one
                // before it and is on its way back to sleep.
                const unsigned target = round / 2 % c.waiters;
                board.mail[target].fetch_add(1);
                board.notifier.notify(target);
                expected += 1;
                break;
            }
            case Kind::All:
                board.generation.fetch_add(1);
                board.notifier.notify_all();
                expected += c.waiters;
                break;
        }
        if (!wait_until([&] { return board.handled.load() == expected; })) {
            ADD_FAILURE() << "round " << round << ": a notification was lost";
            break;
        }
    }

    board.stop.store(true);
    const bool all_left = wait_until([&] {
        board.notifier.notify_all();
        return board.left.load() == c.waiters;
    });
    if (!all_left) {
        std::fprintf(stderr, "a waiter cannot be woken even by notify_all\n");
        std::abort();
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(board.handled.load(), expected);
}

INSTANTIATE_TEST_SUITE_P(Parallel, PoolNotifier,
                         testing::Values(Case{"one_of_one", Kind::One, 1, 3000}, Case{"one_of_four", Kind::One, 4, 3000},
                                         Case{"targeted_of_three", Kind::Targeted, 3, 3000},
                                         Case{"all_of_four", Kind::All, 4, 1500}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
