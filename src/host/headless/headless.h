// Controls of the headless host, for tests and offline capture.
#pragma once

#include <cstdint>
#include <string>

namespace headless {

// Virtual time: the performance counter advances only when its owner says so. One tick is
// 1/2,646,000 s, so both a 60 Hz video frame (44,100 ticks) and one 44,100 Hz audio frame
// (60 ticks) are whole numbers of ticks.
inline constexpr std::int64_t kTicksPerSecond = 2'646'000;

void set_virtual_time(bool enabled);
bool virtual_time();
void advance_virtual_time(std::int64_t ticks);
std::int64_t virtual_ticks();

// Makes the performance counter fail (clock_ms then reads 0), as a broken counter would.
void set_counter_fails(bool fails);

// The texts of the message boxes shown so far, joined by newlines, and their count.
std::string message_box_log();
int message_box_count();

}  // namespace headless
