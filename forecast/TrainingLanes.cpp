// The forecast network's training in AVX2 lanes. Built with -ffp-contract=off: every product
// and sum below rounds as the library's float code rounds it; fused multiply-adds appear only
// inside the exp and log approximations, whose results are checked before they are used.
//
// Only this file holds AVX2 code, and only in functions marked LANES, so that nothing of it
// can be picked by the linker for code that runs on a processor without AVX2: it includes no
// header with inline functions of its own beyond the intrinsics and <cmath>'s plain exp/log.
#include "forecast/TrainingLanes.h"

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#define LANES __attribute__((target("avx2,fma")))

namespace TrainingLanes {
namespace {

using namespace TrainingShape;

// 2^(j/128) for j = 0..127, each the double nearest to the exact value.
alignas(32) const double twoToJBy128[128] = {
    0x1.0000000000000p+0, 0x1.0163da9fb3335p+0, 0x1.02c9a3e778061p+0, 0x1.04315e86e7f85p+0,
    0x1.059b0d3158574p+0, 0x1.0706b29ddf6dep+0, 0x1.0874518759bc8p+0, 0x1.09e3ecac6f383p+0,
    0x1.0b5586cf9890fp+0, 0x1.0cc922b7247f7p+0, 0x1.0e3ec32d3d1a2p+0, 0x1.0fb66affed31bp+0,
    0x1.11301d0125b51p+0, 0x1.12abdc06c31ccp+0, 0x1.1429aaea92de0p+0, 0x1.15a98c8a58e51p+0,
    0x1.172b83c7d517bp+0, 0x1.18af9388c8deap+0, 0x1.1a35beb6fcb75p+0, 0x1.1bbe084045cd4p+0,
    0x1.1d4873168b9aap+0, 0x1.1ed5022fcd91dp+0, 0x1.2063b88628cd6p+0, 0x1.21f49917ddc96p+0,
    0x1.2387a6e756238p+0, 0x1.251ce4fb2a63fp+0, 0x1.26b4565e27cddp+0, 0x1.284dfe1f56381p+0,
    0x1.29e9df51fdee1p+0, 0x1.2b87fd0dad990p+0, 0x1.2d285a6e4030bp+0, 0x1.2ecafa93e2f56p+0,
    0x1.306fe0a31b715p+0, 0x1.32170fc4cd831p+0, 0x1.33c08b26416ffp+0, 0x1.356c55f929ff1p+0,
    0x1.371a7373aa9cbp+0, 0x1.38cae6d05d866p+0, 0x1.3a7db34e59ff7p+0, 0x1.3c32dc313a8e5p+0,
    0x1.3dea64c123422p+0, 0x1.3fa4504ac801cp+0, 0x1.4160a21f72e2ap+0, 0x1.431f5d950a897p+0,
    0x1.44e086061892dp+0, 0x1.46a41ed1d0057p+0, 0x1.486a2b5c13cd0p+0, 0x1.4a32af0d7d3dep+0,
    0x1.4bfdad5362a27p+0, 0x1.4dcb299fddd0dp+0, 0x1.4f9b2769d2ca7p+0, 0x1.516daa2cf6642p+0,
    0x1.5342b569d4f82p+0, 0x1.551a4ca5d920fp+0, 0x1.56f4736b527dap+0, 0x1.58d12d497c7fdp+0,
    0x1.5ab07dd485429p+0, 0x1.5c9268a5946b7p+0, 0x1.5e76f15ad2148p+0, 0x1.605e1b976dc09p+0,
    0x1.6247eb03a5585p+0, 0x1.6434634ccc320p+0, 0x1.6623882552225p+0, 0x1.68155d44ca973p+0,
    0x1.6a09e667f3bcdp+0, 0x1.6c012750bdabfp+0, 0x1.6dfb23c651a2fp+0, 0x1.6ff7df9519484p+0,
    0x1.71f75e8ec5f74p+0, 0x1.73f9a48a58174p+0, 0x1.75feb564267c9p+0, 0x1.780694fde5d3fp+0,
    0x1.7a11473eb0187p+0, 0x1.7c1ed0130c132p+0, 0x1.7e2f336cf4e62p+0, 0x1.80427543e1a12p+0,
    0x1.82589994cce13p+0, 0x1.8471a4623c7adp+0, 0x1.868d99b4492edp+0, 0x1.88ac7d98a6699p+0,
    0x1.8ace5422aa0dbp+0, 0x1.8cf3216b5448cp+0, 0x1.8f1ae99157736p+0, 0x1.9145b0b91ffc6p+0,
    0x1.93737b0cdc5e5p+0, 0x1.95a44cbc8520fp+0, 0x1.97d829fde4e50p+0, 0x1.9a0f170ca07bap+0,
    0x1.9c49182a3f090p+0, 0x1.9e86319e32323p+0, 0x1.a0c667b5de565p+0, 0x1.a309bec4a2d33p+0,
    0x1.a5503b23e255dp+0, 0x1.a799e1330b358p+0, 0x1.a9e6b5579fdbfp+0, 0x1.ac36bbfd3f37ap+0,
    0x1.ae89f995ad3adp+0, 0x1.b0e07298db666p+0, 0x1.b33a2b84f15fbp+0, 0x1.b59728de5593ap+0,
    0x1.b7f76f2fb5e47p+0, 0x1.ba5b030a1064ap+0, 0x1.bcc1e904bc1d2p+0, 0x1.bf2c25bd71e09p+0,
    0x1.c199bdd85529cp+0, 0x1.c40ab5fffd07ap+0, 0x1.c67f12e57d14bp+0, 0x1.c8f6d9406e7b5p+0,
    0x1.cb720dcef9069p+0, 0x1.cdf0b555dc3fap+0, 0x1.d072d4a07897cp+0, 0x1.d2f87080d89f2p+0,
    0x1.d5818dcfba487p+0, 0x1.d80e316c98398p+0, 0x1.da9e603db3285p+0, 0x1.dd321f301b460p+0,
    0x1.dfc97337b9b5fp+0, 0x1.e264614f5a129p+0, 0x1.e502ee78b3ff6p+0, 0x1.e7a51fbc74c83p+0,
    0x1.ea4afa2a490dap+0, 0x1.ecf482d8e67f1p+0, 0x1.efa1bee615a27p+0, 0x1.f252b376bba97p+0,
    0x1.f50765b6e4540p+0, 0x1.f7bfdad9cbe14p+0, 0x1.fa7c1819e90d8p+0, 0x1.fd3c22b8f71f1p+0,
};

// ln2/128 split so that n * hi is exact for |n| < 2^17 in a fused multiply-add, and 128/ln2.
constexpr double ln2By128Hi = 0x1.62e42fefa39efp-8;
constexpr double ln2By128Lo = 0x1.abc9e3b39803fp-63;
constexpr double by128Ln2 = 0x1.71547652b82fep+7;
constexpr double roundingShift = 0x1.8p52;

// exp(x) for x in [-700, 700]: x = n ln2/128 + r with |r| <= ln2/256, exp(x) =
// 2^(n/128) exp(r), exp(r) by its degree-5 Taylor polynomial (remainder below 2^-60 of the
// result). The reduction loses under 2^-61, the table 2^-53, the polynomial's rounding some
// 2^-60 and the final multiply-add 2^-53: within 2 double ulps of exp(x); glibc's exp is within
// one. Outside the range the result is meaningless and the caller falls back.
LANES inline __m256d expLanes(__m256d x) {
    // n = x 128/ln2 rounded to an integer, in the low bits of k (any n near it would do: r is
    // computed from n exactly).
    const __m256d shift = _mm256_set1_pd(roundingShift);
    const __m256d k = _mm256_fmadd_pd(x, _mm256_set1_pd(by128Ln2), shift);
    const __m256d n = _mm256_sub_pd(k, shift);
    __m256d r = _mm256_fnmadd_pd(n, _mm256_set1_pd(ln2By128Hi), x);
    r = _mm256_fnmadd_pd(n, _mm256_set1_pd(ln2By128Lo), r);

    const __m256i bits = _mm256_castpd_si256(k); // 0x4338000000000000 + n
    const __m256i j = _mm256_and_si256(bits, _mm256_set1_epi64x(127));
    const __m256d t = _mm256_i64gather_pd(twoToJBy128, j, 8);
    // (n - j) / 128 in the exponent field: the shift pushes the rounding constant out.
    const __m256i scale = _mm256_slli_epi64(_mm256_sub_epi64(bits, j), 45);

    // exp(r) - 1 = r + r^2 (1/2 + r/6) + r^4 (1/24 + r/120), in pairs for a shorter chain.
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d low = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 6), r, _mm256_set1_pd(0.5));
    const __m256d high = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 120), r, _mm256_set1_pd(1.0 / 24));
    const __m256d q = _mm256_fmadd_pd(r2, _mm256_fmadd_pd(r2, high, low), r);
    const __m256d e = _mm256_fmadd_pd(t, q, t); // in [0.99, 2.01): a normal number
    return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(e), scale));
}

// Lanes (bit per lane) of doubles within `ulps` double ulps of a point half-way between two
// floats: rounded to float, they could come out otherwise than a value a few ulps away.
LANES inline int nearHalfway(__m256d v, __m256i ulps) {
    const __m256i low = _mm256_and_si256(_mm256_castpd_si256(v), _mm256_set1_epi64x(0x1FFFFFFF));
    const __m256i d = _mm256_sub_epi64(low, _mm256_set1_epi64x(0x10000000));
    const __m256i one = _mm256_set1_epi64x(1);
    const __m256i above = _mm256_cmpgt_epi64(_mm256_add_epi64(ulps, one), d);
    const __m256i below = _mm256_cmpgt_epi64(
        d, _mm256_sub_epi64(_mm256_setzero_si256(), _mm256_add_epi64(ulps, one)));
    return _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_and_si256(above, below)));
}

// The library's activation of one neuron, out of the lanes' way: taken for one lane in many.
[[gnu::noinline, gnu::cold]] float librarySigmoid(float sum, float steepness, float max) {
    return TrainingShape::librarySigmoid(sum, steepness, max);
}

// The library's sigmoids of four neurons, from x = -2 times the clipped steepened sum (or
// just -sum with steepness 0.5, see sigmoidArgument). The approximated exp and the library's
// differ by at most three ulps, which 1 / (1 + e) passes on at most unchanged; 1 + e and the
// division add two roundings to each: the doubles before the float rounding lie within 16
// ulps of each other, and 512 leave room.
// From |x| >= 110 on the float is known without an exp: at x <= -38 the library's 1 + exp(x)
// is already 1 and the sigmoid 1, at x >= 110 the sigmoid lies below half the smallest float
// and rounds to 0 (the library's clip to +-300/steepness changes neither). Between 80 and 110
// the float is near or below the smallest normal one, where half-way points lie elsewhere.
// Lanes in `used` near a half-way point, in [80, 110) or NaN are recomputed from the sums.
// `ulps` is 512, or beyond any distance to send every lane through libm.
LANES inline __m128 sigmoidLanes(__m128 x, __m128 sum, __m128 steep, __m128 max, int used,
                                 __m256i ulps, std::uint64_t& fallbacks) {
    const __m256d xd = _mm256_cvtps_pd(x);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d approximated = _mm256_div_pd(one, _mm256_add_pd(one, expLanes(xd)));
    const __m256d saturated = _mm256_cmp_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), xd),
                                            _mm256_set1_pd(110.0), _CMP_GE_OQ);
    const __m256d limit = _mm256_and_pd(_mm256_cmp_pd(xd, _mm256_setzero_pd(), _CMP_LE_OQ), one);
    const __m256d r = _mm256_blendv_pd(approximated, limit, saturated);
    const __m256d inRange =
        _mm256_or_pd(_mm256_cmp_pd(xd, _mm256_set1_pd(80.0), _CMP_LT_OQ), saturated);
    const int redo = (~_mm256_movemask_pd(inRange) | nearHalfway(r, ulps)) & used;
    __m128 f = _mm256_cvtpd_ps(r);
    if (redo) [[unlikely]] {
        alignas(16) float out[4], sums[4], steeps[4], maxes[4];
        _mm_store_ps(out, f);
        _mm_store_ps(sums, sum);
        _mm_store_ps(steeps, steep);
        _mm_store_ps(maxes, max);
        for (int lane = 0; lane < 4; ++lane)
            if (redo & (1 << lane)) {
                out[lane] = librarySigmoid(sums[lane], steeps[lane], maxes[lane]);
                ++fallbacks;
            }
        f = _mm_load_ps(out);
    }
    return f;
}

// The library's tanh error of one output's difference, exactly.
[[gnu::noinline, gnu::cold]] float libraryTanhError(float diff) {
    if (diff < -.9999999)
        return -17.0f;
    if (diff > .9999999)
        return 17.0f;
    return float(std::log((1.0 + diff) / (1.0 - diff)));
}

// The tanh error log((1 + d) / (1 - d)) of the three differences as 2 atanh(d), by its series
// to d^13 (the rest is below 2^-59 of the sum) where |d| <= 1/16. The library's quotient is
// rounded once before its log (2^-53 absolute) and its log is within an ulp; the series is
// within an ulp of 2 atanh(d). A lane within 2^-50 + |L| 2^-44 of a half-way point between
// floats, beyond 1/16 or NaN goes through libm, as does a tiny d, whose bound spans its floats.
// `force` is 0, or beyond any distance to send every lane through libm.
LANES inline __m128 tanhErrorLanes(__m128 diff, __m256i force, std::uint64_t& fallbacks) {
    const __m128 absDiff = _mm_andnot_ps(_mm_set1_ps(-0.0f), diff);
    const int inRange = _mm_movemask_ps(_mm_cmp_ps(absDiff, _mm_set1_ps(0.0625f), _CMP_LE_OQ));
    const __m256d d = _mm256_cvtps_pd(diff);
    // 1/3 + z/5 + z^2/7 + ... + z^5/13 with z = d^2, in pairs for a shorter chain.
    const __m256d z = _mm256_mul_pd(d, d);
    const __m256d z2 = _mm256_mul_pd(z, z);
    const __m256d z4 = _mm256_mul_pd(z2, z2);
    const __m256d a = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 5), z, _mm256_set1_pd(1.0 / 3));
    const __m256d b = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 9), z, _mm256_set1_pd(1.0 / 7));
    const __m256d c = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 13), z, _mm256_set1_pd(1.0 / 11));
    const __m256d p = _mm256_fmadd_pd(z4, c, _mm256_fmadd_pd(z2, b, a));
    const __m256d twoD = _mm256_add_pd(d, d);
    const __m256d l = _mm256_fmadd_pd(_mm256_mul_pd(twoD, z), p, twoD);

    // The bound in ulps of l: 2^-50 is 2^(1025 - E) ulps for l's biased exponent E, and
    // |l| 2^-44 at most 2^9. From 2^28 ulps on, every point is near; the shift stops at 40.
    const __m256i exponent =
        _mm256_and_si256(_mm256_srli_epi64(_mm256_castpd_si256(l), 52), _mm256_set1_epi64x(0x7FF));
    const __m256i shift = _mm256_min_epi32(_mm256_sub_epi64(_mm256_set1_epi64x(1025), exponent),
                                           _mm256_set1_epi64x(40));
    const __m256i ulps = _mm256_or_si256(
        _mm256_add_epi64(_mm256_set1_epi64x(512), _mm256_sllv_epi64(_mm256_set1_epi64x(1), shift)),
        force);
    const int redo = (~inRange | nearHalfway(l, ulps)) & 7;
    __m128 f = _mm256_cvtpd_ps(l);
    if (redo) [[unlikely]] {
        alignas(16) float out[4], in[4];
        _mm_store_ps(out, f);
        _mm_store_ps(in, diff);
        for (int lane = 0; lane < 3; ++lane)
            if (redo & (1 << lane)) {
                out[lane] = libraryTanhError(in[lane]);
                ++fallbacks;
            }
        f = _mm_load_ps(out);
    }
    return f;
}

// The sigmoid's derivative at the neurons' values as the library takes it: the value clipped
// to [0.01, 0.99], then 2 * steepness * value * (1 - value) left to right. With steepness 0.5
// the first product is 1 and drops out.
template <bool Folded> LANES inline __m256 derived(__m256 twoSteep, __m256 value) {
    __m256 v = _mm256_max_ps(_mm256_set1_ps(0.01f), value);
    v = _mm256_min_ps(_mm256_set1_ps(0.99f), v);
    const __m256 oneMinus = _mm256_sub_ps(_mm256_set1_ps(1.0f), v);
    if constexpr (Folded)
        return _mm256_mul_ps(v, oneMinus);
    else
        return _mm256_mul_ps(_mm256_mul_ps(twoSteep, v), oneMinus);
}

// -2 times the steepened sum clipped to +-150/steepness, as the library makes the sigmoid's
// argument. With steepness 0.5 just -sum: halving a float and doubling it back is exact (a sum
// below 2^-125 aside, whose sigmoid is 0.5 either way), and beyond the clip at |sum| = 600 the
// sigmoid is 0 or 1 whichever argument it gets (see sigmoidLanes).
template <bool Folded> LANES inline __m256 sigmoidArgument(__m256 sum, __m256 steep, __m256 max) {
    if constexpr (Folded) {
        return _mm256_xor_ps(sum, _mm256_set1_ps(-0.0f));
    } else {
        const __m256 s = _mm256_mul_ps(steep, sum);
        const __m256 negMax = _mm256_xor_ps(max, _mm256_set1_ps(-0.0f));
        __m256 c = _mm256_blendv_ps(s, negMax, _mm256_cmp_ps(s, negMax, _CMP_LT_OQ));
        c = _mm256_blendv_ps(c, max, _mm256_cmp_ps(s, max, _CMP_GT_OQ));
        return _mm256_mul_ps(_mm256_set1_ps(-2.0f), c);
    }
}

template <int Lane> LANES inline __m256 broadcastLane(__m256 v) {
    return _mm256_permutevar8x32_ps(v, _mm256_set1_epi32(Lane));
}

// Hidden weights transposed: hidden[i] holds input i's weight into each hidden neuron, neuron j
// in lane j (lanes 5 to 7 stay zero). Output weights by output: byOutput[k] holds output k's six
// weights (lane i), as the hidden errors and the updates take them; the forward sum takes them
// transposed (outputWeightsByHidden).
struct Lanes {
    __m256 hidden[perNeuron], hiddenDelta[perNeuron];
    __m256 byOutput[numOut], byOutputDelta[numOut];
};

// The output weights transposed, two hidden values' in each vector: pairs[i] holds hidden value
// i's weight into each output (lane k) in its low half, value i + 4's in its high half.
LANES inline void outputWeightsByHidden(const __m256 byOutput[numOut], __m256 pairs[4]) {
    const __m256 zero = _mm256_setzero_ps();
    const __m256 t0 = _mm256_unpacklo_ps(byOutput[0], byOutput[1]);
    const __m256 t1 = _mm256_unpackhi_ps(byOutput[0], byOutput[1]);
    const __m256 t2 = _mm256_unpacklo_ps(byOutput[2], zero);
    const __m256 t3 = _mm256_unpackhi_ps(byOutput[2], zero);
    pairs[0] = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    pairs[1] = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    pairs[2] = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    pairs[3] = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
}

LANES void loadLanes(const State& s, Lanes& l) {
    for (unsigned i = 0; i < perNeuron; ++i) {
        alignas(32) float w[8] = {}, dw[8] = {};
        for (unsigned j = 0; j < numHidden; ++j) {
            w[j] = s.w[j * perNeuron + i];
            dw[j] = s.dw[j * perNeuron + i];
        }
        l.hidden[i] = _mm256_load_ps(w);
        l.hiddenDelta[i] = _mm256_load_ps(dw);
    }
    for (unsigned k = 0; k < numOut; ++k) {
        alignas(32) float w[8] = {}, dw[8] = {};
        std::memcpy(w, s.w + hiddenWeights + k * perNeuron, perNeuron * sizeof(float));
        std::memcpy(dw, s.dw + hiddenWeights + k * perNeuron, perNeuron * sizeof(float));
        l.byOutput[k] = _mm256_load_ps(w);
        l.byOutputDelta[k] = _mm256_load_ps(dw);
    }
}

LANES void storeLanes(const Lanes& l, State& s) {
    for (unsigned i = 0; i < perNeuron; ++i) {
        alignas(32) float w[8], dw[8];
        _mm256_store_ps(w, l.hidden[i]);
        _mm256_store_ps(dw, l.hiddenDelta[i]);
        for (unsigned j = 0; j < numHidden; ++j) {
            s.w[j * perNeuron + i] = w[j];
            s.dw[j * perNeuron + i] = dw[j];
        }
    }
    for (unsigned k = 0; k < numOut; ++k) {
        alignas(32) float w[8], dw[8];
        _mm256_store_ps(w, l.byOutput[k]);
        _mm256_store_ps(dw, l.byOutputDelta[k]);
        std::memcpy(s.w + hiddenWeights + k * perNeuron, w, perNeuron * sizeof(float));
        std::memcpy(s.dw + hiddenWeights + k * perNeuron, dw, perNeuron * sizeof(float));
    }
}

template <bool Folded, bool TanhError>
LANES void trainLanes(State& s, const float* inputs, const float* targets, std::size_t count,
                      bool allFallback, Fallbacks& fallbacks) {
    Lanes l;
    loadLanes(s, l);
    alignas(32) float steepH[8] = {}, maxH[8] = {}, twoSteepH[8] = {};
    alignas(32) float steepO[8] = {}, maxO[8] = {}, twoSteepO[8] = {};
    for (unsigned j = 0; j < numHidden; ++j) {
        steepH[j] = s.steepH[j];
        maxH[j] = s.maxH[j];
        twoSteepH[j] = 2.0f * s.steepH[j];
    }
    for (unsigned k = 0; k < numOut; ++k) {
        steepO[k] = s.steepO[k];
        maxO[k] = s.maxO[k];
        twoSteepO[k] = 2.0f * s.steepO[k];
    }
    const __m256 steepHv = _mm256_load_ps(steepH), maxHv = _mm256_load_ps(maxH),
                 twoSteepHv = _mm256_load_ps(twoSteepH);
    const __m256 steepOv = _mm256_load_ps(steepO), maxOv = _mm256_load_ps(maxO),
                 twoSteepOv = _mm256_load_ps(twoSteepO);
    const __m256 rate = _mm256_set1_ps(s.rate), momentum = _mm256_set1_ps(s.momentum);
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 hiddenLanes = _mm256_castsi256_ps(_mm256_setr_epi32(-1, -1, -1, -1, -1, 0, 0, 0));
    const __m256 outputLanes = _mm256_castsi256_ps(_mm256_setr_epi32(-1, -1, -1, 0, 0, 0, 0, 0));
    // The hidden layer's values with its bias neuron's 1 in lane 5.
    const __m256 biasLane = _mm256_setr_ps(0, 0, 0, 0, 0, 1.0f, 0, 0);
    const __m128i targetLanes = _mm_setr_epi32(-1, -1, -1, 0);
    // Every lane through libm: a distance to half-way points no double exceeds.
    const __m256i force = _mm256_set1_epi64x(allFallback ? std::int64_t(1) << 40 : 0);
    const __m256i sigmoidUlps = _mm256_or_si256(_mm256_set1_epi64x(512), force);
    const float bitFailLimit = s.bitFailLimit;
    float mse = s.mse;
    unsigned bitFails = s.numBitFail;

    for (std::size_t p = 0; p < count; ++p) {
        const float* in = inputs + p * numIn;
        const __m256 x[perNeuron] = {_mm256_broadcast_ss(in),     _mm256_broadcast_ss(in + 1),
                                     _mm256_broadcast_ss(in + 2), _mm256_broadcast_ss(in + 3),
                                     _mm256_broadcast_ss(in + 4), one};

        // The hidden sums in the library's order: connections 1 and 0 left over from its
        // groups of four, then the group (2 + 3) + 4 + 5. Its leading 0 + is dropped: it only
        // turns a sum of -0 into +0, whose sigmoid is the same 0.5.
        __m256 sum =
            _mm256_add_ps(_mm256_mul_ps(l.hidden[1], x[1]), _mm256_mul_ps(l.hidden[0], x[0]));
        __m256 group =
            _mm256_add_ps(_mm256_mul_ps(l.hidden[2], x[2]), _mm256_mul_ps(l.hidden[3], x[3]));
        group = _mm256_add_ps(group, _mm256_mul_ps(l.hidden[4], x[4]));
        group = _mm256_add_ps(group, _mm256_mul_ps(l.hidden[5], x[5]));
        sum = _mm256_add_ps(sum, group);
        const __m256 hx = sigmoidArgument<Folded>(sum, steepHv, maxHv);
        const __m128 h0 =
            sigmoidLanes(_mm256_castps256_ps128(hx), _mm256_castps256_ps128(sum),
                         _mm256_castps256_ps128(steepHv), _mm256_castps256_ps128(maxHv), 0xF,
                         sigmoidUlps, fallbacks.sigmoids);
        const __m128 h1 =
            sigmoidLanes(_mm256_extractf128_ps(hx, 1), _mm256_extractf128_ps(sum, 1),
                         _mm256_extractf128_ps(steepHv, 1), _mm256_extractf128_ps(maxHv, 1), 0x1,
                         sigmoidUlps, fallbacks.sigmoids);
        const __m256 h = _mm256_blend_ps(_mm256_set_m128(h1, h0), biasLane, 0xE0);

        // The output sums, the outputs in lanes, in the same order; hidden values i and i + 4
        // broadcast into the two halves of one vector.
        __m256 pairs[4];
        outputWeightsByHidden(l.byOutput, pairs);
        const __m256 h04 = _mm256_permutevar8x32_ps(h, _mm256_setr_epi32(0, 0, 0, 0, 4, 4, 4, 4));
        const __m256 h15 = _mm256_permutevar8x32_ps(h, _mm256_setr_epi32(1, 1, 1, 1, 5, 5, 5, 5));
        const __m256 q04 = _mm256_mul_ps(pairs[0], h04);
        const __m256 q15 = _mm256_mul_ps(pairs[1], h15);
        const __m128 q2 = _mm_mul_ps(_mm256_castps256_ps128(pairs[2]),
                                     _mm256_castps256_ps128(broadcastLane<2>(h)));
        const __m128 q3 = _mm_mul_ps(_mm256_castps256_ps128(pairs[3]),
                                     _mm256_castps256_ps128(broadcastLane<3>(h)));
        __m128 ogroup = _mm_add_ps(q2, q3);
        ogroup = _mm_add_ps(ogroup, _mm256_extractf128_ps(q04, 1));
        ogroup = _mm_add_ps(ogroup, _mm256_extractf128_ps(q15, 1));
        const __m128 osum = _mm_add_ps(
            _mm_add_ps(_mm256_castps256_ps128(q15), _mm256_castps256_ps128(q04)), ogroup);
        const __m256 ox = sigmoidArgument<Folded>(_mm256_castps128_ps256(osum), steepOv, maxOv);
        const __m128 y =
            sigmoidLanes(_mm256_castps256_ps128(ox), osum, _mm256_castps256_ps128(steepOv),
                         _mm256_castps256_ps128(maxOv), 0x7, sigmoidUlps, fallbacks.sigmoids);

        // The error: squared differences summed output after output, bit fails counted, the
        // difference through the tanh error function, times the derivative.
        const __m128 diff = _mm_sub_ps(_mm_maskload_ps(targets + p * numOut, targetLanes), y);
        alignas(16) float sq[4];
        _mm_store_ps(sq, _mm_mul_ps(diff, diff));
        mse += sq[0];
        mse += sq[1];
        mse += sq[2];
        const __m128 absDiff = _mm_andnot_ps(_mm_set1_ps(-0.0f), diff);
        bitFails += unsigned(__builtin_popcount(
            _mm_movemask_ps(_mm_cmp_ps(absDiff, _mm_set1_ps(bitFailLimit), _CMP_GE_OQ)) & 7));
        __m128 err = diff;
        if constexpr (TanhError)
            err = tanhErrorLanes(diff, force, fallbacks.logs);
        // The derivatives' padding lanes are zeroed, and with them the errors'.
        const __m256 e = _mm256_mul_ps(
            _mm256_and_ps(derived<Folded>(twoSteepOv, _mm256_castps128_ps256(y)), outputLanes),
            _mm256_castps128_ps256(err));

        // The hidden errors: 0 + e0 w0i + e1 w1i + e2 w2i, then times the derivative.
        const __m256 e0 = broadcastLane<0>(e), e1 = broadcastLane<1>(e), e2 = broadcastLane<2>(e);
        __m256 back = _mm256_add_ps(_mm256_setzero_ps(), _mm256_mul_ps(e0, l.byOutput[0]));
        back = _mm256_add_ps(back, _mm256_mul_ps(e1, l.byOutput[1]));
        back = _mm256_add_ps(back, _mm256_mul_ps(e2, l.byOutput[2]));
        const __m256 g =
            _mm256_mul_ps(back, _mm256_and_ps(derived<Folded>(twoSteepHv, h), hiddenLanes));

        // The updates: delta = step * value + momentum * previous delta, weight += delta.
        const __m256 hiddenStep = _mm256_mul_ps(g, rate);
        for (unsigned i = 0; i < perNeuron; ++i) {
            const __m256 delta = _mm256_add_ps(_mm256_mul_ps(hiddenStep, x[i]),
                                               _mm256_mul_ps(momentum, l.hiddenDelta[i]));
            l.hidden[i] = _mm256_add_ps(l.hidden[i], delta);
            l.hiddenDelta[i] = delta;
        }
        const __m256 outStep = _mm256_mul_ps(e, rate);
        const __m256 outSteps[numOut] = {broadcastLane<0>(outStep), broadcastLane<1>(outStep),
                                         broadcastLane<2>(outStep)};
        for (unsigned k = 0; k < numOut; ++k) {
            const __m256 delta = _mm256_add_ps(_mm256_mul_ps(outSteps[k], h),
                                               _mm256_mul_ps(momentum, l.byOutputDelta[k]));
            l.byOutput[k] = _mm256_add_ps(l.byOutput[k], delta);
            l.byOutputDelta[k] = delta;
        }
    }

    storeLanes(l, s);
    s.mse = mse;
    s.numBitFail = bitFails;
    s.numMse += unsigned(count) * numOut;
    fallbacks.patterns += count;
}

} // namespace

LANES void train(State& state, const float* inputs, const float* targets, std::size_t count,
                 bool allFallback, Fallbacks* fallbacks) {
    Fallbacks local;
    Fallbacks& f = fallbacks ? *fallbacks : local;
    bool folded = true;
    for (unsigned j = 0; j < numHidden; ++j)
        folded = folded && state.steepH[j] == 0.5f;
    for (unsigned k = 0; k < numOut; ++k)
        folded = folded && state.steepO[k] == 0.5f;
    if (folded && state.tanhError)
        trainLanes<true, true>(state, inputs, targets, count, allFallback, f);
    else if (folded)
        trainLanes<true, false>(state, inputs, targets, count, allFallback, f);
    else if (state.tanhError)
        trainLanes<false, true>(state, inputs, targets, count, allFallback, f);
    else
        trainLanes<false, false>(state, inputs, targets, count, allFallback, f);
}

LANES void sigmoids(const float* sums, float* out, std::size_t count, float steepness,
                    Fallbacks* fallbacks) {
    Fallbacks local;
    Fallbacks& f = fallbacks ? *fallbacks : local;
    const __m256 steep = _mm256_set1_ps(steepness), max = _mm256_set1_ps(150 / steepness);
    const __m256i ulps = _mm256_set1_epi64x(512);
    for (std::size_t i = 0; i < count; i += 4) {
        const std::size_t n = count - i < 4 ? count - i : 4;
        alignas(16) float in[4] = {}, result[4];
        std::memcpy(in, sums + i, n * sizeof(float));
        const __m256 sum = _mm256_castps128_ps256(_mm_load_ps(in));
        const __m256 x = steepness == 0.5f ? sigmoidArgument<true>(sum, steep, max)
                                           : sigmoidArgument<false>(sum, steep, max);
        _mm_store_ps(result,
                     sigmoidLanes(_mm256_castps256_ps128(x), _mm_load_ps(in),
                                  _mm256_castps256_ps128(steep), _mm256_castps256_ps128(max),
                                  (1 << n) - 1, ulps, f.sigmoids));
        std::memcpy(out + i, result, n * sizeof(float));
    }
}

LANES void tanhErrors(const float* diffs, float* out, std::size_t count, Fallbacks* fallbacks) {
    Fallbacks local;
    Fallbacks& f = fallbacks ? *fallbacks : local;
    for (std::size_t i = 0; i < count; i += 3) {
        const std::size_t n = count - i < 3 ? count - i : 3;
        alignas(16) float in[4] = {}, result[4];
        std::memcpy(in, diffs + i, n * sizeof(float));
        // The lanes take three differences, as many as the outputs; a short tail's missing
        // ones are 0, through libm like any tiny difference.
        _mm_store_ps(result, tanhErrorLanes(_mm_load_ps(in), _mm256_setzero_si256(), f.logs));
        std::memcpy(out + i, result, n * sizeof(float));
    }
}

} // namespace TrainingLanes
