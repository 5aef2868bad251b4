#pragma once
// Random (point, parameter) cases per texture: the value the texture stores (a float) from
// its vector-library path against the C library's, as a distance in units in the last
// place. Shared by the exactness test (a small count) and bench/exactness (ten million).

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>

#include "fervix/pattern.h"
#include "lumidot/pattern.h"
#include "nimbra/pattern.h"
#include "tests/support/libm_reference.h"
#include "voltrane/pattern.h"

namespace loomtest {

/// Units in the last place between two floats (0 for two NaNs, the maximum for one).
inline std::int64_t UlpDistance(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b) ? 0 : std::numeric_limits<std::int64_t>::max();
    }
    // Ordered integers: adjacent floats differ by 1, and -0 meets +0.
    auto ordered = [](float f) {
        const std::int32_t i = std::bit_cast<std::int32_t>(f);
        return i < 0 ? -static_cast<std::int64_t>(i & 0x7FFFFFFF) : static_cast<std::int64_t>(i);
    };
    return std::llabs(ordered(a) - ordered(b));
}

struct UlpTally {
    long long cases = 0;
    long long identical = 0;
    std::int64_t maxUlp = 0;

    void Add(float ours, float reference) {
        const std::int64_t d = UlpDistance(ours, reference);
        ++cases;
        if (std::bit_cast<std::uint32_t>(ours) == std::bit_cast<std::uint32_t>(reference) ||
            (std::isnan(ours) && std::isnan(reference))) {
            ++identical;
        }
        if (d > maxUlp) maxUlp = d;
    }
    double IdenticalFraction() const {
        return cases ? static_cast<double>(identical) / static_cast<double>(cases) : 1.0;
    }
};

class CaseDraws {
  public:
    explicit CaseDraws(std::uint64_t seed) : rng_(seed) {}
    float Uniform(float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng_);
    }
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  private:
    std::mt19937_64 rng_;
};

/// Nimbra's sky weight t (CloudPattern) over random settings in the panel's ranges and
/// random points; about seven octaves a case.
inline UlpTally CheckNimbra(std::uint64_t seed, long long cases) {
    CaseDraws d(seed);
    UlpTally tally;
    for (long long i = 0; i < cases; ++i) {
        NimbraCache c;
        c.contrast = d.Uniform(0.0f, 2.0f);
        c.detail = d.Pick(0, 3) == 0 ? d.Uniform(0.5f, 12.0f) : static_cast<float>(d.Pick(1, 10));
        c.density = d.Uniform(0.0f, 1.0f);
        c.softening = d.Uniform(0.0f, 1.0f);
        c.uScale = d.Uniform(0.0f, 100.0f);
        c.vScale = d.Uniform(0.0f, 100.0f);
        c.uShift = d.Uniform(-100.0f, 100.0f);
        c.vShift = d.Uniform(-100.0f, 100.0f);
        c.uWaveform = d.Uniform(0.0f, 100.0f);
        c.vWaveform = d.Uniform(0.0f, 100.0f);
        const float u = d.Uniform(-1.0f, 2.0f), v = d.Uniform(-1.0f, 2.0f);
        tally.Add(CloudPattern(c, u, v), libm::NimbraClouds(c, u, v));
    }
    return tally;
}

/// Lumidot's weight (both wave terms) over random shapes, phases, iterations, thresholds.
inline UlpTally CheckLumidot(std::uint64_t seed, long long cases) {
    CaseDraws d(seed);
    UlpTally tally;
    for (long long i = 0; i < cases; ++i) {
        LumidotCache c;
        c.useVerticalColour = 1;
        c.useHorizontalColour = 1;
        c.horizontalPhase = d.Uniform(-10.0f, 10.0f);
        c.verticalPhase = d.Uniform(-10.0f, 10.0f);
        c.horizontalIteration = d.Uniform(0.001f, 1.0f);
        c.verticalIteration = d.Uniform(0.001f, 1.0f);
        c.horizontalHighThreshold = d.Uniform(-1.0f, 1.5f);
        c.horizontalLowThreshold = d.Uniform(-1.5f, 1.0f);
        c.verticalHighThreshold = d.Uniform(-1.0f, 1.5f);
        c.verticalLowThreshold = d.Uniform(-1.5f, 1.0f);
        c.horizontalSine = d.Pick(0, 1);
        c.horizontalCosine = d.Pick(0, 1);
        c.horizontalPinch = d.Pick(0, 1);
        c.verticalSine = d.Pick(0, 1);
        c.verticalCosine = d.Pick(0, 1);
        c.verticalPinch = d.Pick(0, 1);
        const float u = d.Uniform(-1.0f, 2.0f), v = d.Uniform(-1.0f, 2.0f);
        tally.Add(LumidotWeight(c, u, v), libm::LumidotWeight(c, u, v));
    }
    return tally;
}

/// Voltrane's waves, and the round shapes' values rounded to float.
inline UlpTally CheckVoltrane(std::uint64_t seed, long long cases) {
    CaseDraws d(seed);
    UlpTally tally;
    for (long long i = 0; i < cases; ++i) {
        const int sinOn = d.Pick(0, 1), cosOn = d.Pick(0, 1), invert = d.Pick(0, 1);
        const float size = d.Uniform(0.0f, 50.0f), sync = d.Uniform(-10.0f, 10.0f);
        const float mult = d.Uniform(0.0f, 2.0f), t = d.Uniform(-1.0f, 2.0f);
        tally.Add(VoltraneWave(sinOn, cosOn, invert, size, sync, mult, t),
                  libm::VoltraneWave(sinOn, cosOn, invert, size, sync, mult, t));

        VoltraneCache c{};
        c.shear = 1.0f;  // the shear terms are plain arithmetic
        switch (d.Pick(0, 2)) {
            case 0:
                c.radial = 1;
                break;
            case 1:
                c.shockwave = 1;
                break;
            default:
                c.encase = 1;
                break;
        }
        c.radialU = d.Uniform(0.0f, 1.0f);
        c.radialV = d.Uniform(0.0f, 1.0f);
        const float u = d.Uniform(-1.0f, 2.0f), v = d.Uniform(-1.0f, 2.0f);
        tally.Add(static_cast<float>(VoltraneShape(c, u, v)),
                  static_cast<float>(libm::VoltraneRoundShape(c, u, v)));
    }
    return tally;
}

/// Fervix's gradient term (the part of its weight that calls hypot).
inline UlpTally CheckFervix(std::uint64_t seed, long long cases) {
    CaseDraws d(seed);
    UlpTally tally;
    for (long long i = 0; i < cases; ++i) {
        FervixCache c{};
        c.horizontalRadial = d.Pick(0, 1);
        c.horizontalLinear = d.Pick(0, 3) == 0 ? 1 : 0;
        c.verticalRadial = d.Pick(0, 1);
        c.verticalLinear = d.Pick(0, 3) == 0 ? 1 : 0;
        c.uOffset = d.Uniform(-1.0f, 1.0f);
        c.vOffset = d.Uniform(-1.0f, 1.0f);
        c.fallOff = d.Uniform(-1.0f, 1.0f);
        const float u = d.Uniform(-1.0f, 2.0f), v = d.Uniform(-1.0f, 2.0f);
        tally.Add(FervixGradient(c, u, v), libm::FervixGradient(c, u, v));
    }
    return tally;
}

}  // namespace loomtest
