// Between the web host's files: the page's settings and the virtual clock of its test mode.
#pragma once

#include <cstdint>

namespace web {

// Set by the page before the program starts (kestol_web_configure).
bool test_mode();     // virtual time, as on the headless host: the page's ?test=1
bool audio_ready();   // the page has an AudioContext and the output worklet running

// The test mode's clock: 2,646,000 ticks per second, so a 60 Hz frame (44,100 ticks)
// and an audio frame (60 ticks) are whole numbers of ticks.
inline constexpr std::int64_t kTicksPerSecond = 2'646'000;
inline constexpr std::int64_t kTicksPerVideoFrame = kTicksPerSecond / 60;
std::int64_t virtual_ticks();
// Moves the test mode's clock on and returns once the audio feeder has caught up.
void advance_virtual_time(std::int64_t ticks);
void settle_audio();

// Video frames shown since the music began playing, -1 before (the page numbers its
// frames so, as the capture does).
void note_music_started();
void note_music_stopped();
std::int64_t frame_number_for_flip();

// Shows 32-bit pixels (0x00RRGGBB) on the page's canvas, rows `pitch` bytes apart (the
// last row first when bottom_up); `frame` as frame_number_for_flip gave it. Returns once
// the page has drawn them.
void show_on_page(const void* pixels, int width, int height, int pitch, bool bottom_up,
                  std::int64_t frame);

}  // namespace web
