// Median-cut colour quantisation: reduces rgb24 pixels to a palette of at most
// `max_colours` entries and maps each pixel to its nearest entry (no dithering).
#pragma once

#include <cstdint>

// Builds up to `max_colours` (1..256) palette entries (R, G, B each) from `height` rows of
// `width` rgb24 pixels `pitch` bytes apart. Returns the number of entries written; 0 for
// an empty image or when it could not run (for example memory ran out).
std::uint32_t build_palette(const std::uint8_t* rows, std::uint32_t width,
                            std::uint32_t height, std::uint32_t pitch, std::uint8_t* palette,
                            std::uint32_t max_colours);

// Index of the entry nearest to (r, g, b) under the weighted distance.
std::uint32_t nearest_palette_index(const std::uint8_t* palette, std::uint32_t count,
                                    std::uint8_t r, std::uint8_t g, std::uint8_t b);

// Writes one index byte per rgb24 source pixel.
void map_to_palette(std::uint8_t* destination, std::uint32_t destination_pitch,
                    const std::uint8_t* source, std::uint32_t source_pitch, std::uint32_t width,
                    std::uint32_t height, const std::uint8_t* palette, std::uint32_t count);
