// The processor probe: cpuid for the instructions, xgetbv for the register state the system saves.
#include "system/processor.hpp"

#if defined(__x86_64__)
#include <cpuid.h>

#include <cstdlib>
#endif

namespace pymorvel::system {

#if defined(__x86_64__)

namespace {

// XCR0 bits 1 and 2: the SSE and AVX (ymm) state.
constexpr unsigned long long YMM_STATE = 0x6;
// Bits 5 to 7 besides: the mask registers and the upper halves of the zmm registers.
constexpr unsigned long long ZMM_STATE = 0xE6;

bool saves(unsigned long long xcr0, unsigned long long components) noexcept {
    return (xcr0 & components) == components;
}

// Calls f on each piece of text between separators.
template <class F>
void for_each_piece(std::string_view text, char separator, F&& f) {
    while (!text.empty()) {
        const std::size_t end = text.find(separator);
        f(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

}  // namespace

ProcessorFeatures features_from(const CpuidAnswers& answers) noexcept {
    // Without OSXSAVE the system keeps no ymm state, and xgetbv would fault.
    const bool ymm = (answers.leaf1_ecx & bit_OSXSAVE) != 0 && (answers.leaf1_ecx & bit_AVX) != 0 &&
                     saves(answers.xcr0, YMM_STATE);
    return {
        .avx2 = ymm && (answers.leaf7_ebx & bit_AVX2) != 0,
        .fma = ymm && (answers.leaf1_ecx & bit_FMA) != 0,
        .avx512f = ymm && saves(answers.xcr0, ZMM_STATE) && (answers.leaf7_ebx & bit_AVX512F) != 0,
    };
}

ProcessorFeatures without_hidden(ProcessorFeatures features, std::string_view glibc_tunables) noexcept {
    // "name=value:name=value"; the C library before 2.33 spells the names with "_Usable".
    for_each_piece(glibc_tunables, ':', [&](std::string_view tunable) {
        constexpr std::string_view HWCAPS = "glibc.cpu.hwcaps=";
        if (tunable.substr(0, HWCAPS.size()) != HWCAPS) return;
        for_each_piece(tunable.substr(HWCAPS.size()), ',', [&](std::string_view name) {
            if (name.substr(0, 1) != "-") return;
            name.remove_prefix(1);
            if (constexpr std::string_view USABLE = "_Usable";
                name.size() > USABLE.size() && name.substr(name.size() - USABLE.size()) == USABLE)
                name.remove_suffix(USABLE.size());
            if (name == "AVX2") features.avx2 = false;
            if (name == "FMA") features.fma = false;
            if (name == "AVX512F") features.avx512f = false;
        });
    });
    return features;
}

namespace {

ProcessorFeatures probe() noexcept {
    CpuidAnswers answers;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) answers.leaf1_ecx = ecx;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) answers.leaf7_ebx = ebx;
    if ((answers.leaf1_ecx & bit_OSXSAVE) != 0) {
        unsigned low = 0, high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        answers.xcr0 = (static_cast<unsigned long long>(high) << 32) | low;
    }
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    return without_hidden(features_from(answers), tunables != nullptr ? tunables : "");
}

}  // namespace
#else
namespace {

ProcessorFeatures probe() noexcept { return {}; }

}  // namespace
#endif

// The processor is asked directly, the same way in every build: the
// compiler's __builtin_cpu_supports answers from its runtime library, which
// some runtimes (Zig's, which builds the wheels) stub out, and the C
// library's own report needs glibc 2.33. Asked once: under a hypervisor
// every cpuid traps, at tens of microseconds a time.
const ProcessorFeatures& processor_features() noexcept {
    static const ProcessorFeatures features = probe();
    return features;
}

}  // namespace pymorvel::system
