#pragma once
/// Auto Key: while on, setting an animatable parameter at a time makes a key there.
/// Suspension nests and wins over the switch (creation, reset, conversion and repairs
/// suspend it). Window-thread only.

#include "foundation/host/base/core.h"

BOOL Animating();
void AnimateOn();
void AnimateOff();
void SuspendAnimate();
void ResumeAnimate();

/// Suspends Auto Key for the lifetime of the guard.
class AnimateSuspend {
  public:
    AnimateSuspend() { SuspendAnimate(); }
    ~AnimateSuspend() { ResumeAnimate(); }
    AnimateSuspend(const AnimateSuspend&) = delete;
    AnimateSuspend& operator=(const AnimateSuspend&) = delete;
};
