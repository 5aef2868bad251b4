#include "nimbra/pattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/host/base/vector_level.h"
#include "foundation/texframe/blend.h"
#include "foundation/texframe/coordinate_runs.h"
#include "foundation/texframe/tile_math.h"
#include "foundation/vecmath/trig_blocks.h"
#include "foundation/vecmath/vec_math.h"
#include "nimbra/warp_cache.h"

// The chunk loop's blocks are vectors of the compiler's, always inlined, so no call passes
// one; -Wpsabi would warn of their calling convention at every use (up to the end of the
// file, where the compiler reports the templates' instances).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

constexpr float kUnit = 0.04f;
constexpr float kWaveUnit = 0.02f;
constexpr float kFullTurn = 6.2831855f;
constexpr float kQuarterTurn = 1.5707964f;

enum class WarpForm { PerOctave, Preview };

// The frequencies and warp factors of octave 0: as set, or in a tile whole cycles.
struct Frequencies {
    double fu, fv, uWave, vWave;
};

// A warp factor of octave 0 made whole cycles of that octave's warp (0 stays 0).
double WholeWarp(double wave, double freq) noexcept {
    if (wave == 0.0) return 0.0;
    return loom::WholeScale(wave * freq) / freq;
}

Frequencies FrequenciesOf(const NimbraCache& c) noexcept {
    Frequencies f;
    f.fu = Widen(kUnit) * Widen(c.uScale);
    f.fv = Widen(kUnit) * Widen(c.vScale);
    f.uWave = Widen(kWaveUnit) * Widen(c.uWaveform);
    f.vWave = Widen(kWaveUnit) * Widen(c.vWaveform);
    if (c.variation.tiled == 1) {
        f.fu = loom::WholeScale(f.fu);
        f.fv = loom::WholeScale(f.fv);
        // The first warp runs along V at fv, the second along U at fu.
        f.uWave = WholeWarp(f.uWave, f.fv);
        f.vWave = WholeWarp(f.vWave, f.fu);
    }
    return f;
}

// Samples one pass of the octave loop takes; the working arrays live on the stack.
constexpr int kChunk = kNimbraChunk;

// Runs of samples sharing a coordinate share the waves of that coordinate alone.
using Runs = loom::CoordinateRuns<kChunk>;

// The per-sample loops run over whole blocks of kBlock samples (a chunk's arrays are padded
// to a multiple), a trip count the compiler turns into vector instructions.
constexpr int kBlock = 8;
static_assert(kChunk % kBlock == 0);

template <class Step>
inline void ForEachPadded(int padded, Step step) noexcept {
    for (int first = 0; first < padded; first += kBlock) {
        for (int j = 0; j < kBlock; ++j) step(first + j);
    }
}

// A block of samples in one vector of the compiler's (the same IEEE operations, lane by
// lane), for loops whose arrays the vectoriser cannot tell apart.
using Block = double __attribute__((vector_size(kBlock * sizeof(double))));
[[gnu::always_inline]] inline Block LoadBlock(const double* p) noexcept {
    Block b;
    std::memcpy(&b, p, sizeof b);
    return b;
}
[[gnu::always_inline]] inline void StoreBlock(double* p, const Block& b) noexcept {
    std::memcpy(p, &b, sizeof b);
}

// The value of each of the first `padded` samples from one value per run: the table itself
// where every sample is a run of its own, else spread into `scratch`.
inline const double* SpreadRuns(const Runs& runs, int padded, const double* perRun,
                                double* scratch) noexcept {
    if (runs.count == padded) return perRun;
    if (runs.count == 1) {
        ForEachPadded(padded, [&](int i) { scratch[i] = perRun[0]; });
    } else {
        runs.Spread(perRun, padded, scratch);
    }
    return scratch;
}

// Octaves one pass of the chunk loop takes: their waves go to the vector library in one call
// of kGroup x kChunk values each.
constexpr int kGroup = kNimbraGroup;

// Past about a thousand octaves the frequencies overflow; such an octave keeps its level but
// adds no wave, so no NaN reaches the image. (x - x is 0 exactly for finite x, NaN for
// infinities and NaNs.)
template <class V>
[[gnu::always_inline]] inline V OctaveTerm(V phase, V wave, V zero) noexcept {
    return phase - phase == zero ? wave : zero;
}

// A group's octaves added to the sums, kLanes samples at a time, each sample's phases, waves
// and sums in registers from one octave to the next: the inline sine and cosine give the
// library kernel's bits for blocks of its width, and a block of kLanes samples here is one
// vector of that kernel's in the library calls of the other path (the arrays start at 0 and
// are padded to a multiple of kBlock), so the same values result.
template <int kLanes>
[[gnu::always_inline]] inline void OctaveSumsInline(int padded, int m, const double* U,
                                                    const double* V, const double* const* warpA,
                                                    const double* const* warpB, const double* fuK,
                                                    const double* fvK, bool shifted,
                                                    const double* shiftA, const double* shiftB,
                                                    const double* amplitude, double g, double* sumA,
                                                    double* sumB) noexcept {
    using L = loom::vecmath::DoubleBlock<kLanes>;
    auto load = [](const double* p) {
        L b;
        std::memcpy(&b, p, sizeof b);
        return b;
    };
    const L zero = {};
    for (int f = 0; f < padded; f += kLanes) {
        const L u = load(U + f), v = load(V + f);
        L a = load(sumA + f), b = load(sumB + f);
        for (int j = 0; j < m; ++j) {
            L phA = Widen(kQuarterTurn) * load(warpA[j] + f) + fuK[j] * u;
            L phB = Widen(kQuarterTurn) * load(warpB[j] + f) + fvK[j] * v;
            if (shifted) {
                phA += shiftA[j];
                phB += shiftB[j];
            }
            L waveA, waveB;
            loom::vecmath::SinAndCosBlocks<kLanes>(phA, phB, waveA, waveB);
            a += OctaveTerm(phA, amplitude[j] * waveA, zero) + g;
            b += OctaveTerm(phB, amplitude[j] * waveB, zero) + g;
        }
        std::memcpy(sumA + f, &a, sizeof a);
        std::memcpy(sumB + f, &b, sizeof b);
    }
}

// The octave loop over up to kChunk samples at once. Each sample's arithmetic is that of
// the one-sample loop, step for step; sine and cosine come from the vector library, which
// gives every element the same bits however many are evaluated together. The first warp
// depends on V alone and the second on U alone, so they are evaluated once per distinct
// coordinate (an image row shares V; an image narrower than the chunk repeats U) for a
// group of octaves at once, and the second is kept in this thread's cache for the next
// row, which repeats the same U (fewer than a block of U, as in a column, cost less to
// evaluate than to keep). The arrays are padded past n with the last sample (its results
// unused).
template <WarpForm kForm, int kTrigLanes>
[[gnu::always_inline]] inline void CloudsChunk(const NimbraCache& c, const float* u, const float* v,
                                               int n, float* t) noexcept {
    // A divisor of 0 (detail -3) or no octave at all both leave t at 0.
    if (!(c.detail > 0.0f)) {
        for (int i = 0; i < n; ++i) t[i] = 0.0f;
        return;
    }
    const int padded = (n + kBlock - 1) / kBlock * kBlock;
    double U[kChunk], V[kChunk], uWarpV[kChunk], sumA[kChunk], sumB[kChunk];
    const Frequencies freq = FrequenciesOf(c);
    const double uWave = freq.uWave;
    const double vWave = freq.vWave;
    const std::uint32_t seed = c.variation.seed;
    for (int i = 0; i < padded; ++i) {
        const int from = std::min(i, n - 1);
        U[i] = Widen(kFullTurn) * (Widen(u[from]) + Widen(kUnit) * Widen(c.uShift));
        V[i] = Widen(kFullTurn) * (Widen(v[from]) + Widen(kUnit) * Widen(c.vShift));
        uWarpV[i] = uWave * V[i];  // preview form only
        sumA[i] = 0.0;
        sumB[i] = 0.0;
    }
    Runs uRuns, vRuns;
    uRuns.FindRepeating(U, padded);
    vRuns.FindRepeating(V, padded);
    const int nu = uRuns.count, nv = vRuns.count;
    double uOne[kChunk], vOne[kChunk], uWarpVOne[kChunk];  // one value per run
    for (int r = 0; r < nu; ++r) uOne[r] = U[uRuns.first[r]];
    for (int r = 0; r < nv; ++r) {
        vOne[r] = V[vRuns.first[r]];
        uWarpVOne[r] = uWarpV[vRuns.first[r]];
    }
    NimbraWarpCache* const cache = nu >= kBlock ? ThisThreadNimbraWarpCache() : nullptr;
    double fu = freq.fu;
    double fv = freq.fv;
    const double g = 1.0 - Widen(c.density);
    const double d = 1.0 - Widen(c.softening);
    double a = Widen(c.contrast);
    const double detail = Widen(c.detail);
    double k = 0.0;
    int octave = 0;
    bool more = true;
    // The warps of a group's octaves, one per run and octave, then those of each sample;
    // the phases and waves of the group, an octave a row.
    double warpTableA[kGroup * kChunk], ownTableB[kGroup * kChunk];
    double spreadA[kGroup][kChunk], spreadB[kGroup][kChunk];
    double phaseA[kGroup][kChunk], phaseB[kGroup][kChunk];
    double waveA[kGroup][kChunk], waveB[kGroup][kChunk];
    while (more) {
        double fuK[kGroup], fvK[kGroup], amplitude[kGroup];
        int m = 0;
        do {
            fuK[m] = fu;
            fvK[m] = fv;
            amplitude[m] = a;
            ++m;
            fu *= 2.0;
            fv *= 2.0;
            a *= d;
            k += 1.0;
            more = k < detail && k < kNimbraMaxOctaves;
        } while (more && m < kGroup);
        for (int j = 0; j < m; ++j) {
            const double uWarpF = uWave * fvK[j];
            double* warpA = warpTableA + j * nv;
            for (int r = 0; r < nv; ++r) {
                warpA[r] = kForm == WarpForm::Preview ? uWarpVOne[r] * fvK[j] : uWarpF * vOne[r];
            }
        }
        bool kept = false;
        double* const warpTableB =
            cache ? cache->Find({uOne, nu, m, kTrigLanes, vWave, fuK[0]}, kept) : ownTableB;
        if (!kept) {
            for (int j = 0; j < m; ++j) {
                const double vWarpF = vWave * fuK[j];
                double* warpB = warpTableB + j * nu;
                for (int r = 0; r < nu; ++r) warpB[r] = vWarpF * uOne[r];
            }
        }
        if constexpr (kTrigLanes > 0) {
            loom::vecmath::TrigArray<kTrigLanes, true>(warpTableA, warpTableA, m * nv);
            if (!kept) loom::vecmath::TrigArray<kTrigLanes, false>(warpTableB, warpTableB, m * nu);
        } else {
            loom::vecmath::Cos(warpTableA, warpTableA, m * nv);
            if (!kept) loom::vecmath::Sin(warpTableB, warpTableB, m * nu);
        }
        const double* warpA[kGroup];
        const double* warpB[kGroup];
        double shiftA[kGroup], shiftB[kGroup];
        for (int j = 0; j < m; ++j) {
            warpA[j] = SpreadRuns(vRuns, padded, warpTableA + j * nv, spreadA[j]);
            warpB[j] = SpreadRuns(uRuns, padded, warpTableB + j * nu, spreadB[j]);
            shiftA[j] = NimbraOctavePhase(seed, octave + j, 0);
            shiftB[j] = NimbraOctavePhase(seed, octave + j, 1);
        }
        octave += m;
        if constexpr (kTrigLanes > 0) {
            OctaveSumsInline<kTrigLanes>(padded, m, U, V, warpA, warpB, fuK, fvK, seed != 0, shiftA,
                                         shiftB, amplitude, g, sumA, sumB);
        } else {
            for (int j = 0; j < m; ++j) {
                const double fuNow = fuK[j], fvNow = fvK[j];
                double* pA = phaseA[j];
                double* pB = phaseB[j];
                for (int f = 0; f < padded; f += kBlock) {
                    StoreBlock(pA + f, Widen(kQuarterTurn) * LoadBlock(warpA[j] + f) +
                                           fuNow * LoadBlock(U + f));
                    StoreBlock(pB + f, Widen(kQuarterTurn) * LoadBlock(warpB[j] + f) +
                                           fvNow * LoadBlock(V + f));
                }
                if (seed != 0) {
                    ForEachPadded(padded, [&](int i) {
                        pA[i] += shiftA[j];
                        pB[i] += shiftB[j];
                    });
                }
            }
            if (padded == kChunk) {
                loom::vecmath::Sin(phaseA[0], waveA[0], m * kChunk);
                loom::vecmath::Cos(phaseB[0], waveB[0], m * kChunk);
            } else {
                for (int j = 0; j < m; ++j) {
                    loom::vecmath::Sin(phaseA[j], waveA[j], padded);
                    loom::vecmath::Cos(phaseB[j], waveB[j], padded);
                }
            }
            for (int j = 0; j < m; ++j) {
                const double amp = amplitude[j];
                const double* pA = phaseA[j];
                const double* pB = phaseB[j];
                const double* wA = waveA[j];
                const double* wB = waveB[j];
                const Block zero = {};
                for (int f = 0; f < padded; f += kBlock) {
                    const Block phA = LoadBlock(pA + f), phB = LoadBlock(pB + f);
                    const Block termA = OctaveTerm(phA, amp * LoadBlock(wA + f), zero);
                    const Block termB = OctaveTerm(phB, amp * LoadBlock(wB + f), zero);
                    StoreBlock(sumA + f, LoadBlock(sumA + f) + (termA + g));
                    StoreBlock(sumB + f, LoadBlock(sumB + f) + (termB + g));
                }
            }
        }
    }
    // The level of each sample, a block at a time, then the first n.
    using FloatBlock = float __attribute__((vector_size(kBlock * sizeof(float))));
    const double divisor = detail + 3.0;
    float level[kChunk];
    for (int f = 0; f < padded; f += kBlock) {
        const FloatBlock l = __builtin_convertvector(
            (LoadBlock(sumA + f) + LoadBlock(sumB + f)) / divisor, FloatBlock);
        std::memcpy(level + f, &l, sizeof l);
    }
    std::memcpy(t, level, static_cast<std::size_t>(n) * sizeof(float));
}

// The chunk loop compiled for each vector level, for wider vectors in its per-sample loops
// (the same operations, the same bits: no contraction into fused multiply-adds is allowed
// anywhere).
using ChunkFn = void (*)(const NimbraCache&, const float*, const float*, int, float*) noexcept;

template <WarpForm kForm>
void CloudsChunkBase(const NimbraCache& c, const float* u, const float* v, int n,
                     float* t) noexcept {
    CloudsChunk<kForm, 0>(c, u, v, n, t);
}

#if defined(__x86_64__)
template <WarpForm kForm>
[[gnu::target("avx2")]] void CloudsChunkAvx2(const NimbraCache& c, const float* u, const float* v,
                                             int n, float* t) noexcept {
    CloudsChunk<kForm, 4>(c, u, v, n, t);
}
template <WarpForm kForm>
[[gnu::target("avx512f")]] void CloudsChunkAvx512(const NimbraCache& c, const float* u,
                                                  const float* v, int n, float* t) noexcept {
    CloudsChunk<kForm, 8>(c, u, v, n, t);
}
#endif

template <WarpForm kForm>
ChunkFn PickCloudsChunk() noexcept {
    switch (loom::ActiveVectorLevel()) {
#if defined(__x86_64__)
        case loom::VectorLevel::kAvx512:
            return CloudsChunkAvx512<kForm>;
        case loom::VectorLevel::kAvx2:
            return CloudsChunkAvx2<kForm>;
#endif
        default:
            return CloudsChunkBase<kForm>;
    }
}

// One sample, its octaves several at a time: each group's frequencies and amplitudes in the
// loop's order, its four waves as four vector calls, then the sums in octave order. The
// same arithmetic as CloudsChunk's for every value, so the same bits.
template <WarpForm kForm>
float CloudsOne(const NimbraCache& c, float u, float v) noexcept {
    if (!(c.detail > 0.0f)) return 0.0f;
    const Frequencies freq = FrequenciesOf(c);
    const double uWave = freq.uWave;
    const double vWave = freq.vWave;
    const std::uint32_t seed = c.variation.seed;
    const double U = Widen(kFullTurn) * (Widen(u) + Widen(kUnit) * Widen(c.uShift));
    const double V = Widen(kFullTurn) * (Widen(v) + Widen(kUnit) * Widen(c.vShift));
    const double uWarpV = uWave * V;
    double fu = freq.fu;
    double fv = freq.fv;
    const double g = 1.0 - Widen(c.density);
    const double d = 1.0 - Widen(c.softening);
    double a = Widen(c.contrast);
    const double detail = Widen(c.detail);
    double sumA = 0.0, sumB = 0.0;
    double k = 0.0;
    int octave = 0;
    bool more = true;
    while (more) {
        double fuK[kChunk], fvK[kChunk], amplitude[kChunk], warpA[kChunk], warpB[kChunk];
        int m = 0;
        do {
            fuK[m] = fu;
            fvK[m] = fv;
            amplitude[m] = a;
            warpA[m] = kForm == WarpForm::Preview ? uWarpV * fv : uWave * fv * V;
            warpB[m] = vWave * fu * U;
            ++m;
            fu *= 2.0;
            fv *= 2.0;
            a *= d;
            k += 1.0;
            more = k < detail && k < kNimbraMaxOctaves;
        } while (more && m < kChunk);
        double waveA[kChunk], waveB[kChunk], phaseA[kChunk], phaseB[kChunk];
        loom::vecmath::Cos(warpA, waveA, m);
        loom::vecmath::Sin(warpB, waveB, m);
        for (int j = 0; j < m; ++j) {
            phaseA[j] = Widen(kQuarterTurn) * waveA[j] + fuK[j] * U;
            phaseB[j] = Widen(kQuarterTurn) * waveB[j] + fvK[j] * V;
        }
        if (seed != 0) {
            for (int j = 0; j < m; ++j) {
                phaseA[j] += NimbraOctavePhase(seed, octave + j, 0);
                phaseB[j] += NimbraOctavePhase(seed, octave + j, 1);
            }
        }
        octave += m;
        loom::vecmath::Sin(phaseA, waveA, m);
        loom::vecmath::Cos(phaseB, waveB, m);
        for (int j = 0; j < m; ++j) {
            sumA += (std::isfinite(phaseA[j]) ? amplitude[j] * waveA[j] : 0.0) + g;
            sumB += (std::isfinite(phaseB[j]) ? amplitude[j] * waveB[j] : 0.0) + g;
        }
    }
    return static_cast<float>((sumA + sumB) / (detail + 3.0));
}

// A few samples go one by one, octaves in parallel; more go side by side.
template <WarpForm kForm>
void Clouds(const NimbraCache& c, const float* u, const float* v, int n, float* t) noexcept {
    if (n < 4) {
        for (int i = 0; i < n; ++i) t[i] = CloudsOne<kForm>(c, u[i], v[i]);
        return;
    }
    static const ChunkFn chunk = PickCloudsChunk<kForm>();
    for (int first = 0; first < n; first += kChunk) {
        const int m = std::min(kChunk, n - first);
        chunk(c, u + first, v + first, m, t + first);
    }
}

}  // namespace

double NimbraOctavePhase(std::uint32_t seed, int octave, int wave) noexcept {
    if (seed == 0) return 0.0;
    // A 64-bit mix of (seed, octave, wave) to 53 bits, as a fraction of a turn.
    std::uint64_t h = (static_cast<std::uint64_t>(seed) << 32) ^
                      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(octave)) << 1) ^
                      static_cast<std::uint64_t>(wave & 1);
    h += 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
    h ^= h >> 31;
    return static_cast<double>(h >> 11) * 0x1.0p-53 * 6.283185307179586;
}

float CloudPattern(const NimbraCache& c, float u, float v) noexcept {
    return CloudsOne<WarpForm::PerOctave>(c, u, v);
}

void CloudPatternBatch(const NimbraCache& c, const float* u, const float* v, int n,
                       float* t) noexcept {
    Clouds<WarpForm::PerOctave>(c, u, v, n, t);
}

float CloudPatternPreview(const NimbraCache& c, float u, float v) noexcept {
    return CloudsOne<WarpForm::Preview>(c, u, v);
}

void CloudPatternPreviewBatch(const NimbraCache& c, const float* u, const float* v, int n,
                              float* t) noexcept {
    Clouds<WarpForm::Preview>(c, u, v, n, t);
}

AColor NimbraMixColor(const NimbraCache& c, float t, const Color& c0, const Color& c1) noexcept {
    return loom::BlendColorClamped(t, c1, c0, c.positiveBlend, c.negativeBlend,
                                   loom::BlendOrder::PositiveFirst);
}

void NimbraMixColorBatch(const NimbraCache& c, const float* t, const Color* c0, const Color* c1,
                         int n, AColor* out) noexcept {
    loom::BlendColorClampedBatch(t, c1, c0, c.positiveBlend, c.negativeBlend,
                                 loom::BlendOrder::PositiveFirst, n, out);
}

float NimbraMixMono(const NimbraCache& c, float t, float m0, float m1) noexcept {
    t = t > 1.0f ? 1.0f : (t < 0.0f ? 0.0f : t);
    return loom::BlendValue(t, m1, m0, c.positiveBlend, c.negativeBlend,
                            loom::BlendOrder::PositiveFirst);
}

float NimbraCloudMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.g) + Widen(c.b) + Widen(c.r)) * Widen(0.33333334f));
}

float NimbraSkyMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.r) + Widen(c.g) + Widen(c.b)) * Widen(0.33333334f));
}
