// The display window: opening and closing, the window procedure, the hot keys and the
// switch between windowed and full-screen mode.
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

std::int32_t low_word(std::intptr_t value) { return static_cast<std::int16_t>(value & 0xFFFF); }
std::int32_t high_word(std::intptr_t value) {
  return static_cast<std::int16_t>((value >> 16) & 0xFFFF);
}

void show_cursor_until_visible() {
  while (host_show_cursor(true) < 0) {
  }
}

void hide_cursor_until_hidden() {
  while (host_show_cursor(false) >= 0) {
  }
}

std::intptr_t call_user_proc(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                             std::intptr_t lparam) {
  return host_call_window_proc(display.user_proc, window, message, wparam, lparam);
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

void display_set_user_proc(WindowProc procedure) {
  // None means the platform's default procedure (host_call_window_proc falls back to it).
  display.user_proc = procedure;
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
  window_class.procedure = display_window_proc;
  if (!host_register_window_class(window_class)) return false;
  if (!host_video_open()) return false;
  display.video_open = true;
  choose_fullscreen_mode();
  // Without a canvas (a picture too large to copy) windowed frames only invalidate.
  create_dib_section();

  display.client_width = display.content_width;
  display.client_height = display.content_height;
  if (host_system_metric(SM_CXFULLSCREEN) >= 3 * static_cast<std::int64_t>(display.client_width) &&
      host_system_metric(SM_CYFULLSCREEN) >= 3 * static_cast<std::int64_t>(display.client_height)) {
    display.client_width *= 2;
    display.client_height *= 2;
  }

  HostWindowDesc desc;
  desc.class_name = window_class.name;
  desc.title = display.window_title;
  desc.icon = display.window_icon;
  desc.style = request.fullscreen ? WS_POPUP : WS_OVERLAPPEDWINDOW;
  desc.x = display.window_x;
  desc.y = display.window_y;
  desc.width = display.client_width;
  desc.height = display.client_height;
  desc.procedure = display_window_proc;
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
  display_set_user_proc(hotkey_proc);
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
  std::uint32_t old_style = host_window_style(window);
  std::uint32_t style = (old_style & ~WS_POPUP) | WS_OVERLAPPEDWINDOW;
  std::uint32_t flags = 0;
  if (style != old_style) {
    host_window_set_style(window, style);
    if (display.window_icon != nullptr) {
      host_send_message(window, WM_SETICON, ICON_SMALL, 0);
      host_send_message(window, WM_SETICON, ICON_SMALL,
                        reinterpret_cast<std::intptr_t>(display.window_icon));
    }
    flags |= SWP_FRAMECHANGED;
  }
  if (display.placement_saved) {
    host_window_set_placement(window, display.saved_placement);
    host_window_set_pos(window, HostZOrder::top, 0, 0, 0, 0, flags | SWP_NOSIZE | SWP_NOMOVE);
    display.placement_saved = 0;
  } else {
    HostRect rect{display.window_x, display.window_y, display.window_x + display.client_width,
                  display.window_y + display.client_height};
    host_adjust_window_rect(&rect, style);
    host_window_set_pos(window, HostZOrder::top, display.window_x, display.window_y,
                        rect.width(), rect.height(), flags);
    host_window_show(window, SW_SHOWNORMAL);
  }
  show_cursor_until_visible();
}

std::intptr_t hotkey_proc(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                          std::intptr_t lparam) {
  if (message == WM_KEYDOWN && wparam == VK_ESCAPE) {
    host_post_message(window, WM_CLOSE, 0, 0);
  } else if (message == WM_SYSCHAR && (lparam & KF_ALTDOWN_BIT) != 0 &&
             host_map_virtual_key(static_cast<std::uint32_t>((lparam >> 16) & 0x7F),
                                  MAPVK_VSC_TO_VK) == VK_RETURN) {
    switch_mode(display.requested_fullscreen ? 0 : 1);
    display.requested_fullscreen = display.requested_fullscreen ? 0 : 1;
    return 0;
  }
  return host_default_window_proc(window, message, wparam, lparam);
}

std::intptr_t display_window_proc(WindowHandle window, std::uint32_t message,
                                  std::uintptr_t wparam, std::intptr_t lparam) {
  switch (message) {
    case WM_MOVE: {
      DisplayLockGuard lock;
      if (display.display_mode == 0) {
        display.window_x = low_word(lparam);
        display.window_y = high_word(lparam);
      }
      return 0;
    }
    case WM_SIZE: {
      DisplayLockGuard lock;
      if (display.display_mode == 0) {
        display.client_width = low_word(lparam) & 0xFFFF;
        display.client_height = high_word(lparam) & 0xFFFF;
      }
      return 0;
    }
    case WM_PAINT: {
      DisplayLockGuard lock;
      if (host_get_update_rect(window)) {
        host_begin_paint(window);
        if (display.display_mode == 0) paint_windowed();
        host_end_paint(window);
      }
      return 0;
    }
    case WM_CLOSE:
      host_post_quit_message(0);
      return 0;
    case WM_ERASEBKGND:
      if (display.display_mode == 1) return 0;
      return call_user_proc(window, message, wparam, lparam);
    case WM_ACTIVATEAPP:
      display.app_active.store(wparam != 0 ? 1 : 0);
      if (display.display_mode == 1 && wparam != 0)
        hide_cursor_until_hidden();
      else
        show_cursor_until_visible();
      return call_user_proc(window, message, wparam, lparam);
    case WM_SETCURSOR:
      if (display.display_mode == 1) {
        host_set_cursor(false);
        return 0;
      }
      return call_user_proc(window, message, wparam, lparam);
    default:
      return call_user_proc(window, message, wparam, lparam);
  }
}
