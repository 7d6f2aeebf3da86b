// How much memory a new matrix may take before the request is refused.
#include "linear_algebra/square_matrix.hpp"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>
#include <limits>
#include <string>

namespace pymorvel {

namespace {

// "MemAvailable: 123456 kB" from /proc/meminfo, in bytes; 0 if absent.
std::size_t meminfo_available() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key, unit;
    std::size_t kib = 0;
    while (meminfo >> key >> kib >> unit)
        if (key == "MemAvailable:") return kib * 1024;
    return 0;
}

// limit - usage from a pair of control-group files, if both read as numbers.
void cap_by(std::size_t& headroom, const std::string& limit_path, const std::string& usage_path) {
    std::ifstream limit_file(limit_path), usage_file(usage_path);
    std::size_t limit = 0, usage = 0;
    if ((limit_file >> limit) && (usage_file >> usage)) headroom = std::min(headroom, limit > usage ? limit - usage : 0);
}

// The memory this process's control group still allows, in either hierarchy.
// The group and its ancestors may each set a limit; the smallest binds.
// Directories that do not exist (a container that sees only its own group)
// are simply skipped.
std::size_t cgroup_headroom() {
    std::size_t headroom = std::numeric_limits<std::size_t>::max();
    std::ifstream cgroup("/proc/self/cgroup");
    std::string line;
    while (std::getline(cgroup, line)) {
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        const bool v2 = line.rfind("0::", 0) == 0;
        if (!v2 && controllers.find("memory") == std::string::npos) continue;
        const std::vector<std::string> roots =
            v2 ? std::vector<std::string>{"/sys/fs/cgroup", "/sys/fs/cgroup/unified"}
               : std::vector<std::string>{"/sys/fs/cgroup/memory"};
        for (const std::string& root : roots) {
            for (std::string p = path;; p = p.substr(0, p.rfind('/'))) {
                if (v2) cap_by(headroom, root + p + "/memory.max", root + p + "/memory.current");
                else cap_by(headroom, root + p + "/memory.limit_in_bytes", root + p + "/memory.usage_in_bytes");
                if (p.empty() || p == "/") break;
            }
        }
    }
    return headroom;
}

}  // namespace

std::size_t available_memory_bytes() noexcept {
    try {
        std::size_t available = meminfo_available();
        if (available == 0) {
            const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
            available = pages > 0 && page > 0 ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(page)
                                              : std::numeric_limits<std::size_t>::max();
        }
        return std::min(available, cgroup_headroom());
    } catch (...) {
        return std::numeric_limits<std::size_t>::max();
    }
}

}  // namespace pymorvel
