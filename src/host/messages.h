// Windows and their message queue, as the display window logic sees them. The backends
// translate their own events into these messages, so the window procedure is the same
// code on every host.
#pragma once

#include <cstdint>

#include "host/host.h"

struct HostWindow;
using WindowHandle = HostWindow*;
using WindowProc = std::intptr_t (*)(WindowHandle window, std::uint32_t message,
                                     std::uintptr_t wparam, std::intptr_t lparam);

// Message numbers carry the values of the original platform.
inline constexpr std::uint32_t WM_MOVE = 0x0003;
inline constexpr std::uint32_t WM_SIZE = 0x0005;
inline constexpr std::uint32_t WM_PAINT = 0x000F;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr std::uint32_t WM_ACTIVATEAPP = 0x001C;
inline constexpr std::uint32_t WM_SETCURSOR = 0x0020;
inline constexpr std::uint32_t WM_SETICON = 0x0080;
inline constexpr std::uint32_t WM_KEYDOWN = 0x0100;
inline constexpr std::uint32_t WM_SYSCHAR = 0x0106;

inline constexpr std::uint32_t VK_RETURN = 0x0D;
inline constexpr std::uint32_t VK_ESCAPE = 0x1B;

// WM_ACTIVATEAPP and WM_SETCURSOR details.
inline constexpr std::intptr_t HTCLIENT = 1;

// Keyboard message lParam: repeat count in bits 0-15, scan code in bits 16-23, Alt held
// in bit 29, previous key state in bit 30.
inline constexpr std::intptr_t KF_ALTDOWN_BIT = std::intptr_t{1} << 29;
inline constexpr std::uint32_t SCAN_ESCAPE = 0x01;
inline constexpr std::uint32_t SCAN_RETURN = 0x1C;
std::intptr_t host_key_lparam(std::uint32_t scan_code, bool alt, bool repeat);

// MapVirtualKey: mode 1 maps a scan code (set 1) to a virtual key; mode 0 the reverse.
inline constexpr unsigned MAPVK_VK_TO_VSC = 0;
inline constexpr unsigned MAPVK_VSC_TO_VK = 1;
std::uint32_t host_map_virtual_key(std::uint32_t code, unsigned map_type);

struct HostMessage {
  WindowHandle window = nullptr;
  std::uint32_t message = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
};

// Posts a message to a window's queue; any thread. False when the window is null.
bool host_post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                       std::intptr_t lparam);
// Calls a window procedure with a message (CallWindowProc).
std::intptr_t host_call_window_proc(WindowProc procedure, WindowHandle window,
                                    std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam);
// Posts the quit message that ends the message loop.
void host_post_quit_message(int exit_code);
// Waits for the next message: > 0 for a message, 0 for the quit message, < 0 on error.
int host_get_message(HostMessage* message);
void host_translate_message(const HostMessage& message);
std::intptr_t host_dispatch_message(const HostMessage& message);
// Sends a message straight to the window procedure on the calling thread.
std::intptr_t host_send_message(WindowHandle window, std::uint32_t message,
                                std::uintptr_t wparam, std::intptr_t lparam);
// WM_SETICON sets the window icon, WM_PAINT validates, WM_SETCURSOR in the client area
// shows the arrow, WM_CLOSE destroys nothing (the display never passes it on).
std::intptr_t host_default_window_proc(WindowHandle window, std::uint32_t message,
                                       std::uintptr_t wparam, std::intptr_t lparam);
