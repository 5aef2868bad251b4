#pragma once
// What noise.cpp shares with the other files of the noise library (not a public header).

#include "foundation/noise/noise.h"

namespace loom::noise {

/// noise3Batch on the tables `t` instead of the module's.
void Noise3BatchOnTables(const NoiseTables& t, const float* x, const float* y, const float* z,
                         int n, float* out) noexcept;

}  // namespace loom::noise
