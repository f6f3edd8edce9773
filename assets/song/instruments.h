// The song's instruments, synthesised by code.
#pragma once

#include "authoring/xm_writer.h"

namespace song {

// Instrument numbers as the patterns use them (1-based, as stored in the file).
enum Instrument : std::uint8_t {
  kick = 1,
  snare = 2,
  hat = 3,
  crash = 4,
  bass = 5,
  pad = 6,
  lead = 7,
  pluck = 8,
};

// All eight, in number order.
std::vector<XmInstrument> make_instruments();

}  // namespace song
