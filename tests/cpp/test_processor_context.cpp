// The processor probe and the choice of paths it drives: each path only where its instructions run.
#include <gtest/gtest.h>
#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

#include "exact_math/exact_math.hpp"
#include "numeric/kernel_batch.hpp"
#include "numeric/processor_context.hpp"

namespace pymorvel {
namespace {

using system::ProcessorFeatures;

bool operator==(const ProcessorFeatures& a, const ProcessorFeatures& b) {
    return a.avx2 == b.avx2 && a.fma == b.fma && a.avx512f == b.avx512f;
}

// "avx2_fma", "none", ...: usable in test names.
std::string text(const ProcessorFeatures& f) {
    std::string names;
    for (const auto& [has, name] : {std::pair{f.avx2, "avx2"}, {f.fma, "fma"}, {f.avx512f, "avx512f"}})
        if (has) names += (names.empty() ? "" : "_") + std::string(name);
    return names.empty() ? "none" : names;
}

#if defined(__x86_64__)
using system::CpuidAnswers;

constexpr unsigned LEAF1_ALL = bit_FMA | bit_OSXSAVE | bit_AVX;
constexpr unsigned LEAF7_ALL = bit_AVX2 | bit_AVX512F;
constexpr unsigned long long XCR0_ZMM = 0xE7;  // x87, SSE, AVX, mask, upper zmm halves
constexpr unsigned long long XCR0_YMM = 0x07;

struct Probe {
    const char* label;
    CpuidAnswers answers;
    ProcessorFeatures expected;
};

const Probe PROBES[] = {
    {"nothing", {}, {}},
    {"everything_saved", {LEAF1_ALL, LEAF7_ALL, XCR0_ZMM}, {.avx2 = true, .fma = true, .avx512f = true}},
    // The registers exist, but a system that does not save them loses them at
    // every context switch.
    {"no_osxsave", {bit_FMA | bit_AVX, LEAF7_ALL, XCR0_ZMM}, {}},
    {"ymm_not_saved", {LEAF1_ALL, LEAF7_ALL, 0x3}, {}},
    {"zmm_not_saved", {LEAF1_ALL, LEAF7_ALL, XCR0_YMM}, {.avx2 = true, .fma = true}},
    {"mask_registers_not_saved", {LEAF1_ALL, LEAF7_ALL, 0xC7}, {.avx2 = true, .fma = true}},
    {"no_avx", {bit_FMA | bit_OSXSAVE, LEAF7_ALL, XCR0_ZMM}, {}},
    {"avx2_without_fma", {bit_OSXSAVE | bit_AVX, bit_AVX2, XCR0_YMM}, {.avx2 = true}},
    {"fma_without_avx2", {LEAF1_ALL, 0, XCR0_YMM}, {.fma = true}},
    {"avx512f_without_avx2", {bit_OSXSAVE | bit_AVX, bit_AVX512F, XCR0_ZMM}, {.avx512f = true}},
};

class ProcessorProbe : public ::testing::TestWithParam<Probe> {};

TEST_P(ProcessorProbe, FeaturesNeedTheInstructionsAndTheSavedState) {
    const ProcessorFeatures got = system::features_from(GetParam().answers);
    EXPECT_TRUE(got == GetParam().expected) << text(got);
}

INSTANTIATE_TEST_SUITE_P(Answers, ProcessorProbe, ::testing::ValuesIn(PROBES),
                         [](const auto& info) { return std::string(info.param.label); });

struct Hiding {
    const char* label;
    const char* tunables;
    ProcessorFeatures expected;  // of a processor with all three
};

const Hiding HIDINGS[] = {
    {"unset", "", {.avx2 = true, .fma = true, .avx512f = true}},
    {"avx2_and_fma", "glibc.cpu.hwcaps=-AVX2,-FMA", {.avx512f = true}},
    {"among_other_tunables", "glibc.malloc.check=3:glibc.cpu.hwcaps=-AVX512F:glibc.malloc.tcache_count=0",
     {.avx2 = true, .fma = true}},
    {"old_spelling", "glibc.cpu.hwcaps=-AVX2_Usable,-AVX512F_Usable", {.fma = true}},
    {"without_minus", "glibc.cpu.hwcaps=AVX2", {.avx2 = true, .fma = true, .avx512f = true}},
    {"other_names", "glibc.cpu.hwcaps=-AVX2X,-XFMA,-Prefer_No_AVX512", {.avx2 = true, .fma = true, .avx512f = true}},
    {"other_tunable", "glibc.cpu.hwcaps=-FMA:glibc.cpu.x86_non_temporal_threshold=-AVX2",
     {.avx2 = true, .avx512f = true}},
    {"prefix_of_another_name", "my.glibc.cpu.hwcaps=-AVX2", {.avx2 = true, .fma = true, .avx512f = true}},
};

class HiddenFeatures : public ::testing::TestWithParam<Hiding> {};

TEST_P(HiddenFeatures, OnlyTheNamedFeaturesOfTheHwcapsTunableAreHidden) {
    const ProcessorFeatures all{.avx2 = true, .fma = true, .avx512f = true};
    const ProcessorFeatures got = system::without_hidden(all, GetParam().tunables);
    EXPECT_TRUE(got == GetParam().expected) << text(got);
}

INSTANTIATE_TEST_SUITE_P(Tunables, HiddenFeatures, ::testing::ValuesIn(HIDINGS),
                         [](const auto& info) { return std::string(info.param.label); });

struct Choice {
    ProcessorFeatures features;
    Instructions instructions;
    UpdateTile update_tile;
    const ColumnSteps* column_steps;
    const KernelBatchOps* kernel_batches;
    ExpLanes exp_lanes;
    bool fma_math;
};

// Every wider path builds on AVX2, and LLVM libc's FMA build is compiled for
// AVX2 and FMA together: a path whose instructions are missing would stop the
// process with an illegal instruction.
const Choice CHOICES[] = {
    {{}, Instructions::portable, update_tile_portable, &PORTABLE_COLUMN_STEPS, &PORTABLE_KERNEL_BATCHES, exact_exp_one_by_one, false},
    {{.fma = true}, Instructions::portable, update_tile_portable, &PORTABLE_COLUMN_STEPS, &PORTABLE_KERNEL_BATCHES,
     exact_exp_one_by_one, false},
    {{.avx512f = true}, Instructions::portable, update_tile_portable, &PORTABLE_COLUMN_STEPS, &PORTABLE_KERNEL_BATCHES,
     exact_exp_one_by_one, false},
    {{.fma = true, .avx512f = true}, Instructions::portable, update_tile_portable, &PORTABLE_COLUMN_STEPS, &PORTABLE_KERNEL_BATCHES,
     exact_exp_one_by_one, false},
    {{.avx2 = true}, Instructions::avx2, update_tile_avx2, &AVX2_COLUMN_STEPS, &AVX2_KERNEL_BATCHES, exact_exp_one_by_one, false},
    {{.avx2 = true, .fma = true}, Instructions::avx2, update_tile_avx2, &AVX2_COLUMN_STEPS, &AVX2_KERNEL_BATCHES, exact_exp_lanes4,
     true},
    {{.avx2 = true, .avx512f = true}, Instructions::avx512, update_tile_avx512, &AVX2_COLUMN_STEPS, &AVX2_KERNEL_BATCHES,
     exact_exp_one_by_one, false},
    {{.avx2 = true, .fma = true, .avx512f = true}, Instructions::avx512, update_tile_avx512, &AVX2_COLUMN_STEPS,
     &AVX2_KERNEL_BATCHES, exact_exp_lanes8, true},
};

class ContextChoice : public ::testing::TestWithParam<Choice> {};

TEST_P(ContextChoice, EachPathOnlyWhereItsInstructionsRun) {
    const Choice& want = GetParam();
    const ProcessorContext got = context_for(want.features);
    EXPECT_EQ(got.instructions, want.instructions);
    EXPECT_EQ(got.update_tile, want.update_tile);
    EXPECT_EQ(got.column_steps.divide, want.column_steps->divide);
    EXPECT_EQ(got.column_steps.subtract_scaled, want.column_steps->subtract_scaled);
    EXPECT_EQ(got.kernel_batches, want.kernel_batches);
    EXPECT_EQ(got.exp_lanes, want.exp_lanes);
    EXPECT_EQ(got.fma_math, want.fma_math);
}

INSTANTIATE_TEST_SUITE_P(Features, ContextChoice, ::testing::ValuesIn(CHOICES),
                         [](const auto& info) { return text(info.param.features); });

// The kernel lists "avx2", "fma" ("avx512f") among a processor's flags only
// when the processor has it and the system saves the ymm (zmm and mask)
// registers: the same two conditions.
TEST(ProcessorProbe, AgreesWithTheSystem) {
    if (std::getenv("GLIBC_TUNABLES") != nullptr) GTEST_SKIP() << "GLIBC_TUNABLES may hide features";
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    bool found = false;
    while (!found && std::getline(cpuinfo, line)) found = line.rfind("flags", 0) == 0;
    if (!found) GTEST_SKIP() << "/proc/cpuinfo has no flags line";
    const auto has = [&](const char* flag) { return (line + " ").find(" " + std::string(flag) + " ") != std::string::npos; };
    const ProcessorFeatures& features = system::processor_features();
    EXPECT_EQ(features.avx2, has("avx2"));
    EXPECT_EQ(features.fma, has("fma"));
    EXPECT_EQ(features.avx512f, has("avx512f"));
    EXPECT_EQ(processor_context().update_tile, has("avx512f") && has("avx2") ? update_tile_avx512
                                               : has("avx2")                 ? update_tile_avx2
                                                                             : update_tile_portable);
    EXPECT_EQ(processor_context().kernel_batches, has("avx2") ? &AVX2_KERNEL_BATCHES : &PORTABLE_KERNEL_BATCHES);
}
#else
TEST(ProcessorProbe, X86ProbeAndPaths) {
    GTEST_SKIP() << "cpuid, GLIBC_TUNABLES' hwcaps and the AVX2, AVX-512 and FMA paths are x86-64's";
}

// Whatever the features say (an emulator may show the host's /proc/cpuinfo),
// no x86-64 path exists here to be chosen.
class PortableContext : public ::testing::TestWithParam<ProcessorFeatures> {};

TEST_P(PortableContext, HasThePortablePathsAlone) {
    const ProcessorContext got = context_for(GetParam());
    EXPECT_EQ(got.instructions, Instructions::portable);
    EXPECT_EQ(got.update_tile, update_tile_portable);
    EXPECT_EQ(got.column_steps.divide, PORTABLE_COLUMN_STEPS.divide);
    EXPECT_EQ(got.column_steps.subtract_scaled, PORTABLE_COLUMN_STEPS.subtract_scaled);
    EXPECT_EQ(got.kernel_batches, &PORTABLE_KERNEL_BATCHES);
    EXPECT_EQ(got.exp_lanes, exact_exp_one_by_one);
    EXPECT_FALSE(got.fma_math);
}

INSTANTIATE_TEST_SUITE_P(Features, PortableContext,
                         ::testing::Values(ProcessorFeatures{}, ProcessorFeatures{.avx2 = true, .fma = true},
                                           ProcessorFeatures{.avx2 = true, .fma = true, .avx512f = true}),
                         [](const auto& info) { return text(info.param); });

TEST(ProcessorProbe, ReportsNoFeature) { EXPECT_TRUE(system::processor_features() == ProcessorFeatures{}) << text(system::processor_features()); }
#endif

}  // namespace
}  // namespace pymorvel
