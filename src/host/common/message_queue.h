// The thread-safe message queue and window registry that backends share. A backend's
// host_get_message waits here; a backend with its own event source (SDL) translates its
// events into posted messages and is woken through the wake hook.
#pragma once

#include <chrono>
#include <functional>

#include "host/messages.h"
#include "host/window.h"

struct HostWindow {
  HostWindowDesc desc;
  std::uint32_t style = 0;
  bool invalid = false;     // has an update region; guarded by the queue's lock
  void* backend = nullptr;  // backend-specific window state
};

namespace host_queue {

void post(const HostMessage& message);
void post_quit(int exit_code);
// Takes the next message without waiting: 1 for a message, 0 for the quit message, -1
// when there is none. Posted messages come first, then the quit message, then WM_PAINT
// for an invalidated window (it repeats until the window is validated).
int try_get(HostMessage* out);
// Waits for a message. `pump`, when given, is called before each wait and between waits
// of at most `slice`, so a backend can turn its own events into posted messages.
int get(HostMessage* out, const std::function<void()>& pump = {},
        std::chrono::milliseconds slice = std::chrono::milliseconds(10));
// Called (on the posting thread) after every post, quit and invalidation, so a backend
// blocked in its own event wait can return to the queue. Null for none.
void set_wake(void (*wake)());
void invalidate(WindowHandle window);
void validate(WindowHandle window);
bool is_invalid(WindowHandle window);
// True when the window exists (was created and not yet destroyed).
bool window_alive(WindowHandle window);
WindowHandle register_window(const HostWindowDesc& desc);
void unregister_window(WindowHandle window);
// Forget every pending message and the quit state (tests run several frames in a row).
void reset();

}  // namespace host_queue
