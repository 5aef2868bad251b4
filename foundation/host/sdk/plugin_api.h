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

namespace loom {

/// Answers fn(), or `failure` when fn throws: what an entry point the host calls answers
/// when its work fails, so that no exception reaches the host.
template <class R, class Fn>
R NoThrowCall(R failure, Fn&& fn) noexcept {
    try {
        return fn();
    } catch (...) {
        return failure;
    }
}

}  // namespace loom
