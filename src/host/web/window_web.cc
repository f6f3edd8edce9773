// Web windows: the page is the one screen. A window is a record (placement, frame) with
// the shared event queue; the page's keys arrive as engine events; the windowed canvas is
// shown on the page's canvas.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>

#include "host/common/event_queue.h"
#include "host/web/web_internal.h"

struct HostCanvas {
  int width = 0;
  int height = 0;
  std::unique_ptr<std::uint32_t[]> bits;
};

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

struct WebWindow {
  HostRect outer;
};

std::mutex state_mutex;
std::atomic<WindowHandle> input_window{nullptr};
int cursor_display_count = 0;

WebWindow& record(WindowHandle window) { return *static_cast<WebWindow*>(window->backend); }

void place(WindowHandle window, const HostRect& outer, bool frame_changed) {
  HostRect before;
  {
    std::lock_guard lock(state_mutex);
    WebWindow& w = record(window);
    before = w.outer;
    w.outer = outer;
  }
  if (frame_changed || before.left != outer.left || before.top != outer.top)
    host_deliver_event(HostEvent{window, HostEventType::moved, outer.left, outer.top});
  if (frame_changed || before.width() != outer.width() || before.height() != outer.height())
    host_deliver_event(HostEvent{window, HostEventType::resized, outer.width(), outer.height()});
}

}  // namespace

// The page's input, as engine events: 0 Escape, 1 close (the page is left).
extern "C" EMSCRIPTEN_KEEPALIVE int kestol_web_input(int what) {
  WindowHandle window = input_window.load();
  if (window == nullptr) return 0;
  switch (what) {
    case 0: return host_post_event(window, HostEventType::escape) ? 1 : 0;
    case 1: return host_post_event(window, HostEventType::close_requested) ? 1 : 0;
    default: return 0;
  }
}

int host_run_event_loop() {
  HostEvent event;
  int exit_code = 0;
  while (host_queue::get(&event, &exit_code) > 0) host_deliver_event(event);
  return exit_code;
}

bool host_register_window_class(const HostWindowClass&) { return true; }

WindowHandle host_window_create(const HostWindowDesc& desc) {
  WindowHandle window = host_queue::register_window(desc);
  auto w = std::make_unique<WebWindow>();
  // The page has no frames: outer and client rectangles are one.
  w->outer = HostRect{desc.x, desc.y, desc.x + desc.width, desc.y + desc.height};
  {
    std::lock_guard lock(state_mutex);
    window->backend = w.release();
  }
  input_window.store(window);
  return window;
}

void host_window_destroy(WindowHandle window) {
  if (!host_queue::window_alive(window)) return;
  WindowHandle expected = window;
  input_window.compare_exchange_strong(expected, nullptr);
  {
    std::lock_guard lock(state_mutex);
    delete &record(window);
    window->backend = nullptr;
  }
  host_queue::unregister_window(window);
}

bool host_window_set_frame(WindowHandle window, HostFrame frame) {
  std::lock_guard lock(state_mutex);
  bool changed = window->frame != frame || (frame == HostFrame::popup && !window->visible);
  window->frame = frame;
  if (frame == HostFrame::popup) window->visible = true;
  return changed;
}

void host_window_reset_icon(WindowHandle, IconHandle) {}

void host_window_place(WindowHandle window, HostZOrder, int x, int y, int width, int height,
                       std::uint32_t flags) {
  HostRect outer;
  {
    std::lock_guard lock(state_mutex);
    if (flags & host_place_show) window->visible = true;
    outer = record(window).outer;
  }
  if (!(flags & host_place_keep_position)) outer = HostRect{x, y, x + outer.width(), y + outer.height()};
  if (!(flags & host_place_keep_size)) {
    outer.right = outer.left + width;
    outer.bottom = outer.top + height;
  }
  place(window, outer, (flags & host_place_frame_changed) != 0);
}

void host_window_show(WindowHandle window, bool show) {
  std::lock_guard lock(state_mutex);
  window->visible = show;
}

bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement) {
  if (!host_queue::window_alive(window) || placement == nullptr) return false;
  std::lock_guard lock(state_mutex);
  placement->show = window->visible ? HostShowState::normal : HostShowState::hidden;
  placement->normal = record(window).outer;
  return true;
}

bool host_window_set_placement(WindowHandle window, const HostWindowPlacement& placement) {
  if (!host_queue::window_alive(window)) return false;
  place(window, placement.normal, false);
  host_window_show(window, placement.show != HostShowState::hidden);
  return true;
}

void host_adjust_window_rect(HostRect*, HostFrame) {}
int host_screen_client_width() { return kScreenWidth; }
int host_screen_client_height() { return kScreenHeight; }

int host_show_cursor(bool show) {
  std::lock_guard lock(state_mutex);
  cursor_display_count += show ? 1 : -1;
  return cursor_display_count;
}

void host_set_cursor(bool) {}

void host_begin_paint(WindowHandle window) { host_validate(window); }
void host_end_paint(WindowHandle window) { host_validate(window); }

HostCanvas* host_canvas_create(int width, int height) {
  if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > (std::int64_t{1} << 24))
    return nullptr;
  std::unique_ptr<std::uint32_t[]> bits(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(width) * height]);
  if (!bits) return nullptr;
  auto canvas = new HostCanvas;
  canvas->width = width;
  canvas->height = height;
  canvas->bits = std::move(bits);
  std::fill_n(canvas->bits.get(), static_cast<std::size_t>(width) * height, 0u);
  return canvas;
}

void host_canvas_destroy(HostCanvas* canvas) { delete canvas; }

std::uint32_t* host_canvas_bits(HostCanvas* canvas) { return canvas ? canvas->bits.get() : nullptr; }

// The page scales the picture itself (whole factors, letterboxed), so the client size
// given here does not matter.
void host_paint_canvas(WindowHandle, HostCanvas* canvas, int width, int height) {
  if (canvas == nullptr || width <= 0 || height <= 0) return;
  web::show_on_page(canvas->bits.get(), canvas->width, canvas->height, canvas->width * 4, true, -1);
}
