// A look inside the music output, for tests: the hand-over state of the audio thread.
#pragma once

#include <cstdint>

namespace music_output {

int play_index();
// Next chunk to mix; read it only while no audio thread runs.
int write_chunk();
bool stop_requested();
bool mixing_busy();
bool thread_ended();
// The position recorded for chunk (0..99); 0 outside.
std::uint16_t record(int chunk);
// Called inside every chunk mixed by the audio thread (not during the pre-fill), while
// the busy flag is set; null for none.
void set_mix_hook(void (*hook)());

}  // namespace music_output
