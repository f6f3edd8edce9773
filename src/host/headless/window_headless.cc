// Headless windows: records of their placement, style and paints, and a message queue.
#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

#include "host/common/message_queue.h"
#include "host/headless/headless.h"
#include "host/headless/headless_internal.h"

struct HostCanvas {
  int width = 0;
  int height = 0;
  std::unique_ptr<std::uint32_t[]> bits;
};

namespace {

struct HeadlessWindow {
  HostRect outer;
  bool visible = false;
  HostZOrder z_order = HostZOrder::unchanged;
  IconHandle icon = nullptr;
  bool painting = false;
};

// Guards the window records, the screen, the cursor and the paint results; the test
// thread reads them while the main thread changes them.
std::mutex state_mutex;
int screen_width = 1280;
int screen_height = 1024;
int cursor_display_count = 0;
bool cursor_is_arrow = true;
HostCanvas* last_canvas = nullptr;
headless::Image last_paint;
int paints = 0;

HeadlessWindow& record(WindowHandle window) {
  return *static_cast<HeadlessWindow*>(window->backend);
}

bool has_frame(std::uint32_t style) { return (style & WS_CAPTION) != 0; }

HostRect client_of(const HostRect& outer, std::uint32_t style) {
  HostRect client = outer;
  if (has_frame(style)) {
    client.left += headless::kFrameWidth;
    client.right -= headless::kFrameWidth;
    client.top += headless::kFrameWidth + headless::kCaptionHeight;
    client.bottom -= headless::kFrameWidth;
  }
  client.right = std::max(client.right, client.left);
  client.bottom = std::max(client.bottom, client.top);
  return client;
}

std::intptr_t pack(int low, int high) {
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(low) & 0xFFFF) |
                                    ((static_cast<std::uint32_t>(high) & 0xFFFF) << 16));
}

// Moves the outer rectangle and sends WM_MOVE/WM_SIZE for what changed, on this thread.
void place(WindowHandle window, const HostRect& outer, bool frame_changed) {
  HostRect before, after;
  {
    std::lock_guard lock(state_mutex);
    HeadlessWindow& w = record(window);
    before = client_of(w.outer, window->style);
    w.outer = outer;
    after = client_of(w.outer, window->style);
  }
  if (frame_changed || before.left != after.left || before.top != after.top)
    host_send_message(window, WM_MOVE, 0, pack(after.left, after.top));
  if (frame_changed || before.width() != after.width() || before.height() != after.height())
    host_send_message(window, WM_SIZE, 0, pack(after.width(), after.height()));
}

}  // namespace

int host_get_message(HostMessage* message) { return host_queue::get(message); }

bool host_register_window_class(const HostWindowClass&) { return true; }

WindowHandle host_window_create(const HostWindowDesc& desc) {
  WindowHandle window = host_queue::register_window(desc);
  auto w = std::make_unique<HeadlessWindow>();
  w->outer = HostRect{desc.x, desc.y, desc.x + desc.width, desc.y + desc.height};
  w->visible = (desc.style & WS_VISIBLE) != 0;
  w->icon = desc.icon;
  std::lock_guard lock(state_mutex);
  window->backend = w.release();
  return window;
}

void host_window_destroy(WindowHandle window) {
  if (!host_queue::window_alive(window)) return;
  {
    std::lock_guard lock(state_mutex);
    delete &record(window);
    window->backend = nullptr;
  }
  host_queue::unregister_window(window);
}

std::uint32_t host_window_style(WindowHandle window) {
  std::lock_guard lock(state_mutex);
  return window->style;
}

void host_window_set_style(WindowHandle window, std::uint32_t style) {
  std::lock_guard lock(state_mutex);
  window->style = style;
  record(window).visible = (style & WS_VISIBLE) != 0;
}

void host_window_set_icon(WindowHandle window, IconHandle icon) {
  std::lock_guard lock(state_mutex);
  record(window).icon = icon;
}

void host_window_set_pos(WindowHandle window, HostZOrder z_order, int x, int y, int width,
                         int height, std::uint32_t flags) {
  HostRect outer;
  {
    std::lock_guard lock(state_mutex);
    HeadlessWindow& w = record(window);
    if (z_order != HostZOrder::unchanged) w.z_order = z_order;
    if (flags & SWP_SHOWWINDOW) {
      w.visible = true;
      window->style |= WS_VISIBLE;
    }
    outer = w.outer;
  }
  if (!(flags & SWP_NOMOVE)) {
    outer = HostRect{x, y, x + outer.width(), y + outer.height()};
  }
  if (!(flags & SWP_NOSIZE)) {
    outer.right = outer.left + width;
    outer.bottom = outer.top + height;
  }
  place(window, outer, (flags & SWP_FRAMECHANGED) != 0);
}

void host_window_show(WindowHandle window, int show_command) {
  std::lock_guard lock(state_mutex);
  bool visible = show_command != SW_HIDE;
  record(window).visible = visible;
  if (visible)
    window->style |= WS_VISIBLE;
  else
    window->style &= ~WS_VISIBLE;
}

bool host_window_get_placement(WindowHandle window, HostWindowPlacement* placement) {
  if (!host_queue::window_alive(window) || placement == nullptr) return false;
  std::lock_guard lock(state_mutex);
  placement->show_command = record(window).visible ? SW_SHOWNORMAL : SW_HIDE;
  placement->normal = record(window).outer;
  return true;
}

bool host_window_set_placement(WindowHandle window, const HostWindowPlacement& placement) {
  if (!host_queue::window_alive(window)) return false;
  place(window, placement.normal, false);
  host_window_show(window, placement.show_command);
  return true;
}

void host_adjust_window_rect(HostRect* rect, std::uint32_t style) {
  if (!has_frame(style)) return;
  rect->left -= headless::kFrameWidth;
  rect->right += headless::kFrameWidth;
  rect->top -= headless::kFrameWidth + headless::kCaptionHeight;
  rect->bottom += headless::kFrameWidth;
}

int host_system_metric(int index) {
  std::lock_guard lock(state_mutex);
  if (index == SM_CXFULLSCREEN) return screen_width;
  if (index == SM_CYFULLSCREEN) return screen_height - headless::kCaptionHeight;
  return 0;
}

int host_show_cursor(bool show) {
  std::lock_guard lock(state_mutex);
  cursor_display_count += show ? 1 : -1;
  return cursor_display_count;
}

void host_set_cursor(bool arrow) {
  std::lock_guard lock(state_mutex);
  cursor_is_arrow = arrow;
}

void host_begin_paint(WindowHandle window) {
  host_validate(window);
  std::lock_guard lock(state_mutex);
  record(window).painting = true;
}

void host_end_paint(WindowHandle window) {
  host_validate(window);
  std::lock_guard lock(state_mutex);
  record(window).painting = false;
}

HostCanvas* host_canvas_create(int width, int height) {
  // At most 2^28 pixels (1 GiB); larger pictures get no canvas rather than a failure.
  if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > (std::int64_t{1} << 28))
    return nullptr;
  std::unique_ptr<std::uint32_t[]> bits(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(width) * height]);
  if (!bits) return nullptr;
  auto canvas = new HostCanvas;
  canvas->width = width;
  canvas->height = height;
  canvas->bits = std::move(bits);
  std::fill_n(canvas->bits.get(), static_cast<std::size_t>(width) * height, 0xCDCDCDCDu);
  std::lock_guard lock(state_mutex);
  last_canvas = canvas;
  return canvas;
}

void host_canvas_destroy(HostCanvas* canvas) {
  std::lock_guard lock(state_mutex);
  if (last_canvas == canvas) last_canvas = nullptr;
  delete canvas;
}

std::uint32_t* host_canvas_bits(HostCanvas* canvas) {
  return canvas ? canvas->bits.get() : nullptr;
}

void host_paint_canvas(WindowHandle, HostCanvas* canvas, int width, int height) {
  if (canvas == nullptr || width <= 0 || height <= 0) return;
  // Nearest-neighbour stretch into a top-down client-sized picture.
  headless::Image image;
  image.width = width;
  image.height = height;
  image.bits_per_pixel = 32;
  image.pitch = width * 4;
  image.bytes.resize(static_cast<std::size_t>(image.pitch) * height);
  auto* out = reinterpret_cast<std::uint32_t*>(image.bytes.data());
  for (int y = 0; y < height; ++y) {
    int source_row = canvas->height - 1 -
                     static_cast<int>(static_cast<std::int64_t>(y) * canvas->height / height);
    const std::uint32_t* row = canvas->bits.get() + static_cast<std::size_t>(source_row) * canvas->width;
    for (int x = 0; x < width; ++x)
      out[static_cast<std::size_t>(y) * width + x] =
          row[static_cast<std::int64_t>(x) * canvas->width / width];
  }
  std::lock_guard lock(state_mutex);
  last_paint = std::move(image);
  ++paints;
}

// ---- Headless controls ------------------------------------------------------------------

namespace headless {

void set_screen_size(int width, int height) {
  std::lock_guard lock(state_mutex);
  screen_width = width;
  screen_height = height;
}

void reset_windows() {
  std::lock_guard lock(state_mutex);
  screen_width = 1280;
  screen_height = 1024;
  cursor_display_count = 0;
  cursor_is_arrow = true;
  last_paint = Image{};
  paints = 0;
}

Image canvas_image() {
  std::lock_guard lock(state_mutex);
  Image image;
  if (last_canvas == nullptr) return image;
  image.width = last_canvas->width;
  image.height = last_canvas->height;
  image.pitch = image.width * 4;
  image.bits_per_pixel = 32;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(last_canvas->bits.get());
  image.bytes.assign(bytes, bytes + static_cast<std::size_t>(last_canvas->width) * last_canvas->height * 4);
  return image;
}

Image painted_image() {
  std::lock_guard lock(state_mutex);
  return last_paint;
}

int canvas_paint_count() {
  std::lock_guard lock(state_mutex);
  return paints;
}

WindowState window_state(WindowHandle window) {
  WindowState state;
  if (!host_queue::window_alive(window)) return state;
  std::lock_guard lock(state_mutex);
  const HeadlessWindow& w = record(window);
  state.outer = w.outer;
  HostRect client = client_of(w.outer, window->style);
  state.client_width = client.width();
  state.client_height = client.height();
  state.style = window->style;
  state.visible = w.visible;
  state.z_order = w.z_order;
  state.icon = w.icon;
  return state;
}

int cursor_count() {
  std::lock_guard lock(state_mutex);
  return cursor_display_count;
}

bool cursor_arrow() {
  std::lock_guard lock(state_mutex);
  return cursor_is_arrow;
}

void inject_key_down(WindowHandle window, std::uint32_t virtual_key) {
  std::uint32_t scan = host_map_virtual_key(virtual_key, MAPVK_VK_TO_VSC);
  host_post_message(window, WM_KEYDOWN, virtual_key, host_key_lparam(scan, false, false));
}

void inject_alt_enter(WindowHandle window) {
  host_post_message(window, WM_SYSCHAR, '\r', host_key_lparam(SCAN_RETURN, true, false));
}

void inject_activation(WindowHandle window, bool active) {
  if (!active) video_lose_surfaces();
  host_post_message(window, WM_ACTIVATEAPP, active ? 1 : 0, 0);
}

void user_move_window(WindowHandle window, int x, int y) {
  HostRect client;
  {
    std::lock_guard lock(state_mutex);
    HeadlessWindow& w = record(window);
    w.outer = HostRect{x, y, x + w.outer.width(), y + w.outer.height()};
    client = client_of(w.outer, window->style);
  }
  host_post_message(window, WM_MOVE, 0, pack(client.left, client.top));
}

void user_size_window(WindowHandle window, int width, int height) {
  HostRect client;
  {
    std::lock_guard lock(state_mutex);
    HeadlessWindow& w = record(window);
    w.outer.right = w.outer.left + width;
    w.outer.bottom = w.outer.top + height;
    client = client_of(w.outer, window->style);
  }
  host_post_message(window, WM_SIZE, 0, pack(client.width(), client.height()));
}

}  // namespace headless
