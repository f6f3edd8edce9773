#include "app/clock.h"

#include "host/host.h"
#include "host/rates.h"

namespace {
std::int64_t clock_origin = 0;
}

void clock_start(std::uint64_t audio_frames) {
  std::int64_t count, frequency;
  if (!host_performance_counter(&count)) return;
  clock_origin = count;
  if (audio_frames == 0 || !host_performance_frequency(&frequency) || frequency <= 0) return;
  clock_origin -= rescale(static_cast<std::int64_t>(audio_frames), 44100, frequency);
}

std::uint32_t clock_ms() {
  std::int64_t frequency, count;
  if (!host_performance_frequency(&frequency) || !host_performance_counter(&count) ||
      frequency <= 0)
    return 0;
  std::uint64_t elapsed = static_cast<std::uint64_t>(count - clock_origin);
  return static_cast<std::uint32_t>(elapsed * 1000u / static_cast<std::uint64_t>(frequency));
}
