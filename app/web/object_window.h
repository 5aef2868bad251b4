#pragma once
/// Hidden windows that stand for an object of the editor: messages posted to the window
/// reach the object through the window's user data. Window-thread only.

#include "foundation/host/win32/win32.h"

namespace loom::web {

/// A hidden window of class `className` (registered on first use) with procedure `proc`,
/// holding `object` in its user data; null when the window cannot be made.
HWND CreateObjectWindow(const char* className, WNDPROC proc, void* object);

}  // namespace loom::web
