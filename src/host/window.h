// The program's window as the display sees it, in the engine's own terms: a window that
// reports what the user does as events, a placement, a frame, a cursor and a canvas.
// Each host turns its native window messages or events into these. Calls that touch a
// window run on the main thread (the thread that created it); posting events and
// invalidating work from any thread.
#pragma once

#include <cstdint>

#include "host/host.h"

struct HostWindow;
using WindowHandle = HostWindow*;

// What happens to a window.
enum class HostEventType : std::uint8_t {
  close_requested,      // the user (or the program) asks the window to close
  escape,               // the Escape key went down
  toggle_fullscreen,    // Alt+Enter
  activated,            // the program became the active one
  deactivated,          // the program was switched away from
  moved,                // x, y: the client area's new position
  resized,              // x, y: the client area's new width and height
  paint,                // the window needs its content drawn again
  erase_background,     // the host is about to fill the window with black
  pointer_over_window,  // the pointer moves over the window: set the cursor shape (the
                        // host's default is its usual cursor, the arrow in the client area)
};

struct HostEvent {
  WindowHandle window = nullptr;
  HostEventType type = HostEventType::paint;
  int x = 0;
  int y = 0;
};

// Receives a window's events on the main thread. Returns true when it consumed the event,
// so the host skips its own default (erasing the background, showing the arrow, ...).
using WindowEventHandler = bool (*)(const HostEvent& event);

// Posts an event to a window's queue; any thread. False when the window is null.
bool host_post_event(WindowHandle window, HostEventType type, int x = 0, int y = 0);
// Ends the event loop with `exit_code` once every event posted before is delivered.
void host_post_quit(int exit_code);
// Waits for events and delivers them to the handlers of their windows until the quit.
// Returns the quit's exit code, or -1 when the platform's event wait failed.
int host_run_event_loop();

enum class HostZOrder { unchanged, top, topmost };

struct HostRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

// How a window shows when it is restored from its placement.
enum class HostShowState { hidden, normal, minimized, maximized };

// What a window looks like when it is neither minimised nor maximised.
struct HostWindowPlacement {
  HostShowState show = HostShowState::normal;
  HostRect normal;  // outer rectangle
};

// The frame: a popup has none (full screen); a framed window has a caption, a system menu,
// a sizing border and the minimise and maximise boxes.
enum class HostFrame { popup, framed };

// Names every window of the program before any window exists (on X11 its class name).
struct HostWindowClass {
  const char* name = "YOLGFX";
  IconHandle icon = nullptr;
};
bool host_register_window_class(const HostWindowClass& window_class);

struct HostWindowDesc {
  const char* class_name = "YOLGFX";
  const char* title = "";
  IconHandle icon = nullptr;
  HostFrame frame = HostFrame::popup;  // created hidden
  int x = 0, y = 0;
  int width = 0, height = 0;  // outer size
  WindowEventHandler handler = nullptr;
};

// Null when the window cannot be made (no display).
WindowHandle host_window_create(const HostWindowDesc& desc);
void host_window_destroy(WindowHandle window);

// A popup frame also shows the window. A framed window keeps its visibility. Returns true
// when the frame changed; the window's size follows at the next placement with
// host_place_frame_changed.
bool host_window_set_frame(WindowHandle window, HostFrame frame);
// Sets the window's small icon again (after its frame came back).
void host_window_reset_icon(WindowHandle window, IconHandle icon);

// Flags of host_window_place.
inline constexpr std::uint32_t host_place_keep_size = 1;
inline constexpr std::uint32_t host_place_keep_position = 2;
inline constexpr std::uint32_t host_place_frame_changed = 4;
inline constexpr std::uint32_t host_place_show = 8;
// Moves and sizes the outer rectangle; delivers moved and resized to the handler on the
// calling thread when the position or the client size changes.
void host_window_place(WindowHandle window, HostZOrder z_order, int x, int y, int width,
                       int height, std::uint32_t flags);
void host_window_show(WindowHandle window, bool show);
bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement);
bool host_window_set_placement(WindowHandle window, const HostWindowPlacement& placement);
// Grows a client rectangle to the outer rectangle a window with `frame` needs.
void host_adjust_window_rect(HostRect* rect, HostFrame frame);
// The client area a maximised window would get on the primary screen.
int host_screen_client_width();
int host_screen_client_height();

// Cursor: a display count (visible while >= 0) and the current shape (false hides it).
// Both on the main thread.
int host_show_cursor(bool show);
void host_set_cursor(bool arrow);

// Painting. Invalidation makes a later paint event (any thread); begin/end paint validate.
void host_invalidate(WindowHandle window);
void host_validate(WindowHandle window);
bool host_needs_paint(WindowHandle window);
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
