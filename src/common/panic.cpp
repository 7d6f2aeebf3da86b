// Writing panic reports and throwing Panic.
#include "common/panic.hpp"

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

void write_panic_report(std::string_view message, const std::source_location& where) noexcept {
    try {
        const std::string report = "thread '" + current_thread_name() + "' panicked at " + where.file_name() + ":" +
                                   std::to_string(where.line()) + ":" + std::to_string(where.column()) + ":\n" +
                                   std::string(message) + "\n";
        // One write, so that reports of concurrent panics do not interleave.
        std::fwrite(report.data(), 1, report.size(), stderr);
        std::fflush(stderr);
    } catch (...) {
        std::fputs(messages::REPORT_UNFORMATTABLE.data(), stderr);
    }
}

void panic(std::string message, std::source_location where) {
    write_panic_report(message, where);
    throw Panic(std::move(message));
}

}  // namespace pymorvel
