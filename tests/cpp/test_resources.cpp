// Tests of platform probing on fake trees: control-group CPU quotas and memory headroom, and /proc/meminfo.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "system/resources.hpp"

namespace {

using namespace pymorvel::system;
using Files = std::vector<std::pair<std::string, std::string>>;

// A directory tree under /tmp, removed again when the test ends.
class FakeTree {
public:
    explicit FakeTree(const Files& files) {
        char pattern[] = "/tmp/cgroup-tree-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        for (const auto& [path, text] : files) {
            std::filesystem::create_directories((root_ / path).parent_path());
            std::ofstream(root_ / path) << text;
        }
    }
    ~FakeTree() { std::filesystem::remove_all(root_); }
    std::string root() const { return root_.string(); }
    std::string operator/(const std::string& path) const { return (root_ / path).string(); }

private:
    std::filesystem::path root_;
};

Files operator+(Files a, const Files& b) { return a.insert(a.end(), b.begin(), b.end()), a; }
const Files kUnifiedAtRoot{{"cgroup.controllers", "cpu"}};
const Files kUnifiedBelow{{"unified/cgroup.controllers", ""}};

template <class Limit>
struct CgroupCase {
    const char* name;
    Files files;
    std::string proc_self_cgroup;
    std::optional<Limit> limit;
};
template <class Limit>
std::string case_name(const testing::TestParamInfo<CgroupCase<Limit>>& info) { return info.param.name; }

class CpuLimit : public testing::TestWithParam<CgroupCase<unsigned>> {};

TEST_P(CpuLimit, FakeTree) {
    const FakeTree tree(GetParam().files);
    EXPECT_EQ(cgroup_cpu_limit(tree.root(), GetParam().proc_self_cgroup), GetParam().limit);
}

// Version-1 quota files of one group, over a period of 100000.
Files v1(const std::string& dir, const char* quota) {
    return {{dir + "/cpu.cfs_quota_us", quota}, {dir + "/cpu.cfs_period_us", "100000\n"}};
}
Files cpu_max(const std::string& dir, const char* text) { return {{dir + "/cpu.max", text}}; }

INSTANTIATE_TEST_SUITE_P(
    Cgroup, CpuLimit,
    testing::Values(
        CgroupCase<unsigned>{"v2_leaf", kUnifiedAtRoot + Files{{"a/cpu.max", "max 100000\n"}, {"a/b/cpu.max", "150000 100000\n"}},
                             "0::/a/b\n", 1},
        CgroupCase<unsigned>{"v2_ancestor_is_tighter",
                             kUnifiedAtRoot + Files{{"a/cpu.max", "200000 100000"}, {"a/b/cpu.max", "800000 100000"}}, "0::/a/b", 2},
        CgroupCase<unsigned>{"v2_no_quota", kUnifiedAtRoot + Files{{"a/cpu.max", "max 100000"}}, "0::/a\n", std::nullopt},
        CgroupCase<unsigned>{"v2_below_one_cpu", kUnifiedAtRoot + Files{{"a/cpu.max", "50000 100000"}}, "0::/a\n", 1},
        CgroupCase<unsigned>{"hybrid_unified_and_cpuacct_ignored",
                             kUnifiedBelow + Files{{"unified/a/cpu.max", "300000 100000"}} + v1("cpuacct", "100000"),
                             "2:cpuacct:/\n0::/a\n", 3},
        CgroupCase<unsigned>{"v1_comounted", v1("cpu,cpuacct/grp", "250000\n"), "4:cpu,cpuacct:/grp\n", 2},
        CgroupCase<unsigned>{"v1_no_quota", v1("cpu", "-1"), "3:cpu:/\n", std::nullopt},
        CgroupCase<unsigned>{"v1_container_sees_own_group_at_mount", v1("cpu", "300000"), "3:cpu:/docker/abc\n", 3},
        CgroupCase<unsigned>{"v1_and_v2_smaller_wins",
                             kUnifiedBelow + Files{{"unified/cpu.max", "200000 100000"}} + v1("cpu", "400000"),
                             "3:cpu:/\n0::/\n", 2},
        CgroupCase<unsigned>{"no_groups", kUnifiedAtRoot, "", std::nullopt},
        CgroupCase<unsigned>{"v1_ancestor_is_tighter", v1("cpu/a", "100000") + v1("cpu/a/b", "300000"), "3:cpu:/a/b\n", 1},
        CgroupCase<unsigned>{"v1_comount_without_its_directory_uses_cpu", v1("cpu/grp", "250000"),
                             "4:cpu,cpuacct:/grp\n", 2},
        CgroupCase<unsigned>{"v1_cpuset_is_not_cpu", v1("cpuset", "100000"), "5:cpuset:/\n", std::nullopt},
        CgroupCase<unsigned>{"v2_missing_groups_leave_the_ancestors", kUnifiedAtRoot + cpu_max("a", "200000 100000"),
                             "0::/a/gone/deeper\n", 2},
        CgroupCase<unsigned>{"v2_mount_missing", cpu_max("a", "100000 100000"), "0::/a\n", std::nullopt},
        CgroupCase<unsigned>{"v2_garbage_quota_skipped",
                             kUnifiedAtRoot + cpu_max("a", "300000 100000") + cpu_max("a/b", "lots 100000"), "0::/a/b\n", 3},
        CgroupCase<unsigned>{"v2_single_number", kUnifiedAtRoot + cpu_max("a", "100000\n"), "0::/a\n", std::nullopt},
        CgroupCase<unsigned>{"v2_zero_period", kUnifiedAtRoot + cpu_max("a", "100000 0\n"), "0::/a\n", std::nullopt},
        CgroupCase<unsigned>{"v1_garbage_quota", v1("cpu", "lots"), "3:cpu:/\n", std::nullopt},
        CgroupCase<unsigned>{"v1_period_missing", Files{{"cpu/cpu.cfs_quota_us", "100000"}}, "3:cpu:/\n", std::nullopt},
        CgroupCase<unsigned>{"memory_files_are_not_a_quota",
                             kUnifiedAtRoot + Files{{"a/memory.max", "1000"}, {"a/memory.current", "10"}}, "0::/a\n",
                             std::nullopt},
        CgroupCase<unsigned>{"malformed_lines_skipped", kUnifiedAtRoot + cpu_max("a", "100000 100000"),
                             "garbage\n3:cpu\n\n0::/a", 1}),
    case_name<unsigned>);

class MemoryHeadroom : public testing::TestWithParam<CgroupCase<std::size_t>> {};

TEST_P(MemoryHeadroom, FakeTree) {
    const FakeTree tree(GetParam().files);
    EXPECT_EQ(cgroup_memory_headroom(tree.root(), GetParam().proc_self_cgroup), GetParam().limit);
}

// Limit and usage files of one group.
Files v1_memory(const std::string& dir, const char* limit, const char* usage) {
    return {{dir + "/memory.limit_in_bytes", limit}, {dir + "/memory.usage_in_bytes", usage}};
}
Files v2_memory(const std::string& dir, const char* limit, const char* usage) {
    return {{dir + "/memory.max", limit}, {dir + "/memory.current", usage}};
}

INSTANTIATE_TEST_SUITE_P(
    Cgroup, MemoryHeadroom,
    testing::Values(
        CgroupCase<std::size_t>{"v2_leaf", kUnifiedAtRoot + v2_memory("a", "max\n", "5\n") + v2_memory("a/b", "1000\n", "400\n"),
                                "0::/a/b\n", 600},
        CgroupCase<std::size_t>{"v2_ancestor_is_tighter",
                                kUnifiedAtRoot + v2_memory("a", "1000", "900") + v2_memory("a/b", "5000", "100"),
                                "0::/a/b\n", 100},
        CgroupCase<std::size_t>{"v2_no_limit", kUnifiedAtRoot + v2_memory("a", "max\n", "400\n"), "0::/a\n", std::nullopt},
        CgroupCase<std::size_t>{"v2_usage_at_or_above_limit", kUnifiedAtRoot + v2_memory("a", "1000", "1500"), "0::/a\n", 0},
        CgroupCase<std::size_t>{"v2_usage_missing", kUnifiedAtRoot + Files{{"a/memory.max", "1000"}}, "0::/a\n", std::nullopt},
        CgroupCase<std::size_t>{"v2_garbage_limit_skipped",
                                kUnifiedAtRoot + v2_memory("a", "3000", "0") + v2_memory("a/b", "lots", "0"),
                                "0::/a/b\n", 3000},
        CgroupCase<std::size_t>{"v2_missing_groups_leave_the_ancestors", kUnifiedAtRoot + v2_memory("a", "1000", "1"),
                                "0::/a/gone/deeper\n", 999},
        CgroupCase<std::size_t>{"v2_path_without_leading_slash", kUnifiedAtRoot + v2_memory("a", "1000", "1"), "0::a\n", 999},
        CgroupCase<std::size_t>{"v2_mount_missing", v2_memory("a", "1000", "1"), "0::/a\n", std::nullopt},
        CgroupCase<std::size_t>{"v1_leaf", v1_memory("memory/grp", "2000\n", "500\n"), "9:memory:/grp\n", 1500},
        CgroupCase<std::size_t>{"v1_ancestor_is_tighter",
                                v1_memory("memory/a", "2000", "1900") + v1_memory("memory/a/b", "9000", "0"),
                                "9:memory:/a/b\n", 100},
        // Version 1 writes a page-rounded 2^63 for "no limit"; it stands as a limit no machine reaches.
        CgroupCase<std::size_t>{"v1_unlimited_is_huge", v1_memory("memory", "9223372036854771712\n", "1000\n"),
                                "9:memory:/\n", 9223372036854770712ULL},
        CgroupCase<std::size_t>{"v1_container_sees_own_group_at_mount", v1_memory("memory", "2000", "0"),
                                "9:memory:/docker/abc\n", 2000},
        CgroupCase<std::size_t>{"v1_comounted", v1_memory("memory,hugetlb/grp", "2000", "1000"),
                                "6:memory,hugetlb:/grp\n", 1000},
        CgroupCase<std::size_t>{"v1_named_hierarchy_is_not_memory", v1_memory("memory/x", "2000", "1000"),
                                "1:name=memory_notes:/x\n", std::nullopt},
        CgroupCase<std::size_t>{"v1_garbage_usage", v1_memory("memory", "2000", "lots"), "9:memory:/\n", std::nullopt},
        CgroupCase<std::size_t>{"hybrid_smaller_wins",
                                kUnifiedBelow + v2_memory("unified/a", "3000", "1000") + v1_memory("memory/b", "5000", "0"),
                                "9:memory:/b\n0::/a\n", 2000},
        CgroupCase<std::size_t>{"hybrid_unified_mount_is_below_root",
                                kUnifiedBelow + v2_memory("a", "10", "0") + v2_memory("unified/a", "3000", "1000"),
                                "0::/a\n", 2000},
        CgroupCase<std::size_t>{"cpu_files_are_not_a_limit", kUnifiedAtRoot + cpu_max("a", "100000 100000") + v1("cpu", "1"),
                                "3:cpu:/\n0::/a\n", std::nullopt}),
    case_name<std::size_t>);

struct MeminfoCase {
    const char* name;
    const char* text;  // null: no file
    std::size_t bytes;
};

class Meminfo : public testing::TestWithParam<MeminfoCase> {};

TEST_P(Meminfo, AvailableBytes) {
    const FakeTree tree(GetParam().text ? Files{{"meminfo", GetParam().text}} : Files{});
    EXPECT_EQ(meminfo_available_bytes(tree / "meminfo"), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Proc, Meminfo,
    testing::Values(MeminfoCase{"present", "MemTotal: 100 kB\nMemFree: 50 kB\nMemAvailable: 70 kB\nBuffers: 1 kB\n", 70 * 1024},
                    MeminfoCase{"absent", "MemTotal: 100 kB\nMemFree: 50 kB\n", 0},
                    MeminfoCase{"garbage", "MemAvailable: lots kB\n", 0},
                    MeminfoCase{"no_file", nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
