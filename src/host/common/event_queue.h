// The thread-safe event queue and window registry that the SDL and headless hosts share.
// Their event loop waits here; the SDL host translates its own events into posted events
// and is woken through the wake hook.
#pragma once

#include <chrono>
#include <functional>

#include "host/window.h"

struct HostWindow {
  HostWindowDesc desc;
  HostFrame frame = HostFrame::popup;
  bool visible = false;
  bool invalid = false;     // has an update region; guarded by the queue's lock
  void* backend = nullptr;  // backend-specific window state
};

namespace host_queue {

void post(const HostEvent& event);
void post_quit(int exit_code);
// Takes the next event without waiting: 1 for an event, 0 for the quit (its exit code in
// *exit_code when given), -1 when there is none. Posted events come first, then the quit,
// then paint for an invalidated window (it repeats until the window is validated).
int try_get(HostEvent* out, int* exit_code = nullptr);
// Waits for an event. `pump`, when given, is called before each wait and between waits
// of at most `slice`, so a backend can turn its own events into posted events.
int get(HostEvent* out, int* exit_code = nullptr, const std::function<void()>& pump = {},
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
// Forget every pending event and the quit state (tests run several frames in a row).
void reset();

}  // namespace host_queue

// Hands an event to its window's handler and, when the handler leaves it, does the host's
// default: the arrow over the client area, validation for a paint.
bool host_deliver_event(const HostEvent& event);
