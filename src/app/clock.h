// The render thread's millisecond clock.
#pragma once

#include <cstdint>

// Starts the clock; with audio_frames, as if it had started that long (at 44,100 frames a
// second) before now.
void clock_start(std::uint64_t audio_frames = 0);
std::uint32_t clock_ms();
