// The display window: opening and closing, its event handler (the hot keys, activation,
// placement and paints) and the switch between windowed and full-screen mode.
#include <chrono>
#include <condition_variable>

#include "display/display.h"
#include "display/display_internal.h"

DisplayState display;

namespace {

// A re-entrant lock made of a mutex and a condition, so the main thread can wait for it
// in slices and do the host's pending video work in between.
std::mutex lock_mutex;
std::condition_variable lock_free;
std::thread::id lock_owner;
int lock_depth = 0;
std::atomic<std::thread::id> main_thread_id;

void show_cursor_until_visible() {
  while (host_show_cursor(true) < 0) {
  }
}

void hide_cursor_until_hidden() {
  while (host_show_cursor(false) >= 0) {
  }
}

}  // namespace

void display_lock_enter() {
  std::thread::id me = std::this_thread::get_id();
  bool main_thread = me == main_thread_id.load();
  std::unique_lock lock(lock_mutex);
  if (lock_depth != 0 && lock_owner == me) {
    ++lock_depth;
    return;
  }
  while (lock_depth != 0) {
    if (!main_thread) {
      lock_free.wait(lock);
      continue;
    }
    lock.unlock();
    host_video_service();
    lock.lock();
    if (lock_depth != 0) lock_free.wait_for(lock, std::chrono::milliseconds(2));
  }
  lock_owner = me;
  lock_depth = 1;
}

void display_lock_leave() {
  {
    std::lock_guard lock(lock_mutex);
    if (--lock_depth == 0) lock_owner = std::thread::id();
  }
  lock_free.notify_all();
}

void display_set_title(const char* title) { display.window_title = title; }
void display_set_icon(IconHandle icon) { display.window_icon = icon; }
WindowHandle display_window() { return display.window; }

bool display_request_close() {
  return host_post_event(display.window, HostEventType::close_requested);
}

bool display_open(DisplayRequest& request) {
  if (request.width <= 0 || request.height <= 0) return false;
  display.content_width = request.width;
  display.content_height = request.height;
  display.row_bytes = static_cast<std::int64_t>(request.width) * 32 / 8;
  main_thread_id.store(std::this_thread::get_id());

  // The class first, so a host can name its windows after it when its video starts.
  HostWindowClass window_class;
  window_class.name = "YOLGFX";
  window_class.icon = display.window_icon;
  if (!host_register_window_class(window_class)) return false;
  if (!host_video_open()) return false;
  display.video_open = true;
  choose_fullscreen_mode();
  // Without a canvas (a picture too large to copy) windowed frames only invalidate.
  create_dib_section();

  display.client_width = display.content_width;
  display.client_height = display.content_height;
  if (host_screen_client_width() >= 3 * static_cast<std::int64_t>(display.client_width) &&
      host_screen_client_height() >= 3 * static_cast<std::int64_t>(display.client_height)) {
    display.client_width *= 2;
    display.client_height *= 2;
  }

  HostWindowDesc desc;
  desc.class_name = window_class.name;
  desc.title = display.window_title;
  desc.icon = display.window_icon;
  desc.frame = request.fullscreen ? HostFrame::popup : HostFrame::framed;
  desc.x = display.window_x;
  desc.y = display.window_y;
  desc.width = display.client_width;
  desc.height = display.client_height;
  desc.handler = display_handle_event;
  display.window = host_window_create(desc);
  if (display.window == nullptr) {
    display_close();
    return false;
  }

  {
    DisplayLockGuard lock;
    display.display_mode = request.fullscreen ? 1 : 0;
    if (display.display_mode == 1)
      enter_fullscreen();
    else
      enter_windowed();
  }
  request.display_hint_x = 1.0f;
  request.display_hint_y = 1.0f;
  return true;
}

void display_set_fullscreen(std::uint8_t flag) {
  if (flag != display.requested_fullscreen) {
    switch_mode(flag);
    display.requested_fullscreen = flag;
  }
}

void display_present(const std::uint32_t* pixels) {
  if (pixels == nullptr || display.window == nullptr) return;
  DisplayLockGuard lock;
  if (display.display_mode == 0)
    present_windowed(pixels);
  else
    present_fullscreen(pixels);
}

void display_close() {
  {
    DisplayLockGuard lock;
    if (display.window != nullptr) leave_fullscreen();
    display.display_mode = 0;
  }
  if (display.video_open) host_video_close();
  display.video_open = false;
  destroy_dib_section();
  if (display.window != nullptr) host_window_destroy(display.window);
  display.window = nullptr;
  // Back to the state before the first open, so the display can be opened again.
  display.window_x = 20;
  display.window_y = 20;
  display.app_active.store(1);
  display.requested_fullscreen = 0;
  display.placement_saved = 0;
}

void switch_mode(std::uint8_t flag) {
  std::int32_t target = flag != 0 ? 1 : 0;
  if (target == display.display_mode || display.window == nullptr) return;
  DisplayLockGuard lock;
  if (display.display_mode == 0) {
    if (host_window_get_placement(display.window, &display.saved_placement))
      display.placement_saved = 1;
  }
  leave_fullscreen();
  display.display_mode = target;
  if (target == 1)
    enter_fullscreen();
  else
    enter_windowed();
}

void enter_windowed() {
  WindowHandle window = display.window;
  std::uint32_t flags = 0;
  if (host_window_set_frame(window, HostFrame::framed)) {
    if (display.window_icon != nullptr) host_window_reset_icon(window, display.window_icon);
    flags |= host_place_frame_changed;
  }
  if (display.placement_saved) {
    host_window_set_placement(window, display.saved_placement);
    host_window_place(window, HostZOrder::top, 0, 0, 0, 0,
                      flags | host_place_keep_size | host_place_keep_position);
    display.placement_saved = 0;
  } else {
    HostRect rect{display.window_x, display.window_y, display.window_x + display.client_width,
                  display.window_y + display.client_height};
    host_adjust_window_rect(&rect, HostFrame::framed);
    host_window_place(window, HostZOrder::top, display.window_x, display.window_y,
                      rect.width(), rect.height(), flags);
    host_window_show(window, true);
  }
  show_cursor_until_visible();
}

bool display_handle_event(const HostEvent& event) {
  switch (event.type) {
    case HostEventType::escape:
      host_post_event(event.window, HostEventType::close_requested);
      return false;
    case HostEventType::toggle_fullscreen:
      switch_mode(display.requested_fullscreen ? 0 : 1);
      display.requested_fullscreen = display.requested_fullscreen ? 0 : 1;
      return true;
    case HostEventType::moved: {
      DisplayLockGuard lock;
      if (display.display_mode == 0) {
        display.window_x = event.x;
        display.window_y = event.y;
      }
      return true;
    }
    case HostEventType::resized: {
      DisplayLockGuard lock;
      if (display.display_mode == 0) {
        display.client_width = event.x;
        display.client_height = event.y;
      }
      return true;
    }
    case HostEventType::paint: {
      DisplayLockGuard lock;
      if (host_needs_paint(event.window)) {
        host_begin_paint(event.window);
        if (display.display_mode == 0) paint_windowed();
        host_end_paint(event.window);
      }
      return true;
    }
    case HostEventType::close_requested:
      host_post_quit(0);
      return true;
    case HostEventType::erase_background:
      return display.display_mode == 1;
    case HostEventType::activated:
    case HostEventType::deactivated: {
      bool active = event.type == HostEventType::activated;
      display.app_active.store(active ? 1 : 0);
      if (display.display_mode == 1 && active)
        hide_cursor_until_hidden();
      else
        show_cursor_until_visible();
      return false;
    }
    case HostEventType::pointer_over_window:
      if (display.display_mode == 1) {
        host_set_cursor(false);
        return true;
      }
      return false;
  }
  return false;
}
