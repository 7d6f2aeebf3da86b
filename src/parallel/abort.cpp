// Writing abort reports and raising AbortError.
#include "parallel/abort.hpp"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

namespace pymorvel {

namespace {

std::string current_thread_name() {
    if (static_cast<pid_t>(syscall(SYS_gettid)) == getpid()) return "main";
    char name[64] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof name) == 0 && name[0] != '\0') return name;
    return "<unnamed>";
}

}  // namespace

void write_abort_report(const std::string& message, const std::source_location& where) noexcept {
    try {
        const std::string report = "thread '" + current_thread_name() + "' panicked at " +
                                   where.file_name() + ":" + std::to_string(where.line()) + ":" +
                                   std::to_string(where.column()) + ":\n" + message + "\n";
        // One write, so that reports of concurrent aborts do not interleave.
        std::fwrite(report.data(), 1, report.size(), stderr);
        std::fflush(stderr);
    } catch (...) {
        std::fputs("thread panicked (report could not be formatted)\n", stderr);
    }
}

void abort_call(std::string message, std::source_location where) {
    write_abort_report(message, where);
    throw AbortError(std::move(message));
}

}  // namespace pymorvel
