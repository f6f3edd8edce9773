// Between the SDL host's window and video files. Everything here runs on the main thread
// unless it says otherwise.
#pragma once

#include <SDL.h>

#include <optional>

#include "host/common/event_queue.h"

struct SdlWindow {
  SDL_Window* sdl = nullptr;
  SDL_Renderer* renderer = nullptr;
  bool fullscreen = false;  // the video owns the window's picture while set
};

inline SdlWindow* sdl_window(WindowHandle window) {
  return window ? static_cast<SdlWindow*>(window->backend) : nullptr;
}

// True once SDL's video runs (host_video_open succeeded).
bool sdl_video_up();
// The message loop ended (quit message taken): flips stop waiting for the main thread.
void sdl_video_loop_running(bool running);
// Draws the last full-screen frame again (after an expose).
void sdl_video_repaint();
// Turns one SDL event into window events.
void sdl_translate_event(const SDL_Event& event);
// The window event a key press means: Escape, or Alt+Enter (either Enter key) to toggle
// full screen; none for every other key.
std::optional<HostEventType> sdl_key_event(const SDL_Keysym& key);
// The event type that wakes the main thread's event wait (any thread).
void sdl_wake_main_thread();
