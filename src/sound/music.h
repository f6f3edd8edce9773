// The sound subsystem's entry points.
#pragma once

#include <cstdint>

// Builds the player from a whole module file: 0 on success, 3 on failure.
int music_load(const void* data, std::uint32_t size);
bool music_start();
// music_start with the song already run, without mixing, to `frame` frames from its start
// (a multiple of the output's chunk, as music_seek_player gives it).
bool music_start_at(std::uint64_t frame);
// Asks the playing output to go to `position` ((order << 8) | row, the first time the song
// plays it): every chunk after the one being heard is mixed anew from the start of the
// chunk in which that row begins, so music_position moves when the new music is heard.
// False when nothing plays.
bool music_seek(std::uint16_t position);
std::uint16_t music_position();

struct ModulePlayer;
inline constexpr std::uint64_t music_no_position = ~std::uint64_t{0};
// Starts player and runs it without mixing to the first frame of the chunk (of the output's
// chunks from the song's start) in which `position` is first played; returns that frame,
// or music_no_position when the song ends before it.
std::uint64_t music_seek_player(ModulePlayer& player, std::uint16_t position);
// Stops the output, frees the player.
void music_stop();
