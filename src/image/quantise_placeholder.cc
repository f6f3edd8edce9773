// Stands in until the median-cut quantiser is part of the build; delete this file with it.
// build_palette reports 0 entries, so conversions into indexed8 from colour report false.
#include "image/quantise.h"

std::uint32_t build_palette(const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t,
                            std::uint8_t*, std::uint32_t) {
  return 0;
}

std::uint32_t nearest_palette_index(const std::uint8_t*, std::uint32_t, std::uint8_t,
                                    std::uint8_t, std::uint8_t) {
  return 0;
}

void map_to_palette(std::uint8_t*, std::uint32_t, const std::uint8_t*, std::uint32_t,
                    std::uint32_t, std::uint32_t, const std::uint8_t*, std::uint32_t) {}
