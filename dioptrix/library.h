#pragma once
/// State of the loaded Dioptrix library, one copy per process: its instance handle, the
/// custom-control registration, and the string table read through one shared buffer.

#include "foundation/host/base/win32_types.h"

/// The library's entry routine. Process attach stores the instance handle and, the first
/// time only, registers the host's custom controls; it refuses (FALSE) while a handle is
/// held already. Process detach clears the handle. Thread attach and detach answer TRUE.
BOOL DioptrixLibMain(HINSTANCE hinstDLL, DWORD reason) noexcept;

/// The instance handle, or null while the library is not attached.
HINSTANCE DioptrixInstance() noexcept;

/// String `id` of the library's string table, loaded into one shared 256-character
/// buffer that the next call overwrites: a caller that keeps a text copies it at once.
/// Null while the library is not attached or when the string does not exist.
const TCHAR* LoadLibString(int id) noexcept;
