#include "app/tables.h"

#include <cmath>
#include <cstdlib>

float sine_table[1024];
float cosine_table[1024];
std::uint8_t* lighten_table = nullptr;

int lookup_tables_init() {
  // One entry is a 1024th of a turn; the angle is formed in extended precision from
  // single-precision pi and 1/512.
  const long double pi = 3.14159265358979323846f;
  const long double step = 1.0f / 512.0f;
  for (int i = 0; i < 1024; ++i) {
    long double angle = static_cast<long double>(i) * pi * step;
    sine_table[i] = static_cast<float>(std::sin(angle));
    cosine_table[i] = static_cast<float>(std::cos(angle));
  }
  lighten_table = static_cast<std::uint8_t*>(std::malloc(65536));
  if (lighten_table == nullptr) return -1;
  for (unsigned r = 0; r < 256; ++r)
    for (unsigned c = 0; c < 256; ++c)
      lighten_table[r * 256 + c] = static_cast<std::uint8_t>(c + (r * (256 - c)) / 256);
  return 0;
}

void lookup_tables_free() {
  std::free(lighten_table);
  lighten_table = nullptr;
}
