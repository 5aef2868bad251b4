#pragma once
/// The entry points every plug-in library exports, and the macro that exports them.

#include "foundation/host/sdk/classdesc.h"

#define LOOM_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

using LibDescriptionProc = const TCHAR* (*)();
using LibNumberClassesProc = int (*)();
using LibClassDescProc = ClassDesc* (*)(int);
using LibVersionProc = ULONG (*)();

/// Version the textures answer from LibVersion.
inline constexpr ULONG kTextureLibVersion = 110;
