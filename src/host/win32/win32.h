// The Windows headers for the Win32 host. Include this after every host/ and engine header,
// so the macros of windows.h (min, max, ...) touch none of them.
#pragma once

#include "host/window.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// A window handle of the host interface is the platform's own window handle.
inline HWND win32_hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
inline WindowHandle win32_window(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }
