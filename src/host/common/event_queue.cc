#include "host/common/event_queue.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

namespace {

std::mutex queue_mutex;
std::condition_variable queue_ready;
std::deque<HostEvent> pending;
bool quit_posted = false;
int quit_code = 0;
std::set<WindowHandle> live_windows;
std::atomic<void (*)()> wake_hook{nullptr};

void wake() {
  queue_ready.notify_all();
  if (auto hook = wake_hook.load()) hook();
}

// With queue_mutex held.
int take_locked(HostEvent* out, int* exit_code) {
  if (!pending.empty()) {
    *out = pending.front();
    pending.pop_front();
    return 1;
  }
  // The quit comes once nothing else is posted.
  if (quit_posted) {
    quit_posted = false;
    if (exit_code != nullptr) *exit_code = quit_code;
    return 0;
  }
  for (WindowHandle window : live_windows) {
    if (window->invalid) {
      *out = HostEvent{window, HostEventType::paint, 0, 0};
      return 1;
    }
  }
  return -1;
}

}  // namespace

namespace host_queue {

void post(const HostEvent& event) {
  {
    std::lock_guard lock(queue_mutex);
    pending.push_back(event);
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

int try_get(HostEvent* out, int* exit_code) {
  std::lock_guard lock(queue_mutex);
  return take_locked(out, exit_code);
}

int get(HostEvent* out, int* exit_code, const std::function<void()>& pump, std::chrono::milliseconds slice) {
  std::unique_lock lock(queue_mutex);
  for (;;) {
    if (pump) {
      lock.unlock();
      pump();
      lock.lock();
    }
    int result = take_locked(out, exit_code);
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
  window->frame = desc.frame;
  std::lock_guard lock(queue_mutex);
  live_windows.insert(window.get());
  return window.release();
}

void unregister_window(WindowHandle window) {
  {
    std::lock_guard lock(queue_mutex);
    if (live_windows.erase(window) == 0) return;
    // Events still queued for the window are dropped with it.
    std::erase_if(pending, [window](const HostEvent& e) { return e.window == window; });
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

// The parts of the event interface that do not depend on the backend.

bool host_post_event(WindowHandle window, HostEventType type, int x, int y) {
  if (window == nullptr) return false;
  host_queue::post(HostEvent{window, type, x, y});
  return true;
}

void host_post_quit(int exit_code) { host_queue::post_quit(exit_code); }

bool host_deliver_event(const HostEvent& event) {
  WindowHandle window = event.window;
  if (!host_queue::window_alive(window)) return false;
  if (window->desc.handler != nullptr && window->desc.handler(event)) return true;
  switch (event.type) {
    case HostEventType::paint:
      host_begin_paint(window);
      host_end_paint(window);
      break;
    case HostEventType::pointer_over_window:
      host_set_cursor(true);
      break;
    default:
      break;
  }
  return false;
}

void host_invalidate(WindowHandle window) { host_queue::invalidate(window); }
void host_validate(WindowHandle window) { host_queue::validate(window); }
bool host_needs_paint(WindowHandle window) { return host_queue::is_invalid(window); }
