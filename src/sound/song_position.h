// Song positions as people write them on a command line.
#pragma once

#include <cstdint>

// Reads ORDER[:ROW] (each decimal, or hexadecimal after 0x; the row defaults to 0) or a
// whole position as the demo's script writes it, 0x followed by four hex digits (0x0A20 is
// order 10, row 32), into (order << 8) | row. False for anything else or a number past 255.
bool parse_song_position(const char* text, std::uint16_t* position);
