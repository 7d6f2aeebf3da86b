// Platform probing: how many CPUs and how much memory this process may use (affinity, control groups, /proc/meminfo).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pymorvel::system {

// The CPUs this process may use: its affinity mask, else the online
// processors, capped by a control-group CPU quota; 1 if nothing can be determined.
unsigned available_cpus() noexcept;

// Memory this process can still expect to get: the system's available memory,
// capped by the control groups' headroom; SIZE_MAX when probing fails outright.
std::size_t available_memory_bytes() noexcept;

// The probes behind those two, on any tree so that tests can fake one. root is
// where the cgroup file systems are mounted (/sys/fs/cgroup: the unified
// hierarchy there or in root/unified, version-1 controllers in
// root/<controllers>); proc_self_cgroup is the text of /proc/self/cgroup. The
// group and each of its ancestors may set a limit, and the smallest binds.

// CPUs allowed by quota / period (at least 1), or nullopt when no group sets a quota.
std::optional<unsigned> cgroup_cpu_limit(const std::string& root, std::string_view proc_self_cgroup);
// Bytes the memory limits still leave (limit - usage, 0 once usage has reached
// the limit), or nullopt when no group sets a limit.
std::optional<std::size_t> cgroup_memory_headroom(const std::string& root, std::string_view proc_self_cgroup);
// "MemAvailable: <n> kB" of a meminfo file, in bytes; 0 when the file or the line is missing.
std::size_t meminfo_available_bytes(const std::string& path);

// An unsigned decimal count as the kernel writes it in cpu.max: an optional
// '+', then digits only; nullopt on anything else, including overflow of an
// unsigned 64-bit value.
std::optional<unsigned long long> parse_count(const char* text) noexcept;

}  // namespace pymorvel::system
