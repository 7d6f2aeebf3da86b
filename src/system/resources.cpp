// The CPU and memory probes, with the one control-group walker that serves both.
#include "system/resources.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace pymorvel::system {

namespace {

constexpr const char* kCgroupRoot = "/sys/fs/cgroup";
constexpr const char* kProcSelfCgroup = "/proc/self/cgroup";

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

// One group's limit, read from its directory; nullopt when it sets none or
// its files do not read as one.
using Limit = std::optional<unsigned long long>;
using LimitReader = Limit (*)(const std::string& directory);

// What a probe asks of the walker: the version-1 controller whose hierarchy
// holds its files, and how a group of either version states its limit.
struct Controller {
    std::string_view name;
    LimitReader read_v1;
    LimitReader read_v2;
};

void keep_smaller(Limit& best, Limit limit) {
    if (limit && (!best || *limit < *best)) best = limit;
}

// A group is limited by its own limit and by every ancestor's. Directories
// that do not exist are skipped: inside a container the mount often starts
// at the container's own group while /proc/self/cgroup names the host path.
Limit smallest_along(std::string directory, std::string_view group_path, LimitReader read) {
    Limit best;
    if (is_directory(directory)) keep_smaller(best, read(directory));
    while (!group_path.empty()) {
        const std::size_t slash = group_path.find('/');
        const std::string_view part = group_path.substr(0, slash);
        group_path = slash == std::string_view::npos ? std::string_view{} : group_path.substr(slash + 1);
        if (part.empty()) continue;
        directory.append("/").append(part);
        if (is_directory(directory)) keep_smaller(best, read(directory));
    }
    return best;
}

bool names_controller(std::string_view controllers, std::string_view name) {
    while (!controllers.empty()) {
        const std::size_t comma = controllers.find(',');
        if (controllers.substr(0, comma) == name) return true;
        if (comma == std::string_view::npos) break;
        controllers.remove_prefix(comma + 1);
    }
    return false;
}

// The smallest limit over every hierarchy that places this process in a group.
Limit smallest_limit(const std::string& root, std::string_view proc_self_cgroup, const Controller& controller) {
    Limit best;
    // Each line is "<id>:<controllers>:<path>"; "0::<path>" is the unified hierarchy.
    while (!proc_self_cgroup.empty()) {
        const std::size_t end = proc_self_cgroup.find('\n');
        const std::string_view line = proc_self_cgroup.substr(0, end);
        proc_self_cgroup = end == std::string_view::npos ? std::string_view{} : proc_self_cgroup.substr(end + 1);
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
            keep_smaller(best, smallest_along(unified_at_root ? root : root + "/unified", path, controller.read_v2));
        } else if (names_controller(controllers, controller.name)) {
            // Co-mounted controllers share one directory named after all of them.
            std::string base = root + "/" + std::string(controllers);
            if (!is_directory(base)) base = root + "/" + std::string(controller.name);
            keep_smaller(best, smallest_along(base, path, controller.read_v1));
        }
    }
    return best;
}

Limit cpus_from(unsigned long long quota, unsigned long long period) {
    if (period == 0) return std::nullopt;
    return std::max(1ULL, quota / period);
}

// Version 2: cpu.max holds "<quota> <period>", or "max <period>" for no limit.
Limit read_cpu_max(const std::string& directory) {
    const auto text = read_text_file(directory + "/cpu.max");
    if (!text) return std::nullopt;
    std::istringstream in(*text);
    std::string quota, period;
    if (!(in >> quota >> period)) return std::nullopt;
    const auto quota_value = parse_count(quota.c_str());
    const auto period_value = parse_count(period.c_str());
    if (!quota_value || !period_value) return std::nullopt;
    return cpus_from(*quota_value, *period_value);
}

// Version 1: a quota of -1 means no limit.
Limit read_cfs_quota(const std::string& directory) {
    const auto quota_text = read_text_file(directory + "/cpu.cfs_quota_us");
    const auto period_text = read_text_file(directory + "/cpu.cfs_period_us");
    if (!quota_text || !period_text) return std::nullopt;
    long long quota = 0;
    unsigned long long period = 0;
    std::istringstream quota_in(*quota_text), period_in(*period_text);
    if (!(quota_in >> quota) || !(period_in >> period) || quota <= 0) return std::nullopt;
    return cpus_from(static_cast<unsigned long long>(quota), period);
}

// Both versions keep the limit and the usage in two files of one number each;
// version 2 writes "max" for no limit, which does not read as a number.
Limit headroom_from(const std::string& limit_path, const std::string& usage_path) {
    std::ifstream limit_file(limit_path), usage_file(usage_path);
    std::size_t limit = 0, usage = 0;
    if (!(limit_file >> limit) || !(usage_file >> usage)) return std::nullopt;
    return limit > usage ? limit - usage : 0;
}

Limit read_memory_v1(const std::string& directory) {
    return headroom_from(directory + "/memory.limit_in_bytes", directory + "/memory.usage_in_bytes");
}

Limit read_memory_v2(const std::string& directory) {
    return headroom_from(directory + "/memory.max", directory + "/memory.current");
}

constexpr Controller kCpu{"cpu", read_cfs_quota, read_cpu_max};
constexpr Controller kMemory{"memory", read_memory_v1, read_memory_v2};

// The limit of this process's own groups.
Limit own_limit(const Controller& controller) {
    const auto text = read_text_file(kProcSelfCgroup);
    return text ? smallest_limit(kCgroupRoot, *text, controller) : std::nullopt;
}

}  // namespace

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

std::optional<unsigned> cgroup_cpu_limit(const std::string& root, std::string_view proc_self_cgroup) {
    const Limit cpus = smallest_limit(root, proc_self_cgroup, kCpu);
    if (!cpus) return std::nullopt;
    return static_cast<unsigned>(std::min<unsigned long long>(*cpus, UINT_MAX));
}

std::optional<std::size_t> cgroup_memory_headroom(const std::string& root, std::string_view proc_self_cgroup) {
    return smallest_limit(root, proc_self_cgroup, kMemory);
}

std::size_t meminfo_available_bytes(const std::string& path) {
    std::ifstream meminfo(path);
    std::string key, unit;
    std::size_t kib = 0;
    while (meminfo >> key >> kib >> unit)
        if (key == "MemAvailable:") return kib * 1024;
    return 0;
}

unsigned available_cpus() noexcept {
    unsigned count = 0;
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (sched_getaffinity(0, sizeof mask, &mask) == 0) count = static_cast<unsigned>(CPU_COUNT(&mask));
    if (count == 0) {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        count = online > 0 ? static_cast<unsigned>(std::min<long>(online, UINT_MAX)) : 1;
    }
    try {
        if (const Limit cap = own_limit(kCpu)) count = static_cast<unsigned>(std::min<unsigned long long>(count, *cap));
    } catch (...) {
        // Without a readable quota the CPU count stands.
    }
    return count;
}

std::size_t available_memory_bytes() noexcept {
    try {
        std::size_t available = meminfo_available_bytes("/proc/meminfo");
        if (available == 0) {
            const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
            available = pages > 0 && page > 0 ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(page)
                                              : std::numeric_limits<std::size_t>::max();
        }
        if (const Limit headroom = own_limit(kMemory)) available = std::min<std::size_t>(available, *headroom);
        return available;
    } catch (...) {
        return std::numeric_limits<std::size_t>::max();
    }
}

}  // namespace pymorvel::system
