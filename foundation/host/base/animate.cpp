#include "foundation/host/base/animate.h"

namespace {
bool gAnimate = false;
int gSuspended = 0;
}  // namespace

BOOL Animating() { return gAnimate && gSuspended == 0; }
void AnimateOn() { gAnimate = true; }
void AnimateOff() { gAnimate = false; }
void SuspendAnimate() { ++gSuspended; }
void ResumeAnimate() {
    if (gSuspended > 0) --gSuspended;
}
