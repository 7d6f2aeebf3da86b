// The notifier's waiter list and signals; the argument for them is in notifier.hpp.
#include "parallel/notifier.hpp"

namespace pymorvel::parallel {

Notifier::Notifier(unsigned waiter_count) : slots_(std::make_unique<Slot[]>(waiter_count)) {
    // Every waiter is listed at most once at a time, so this never grows.
    listed_.reserve(waiter_count);
}

void Notifier::prepare_wait(unsigned waiter) {
    std::lock_guard lock(mutex_);
    Slot& slot = slots_[waiter];
    slot.phase = Phase::Preparing;
    slot.place = listed_.size();
    listed_.push_back(waiter);
    waiting_.fetch_add(1);
}

void Notifier::cancel_wait(unsigned waiter) {
    std::lock_guard lock(mutex_);
    Slot& slot = slots_[waiter];
    // A signal that came meanwhile is dropped: the waiter is awake anyway.
    if (slot.phase == Phase::Preparing) take_off_list(waiter);
    slot.phase = Phase::Idle;
    waiting_.fetch_sub(1);
}

void Notifier::commit_wait(unsigned waiter) {
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[waiter];
    if (slot.phase == Phase::Preparing) {
        slot.phase = Phase::Asleep;
        asleep_.fetch_add(1);
        slot.wake.wait(lock, [&slot] { return slot.phase == Phase::Signalled; });
        asleep_.fetch_sub(1);
    }
    slot.phase = Phase::Idle;
    waiting_.fetch_sub(1);
}

void Notifier::notify_one() {
    if (waiting_.load() == 0) return;
    std::lock_guard lock(mutex_);
    if (!listed_.empty()) signal(listed_.back());
}

void Notifier::notify(unsigned waiter) {
    if (waiting_.load() == 0) return;
    std::lock_guard lock(mutex_);
    const Phase phase = slots_[waiter].phase;
    if (phase == Phase::Preparing || phase == Phase::Asleep) signal(waiter);
}

void Notifier::notify_all() {
    if (waiting_.load() == 0) return;
    std::lock_guard lock(mutex_);
    while (!listed_.empty()) signal(listed_.back());
}

void Notifier::take_off_list(unsigned waiter) {
    const std::size_t place = slots_[waiter].place;
    const unsigned last = listed_.back();
    listed_[place] = last;
    slots_[last].place = place;
    listed_.pop_back();
}

void Notifier::signal(unsigned waiter) {
    Slot& slot = slots_[waiter];
    take_off_list(waiter);
    const bool asleep = slot.phase == Phase::Asleep;
    slot.phase = Phase::Signalled;
    // Notified under the mutex, like every change of the phase it waits on.
    if (asleep) slot.wake.notify_one();
}

}  // namespace pymorvel::parallel
