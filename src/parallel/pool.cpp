// TEMPORARY sequential stand-in for the worker pool (to be replaced).
#include "parallel/pool.hpp"

#include <atomic>

namespace pymorvel::parallel {

struct WorkerPool::State { unsigned threads; };

std::string ThreadPoolBuildError::debug_string() const { return "ThreadPoolBuildError"; }
int start_detached_thread(void* (*)(void*), void*) { return 0; }
WorkerPool::WorkerPool(unsigned n, ThreadStarter) : state_(std::make_unique<State>(State{n})) {}
WorkerPool::~WorkerPool() = default;
unsigned WorkerPool::thread_count() const noexcept { return state_->threads; }
void WorkerPool::for_each_range(std::size_t count, RangeOperation op) { if (count) op(0, count); }

static std::atomic<bool> requested{false};
WorkerPool& global_pool() { requested = true; static WorkerPool pool(1); return pool; }
unsigned thread_count() { return global_pool().thread_count(); }
bool global_pool_requested() noexcept { return requested; }
std::optional<unsigned long long> parse_count(const char*) noexcept { return std::nullopt; }
unsigned choose_thread_count(const char*, const char*, unsigned d) noexcept { return d; }
unsigned default_thread_count() noexcept { return 1; }

}  // namespace pymorvel::parallel
