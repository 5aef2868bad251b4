#pragma once
/// Nimbra's pattern settings as a new texture has them, for tests of the pattern alone.

#include "nimbra/pattern.h"

namespace nimbratest {

inline NimbraCache Defaults() {
    NimbraCache c;
    c.cloudColor = Color(1, 1, 1);  // the stored 9, 9, 1 clamped
    c.skyColor = Color(0.4f, 0.4f, 1.0f);
    c.contrast = 1.0f;
    c.detail = 7.0f;
    c.density = 0.6f;
    c.softening = 0.5f;
    c.uScale = c.vScale = 25.0f;
    c.uWaveform = c.vWaveform = 25.0f;
    c.positiveBlend = 1;
    return c;
}

}  // namespace nimbratest
