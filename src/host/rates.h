// Counts converted between clock rates (counter ticks, nanoseconds, audio frames).
#pragma once

#include <cstdint>

// count ticks at from_rate as ticks at to_rate, rounded down. Whole seconds and the rest
// apart: exact, and without 128-bit arithmetic (which 32-bit targets lack), as long as
// to_rate times from_rate stays below 2^63.
inline std::int64_t rescale(std::int64_t count, std::int64_t from_rate, std::int64_t to_rate) {
  return count / from_rate * to_rate + count % from_rate * to_rate / from_rate;
}
