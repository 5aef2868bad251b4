#include "foundation/noise/noise.h"

#include <atomic>
#include <bit>
#include <climits>
#include <cmath>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/host/base/crt.h"
#include "foundation/host/base/vector_level.h"
#include "foundation/noise/noise_internal.h"
#include "foundation/noise/noise_kernels.h"

namespace loom::noise {
namespace {

inline constexpr int kMask = NOISE_B - 1;

// Lazy-start state; the tables are written only by the thread that wins the move from
// kUnbuilt to kBuilding, and read only after kBuilt has been observed with acquire order.
enum : int { kUnbuilt = 0, kBuilding = 1, kBuilt = 2 };
std::atomic<int> gNoiseStart{kUnbuilt};
NoiseTables gTables;

[[gnu::cold, gnu::noinline]] void BuildOnce() noexcept {
    int seen = kUnbuilt;
    if (gNoiseStart.compare_exchange_strong(seen, kBuilding, std::memory_order_acq_rel,
                                            std::memory_order_acquire)) {
        // The build runs here, on the calling thread, so it draws from that thread's
        // generator exactly as a single-threaded first call would.
        BuildNoiseTables(gTables);
        gNoiseStart.store(kBuilt, std::memory_order_release);
        return;
    }
    // The build takes microseconds, so a thread that lost the race just yields until it is
    // done. (Not atomic::wait: its shared waiter pool would add an exported unique symbol to
    // every plug-in.)
    while (gNoiseStart.load(std::memory_order_acquire) != kBuilt) std::this_thread::yield();
}

inline const NoiseTables& Tables() noexcept {
    if (gNoiseStart.load(std::memory_order_acquire) != kBuilt) [[unlikely]]
        BuildOnce();
    return gTables;
}

// One random gradient component: a multiple of 1/256 in -1 .. 255/256.
inline float RandomComponent() noexcept {
    return static_cast<float>((crt::rand() % (2 * NOISE_B)) - NOISE_B) * 0.00390625f;
}

// A zero vector has no direction; it is kept as the zero vector instead of dividing by 0.
template <int N>
void Normalize(float (&v)[N]) noexcept {
    double sum = 0.0;
    for (int i = 0; i < N; ++i) sum += static_cast<double>(v[i]) * static_cast<double>(v[i]);
    const double s = std::sqrt(sum);
    if (s == 0.0) return;
    for (int i = 0; i < N; ++i) v[i] = static_cast<float>(static_cast<double>(v[i]) / s);
}

// Truncation toward zero with the x86 conversion's answer (INT_MIN) for values outside the
// int range and for NaN, so that huge coordinates are well defined.
inline int TruncToInt(double t) noexcept {
#if defined(__SSE2__)
    return _mm_cvttsd_si32(_mm_set_sd(t));
#else
    if (t > -2147483649.0 && t < 2147483648.0) return static_cast<int>(t);
    return INT_MIN;
#endif
}

struct Lattice {
    int b0, b1;
    double r0, r1;
};

inline Lattice Setup(float c) noexcept {
    const double t = static_cast<double>(c) + NOISE_N;
    const int k = TruncToInt(t);
    Lattice l;
    l.b0 = k & kMask;
    l.b1 = (l.b0 + 1) & kMask;
    l.r0 = t - k;
    l.r1 = l.r0 - 1.0;
    return l;
}

inline double SCurve(double r) noexcept { return r * r * (3.0 - 2.0 * r); }
inline double Lerp(double s, double a, double b) noexcept { return a + s * (b - a); }

inline double Dot2(const float q[2], double x, double y) noexcept {
    return x * static_cast<double>(q[0]) + y * static_cast<double>(q[1]);
}

// Two doubles side by side, for the corner rows of noise3.
using V2 = double __attribute__((vector_size(16)));
inline V2 Pair(float a, float b) noexcept {
    return V2{static_cast<double>(a), static_cast<double>(b)};
}

// Four doubles side by side: one sample per lane in noise3Batch.
using V4 = double __attribute__((vector_size(32)));
constexpr int kLanes = 4;

// noise3 of four samples: the lattice set-up and the table reads per lane, the arithmetic
// on all four at once in noise3's order, operation for operation, so each lane gets the
// bits a single call gives.
[[gnu::always_inline]] inline void Noise3Four(const NoiseTables& t, const float* x, const float* y,
                                              const float* z, float* out) noexcept {
    V4 rx0, rx1, ry0, ry1, rz0, rz1;
    // g[plane][corner][component]; corners b00, b10, b01, b11.
    V4 g[2][4][3];
    for (int l = 0; l < kLanes; ++l) {
        const Lattice lx = Setup(x[l]);
        const Lattice ly = Setup(y[l]);
        const Lattice lz = Setup(z[l]);
        const int i = t.p[lx.b0];
        const int j = t.p[lx.b1];
        const int corner[4] = {t.p[i + ly.b0], t.p[j + ly.b0], t.p[i + ly.b1], t.p[j + ly.b1]};
        rx0[l] = lx.r0;
        rx1[l] = lx.r1;
        ry0[l] = ly.r0;
        ry1[l] = ly.r1;
        rz0[l] = lz.r0;
        rz1[l] = lz.r1;
        for (int plane = 0; plane < 2; ++plane) {
            const int bz = plane == 0 ? lz.b0 : lz.b1;
            for (int k = 0; k < 4; ++k) {
                const float* q = t.g3[corner[k] + bz];
                for (int c = 0; c < 3; ++c) g[plane][k][c][l] = static_cast<double>(q[c]);
            }
        }
    }
    const V4 sx = rx0 * rx0 * (3.0 - 2.0 * rx0);
    const V4 sy = ry0 * ry0 * (3.0 - 2.0 * ry0);
    const V4 sz = rz0 * rz0 * (3.0 - 2.0 * rz0);
    // (Vectors pass by reference: by value they would change the calling convention of
    // the build without AVX.)
    const auto plane = [&](const V4(&q)[4][3], const V4& rz, V4& res) noexcept {
        const V4 near0 = rx0 * q[0][0] + ry0 * q[0][1] + rz * q[0][2];
        const V4 far0 = rx1 * q[1][0] + ry0 * q[1][1] + rz * q[1][2];
        const V4 near1 = rx0 * q[2][0] + ry1 * q[2][1] + rz * q[2][2];
        const V4 far1 = rx1 * q[3][0] + ry1 * q[3][1] + rz * q[3][2];
        const V4 a = near0 + sx * (far0 - near0);
        const V4 b = near1 + sx * (far1 - near1);
        res = a + sy * (b - a);
    };
    V4 c, d;
    plane(g[0], rz0, c);
    plane(g[1], rz1, d);
    const V4 r = c + sz * (d - c);
    for (int l = 0; l < kLanes; ++l) out[l] = static_cast<float>(r[l]);
}

// The whole batch, four at a time; the last short group padded with zeros.
[[gnu::always_inline]] inline void Noise3Lanes(const NoiseTables& t, const float* x, const float* y,
                                               const float* z, int n, float* out) noexcept {
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) Noise3Four(t, x + i, y + i, z + i, out + i);
    if (i < n) {
        float px[kLanes] = {}, py[kLanes] = {}, pz[kLanes] = {}, po[kLanes];
        for (int k = 0; i + k < n; ++k) {
            px[k] = x[i + k];
            py[k] = y[i + k];
            pz[k] = z[i + k];
        }
        Noise3Four(t, px, py, pz, po);
        for (int k = 0; i + k < n; ++k) out[i + k] = po[k];
    }
}

void Noise3LanesBase(const NoiseTables& t, const float* x, const float* y, const float* z, int n,
                     float* out) noexcept {
    Noise3Lanes(t, x, y, z, n, out);
}

}  // namespace

void BuildNoiseTables(NoiseTables& t) noexcept {
    for (int i = 0; i < NOISE_B; ++i) {
        t.p[i] = i;
        t.g1[i] = RandomComponent();
        for (float& c : t.g2[i]) c = RandomComponent();
        Normalize(t.g2[i]);
        for (float& c : t.g3[i]) c = RandomComponent();
        Normalize(t.g3[i]);
    }
    for (int i = NOISE_B - 1; i > 0; --i) {
        const int j = crt::rand() % NOISE_B;
        const std::int32_t k = t.p[i];
        t.p[i] = t.p[j];
        t.p[j] = k;
    }
    for (int i = 0; i < NOISE_B + 2; ++i) {
        t.p[NOISE_B + i] = t.p[i];
        t.g1[NOISE_B + i] = t.g1[i];
        for (int d = 0; d < 2; ++d) t.g2[NOISE_B + i][d] = t.g2[i][d];
        for (int d = 0; d < 3; ++d) t.g3[NOISE_B + i][d] = t.g3[i][d];
    }
    for (int m = 0; m < NOISE_B; ++m) {
        t.p8[m] = static_cast<std::uint8_t>(t.p[m]);
        for (int d = 0; d < 3; ++d) {
            t.g3Pairs[m][d] = t.g3[m][d];
            t.g3Pairs[m][3 + d] = t.g3[m + 1][d];
        }
        t.g3Pairs[m][6] = t.g3Pairs[m][7] = 0.0f;
    }
    t.reserved[0] = t.reserved[1] = 0;
}

const NoiseTables& ActiveNoiseTables() noexcept { return Tables(); }

void Noise3BatchOnTables(const NoiseTables& t, const float* x, const float* y, const float* z,
                         int n, float* out) noexcept {
    Noise3Batch(t, x, y, z, n, out);
}

bool NoiseTablesBuilt() noexcept { return gNoiseStart.load(std::memory_order_acquire) == kBuilt; }

float Noise3(const NoiseTables& t, const float v[3]) noexcept {
    const Lattice lx = Setup(v[0]);
    const Lattice ly = Setup(v[1]);
    const Lattice lz = Setup(v[2]);
    const int i = t.p[lx.b0];
    const int j = t.p[lx.b1];
    const int b00 = t.p[i + ly.b0];
    const int b10 = t.p[j + ly.b0];
    const int b01 = t.p[i + ly.b1];
    const int b11 = t.p[j + ly.b1];
    const double sx = SCurve(lx.r0);
    const double sy = SCurve(ly.r0);
    const double sz = SCurve(lz.r0);

    // The z index is added to the corner index without a further permutation lookup.
    // Lane 0 carries the y0 row (corners b00, b10), lane 1 the y1 row (b01, b11); each lane
    // does the scalar steps in the scalar order, so the results are those of plain doubles.
    const V2 ry = {ly.r0, ly.r1};
    const auto plane = [&](int bz, double rz) noexcept {
        const float* q00 = t.g3[b00 + bz];
        const float* q01 = t.g3[b01 + bz];
        const float* q10 = t.g3[b10 + bz];
        const float* q11 = t.g3[b11 + bz];
        const V2 near =
            lx.r0 * Pair(q00[0], q01[0]) + ry * Pair(q00[1], q01[1]) + rz * Pair(q00[2], q01[2]);
        const V2 far =
            lx.r1 * Pair(q10[0], q11[0]) + ry * Pair(q10[1], q11[1]) + rz * Pair(q10[2], q11[2]);
        const V2 ab = near + sx * (far - near);  // lerp(sx, ...) of both rows
        return Lerp(sy, ab[0], ab[1]);
    };
    const double c = plane(lz.b0, lz.r0);
    const double d = plane(lz.b1, lz.r1);
    return static_cast<float>(Lerp(sz, c, d));
}

void Noise3Batch(const NoiseTables& t, VectorLevel level, const float* x, const float* y,
                 const float* z, int n, float* out) noexcept {
    if (level == VectorLevel::kAvx512 && detail::kNoise3Avx512 &&
        ProcessorRunsVectorLevel(VectorLevel::kAvx512)) {
        static const bool vbmi = ProcessorHasVectorExtension(VectorExtension::kAvx512Vbmi);
        (vbmi ? detail::kNoise3Avx512Vbmi : detail::kNoise3Avx512)(t, x, y, z, n, out);
    } else if (level >= VectorLevel::kAvx2 && detail::kNoise3Avx2 &&
               ProcessorRunsVectorLevel(VectorLevel::kAvx2)) {
        detail::kNoise3Avx2(t, x, y, z, n, out);
    } else if (level == VectorLevel::kScalar) {
        for (int i = 0; i < n; ++i) {
            const float v[3] = {x[i], y[i], z[i]};
            out[i] = Noise3(t, v);
        }
    } else {
        Noise3LanesBase(t, x, y, z, n, out);
    }
}

void Noise3Batch(const NoiseTables& t, const float* x, const float* y, const float* z, int n,
                 float* out) noexcept {
    static const VectorLevel level = ActiveVectorLevel();
    // One or two samples cost less one by one than a vector step of eight.
    Noise3Batch(t, n <= 2 ? VectorLevel::kScalar : level, x, y, z, n, out);
}

}  // namespace loom::noise

float bias(float a, float b) noexcept {
    const float lnB = static_cast<float>(std::log(static_cast<double>(b)));
    return static_cast<float>(
        std::pow(static_cast<double>(a), static_cast<double>(lnB) / std::log(0.5)));
}

float gain(float a, float b) noexcept {
    // The thresholds compare bit patterns as signed ints: equal to the ordinary comparison
    // for finite non-negative a, and every negative a (-0 included) falls below the first.
    constexpr std::int32_t kLow = std::bit_cast<std::int32_t>(0.001f);
    constexpr std::int32_t kHigh = std::bit_cast<std::int32_t>(0.999f);
    constexpr std::int32_t kHalf = std::bit_cast<std::int32_t>(0.5f);
    static_assert(kLow == 0x3A83126F && kHigh == 0x3F7FBE77 && kHalf == 0x3F000000);

    const float lnB = static_cast<float>(std::log(1.0 - static_cast<double>(b)));
    const float e = static_cast<float>(static_cast<double>(lnB) / std::log(0.5));
    const std::int32_t bits = std::bit_cast<std::int32_t>(a);
    if (bits < kLow) return 0.0f;
    if (bits > kHigh) return 1.0f;
    const double ad = static_cast<double>(a);
    const double ed = static_cast<double>(e);
    if (bits < kHalf) return static_cast<float>(std::pow(2.0 * ad, ed) * 0.5);
    return static_cast<float>(std::pow(2.0 * (1.0 - ad), ed) * -0.5 + 1.0);
}

float noise1(float x) noexcept {
    using namespace loom::noise;
    const NoiseTables& t = Tables();
    const Lattice lx = Setup(x);
    const double u = lx.r0 * static_cast<double>(t.g1[t.p[lx.b0]]);
    const double v = lx.r1 * static_cast<double>(t.g1[t.p[lx.b1]]);
    return static_cast<float>(Lerp(SCurve(lx.r0), u, v));
}

float noise2(const float v[2]) noexcept {
    using namespace loom::noise;
    const NoiseTables& t = Tables();
    const Lattice lx = Setup(v[0]);
    const Lattice ly = Setup(v[1]);
    const int i = t.p[lx.b0];
    const int j = t.p[lx.b1];
    const int b00 = t.p[i + ly.b0];
    const int b10 = t.p[j + ly.b0];
    const int b01 = t.p[i + ly.b1];
    const int b11 = t.p[j + ly.b1];
    const double sx = SCurve(lx.r0);
    const double sy = SCurve(ly.r0);
    const double a = Lerp(sx, Dot2(t.g2[b00], lx.r0, ly.r0), Dot2(t.g2[b10], lx.r1, ly.r0));
    const double b = Lerp(sx, Dot2(t.g2[b01], lx.r0, ly.r1), Dot2(t.g2[b11], lx.r1, ly.r1));
    return static_cast<float>(Lerp(sy, a, b));
}

float noise3(const float v[3]) noexcept { return loom::noise::Noise3(loom::noise::Tables(), v); }

void noise3Batch(const float* x, const float* y, const float* z, int n, float* out) noexcept {
    loom::noise::Noise3Batch(loom::noise::Tables(), x, y, z, n, out);
}

float noiseN(const float* v, int n) noexcept {
    switch (n) {
        case 0:
            return 0.0f;
        case 1:
            return noise1(v[0]);
        case 2:
            return noise2(v);
        default:
            return noise3(v);
    }
}
