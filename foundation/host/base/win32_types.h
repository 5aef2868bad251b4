#pragma once
/// The Win32 handle and message-parameter types the plug-in sources use. Pointers travel
/// in pointer-sized values.

#include <cstdint>

#include "foundation/host/base/core.h"

struct HINSTANCE__;
struct HWND__;
struct HBITMAP__;
struct HDC__;
struct HCURSOR__;
struct HIMAGELIST__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE__*;
using HWND = HWND__*;
using HBITMAP = HBITMAP__*;
using HDC = HDC__*;
using HCURSOR = HCURSOR__*;
using HIMAGELIST = HIMAGELIST__*;

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using LPVOID = void*;

/// First message number a window class (or an interface that sends messages to a window)
/// may define for itself.
inline constexpr UINT WM_USER = 0x0400;

#define WINAPI
#define CALLBACK

inline constexpr DWORD DLL_PROCESS_DETACH = 0;
inline constexpr DWORD DLL_PROCESS_ATTACH = 1;
inline constexpr DWORD DLL_THREAD_ATTACH = 2;
inline constexpr DWORD DLL_THREAD_DETACH = 3;

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr std::uintptr_t MAKEWPARAM(WORD lo, WORD hi) {
    return static_cast<std::uintptr_t>(lo) | (static_cast<std::uintptr_t>(hi) << 16);
}

/// Entry routine every plug-in exports under this name (C linkage).
using DllMainProc = BOOL (*)(HINSTANCE, DWORD, LPVOID);
