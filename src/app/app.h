// The application frame: start-up, the render thread and shutdown.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "app/config.h"
#include "app/frame.h"

// Bits of system_flags: what is currently up.
inline constexpr std::uint32_t display_up = 0x01;
inline constexpr std::uint32_t module_loaded = 0x02;
inline constexpr std::uint32_t music_playing = 0x08;
inline constexpr std::uint32_t render_running = 0x10;

extern std::atomic<std::uint32_t> system_flags;
extern std::uint32_t* framebuffer;
extern void* module_buffer;
extern std::uint32_t module_size;
extern Screen screen;
extern FrameClock frame_clock;
extern std::atomic<std::thread::id> render_thread_id;
// Written by the render thread before it ends, read by the main thread after joining it.
extern char* stored_fatal_message;

// Where the demo starts; set before kestol_main. By default at the beginning; otherwise
// with the music at `position` ((order << 8) | row) as if it had played up to there: from
// the start of the 20-ms chunk of sound in which that row first begins, or, with
// `frame_step`, from the first multiple of that many audio frames at or after it (so a
// capture's video frames fall where they fall in a whole run).
struct StartPoint {
  bool at_position = false;
  std::uint16_t position = 0;
  std::uint32_t frame_step = 0;
};
extern StartPoint start_point;
// The audio frame of the song at which the music starts (0 from the beginning); set by
// start-up once the module is loaded.
extern std::uint64_t start_frame;

// The whole program: start-up, message loop, shutdown. Returns the process exit code
// (fatal errors on the main thread exit the process with 1 instead).
int kestol_main();

bool system_init(DemoConfig& config);
bool display_init(DemoConfig& config);
void system_shutdown();

// Stops the music and frees the module buffer if either is up (shutdown and fatal paths).
void music_release();

// The render thread's routine; returns the thread's exit code (1 after a fatal error).
int render_thread_main();

void draw_loading_bar(const Surface& surface, float progress);
