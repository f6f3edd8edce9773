// The Vexo demo: its pictures, the loaders they are read with, and the pieces of the frame
// script (exposed so tests can install pictures and drive the timeline directly).
#pragma once

#include <cstdint>

#include "app/frame.h"
#include "gfx/surface.h"

inline constexpr int sequence_count = 16;

// Loaded by demo_load, freed by demo_unload; read-only while the render thread runs.
extern Picture sequence[sequence_count];
extern Picture right_slider;
extern Picture left_slider;
extern Picture logo_overlay;
extern Picture logo;

// time_ms at which the current timed section of the script began.
extern std::uint32_t section_mark;

// Whether the position lies in [low, high); on entering the range (the previous position
// lay outside it) the mark is set to now and elapsed is 0, otherwise elapsed = now - mark.
bool section_timer(const FrameClock& clock, std::uint16_t low, std::uint16_t high, std::uint32_t& mark,
                   std::uint32_t& elapsed);

// One step per 8 ms, full after 2040 ms.
inline unsigned fade_level(std::uint32_t elapsed) { return elapsed >> 3 < 255 ? elapsed >> 3 : 255; }

// The largest picture the loaders take (in pixels); larger ones are reported as pictures
// that cannot be decoded.
inline constexpr std::uint64_t max_picture_pixels = 16u << 20;

// Picture loaders: each returns true or ends the program with a message naming the file.
bool picture_load(Picture& picture, const char* name);       // 32-bit pixels
bool picture_load_grey(Picture& picture, const char* name);  // one byte per pixel
bool picture_load_masked(Picture& picture, const char* colour_name, const char* mask_name);
// Moves the mask's bytes into the alpha bytes over the overlap of the two pictures.
void picture_apply_mask(Picture& colour, const Picture& mask);
void picture_free(Picture& picture);
