#include "host/common/message_queue.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

namespace {

std::mutex queue_mutex;
std::condition_variable queue_ready;
std::deque<HostMessage> pending;
bool quit_posted = false;
int quit_code = 0;
std::set<WindowHandle> live_windows;
std::atomic<void (*)()> wake_hook{nullptr};

void wake() {
  queue_ready.notify_all();
  if (auto hook = wake_hook.load()) hook();
}

// With queue_mutex held.
int take_locked(HostMessage* out) {
  if (!pending.empty()) {
    *out = pending.front();
    pending.pop_front();
    return 1;
  }
  // Like the original platform: the quit message comes once nothing else is posted.
  if (quit_posted) {
    quit_posted = false;
    *out = HostMessage{nullptr, WM_QUIT, static_cast<std::uintptr_t>(quit_code), 0};
    return 0;
  }
  for (WindowHandle window : live_windows) {
    if (window->invalid) {
      *out = HostMessage{window, WM_PAINT, 0, 0};
      return 1;
    }
  }
  return -1;
}

}  // namespace

namespace host_queue {

void post(const HostMessage& message) {
  {
    std::lock_guard lock(queue_mutex);
    pending.push_back(message);
  }
  wake();
}

void post_quit(int exit_code) {
  {
    std::lock_guard lock(queue_mutex);
    quit_posted = true;
    quit_code = exit_code;
  }
  wake();
}

int try_get(HostMessage* out) {
  std::lock_guard lock(queue_mutex);
  return take_locked(out);
}

int get(HostMessage* out, const std::function<void()>& pump, std::chrono::milliseconds slice) {
  std::unique_lock lock(queue_mutex);
  for (;;) {
    if (pump) {
      lock.unlock();
      pump();
      lock.lock();
    }
    int result = take_locked(out);
    if (result >= 0) return result;
    if (pump)
      queue_ready.wait_for(lock, slice);
    else
      queue_ready.wait(lock);
  }
}

void set_wake(void (*hook)()) { wake_hook.store(hook); }

void invalidate(WindowHandle window) {
  {
    std::lock_guard lock(queue_mutex);
    if (live_windows.count(window) == 0 || window->invalid) return;
    window->invalid = true;
  }
  wake();
}

void validate(WindowHandle window) {
  std::lock_guard lock(queue_mutex);
  if (live_windows.count(window) != 0) window->invalid = false;
}

bool is_invalid(WindowHandle window) {
  std::lock_guard lock(queue_mutex);
  return live_windows.count(window) != 0 && window->invalid;
}

bool window_alive(WindowHandle window) {
  std::lock_guard lock(queue_mutex);
  return window != nullptr && live_windows.count(window) != 0;
}

WindowHandle register_window(const HostWindowDesc& desc) {
  auto window = std::make_unique<HostWindow>();
  window->desc = desc;
  window->style = desc.style;
  std::lock_guard lock(queue_mutex);
  live_windows.insert(window.get());
  return window.release();
}

void unregister_window(WindowHandle window) {
  {
    std::lock_guard lock(queue_mutex);
    if (live_windows.erase(window) == 0) return;
    // Messages still queued for the window are dropped with it.
    std::erase_if(pending, [window](const HostMessage& m) { return m.window == window; });
  }
  delete window;
}

void reset() {
  std::lock_guard lock(queue_mutex);
  pending.clear();
  quit_posted = false;
  quit_code = 0;
}

}  // namespace host_queue

// The parts of the message interface that do not depend on the backend.

bool host_post_message(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                       std::intptr_t lparam) {
  if (window == nullptr) return false;
  host_queue::post(HostMessage{window, message, wparam, lparam});
  return true;
}

void host_post_quit_message(int exit_code) { host_queue::post_quit(exit_code); }

void host_translate_message(const HostMessage&) {}

std::intptr_t host_send_message(WindowHandle window, std::uint32_t message,
                                std::uintptr_t wparam, std::intptr_t lparam) {
  if (!host_queue::window_alive(window) || window->desc.procedure == nullptr) return 0;
  return window->desc.procedure(window, message, wparam, lparam);
}

std::intptr_t host_dispatch_message(const HostMessage& message) {
  return host_send_message(message.window, message.message, message.wparam, message.lparam);
}

std::intptr_t host_call_window_proc(WindowProc procedure, WindowHandle window,
                                    std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam) {
  if (procedure == nullptr) return host_default_window_proc(window, message, wparam, lparam);
  return procedure(window, message, wparam, lparam);
}

std::intptr_t host_default_window_proc(WindowHandle window, std::uint32_t message,
                                       std::uintptr_t wparam, std::intptr_t lparam) {
  switch (message) {
    case WM_SETICON:
      if (wparam == ICON_SMALL)
        host_window_set_icon(window, reinterpret_cast<IconHandle>(lparam));
      return 0;
    case WM_PAINT:
      host_begin_paint(window);
      host_end_paint(window);
      return 0;
    case WM_SETCURSOR:
      if ((lparam & 0xFFFF) == HTCLIENT) {
        host_set_cursor(true);
        return 1;
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;
    default:
      return 0;
  }
}

void host_invalidate(WindowHandle window) { host_queue::invalidate(window); }
void host_validate(WindowHandle window) { host_queue::validate(window); }
bool host_get_update_rect(WindowHandle window) { return host_queue::is_invalid(window); }

std::intptr_t host_key_lparam(std::uint32_t scan_code, bool alt, bool repeat) {
  std::intptr_t lparam = 1 | static_cast<std::intptr_t>((scan_code & 0xFF) << 16);
  if (alt) lparam |= KF_ALTDOWN_BIT;
  if (repeat) lparam |= std::intptr_t{1} << 30;
  return lparam;
}

namespace {

// Scan codes (set 1) of the keys the program's messages use, with their virtual keys.
struct KeyName {
  std::uint32_t scan;
  std::uint32_t vk;
};
constexpr KeyName key_names[] = {
    {0x01, VK_ESCAPE}, {0x1C, VK_RETURN}, {0x0E, 0x08}, {0x0F, 0x09}, {0x39, 0x20},
    {0x1E, 'A'},       {0x30, 'B'},       {0x2E, 'C'},  {0x20, 'D'},  {0x12, 'E'},
    {0x21, 'F'},       {0x22, 'G'},       {0x23, 'H'},  {0x17, 'I'},  {0x24, 'J'},
    {0x25, 'K'},       {0x26, 'L'},       {0x32, 'M'},  {0x31, 'N'},  {0x18, 'O'},
    {0x19, 'P'},       {0x10, 'Q'},       {0x13, 'R'},  {0x1F, 'S'},  {0x14, 'T'},
    {0x16, 'U'},       {0x2F, 'V'},       {0x11, 'W'},  {0x2D, 'X'},  {0x15, 'Y'},
    {0x2C, 'Z'},       {0x0B, '0'},       {0x02, '1'},  {0x03, '2'},  {0x04, '3'},
    {0x05, '4'},       {0x06, '5'},       {0x07, '6'},  {0x08, '7'},  {0x09, '8'},
    {0x0A, '9'},
};

}  // namespace

std::uint32_t host_map_virtual_key(std::uint32_t code, unsigned map_type) {
  for (const KeyName& key : key_names) {
    if (map_type == MAPVK_VSC_TO_VK && key.scan == code) return key.vk;
    if (map_type == MAPVK_VK_TO_VSC && key.vk == code) return key.scan;
  }
  return 0;
}
