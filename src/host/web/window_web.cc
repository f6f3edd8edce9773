// Web windows: the page is the one screen. Windows are records (host/recorded) without
// frames; the page's keys arrive as engine events for the newest window; the windowed
// canvas is shown on the page's canvas.
#include <emscripten/emscripten.h>

#include <mutex>

#include "host/common/event_queue.h"
#include "host/recorded/windows.h"
#include "host/web/web_internal.h"

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

std::mutex cursor_mutex;
int cursor_display_count = 0;

}  // namespace

// The page has no frames: outer and client rectangles are one.
recorded::FrameEdges recorded::frame_edges() { return {}; }

// The page's input, as engine events: 0 Escape, 1 close (the page is left).
extern "C" EMSCRIPTEN_KEEPALIVE int kestol_web_input(int what) {
  WindowHandle window = recorded::newest_window();
  if (window == nullptr) return 0;
  switch (what) {
    case 0: return host_post_event(window, HostEventType::escape) ? 1 : 0;
    case 1: return host_post_event(window, HostEventType::close_requested) ? 1 : 0;
    default: return 0;
  }
}

int host_screen_client_width() { return kScreenWidth; }
int host_screen_client_height() { return kScreenHeight; }

int host_show_cursor(bool show) {
  std::lock_guard lock(cursor_mutex);
  cursor_display_count += show ? 1 : -1;
  return cursor_display_count;
}

void host_set_cursor(bool) {}

HostCanvas* host_canvas_create(int width, int height) {
  return recorded::new_canvas(width, height, std::int64_t{1} << 24, 0u);
}

void host_canvas_destroy(HostCanvas* canvas) { delete canvas; }

// The page scales the picture itself (whole factors, letterboxed), so the client size
// given here does not matter.
void host_paint_canvas(WindowHandle, HostCanvas* canvas, int width, int height) {
  if (canvas == nullptr || width <= 0 || height <= 0) return;
  web::show_on_page(canvas->bits.get(), canvas->width, canvas->height, canvas->width * 4, true, -1);
}
