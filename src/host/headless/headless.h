// Controls of the headless host, for tests and offline capture.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/video.h"
#include "host/window.h"

namespace headless {

// Virtual time: the performance counter advances only when its owner says so. One tick is
// 1/2,646,000 s, so both a 60 Hz video frame (44,100 ticks) and one 44,100 Hz audio frame
// (60 ticks) are whole numbers of ticks.
inline constexpr std::int64_t kTicksPerSecond = 2'646'000;

void set_virtual_time(bool enabled);
bool virtual_time();
// Moves virtual time on. While the audio device plays and a feeder refills it, returns
// only when the feeder has caught up with the new device position (settle_audio).
void advance_virtual_time(std::int64_t ticks);
std::int64_t virtual_ticks();

// One 60 Hz video frame: what every full-screen flip advances the virtual clock by.
inline constexpr std::int64_t kTicksPerVideoFrame = kTicksPerSecond / 60;

// Frame advance hooks, for whatever must see every frame in virtual time (the capture tool
// takes its frames here; the audio device needs none, advance_virtual_time settles it). In
// virtual time every full-screen flip first advances the clock by kTicksPerVideoFrame and then
// calls each registered callback, in registration order, on the flipping thread; the flip
// returns after the last one, so a callback may wait until its device has caught up. The
// callbacks do not run in real time. Returns an id for remove_frame_advance.
int on_frame_advance(std::function<void()> callback);
void remove_frame_advance(int id);

// Makes the performance counter fail (clock_ms then reads 0), as a broken counter would.
void set_counter_fails(bool fails);

// The texts of the message boxes shown so far, joined by newlines, and their count.
std::string message_box_log();
int message_box_count();

// ---- Audio device ----------------------------------------------------------------------
// In virtual time the device's position follows the virtual clock from the moment it
// starts playing (60 ticks per audio frame); otherwise it follows the steady clock.

// Makes host_audio_open fail, as a machine without a sound device would.
void set_audio_open_fails(bool fails);
bool audio_is_open();
bool audio_is_playing();

// Records what the device plays from now on, as it is heard: into memory (audio_recorded)
// and/or into a WAV file (44,100 Hz, 16-bit stereo). audio_record_wav is false when the
// file cannot be created. audio_record_stop completes and closes the WAV file and returns 0,
// or the errno of the first write, seek or close of it that failed (a full disk).
void set_audio_record_memory(bool enabled);
std::vector<std::uint8_t> audio_recorded();
void clear_audio_recorded();
bool audio_record_wav(const char* path);
int audio_record_stop();

// Waits (at most a few seconds of real time) until the feeder of the playing device has
// polled the current position and finished the refill it asked for. Returns at once when
// nothing plays or no feeder was announced.
void settle_audio();

// ---- Display (see window_headless.cc and video_headless.cc) --------------------------------

// The simulated screen: its size gives the screen's client width (the width) and height (the
// height less one caption). Windows with a caption have a frame of kFrameWidth pixels and
// a caption of kCaptionHeight above the client area.
inline constexpr int kFrameWidth = 4;
inline constexpr int kCaptionHeight = 20;
void set_screen_size(int width, int height);
// Configuration read when the display opens; reset_display() restores the defaults
// (video available; 640x480x16, 640x480x32, 800x600x32, 1024x768x32, 1280x1024x32;
// 16-bit modes 5:6:5; a 1280 x 1024 screen).
void set_video_available(bool available);
void set_display_modes(std::vector<HostDisplayMode> modes);
void set_green_mask_16(std::uint32_t green_mask);  // 0x07E0 (5:6:5) or 0x03E0 (5:5:5)
void reset_display();

// A copy of a surface: rows of `pitch` bytes.
struct Image {
  int width = 0;
  int height = 0;
  int pitch = 0;
  int bits_per_pixel = 0;
  std::vector<std::uint8_t> bytes;
  std::uint32_t pixel32(int x, int y) const;
  std::uint16_t pixel16(int x, int y) const;
};

// Full screen: the buffer last flipped to the front, the back buffer, the flip count.
Image front_buffer();
Image back_buffer();
int flip_count();
bool in_fullscreen();
HostDisplayMode fullscreen_mode();
// Windowed: the canvas as stored (bottom-up) and what the last paint put into the client
// area (top-down, client-sized), and how many paints drew it.
Image canvas_image();
Image painted_image();
int canvas_paint_count();

struct WindowState {
  HostRect outer;
  int client_width = 0;
  int client_height = 0;
  HostFrame frame = HostFrame::popup;
  bool visible = false;
  HostZOrder z_order = HostZOrder::unchanged;
  IconHandle icon = nullptr;
};
WindowState window_state(WindowHandle window);
// The ShowCursor display count and whether the shape is the arrow (SetCursor(NULL) not).
int cursor_count();
bool cursor_arrow();

// What the user does, posted to the window's queue (any thread): inject(window,
// HostEventType::escape) for the Escape key, toggle_fullscreen for Alt+Enter ...
void inject(WindowHandle window, HostEventType type);
// Switching away from full screen loses the surfaces (their content becomes garbage)
// until they are restored.
void inject_activation(WindowHandle window, bool active);
// The user drags or resizes the window: the record changes and moved/resized are posted.
void user_move_window(WindowHandle window, int x, int y);
void user_size_window(WindowHandle window, int width, int height);

}  // namespace headless
