// The render thread's millisecond clock.
#pragma once

#include <cstdint>

void clock_start();
std::uint32_t clock_ms();
