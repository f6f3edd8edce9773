// Median-cut colour quantisation: reduces an R, G, B picture to at most 256 colours and
// maps every pixel to its nearest palette entry under a weighted distance (no dithering).
#pragma once

#include <cstdint>

// Builds at most max_colours (1..256) palette entries (R, G, B bytes each) from the packed
// 3-byte pixels of `rows` (`pitch` bytes from row to row). Returns the number written:
// 1..max_colours, or 0 for an image without pixels (or when memory runs out). Entries past
// the returned count are left as they were.
std::uint32_t build_palette(const std::uint8_t* rows, std::uint32_t width, std::uint32_t height,
                            std::uint32_t pitch, std::uint8_t* palette,
                            std::uint32_t max_colours);

// The entry nearest to (r, g, b) by 2*|dR| + 3*|dG| + |dB|; ties go to the lower index.
// Returns 0 when count is 0.
std::uint32_t nearest_palette_index(const std::uint8_t* palette, std::uint32_t count,
                                    std::uint8_t r, std::uint8_t g, std::uint8_t b);

// Writes one index byte per pixel: the nearest entry of each 3-byte source pixel.
void map_to_palette(std::uint8_t* dst, std::uint32_t dst_pitch, const std::uint8_t* src,
                    std::uint32_t src_pitch, std::uint32_t width, std::uint32_t height,
                    const std::uint8_t* palette, std::uint32_t count);
