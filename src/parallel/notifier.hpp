// The idle/wake protocol of the pool's workers: going to sleep without missing the news that should end the sleep.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace pymorvel::parallel {

// A waiter (one of `waiter_count`, numbered from 0) goes to sleep in three steps:
//
//     notifier.prepare_wait(me);
//     if (news()) notifier.cancel_wait(me); else notifier.commit_wait(me);
//
// and whoever brings news publishes it first and notifies after:
//
//     publish(); notifier.notify_one();   // or notify(waiter), notify_all()
//
// where news() and publish() read and write the news with sequentially
// consistent atomics. Why no wake-up is lost:
//
// 1. In the single order of all sequentially consistent operations, the
//    waiter's re-check comes either after the publication, and then the
//    waiter sees the news and cancels, or before it. Then prepare_wait raised
//    the count of waiters before the notifier reads it, and the waiter, which
//    commits, cannot lower it again before it is signalled. So the notifier
//    reads a count above 0 and takes the mutex.
// 2. prepare_wait raised the count while holding that mutex, and the
//    notifier read that raise or a later change, so it gets the mutex after
//    prepare_wait let it go. It finds the waiter listed, or already taken off
//    the list by another notifier's signal, which is a wake-up too.
// 3. Signalling a listed waiter takes it off the list and either wakes it or,
//    when it has not committed yet, leaves the signal on it: commit_wait then
//    returns at once.
//
// notify_one signals the waiter at the end of the list, usually the one that
// prepared last, whose cache is the warmest; that need not be the waiter that
// missed the news. What it guarantees is that some waiter which prepared before
// the publication is awake after it, and that is enough wherever every awake
// waiter looks at all the work before it prepares again. notify wakes one
// given waiter, notify_all every listed one. With nobody listed, a
// notification costs one atomic load.
class Notifier {
public:
    explicit Notifier(unsigned waiter_count);
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    void prepare_wait(unsigned waiter);
    void cancel_wait(unsigned waiter);
    // Returns once signalled, at once if the signal came before.
    void commit_wait(unsigned waiter);

    void notify_one();
    void notify(unsigned waiter);
    void notify_all();

    // Waiters inside commit_wait right now; tests wait for it to hand work to sleepers.
    unsigned asleep() const noexcept { return asleep_.load(); }

private:
    enum class Phase : unsigned char { Idle, Preparing, Asleep, Signalled };
    struct Slot {
        Phase phase = Phase::Idle;
        std::size_t place = 0;  // index in listed_ while Preparing or Asleep
        std::condition_variable wake;
    };

    // Both under mutex_.
    void take_off_list(unsigned waiter);
    void signal(unsigned waiter);

    // Waiters between prepare_wait and their return from cancel_wait or commit_wait.
    std::atomic<unsigned> waiting_{0};
    std::atomic<unsigned> asleep_{0};
    std::mutex mutex_;
    std::unique_ptr<Slot[]> slots_;
    std::vector<unsigned> listed_;  // under mutex_: the waiters Preparing or Asleep
};

}  // namespace pymorvel::parallel
