#pragma once
/// Lattice gradient noise (table size 256, lattice offset 4096) and the bias and gain
/// shaping curves, compiled into each plug-in that uses them. Each plug-in carries its own
/// copy of the code and of the tables.
///
/// Tables: built once, lazily, by the first call of noise1, noise2 or noise3 in the
/// module's life, from the calling thread's crt::rand() stream (1,791 draws; the library
/// never seeds the generator). Concurrent first calls are safe: exactly one thread builds,
/// the others wait for it. After that every function is a pure read of immutable data and
/// may run on any number of threads. No function allocates, locks after the build, or
/// throws.
///
/// Arguments and results are single precision; the arithmetic between them runs in double.

#include <cstdint>
#include <memory>

#include "foundation/host/base/vector_level.h"

/// Marks the functions a plug-in exports although it is built with hidden visibility.
#define LOOM_NOISE_EXPORT __attribute__((visibility("default")))

/// Perlin's bias: a raised to the power ln(b) / ln(0.5). Meaningful for 0 < b < 1; b = 0.5
/// returns a (exactly only above about 1e-5, since ln b is rounded to float).
LOOM_NOISE_EXPORT float bias(float a, float b) noexcept;

/// Perlin's gain: 0 for a < 0.001 (and every negative a, also -0), 1 for a > 0.999, else
/// the two-sided power curve with exponent ln(1 - b) / ln(0.5).
LOOM_NOISE_EXPORT float gain(float a, float b) noexcept;

/// Gradient noise of one coordinate; exactly 0 at whole numbers above -4096.
LOOM_NOISE_EXPORT float noise1(float x) noexcept;

/// Gradient noise of v[0], v[1]; exactly 0 at lattice points above -4096.
float noise2(const float v[2]) noexcept;

/// Gradient noise of v[0], v[1], v[2]; exactly 0 at lattice points above -4096.
float noise3(const float v[3]) noexcept;

/// out[i] = noise3({x[i], y[i], z[i]}) for i < n, bit for bit, several samples at a time
/// at the process's vector level (foundation/host/base/vector_level.h).
void noise3Batch(const float* x, const float* y, const float* z, int n, float* out) noexcept;

/// Dispatch on the dimension count: 0 gives 0 (and builds nothing), 1 noise1(v[0]),
/// 2 noise2(v), any other count noise3(v).
float noiseN(const float* v, int n) noexcept;

/// Sum of |noise3(f·v)| / f over the octaves f, f/2, f/4, ... while f >= 1. Returns 0 for
/// f < 1 (every negative f included) and for a non-finite f.
float turbulence(const float v[3], float freq) noexcept;

/// out[i] = turbulence({x[i], y[i], z[i]}, freq) for i < n, bit for bit.
void turbulenceBatch(const float* x, const float* y, const float* z, int n, float freq,
                     float* out) noexcept;

namespace loom::noise {

inline constexpr int NOISE_B = 0x100;
inline constexpr int NOISE_N = 0x1000;
inline constexpr int kTableSize = 2 * NOISE_B + 2;

/// The permutation and gradient tables. Entries 256..513 repeat entries 0..257, so a
/// lookup table[a + b] with a, b in 0..255 needs no second mask.
struct alignas(64) NoiseTables {
    /// For the vector forms: row m holds g3[m] and g3[m + 1] (the gradients of one lattice
    /// corner in two neighbouring z planes) and two zeros, one aligned 32-byte load.
    float g3Pairs[NOISE_B][8];
    /// For the vector forms: p[0..255] as bytes.
    std::uint8_t p8[NOISE_B];
    std::int32_t p[kTableSize];
    float g1[kTableSize];
    float g2[kTableSize][2];
    float g3[kTableSize][3];
    std::int32_t reserved[2];  ///< zero; makes the size a whole number of cache lines
};
// No padding anywhere: two builds from the same stream compare equal byte for byte.
static_assert(sizeof(NoiseTables) ==
              sizeof(float) * NOISE_B * 8 + NOISE_B + 4 * kTableSize * (1 + 1 + 2 + 3) + 8);

/// Fills `t` from the calling thread's crt::rand() stream, consuming exactly 1,791 draws:
/// per i = 0..255 the draws for g1, g2 x, g2 y, g3 x, g3 y, g3 z, then 255 shuffle draws.
/// A gradient whose components all come out 0 stays the zero vector.
void BuildNoiseTables(NoiseTables& t) noexcept;

/// The module's tables, built first if no noise call has built them yet.
const NoiseTables& ActiveNoiseTables() noexcept;

/// Whether the module's tables have been built (for tests of the lazy start).
bool NoiseTablesBuilt() noexcept;

/// noise3 of v with the tables `t` (noise3 itself reads the module's tables).
float Noise3(const NoiseTables& t, const float v[3]) noexcept;

/// out[i] = Noise3(t, {x[i], y[i], z[i]}) for i < n, bit for bit, at the process's vector
/// level: AVX-512 takes eight samples a step, AVX2 eight in two halves, the base level four,
/// the scalar level one.
void Noise3Batch(const NoiseTables& t, const float* x, const float* y, const float* z, int n,
                 float* out) noexcept;
/// The same at `level` (tests and benchmarks); a level the processor lacks runs as base.
void Noise3Batch(const NoiseTables& t, VectorLevel level, const float* x, const float* y,
                 const float* z, int n, float* out) noexcept;

/// The tables of seed `seed` (1 .. 2^31 - 1): built by BuildNoiseTables from a generator
/// seeded with a mix of `seed` (the calling thread's own stream is left as it was), shared
/// by every holder of that seed and freed with the last. Thread safe. Throws
/// std::bad_alloc.
std::shared_ptr<const NoiseTables> SeededNoiseTables(std::uint32_t seed);

/// Lattice periods: an axis with a period p >= 1 wraps its lattice index at p, so the noise
/// repeats every p units along it; 0 leaves the axis as it is.
struct NoisePeriod {
    int x = 0;
    int y = 0;
    int z = 0;
    bool Any() const noexcept { return x > 0 || y > 0 || z > 0; }
};

/// Where a pattern's noise comes from: its tables (null: the module's, as noise3 uses) and
/// its periods. The default gives noise3's bits.
struct NoiseSource {
    const NoiseTables* tables = nullptr;
    NoisePeriod period;
};

/// noise3 of `v` from `src`; noise3(v) bit for bit with the default source.
float Noise3(const NoiseSource& src, const float v[3]) noexcept;
/// out[i] = Noise3(src, {x[i], y[i], z[i]}) for i < n; noise3Batch with the default source.
/// Wrapped x and y axes (z unwrapped) run eight samples a step on AVX-512 and AVX2.
void Noise3Batch(const NoiseSource& src, const float* x, const float* y, const float* z, int n,
                 float* out) noexcept;
/// The same at `level` (tests and benchmarks); a level the processor lacks runs as base.
void Noise3Batch(const NoiseSource& src, VectorLevel level, const float* x, const float* y,
                 const float* z, int n, float* out) noexcept;

/// The period of an octave at `freq` times an axis of period `period` (0: none): the
/// nearest whole number (halves up), at least 1.
int OctavePeriod(int period, double freq) noexcept;

/// turbulence(v, freq) from `src`, with every octave whole periods: along an axis with a
/// period p, the octave at frequency f runs at OctavePeriod(p, f) / p instead of f (the
/// same where f·p is whole), wrapped at that period. turbulence's bits with the default
/// source.
float Turbulence(const NoiseSource& src, const float v[3], float freq) noexcept;
/// out[i] = Turbulence(src, {x[i], y[i], z[i]}, freq) for i < n.
void TurbulenceBatch(const NoiseSource& src, const float* x, const float* y, const float* z, int n,
                     float freq, float* out) noexcept;
/// Batches of noise already evaluated, for a caller that asks for the same points again
/// (Fervix's overlays sample each point and its doublings more than once): a batch whose
/// source and points have the same bits as one before takes that one's values, the same
/// bits Noise3Batch gives. Keeps the first kBatches batches of up to kPoints points; others
/// are evaluated and not kept. No allocation; one object per thread.
class NoiseMemo {
  public:
    static constexpr int kBatches = 8;
    static constexpr int kPoints = 64;

    /// out[i] = Noise3(src, {x[i], y[i], z[i]}) for i < n, as Noise3Batch.
    void Noise3Batch(const NoiseSource& src, const float* x, const float* y, const float* z, int n,
                     float* out) noexcept;

  private:
    // Plain fields, so that a memo is made without writing its batches.
    struct Batch {
        const NoiseTables* tables;
        int periodX, periodY, periodZ;
        int n;
        float x[kPoints], y[kPoints], z[kPoints], noise[kPoints];
    };
    Batch batches_[kBatches];
    int count_ = 0;
};

/// TurbulenceBatch with its octaves' noise through `memo` (the octaves at the points and
/// their doublings a caller has already sampled are not sampled again). The same bits.
void TurbulenceBatch(const NoiseSource& src, const float* x, const float* y, const float* z, int n,
                     float freq, NoiseMemo& memo, float* out) noexcept;

}  // namespace loom::noise
