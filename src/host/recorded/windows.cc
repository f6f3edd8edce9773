// Windows as records: see windows.h.
#include "host/recorded/windows.h"

#include <algorithm>
#include <memory>
#include <new>

#include "host/common/event_queue.h"

namespace recorded {
namespace {

std::mutex mutex;
WindowHandle newest = nullptr;

// Moves the outer rectangle and delivers moved/resized for what changed, on this thread.
void place(WindowHandle window, const HostRect& outer, bool frame_changed) {
  HostRect before, after;
  {
    std::lock_guard lock(mutex);
    Window& w = record(window);
    before = client_of(w.outer, window->frame);
    w.outer = outer;
    after = client_of(w.outer, window->frame);
  }
  if (frame_changed || before.left != after.left || before.top != after.top)
    host_deliver_event(HostEvent{window, HostEventType::moved, after.left, after.top});
  if (frame_changed || before.width() != after.width() || before.height() != after.height())
    host_deliver_event(HostEvent{window, HostEventType::resized, after.width(), after.height()});
}

}  // namespace

std::mutex& state_mutex() { return mutex; }

Window& record(WindowHandle window) { return *static_cast<Window*>(window->backend); }

HostRect client_of(const HostRect& outer, HostFrame frame) {
  HostRect client = outer;
  if (frame == HostFrame::framed) {
    const FrameEdges edges = frame_edges();
    client.left += edges.side;
    client.right -= edges.side;
    client.top += edges.side + edges.caption;
    client.bottom -= edges.side;
  }
  client.right = std::max(client.right, client.left);
  client.bottom = std::max(client.bottom, client.top);
  return client;
}

HostCanvas* new_canvas(int width, int height, std::int64_t max_pixels, std::uint32_t fill) {
  if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > max_pixels) return nullptr;
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  std::unique_ptr<std::uint32_t[]> bits(new (std::nothrow) std::uint32_t[pixels]);
  if (!bits) return nullptr;
  std::fill_n(bits.get(), pixels, fill);
  auto canvas = new HostCanvas;
  canvas->width = width;
  canvas->height = height;
  canvas->bits = std::move(bits);
  return canvas;
}

WindowHandle newest_window() {
  std::lock_guard lock(mutex);
  return newest;
}

}  // namespace recorded

using recorded::record;
using recorded::state_mutex;

int host_run_event_loop() {
  HostEvent event;
  int exit_code = 0;
  while (host_queue::get(&event, &exit_code) > 0) host_deliver_event(event);
  return exit_code;
}

bool host_register_window_class(const HostWindowClass&) { return true; }

WindowHandle host_window_create(const HostWindowDesc& desc) {
  WindowHandle window = host_queue::register_window(desc);
  auto w = std::make_unique<recorded::Window>();
  w->outer = HostRect{desc.x, desc.y, desc.x + desc.width, desc.y + desc.height};
  w->icon = desc.icon;
  std::lock_guard lock(state_mutex());
  window->backend = w.release();
  recorded::newest = window;
  return window;
}

void host_window_destroy(WindowHandle window) {
  if (!host_queue::window_alive(window)) return;
  {
    std::lock_guard lock(state_mutex());
    delete &record(window);
    window->backend = nullptr;
    if (recorded::newest == window) recorded::newest = nullptr;
  }
  host_queue::unregister_window(window);
}

bool host_window_set_frame(WindowHandle window, HostFrame frame) {
  std::lock_guard lock(state_mutex());
  bool changed = window->frame != frame || (frame == HostFrame::popup && !window->visible);
  window->frame = frame;
  if (frame == HostFrame::popup) window->visible = true;
  return changed;
}

void host_window_reset_icon(WindowHandle window, IconHandle icon) {
  std::lock_guard lock(state_mutex());
  record(window).icon = icon;
}

void host_window_place(WindowHandle window, HostZOrder z_order, int x, int y, int width,
                       int height, std::uint32_t flags) {
  HostRect outer;
  {
    std::lock_guard lock(state_mutex());
    recorded::Window& w = record(window);
    if (z_order != HostZOrder::unchanged) w.z_order = z_order;
    if (flags & host_place_show) window->visible = true;
    outer = w.outer;
  }
  if (!(flags & host_place_keep_position)) {
    outer = HostRect{x, y, x + outer.width(), y + outer.height()};
  }
  if (!(flags & host_place_keep_size)) {
    outer.right = outer.left + width;
    outer.bottom = outer.top + height;
  }
  recorded::place(window, outer, (flags & host_place_frame_changed) != 0);
}

void host_window_show(WindowHandle window, bool show) {
  std::lock_guard lock(state_mutex());
  window->visible = show;
}

bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement) {
  if (!host_queue::window_alive(window) || placement == nullptr) return false;
  std::lock_guard lock(state_mutex());
  placement->show = window->visible ? HostShowState::normal : HostShowState::hidden;
  placement->normal = record(window).outer;
  return true;
}

bool host_window_set_placement(WindowHandle window, const HostWindowPlacement& placement) {
  if (!host_queue::window_alive(window)) return false;
  recorded::place(window, placement.normal, false);
  host_window_show(window, placement.show != HostShowState::hidden);
  return true;
}

void host_adjust_window_rect(HostRect* rect, HostFrame frame) {
  if (frame != HostFrame::framed) return;
  const recorded::FrameEdges edges = recorded::frame_edges();
  rect->left -= edges.side;
  rect->right += edges.side;
  rect->top -= edges.side + edges.caption;
  rect->bottom += edges.side;
}

std::uint32_t* host_canvas_bits(HostCanvas* canvas) { return canvas ? canvas->bits.get() : nullptr; }

void host_begin_paint(WindowHandle window) {
  host_validate(window);
  std::lock_guard lock(state_mutex());
  record(window).painting = true;
}

void host_end_paint(WindowHandle window) {
  host_validate(window);
  std::lock_guard lock(state_mutex());
  record(window).painting = false;
}
