// Seeded tables and periodic lattices: the noise a pattern asks for with a seed or a tile.
// With neither, every function here hands over to noise3, noise3Batch and turbulence, so
// the default bits come from exactly the code they always came from.
#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/host/base/crt.h"
#include "foundation/noise/noise.h"
#include "foundation/noise/noise_internal.h"
#include "foundation/noise/noise_kernels.h"

namespace loom::noise {
namespace {

constexpr int kMask = NOISE_B - 1;

// Truncation toward zero with INT_MIN outside the int range and for NaN (as noise.cpp).
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

// An axis's period with its reciprocal, so that the wrap multiplies instead of dividing.
struct Wrap {
    int period = 0;  // 0: none
    double inverse = 0.0;
};

Wrap WrapOf(int period) noexcept {
    return period > 0 ? Wrap{period, 1.0 / static_cast<double>(period)} : Wrap{};
}

// noise3's lattice set-up, with the lattice index wrapped at the period when there is one:
// the corners of cell k are k mod p and (k + 1) mod p, so the noise repeats every p units.
inline Lattice Setup(float c, const Wrap& w) noexcept {
    const double t = static_cast<double>(c) + NOISE_N;
    const int k = TruncToInt(t);
    Lattice l;
    l.r0 = t - k;
    l.r1 = l.r0 - 1.0;
    if (w.period > 0) {
        // The quotient from the reciprocal may be one off either way; the remainder is
        // brought back into 0 .. p - 1 (64 bits: k may be INT_MIN).
        const long long q = static_cast<long long>(static_cast<double>(k) * w.inverse);
        long long m = static_cast<long long>(k) - q * w.period;
        while (m >= w.period) m -= w.period;
        while (m < 0) m += w.period;
        const int b = static_cast<int>(m);
        l.b0 = b & kMask;
        l.b1 = (b + 1 == w.period ? 0 : b + 1) & kMask;
    } else {
        l.b0 = k & kMask;
        l.b1 = (l.b0 + 1) & kMask;
    }
    return l;
}

struct Wraps {
    Wrap x, y, z;
};

using V4 = double __attribute__((vector_size(32)));
constexpr int kLanes = 4;

// Four samples of wrapped noise: noise3's arithmetic in its order (that of noise.cpp's
// four-lane kernel), only the corner indices differ.
[[gnu::always_inline]] inline void Noise3FourWrapped(const NoiseTables& t, const Wraps& p,
                                                     const float* x, const float* y, const float* z,
                                                     float* out) noexcept {
    V4 rx0, rx1, ry0, ry1, rz0, rz1;
    V4 g[2][4][3];
    for (int l = 0; l < kLanes; ++l) {
        const Lattice lx = Setup(x[l], p.x);
        const Lattice ly = Setup(y[l], p.y);
        const Lattice lz = Setup(z[l], p.z);
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

[[gnu::always_inline]] inline void WrappedLanes(const NoiseTables& t, const Wraps& p,
                                                const float* x, const float* y, const float* z,
                                                int n, float* out) noexcept {
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) Noise3FourWrapped(t, p, x + i, y + i, z + i, out + i);
    if (i < n) {
        float px[kLanes] = {}, py[kLanes] = {}, pz[kLanes] = {}, po[kLanes];
        for (int k = 0; i + k < n; ++k) {
            px[k] = x[i + k];
            py[k] = y[i + k];
            pz[k] = z[i + k];
        }
        Noise3FourWrapped(t, p, px, py, pz, po);
        for (int k = 0; i + k < n; ++k) out[i + k] = po[k];
    }
}

void WrappedLanesBase(const NoiseTables& t, const Wraps& p, const float* x, const float* y,
                      const float* z, int n, float* out) noexcept {
    WrappedLanes(t, p, x, y, z, n, out);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void WrappedLanesAvx2(const NoiseTables& t, const Wraps& p, const float* x,
                                              const float* y, const float* z, int n,
                                              float* out) noexcept {
    WrappedLanes(t, p, x, y, z, n, out);
}
#endif

// Whether the z axis wraps as the tables do anyway (no period, or a multiple of 256): then
// the vector kernels, which wrap x and y only, give the bits.
bool ZWrapsAsTables(int period) noexcept { return period <= 0 || period % NOISE_B == 0; }

// A period of x or y for the vector kernels: none is 256, as the tables wrap.
int KernelPeriod(int period) noexcept { return period > 0 ? period : NOISE_B; }

// A seed as the generator's start: mixed, so that neighbouring seeds start far apart and
// no seed starts where a fresh thread's generator does.
unsigned GeneratorStart(std::uint32_t seed) noexcept {
    std::uint32_t h = seed ^ 0x5EED5EEDu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h == 1u ? 2u : h;
}

}  // namespace

std::shared_ptr<const NoiseTables> SeededNoiseTables(std::uint32_t seed) {
    static std::mutex mutex;
    static std::map<std::uint32_t, std::weak_ptr<const NoiseTables>> made;
    const std::lock_guard<std::mutex> lock(mutex);
    if (auto it = made.find(seed); it != made.end()) {
        if (auto held = it->second.lock()) return held;
    }
    // Tables no longer held are dropped here, so the map stays as small as what is held.
    std::erase_if(made, [](const auto& entry) { return entry.second.expired(); });
    auto tables = std::make_shared<NoiseTables>();
    const std::uint32_t saved = crt::GetRandState();
    crt::srand(GeneratorStart(seed));
    BuildNoiseTables(*tables);
    crt::SetRandState(saved);
    made[seed] = tables;
    return tables;
}

int OctavePeriod(int period, double freq) noexcept {
    if (period <= 0) return 0;
    const double cells = std::round(static_cast<double>(period) * freq);
    if (!(cells >= 1.0)) return 1;
    return cells > static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(cells);
}

float Noise3(const NoiseSource& src, const float v[3]) noexcept {
    if (!src.period.Any()) {
        if (!src.tables) return noise3(v);
        float out;
        Noise3BatchOnTables(*src.tables, &v[0], &v[1], &v[2], 1, &out);
        return out;
    }
    float out;
    Noise3Batch(src, &v[0], &v[1], &v[2], 1, &out);
    return out;
}

void Noise3Batch(const NoiseSource& src, VectorLevel level, const float* x, const float* y,
                 const float* z, int n, float* out) noexcept {
    const NoiseTables& t = src.tables ? *src.tables : ActiveNoiseTables();
    if (!src.period.Any()) return Noise3Batch(t, level, x, y, z, n, out);
    if (ZWrapsAsTables(src.period.z)) {
        const int px = KernelPeriod(src.period.x), py = KernelPeriod(src.period.y);
        const detail::XyPeriods periods{detail::MakeAxisPeriod(px), detail::MakeAxisPeriod(py)};
        if (level == VectorLevel::kAvx512 && detail::kNoise3WrappedAvx512 &&
            ProcessorRunsVectorLevel(VectorLevel::kAvx512)) {
            static const bool vbmi = ProcessorHasVectorExtension(VectorExtension::kAvx512Vbmi);
            return (vbmi ? detail::kNoise3WrappedAvx512Vbmi : detail::kNoise3WrappedAvx512)(
                t, periods, x, y, z, n, out);
        }
        if (level >= VectorLevel::kAvx2 && detail::kNoise3WrappedAvx2 &&
            ProcessorRunsVectorLevel(VectorLevel::kAvx2)) {
            return detail::kNoise3WrappedAvx2(t, periods, x, y, z, n, out);
        }
    }
    const Wraps wraps{WrapOf(src.period.x), WrapOf(src.period.y), WrapOf(src.period.z)};
#if defined(__x86_64__)
    if (level >= VectorLevel::kAvx2 && ProcessorRunsVectorLevel(VectorLevel::kAvx2)) {
        return WrappedLanesAvx2(t, wraps, x, y, z, n, out);
    }
#endif
    WrappedLanesBase(t, wraps, x, y, z, n, out);
}

void Noise3Batch(const NoiseSource& src, const float* x, const float* y, const float* z, int n,
                 float* out) noexcept {
    if (!src.period.Any()) {
        if (!src.tables) return noise3Batch(x, y, z, n, out);
        return Noise3BatchOnTables(*src.tables, x, y, z, n, out);
    }
    static const VectorLevel level = ActiveVectorLevel();
    Noise3Batch(src, level, x, y, z, n, out);
}

namespace {

// The start frequencies turbulence refuses: not finite, or below 1 (every negative one and
// -0 included, by the bit pattern).
bool NoOctaves(float freq) noexcept {
    return !std::isfinite(freq) ||
           std::bit_cast<std::int32_t>(freq) < std::bit_cast<std::int32_t>(1.0f);
}

// The scale of one octave along an axis and the axis's period at that octave.
struct OctaveAxis {
    float scale;
    int period;
};

OctaveAxis AxisAt(int period, float f) noexcept {
    if (period <= 0) return {f, 0};
    const int p = OctavePeriod(period, static_cast<double>(f));
    return {static_cast<float>(static_cast<double>(p) / static_cast<double>(period)), p};
}

}  // namespace

float Turbulence(const NoiseSource& src, const float v[3], float freq) noexcept {
    if (!src.tables && !src.period.Any()) return turbulence(v, freq);
    float out;
    TurbulenceBatch(src, &v[0], &v[1], &v[2], 1, freq, &out);
    return out;
}

namespace {

// Turbulence's octave loop, each octave's noise from `noise3`.
template <class Noise3Of>
void TurbulenceOctaves(const NoiseSource& src, const float* x, const float* y, const float* z,
                       int n, float freq, Noise3Of noise3, float* out) noexcept {
    for (int i = 0; i < n; ++i) out[i] = 0.0f;
    if (NoOctaves(freq)) return;
    constexpr int kChunk = 64;
    for (int first = 0; first < n; first += kChunk) {
        const int m = std::min(kChunk, n - first);
        float wx[kChunk], wy[kChunk], wz[kChunk], noise[kChunk];
        float f = freq;
        do {
            const OctaveAxis ax = AxisAt(src.period.x, f);
            const OctaveAxis ay = AxisAt(src.period.y, f);
            const OctaveAxis az = AxisAt(src.period.z, f);
            for (int i = 0; i < m; ++i) {
                wx[i] = ax.scale * x[first + i];
                wy[i] = ay.scale * y[first + i];
                wz[i] = az.scale * z[first + i];
            }
            const NoiseSource octave{src.tables, {ax.period, ay.period, az.period}};
            noise3(octave, wx, wy, wz, m, noise);
            for (int i = 0; i < m; ++i) {
                out[first + i] = static_cast<float>(static_cast<double>(out[first + i]) +
                                                    std::fabs(static_cast<double>(noise[i])) /
                                                        static_cast<double>(f));
            }
            f = f * 0.5f;
        } while (f >= 1.0f);
    }
}

// Bit for bit: most batches differ at their first point, which a plain comparison finds
// before a call of memcmp would have begun; a single point (a sample evaluated alone)
// never calls it.
bool SamePoints(const float* a, const float* b, int n) noexcept {
    if (std::bit_cast<std::uint32_t>(a[0]) != std::bit_cast<std::uint32_t>(b[0])) return false;
    return std::memcmp(a + 1, b + 1, static_cast<std::size_t>(n - 1) * sizeof(float)) == 0;
}

// dst[0 .. n) = src[0 .. n): a plain loop for a few values, memcpy for a batch.
void CopyPoints(const float* src, int n, float* dst) noexcept {
    if (n <= 4) {
        for (int i = 0; i < n; ++i) dst[i] = src[i];
    } else {
        std::memcpy(dst, src, static_cast<std::size_t>(n) * sizeof(float));
    }
}

}  // namespace

void TurbulenceBatch(const NoiseSource& src, const float* x, const float* y, const float* z, int n,
                     float freq, float* out) noexcept {
    if (!src.tables && !src.period.Any()) return turbulenceBatch(x, y, z, n, freq, out);
    TurbulenceOctaves(
        src, x, y, z, n, freq,
        [](const NoiseSource& octave, const float* wx, const float* wy, const float* wz, int m,
           float* noise) { Noise3Batch(octave, wx, wy, wz, m, noise); },
        out);
}

void TurbulenceBatch(const NoiseSource& src, const float* x, const float* y, const float* z, int n,
                     float freq, NoiseMemo& memo, float* out) noexcept {
    // With the default source the octaves run as turbulenceBatch's: f times each coordinate
    // (AxisAt's scale without a period), noise3's bits.
    TurbulenceOctaves(
        src, x, y, z, n, freq,
        [&memo](const NoiseSource& octave, const float* wx, const float* wy, const float* wz, int m,
                float* noise) { memo.Noise3Batch(octave, wx, wy, wz, m, noise); },
        out);
}

void NoiseMemo::Noise3Batch(const NoiseSource& src, const float* x, const float* y, const float* z,
                            int n, float* out) noexcept {
    if (n <= 0) return;
    if (n > kPoints) return loom::noise::Noise3Batch(src, x, y, z, n, out);
    for (int b = 0; b < count_; ++b) {
        const Batch& kept = batches_[b];
        if (kept.n == n && kept.tables == src.tables && kept.periodX == src.period.x &&
            kept.periodY == src.period.y && kept.periodZ == src.period.z &&
            SamePoints(kept.x, x, n) && SamePoints(kept.y, y, n) && SamePoints(kept.z, z, n)) {
            CopyPoints(kept.noise, n, out);
            return;
        }
    }
    loom::noise::Noise3Batch(src, x, y, z, n, out);
    if (count_ == kBatches) return;
    Batch& keep = batches_[count_++];
    keep.tables = src.tables;
    keep.periodX = src.period.x;
    keep.periodY = src.period.y;
    keep.periodZ = src.period.z;
    keep.n = n;
    CopyPoints(x, n, keep.x);
    CopyPoints(y, n, keep.y);
    CopyPoints(z, n, keep.z);
    CopyPoints(out, n, keep.noise);
}

}  // namespace loom::noise
