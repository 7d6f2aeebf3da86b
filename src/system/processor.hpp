// What this processor runs: on x86-64 asked of the processor itself (cpuid) and of the system (xgetbv), once per process.
#pragma once

#include <string_view>

namespace pymorvel::system {

// Each is true only when the processor has the instructions and the system
// saves the registers they use on a context switch; all are false on any
// other architecture, whose processors run the portable paths.
struct ProcessorFeatures {
    bool avx2 = false;
    bool fma = false;  // FMA3, on the ymm registers
    bool avx512f = false;
};

#if defined(__x86_64__)
// The answers that decide them.
struct CpuidAnswers {
    unsigned leaf1_ecx = 0;       // cpuid(1).ecx: FMA, OSXSAVE, AVX
    unsigned leaf7_ebx = 0;       // cpuid(7, 0).ebx: AVX2, AVX512F; 0 where leaf 7 does not exist
    unsigned long long xcr0 = 0;  // xgetbv(0): the state components the system saves; 0 without OSXSAVE
};
ProcessorFeatures features_from(const CpuidAnswers& answers) noexcept;

// Hides the features that the C library's tunable glibc.cpu.hwcaps switches
// off ("-AVX2", "-FMA", "-AVX512F"), given the text of GLIBC_TUNABLES: one
// setting hides a processor's wider paths from the C library and from this
// module alike.
ProcessorFeatures without_hidden(ProcessorFeatures features, std::string_view glibc_tunables) noexcept;
#endif

// This processor's, with GLIBC_TUNABLES applied; asked at the first call.
const ProcessorFeatures& processor_features() noexcept;

}  // namespace pymorvel::system
