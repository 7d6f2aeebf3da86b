// The fast path of the FMA build's exp, four arguments at a time: every lane it settles gets that build's bits.
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
    const __m256d mid1_hi = gather(&EXP2_MID1[0].hi, at1);
    const __m256d mid1_lo = gather(&EXP2_MID1[0].mid, at1);
    const __m256d mid2_hi = gather(&EXP2_MID2[0].hi, at2);
    const __m256d mid2_lo = gather(&EXP2_MID2[0].mid, at2);

    // exp_mid = quick_mult(exp_mid1, exp_mid2).
    const __m256d mid_hi = _mm256_mul_pd(mid1_hi, mid2_hi);
    const __m256d product_error = _mm256_fmadd_pd(mid1_hi, mid2_hi, _mm256_xor_pd(mid_hi, _mm256_set1_pd(-0.0)));
    const __m256d t1 = _mm256_fmadd_pd(mid1_hi, mid2_lo, product_error);
    const __m256d mid_lo_term = _mm256_fmadd_pd(mid1_lo, mid2_hi, t1);

    // The reduced argument and the degree-4 polynomial.
    const __m256d lo_h = _mm256_fmadd_pd(kd, _mm256_set1_pd(MLOG_2_EXP2_M12_HI), x);
    const __m256d dx = _mm256_fmadd_pd(kd, _mm256_set1_pd(MLOG_2_EXP2_M12_MID), lo_h);
    const __m256d mid_lo = _mm256_mul_pd(dx, mid_hi);
    const __m256d dx2 = _mm256_mul_pd(dx, dx);
    const __m256d c0 = _mm256_fmadd_pd(dx, _mm256_set1_pd(0.5), _mm256_set1_pd(1.0));
    const __m256d c1 =
        _mm256_fmadd_pd(dx, _mm256_set1_pd(0x1.5555555555555p-5), _mm256_set1_pd(0x1.5555555555555p-3));
    const __m256d p = _mm256_fmadd_pd(dx2, c1, c0);
    const __m256d lo = _mm256_fmadd_pd(p, mid_lo, mid_lo_term);

    // The rounding test: both ends of the error interval round alike.
    const __m256d upper = _mm256_add_pd(mid_hi, _mm256_add_pd(lo, _mm256_set1_pd(ERR_D)));
    const __m256d lower = _mm256_add_pd(mid_hi, _mm256_sub_pd(lo, _mm256_set1_pd(ERR_D)));
    const __m256i settled = _mm256_andnot_si256(
        _mm256_or_si256(special, denorm), _mm256_castpd_si256(_mm256_cmp_pd(upper, lower, _CMP_EQ_OQ)));

    // Multiplying by 2^hi is adding hi to the exponent field.
    const __m256i scaled = _mm256_add_epi64(_mm256_slli_epi64(_mm256_cvtepi32_epi64(hi), 52), _mm256_castpd_si256(upper));
    _mm256_maskstore_pd(v, settled, _mm256_castsi256_pd(scaled));
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(settled))) ^ 0xfu;
}

}  // namespace LIBC_NAMESPACE_DECL
