// Window creation and handling. The display window logic (src/display/) is the only user.
// Calls that touch a window run on the main thread (the thread that created it); posting
// messages and invalidating work from any thread.
#pragma once

#include <cstdint>

#include "host/messages.h"

// Window style bits of the original platform.
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_THICKFRAME = 0x00040000u;
inline constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000u;
inline constexpr std::uint32_t WS_MAXIMIZEBOX = 0x00010000u;
inline constexpr std::uint32_t WS_OVERLAPPEDWINDOW =
    WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

// Position flags (SetWindowPos).
inline constexpr std::uint32_t SWP_NOSIZE = 0x0001;
inline constexpr std::uint32_t SWP_NOMOVE = 0x0002;
inline constexpr std::uint32_t SWP_FRAMECHANGED = 0x0020;
inline constexpr std::uint32_t SWP_SHOWWINDOW = 0x0040;

// Where a positioned window goes in the stacking order.
enum class HostZOrder { unchanged, top, topmost };

// Show commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;

// System metrics: the client area a maximised window would get on the primary screen.
inline constexpr int SM_CXFULLSCREEN = 16;
inline constexpr int SM_CYFULLSCREEN = 17;

inline constexpr std::uintptr_t ICON_SMALL = 0;

struct HostRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

// What a window looks like when it is neither minimised nor maximised (WINDOWPLACEMENT).
struct HostWindowPlacement {
  int show_command = SW_SHOWNORMAL;
  HostRect normal;  // outer rectangle
};

// The class every window of the program is made from. Registering it first lets a host
// name its windows after it before any window exists (the X11 WM_CLASS).
struct HostWindowClass {
  const char* name = "YOLGFX";
  IconHandle icon = nullptr;
  WindowProc procedure = nullptr;
};
bool host_register_window_class(const HostWindowClass& window_class);

struct HostWindowDesc {
  const char* class_name = "YOLGFX";
  const char* title = "";
  IconHandle icon = nullptr;
  std::uint32_t style = 0;  // window style bits of the original platform (WS_*)
  int x = 0, y = 0;
  int width = 0, height = 0;  // outer size
  WindowProc procedure = nullptr;
};

// Null when the window cannot be made (no display).
WindowHandle host_window_create(const HostWindowDesc& desc);
void host_window_destroy(WindowHandle window);

std::uint32_t host_window_style(WindowHandle window);
// Changes the style bits; the frame follows at the next position change with
// SWP_FRAMECHANGED, as on the original platform.
void host_window_set_style(WindowHandle window, std::uint32_t style);
void host_window_set_icon(WindowHandle window, IconHandle icon);
// Moves and sizes the outer rectangle; sends WM_MOVE and WM_SIZE to the procedure on the
// calling thread when the position or the client size changes.
void host_window_set_pos(WindowHandle window, HostZOrder z_order, int x, int y, int width,
                         int height, std::uint32_t flags);
void host_window_show(WindowHandle window, int show_command);
bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement);
bool host_window_set_placement(WindowHandle window, const HostWindowPlacement& placement);
// Grows a client rectangle to the outer rectangle a window of `style` needs (no menu).
void host_adjust_window_rect(HostRect* rect, std::uint32_t style);
int host_system_metric(int index);

// Cursor: a display count like ShowCursor (visible while >= 0) and the current shape
// (null hides it, as SetCursor(NULL) does). Both on the main thread.
int host_show_cursor(bool show);
void host_set_cursor(bool arrow);

// Painting. Invalidation makes a later WM_PAINT (any thread); begin/end paint validate.
void host_invalidate(WindowHandle window);
void host_validate(WindowHandle window);
bool host_get_update_rect(WindowHandle window);
void host_begin_paint(WindowHandle window);
void host_end_paint(WindowHandle window);

// The windowed canvas: a 32-bit bottom-up buffer of the content size (row 0 in memory is
// the bottom row of the picture), painted stretched into the client area.
struct HostCanvas;
HostCanvas* host_canvas_create(int width, int height);
void host_canvas_destroy(HostCanvas* canvas);
std::uint32_t* host_canvas_bits(HostCanvas* canvas);
// Between host_begin_paint and host_end_paint: stretches source (0, 0, canvas size) onto
// destination (0, 0, width, height) of the client area.
void host_paint_canvas(WindowHandle window, HostCanvas* canvas, int width, int height);
