// The thread-safe message queue and window registry that backends share. A backend's
// host_get_message waits here; a backend with its own event source (SDL) translates its
// events into posted messages and wakes the queue.
#pragma once

#include <chrono>
#include <functional>

#include "host/messages.h"
#include "host/window.h"

struct HostWindow {
  HostWindowDesc desc;
  std::uint32_t style = 0;
  void* backend = nullptr;  // backend-specific window state
};

namespace host_queue {

void post(const HostMessage& message);
void post_quit(int exit_code);
// Waits for a message. `pump`, when given, is called before each wait and between waits
// of at most `slice`, so a backend can turn its own events into posted messages.
int get(HostMessage* out, const std::function<void()>& pump = {},
        std::chrono::milliseconds slice = std::chrono::milliseconds(10));
// True when the window exists (was created and not yet destroyed).
bool window_alive(WindowHandle window);
WindowHandle register_window(const HostWindowDesc& desc);
void unregister_window(WindowHandle window);
// Forget every pending message and the quit state (tests run several frames in a row).
void reset();

}  // namespace host_queue
