#pragma once
/// The host's custom controls and the common controls they sit on.

#include "foundation/host/win32_types.h"

/// Registers the host's custom control classes for a module. Safe to call more than
/// once; the registry remembers each module once.
void InitCustomControls(HINSTANCE hInst);
/// Registers the common control classes (trackbars, image lists).
void InitCommonControls();

namespace loom {
/// How many distinct modules have registered custom controls (for the host's checks).
int CustomControlModules();
bool CommonControlsInitialised();
}  // namespace loom
