// Stands in for a plug-in's pattern code: its call of noiseN is what makes the linker take
// the noise object file, and with it the exported functions.
#include "foundation/noise/noise.h"

extern "C" float ProbePattern(const float* v) { return noiseN(v, 3); }
