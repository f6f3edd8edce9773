// The Windows headers for the Win32 host. Include this AFTER every host/ and engine
// header: windows.h defines WM_MOVE, VK_ESCAPE, MB_ICONERROR ... as macros, and the host
// headers declare constants of those names with the same values.
#pragma once

#include "host/messages.h"

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
