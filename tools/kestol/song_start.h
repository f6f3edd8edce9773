// --start ORDER:ROW and --start-seconds S, as the xm commands that play a song take them.
#pragma once

#include <cstdint>
#include <string>

#include "sound/song_position.h"
#include "tools/kestol/cli.h"

struct SongStart {
  bool at_row = false;          // --start: where the song first plays position
  std::uint16_t position = 0;
  double seconds = 0;           // --start-seconds
};

// Reads the two options' texts (null when not given); false after a usage error naming the
// option (the command then exits 2).
inline bool parse_song_start(const CommandInfo& command, const char* start, const char* start_seconds,
                             double max_seconds, SongStart* out) {
  if (start != nullptr && start_seconds != nullptr) {
    usage_error(command, "takes --start or --start-seconds, not both");
    return false;
  }
  if (start != nullptr) {
    if (!parse_song_position(start, &out->position)) {
      usage_error(command, "--start wants ORDER:ROW, each 0 to 255 (decimal, or hex as 0x0A:0x20), not '" +
                               escape_name(start) + "'");
      return false;
    }
    out->at_row = true;
  }
  return start_seconds == nullptr ||
         parse_number(command, "--start-seconds", start_seconds, 0, max_seconds, &out->seconds);
}
