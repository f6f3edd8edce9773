#include "sound/song_position.h"

#include <cctype>
#include <cstring>

namespace {

// One number of 0..limit, decimal or 0x hex, ending at stop (or the text's end).
bool read_number(const char*& p, unsigned limit, unsigned* value, int* hex_digits) {
  unsigned base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  const char* first = p;
  unsigned v = 0;
  for (; *p != '\0' && *p != ':'; ++p) {
    const int c = std::tolower(static_cast<unsigned char>(*p));
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else
      return false;
    v = v * base + digit;
    if (v > limit) return false;
  }
  if (p == first) return false;
  *value = v;
  *hex_digits = base == 16 ? static_cast<int>(p - first) : 0;
  return true;
}

}  // namespace

bool parse_song_position(const char* text, std::uint16_t* position) {
  if (text == nullptr) return false;
  const char* p = text;
  unsigned order = 0, row = 0;
  int hex = 0;
  if (std::strchr(text, ':') == nullptr) {
    if (!read_number(p, 0xFFFF, &order, &hex)) return false;
    if (hex == 4) {  // a whole position, 0xOORR
      *position = static_cast<std::uint16_t>(order);
      return true;
    }
    if (order > 255) return false;
    *position = static_cast<std::uint16_t>(order << 8);
    return true;
  }
  if (!read_number(p, 255, &order, &hex) || *p != ':') return false;
  ++p;
  if (!read_number(p, 255, &row, &hex) || *p != '\0') return false;
  *position = static_cast<std::uint16_t>(order << 8 | row);
  return true;
}
