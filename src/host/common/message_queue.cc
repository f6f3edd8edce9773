#include "host/common/message_queue.h"

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

}  // namespace

namespace host_queue {

void post(const HostMessage& message) {
  {
    std::lock_guard lock(queue_mutex);
    pending.push_back(message);
  }
  queue_ready.notify_all();
}

void post_quit(int exit_code) {
  {
    std::lock_guard lock(queue_mutex);
    quit_posted = true;
    quit_code = exit_code;
  }
  queue_ready.notify_all();
}

int get(HostMessage* out, const std::function<void()>& pump, std::chrono::milliseconds slice) {
  std::unique_lock lock(queue_mutex);
  for (;;) {
    if (pump) {
      lock.unlock();
      pump();
      lock.lock();
    }
    if (!pending.empty()) {
      *out = pending.front();
      pending.pop_front();
      return 1;
    }
    // Like the original platform: the quit message comes once nothing else is pending.
    if (quit_posted) {
      quit_posted = false;
      *out = HostMessage{nullptr, WM_QUIT, static_cast<std::uintptr_t>(quit_code), 0};
      return 0;
    }
    if (pump)
      queue_ready.wait_for(lock, slice);
    else
      queue_ready.wait(lock);
  }
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

std::intptr_t host_default_window_proc(WindowHandle, std::uint32_t, std::uintptr_t,
                                       std::intptr_t) {
  return 0;
}
