// The fast path of the FMA build's exp, four or eight arguments at a time: every lane it settles gets that build's bits.
//
// Built into the FMA build of LLVM libc's exp (its namespace, flags and
// tables), not into the core: it is the same computation, operation for
// operation, that generic/exp.cpp makes for one argument before its rounding
// test, each fused multiply-add, product and sum rounded exactly as there. A
// lane whose test passes therefore holds what that exp returns, the correctly
// rounded value; a lane that is special, lands below the normal range or fails
// the test is left for the scalar function, as is every argument there.
#include <immintrin.h>

#include <cstdint>

#include "src/math/generic/common_constants.h"

namespace LIBC_NAMESPACE_DECL {

namespace {

// The constants of generic/exp.cpp.
constexpr double LOG2_E = 0x1.71547652b82fep+0;
constexpr double ERR_D = 0x1.8p-63;
constexpr double MLOG_2_EXP2_M12_HI = -0x1.62e42ffp-13;
constexpr double MLOG_2_EXP2_M12_MID = 0x1.718432a1b0e26p-47;
constexpr double ROUNDING_SHIFT = 0x1.8000'0000'4p21;

// From x, kd and the table offsets at1 and at2 (read with gather function G),
// the ends `upper` and `lower` of the result's error interval (before scaling
// by 2^hi), for vectors V whose intrinsics start with P. Both widths expand
// this one text, so that they cannot drift apart from each other or from
// generic/exp.cpp, whose steps the comments name.
#define EXP_FAST_PATH_ARITHMETIC(P, V, G)                                                                  \
    const V mid1_hi = G(&EXP2_MID1[0].hi, at1);                                                             \
    const V mid1_lo = G(&EXP2_MID1[0].mid, at1);                                                            \
    const V mid2_hi = G(&EXP2_MID2[0].hi, at2);                                                             \
    const V mid2_lo = G(&EXP2_MID2[0].mid, at2);                                                            \
    /* exp_mid = quick_mult(exp_mid1, exp_mid2); fma(a, b, -c) with the negation exact */                  \
    const V mid_hi = P##_mul_pd(mid1_hi, mid2_hi);                                                          \
    const V product_error = P##_fmsub_pd(mid1_hi, mid2_hi, mid_hi);                                         \
    const V t1 = P##_fmadd_pd(mid1_hi, mid2_lo, product_error);                                             \
    const V mid_lo_term = P##_fmadd_pd(mid1_lo, mid2_hi, t1);                                               \
    /* the reduced argument and the degree-4 polynomial */                                                  \
    const V lo_h = P##_fmadd_pd(kd, P##_set1_pd(MLOG_2_EXP2_M12_HI), x);                                    \
    const V dx = P##_fmadd_pd(kd, P##_set1_pd(MLOG_2_EXP2_M12_MID), lo_h);                                  \
    const V mid_lo = P##_mul_pd(dx, mid_hi);                                                                \
    const V dx2 = P##_mul_pd(dx, dx);                                                                       \
    const V c0 = P##_fmadd_pd(dx, P##_set1_pd(0.5), P##_set1_pd(1.0));                                      \
    const V c1 = P##_fmadd_pd(dx, P##_set1_pd(0x1.5555555555555p-5), P##_set1_pd(0x1.5555555555555p-3));    \
    const V p = P##_fmadd_pd(dx2, c1, c0);                                                                  \
    const V lo = P##_fmadd_pd(p, mid_lo, mid_lo_term);                                                      \
    /* the rounding test: both ends of the error interval must round alike */                               \
    const V upper = P##_add_pd(mid_hi, P##_add_pd(lo, P##_set1_pd(ERR_D)));                                 \
    const V lower = P##_add_pd(mid_hi, P##_sub_pd(lo, P##_set1_pd(ERR_D)));

// a >= b and a < b on unsigned 64-bit lanes (AVX2 compares signed ones).
__m256i unsigned_at_least(__m256i a, std::uint64_t b) {
    const __m256i flip = _mm256_set1_epi64x(static_cast<long long>(0x8000'0000'0000'0000ULL));
    const __m256i bb = _mm256_set1_epi64x(static_cast<long long>(b ^ 0x8000'0000'0000'0000ULL));
    return _mm256_xor_si256(_mm256_cmpgt_epi64(bb, _mm256_xor_si256(a, flip)), _mm256_set1_epi64x(-1));
}
__m256i unsigned_below(__m256i a, std::uint64_t b) {
    return _mm256_xor_si256(unsigned_at_least(a, b), _mm256_set1_epi64x(-1));
}

// The four doubles at base[at[i]]. (The masked form: the plain one leaves its
// unused source undefined, which compilers warn about.)
__m256d gather(const double* base, __m128i at) {
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, at, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
}

}  // namespace

// Replaces v[0..3] by exp of each where the fast path settles it; returns the
// lanes (bit i for v[i]) it left untouched.
unsigned exp_fast_lanes(double* v) noexcept {
    const __m256d x = _mm256_loadu_pd(v);
    const __m256i xu = _mm256_castpd_si256(x);
    // x < log(2^-1075), x >= log of the largest double, |x| < 2^-53 or not a number.
    const __m256i special = _mm256_or_si256(
        _mm256_or_si256(unsigned_at_least(xu, 0xc0874910d52d3052),
                        _mm256_and_si256(unsigned_below(xu, 0xbca0000000000000), unsigned_at_least(xu, 0x40862e42fefa39f0))),
        unsigned_below(xu, 0x3ca0000000000000));

    // k = round(x * 2^12 * log2(e)), from the low bits of one sum.
    const __m256d tmp = _mm256_fmadd_pd(x, _mm256_set1_pd(LOG2_E), _mm256_set1_pd(ROUNDING_SHIFT));
    const __m256i shifted = _mm256_srli_epi64(_mm256_castpd_si256(tmp), 19);
    // The low 32 bits of each 64-bit lane, as four int32.
    const __m128i k = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(shifted, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
    const __m256d kd = _mm256_cvtepi32_pd(k);
    const __m128i idx1 = _mm_and_si128(_mm_srai_epi32(k, 6), _mm_set1_epi32(0x3f));
    const __m128i idx2 = _mm_and_si128(k, _mm_set1_epi32(0x3f));
    const __m128i hi = _mm_srai_epi32(k, 12);
    // Results below the normal range take the scalar path's own test.
    const __m256i denorm = _mm256_cvtepi32_epi64(_mm_cmpgt_epi32(_mm_set1_epi32(-1021), hi));

    // 2^(mid1) and 2^(mid2) from the tables (hi and mid of each entry; an
    // entry is three doubles).
    constexpr int STRIDE = sizeof(EXP2_MID1[0]) / sizeof(double);
    static_assert(sizeof(EXP2_MID1[0]) == 3 * sizeof(double), "an entry is lo, mid, hi");
    const __m128i at1 = _mm_mullo_epi32(idx1, _mm_set1_epi32(STRIDE));
    const __m128i at2 = _mm_mullo_epi32(idx2, _mm_set1_epi32(STRIDE));
    EXP_FAST_PATH_ARITHMETIC(_mm256, __m256d, gather)

    const __m256i settled = _mm256_andnot_si256(
        _mm256_or_si256(special, denorm), _mm256_castpd_si256(_mm256_cmp_pd(upper, lower, _CMP_EQ_OQ)));

    // Multiplying by 2^hi is adding hi to the exponent field.
    const __m256i scaled = _mm256_add_epi64(_mm256_slli_epi64(_mm256_cvtepi32_epi64(hi), 52), _mm256_castpd_si256(upper));
    _mm256_maskstore_pd(v, settled, _mm256_castsi256_pd(scaled));
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(settled))) ^ 0xfu;
}

// GCC 12 takes the undefined pass-through operand inside many AVX-512
// intrinsics for an uninitialised variable when they are enabled per function.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

#define PYMORVEL_AVX512 __attribute__((target("avx512f")))

PYMORVEL_AVX512 __mmask8 at_least8(__m512i a, std::uint64_t b) {
    return _mm512_cmp_epu64_mask(a, _mm512_set1_epi64(static_cast<long long>(b)), _MM_CMPINT_NLT);
}
PYMORVEL_AVX512 __mmask8 below8(__m512i a, std::uint64_t b) {
    return _mm512_cmp_epu64_mask(a, _mm512_set1_epi64(static_cast<long long>(b)), _MM_CMPINT_LT);
}
PYMORVEL_AVX512 __m512d gather8(const double* base, __m256i at) {
    return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xff, at, base, 8);
}

}  // namespace

// The same on v[0..7], for processors with AVX-512.
PYMORVEL_AVX512 unsigned exp_fast_lanes8(double* v) noexcept {
    const __m512d x = _mm512_loadu_pd(v);
    const __m512i xu = _mm512_castpd_si512(x);
    const __mmask8 special =
        static_cast<__mmask8>(at_least8(xu, 0xc0874910d52d3052) |
                              (below8(xu, 0xbca0000000000000) & at_least8(xu, 0x40862e42fefa39f0)) |
                              below8(xu, 0x3ca0000000000000));

    const __m512d tmp = _mm512_fmadd_pd(x, _mm512_set1_pd(LOG2_E), _mm512_set1_pd(ROUNDING_SHIFT));
    // The low 32 bits of each 64-bit lane, as eight int32.
    const __m256i k = _mm512_cvtepi64_epi32(_mm512_srli_epi64(_mm512_castpd_si512(tmp), 19));
    const __m512d kd = _mm512_cvtepi32_pd(k);
    const __m256i idx1 = _mm256_and_si256(_mm256_srai_epi32(k, 6), _mm256_set1_epi32(0x3f));
    const __m256i idx2 = _mm256_and_si256(k, _mm256_set1_epi32(0x3f));
    const __m512i hi = _mm512_cvtepi32_epi64(_mm256_srai_epi32(k, 12));
    const __mmask8 denorm = _mm512_cmp_epi64_mask(hi, _mm512_set1_epi64(-1022), _MM_CMPINT_LE);

    constexpr int STRIDE = sizeof(EXP2_MID1[0]) / sizeof(double);
    const __m256i at1 = _mm256_mullo_epi32(idx1, _mm256_set1_epi32(STRIDE));
    const __m256i at2 = _mm256_mullo_epi32(idx2, _mm256_set1_epi32(STRIDE));
    EXP_FAST_PATH_ARITHMETIC(_mm512, __m512d, gather8)

    const __mmask8 settled =
        static_cast<__mmask8>(_mm512_cmp_pd_mask(upper, lower, _CMP_EQ_OQ) & ~special & ~denorm);

    const __m512i scaled = _mm512_add_epi64(_mm512_slli_epi64(hi, 52), _mm512_castpd_si512(upper));
    _mm512_mask_storeu_pd(v, settled, _mm512_castsi512_pd(scaled));
    return static_cast<unsigned>(static_cast<__mmask8>(~settled));
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace LIBC_NAMESPACE_DECL
