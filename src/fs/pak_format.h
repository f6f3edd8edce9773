// The pak archive layout: a 2048-byte header block (magic, directory size, the root
// table), further directory tables, member data. Integers are 32-bit little-endian.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "fs/byte_source.h"

inline constexpr char pak_magic[10] = {'K', 'e', 's', 't', 'o', 'l', '3', '.', '0', '\0'};
inline constexpr std::uint32_t pak_header_size = 2048;
inline constexpr std::uint32_t pak_directory_size_offset = 12;
inline constexpr std::uint32_t pak_root_offset = 16;
inline constexpr std::uint32_t pak_entry_size = 80;
inline constexpr std::uint32_t pak_name_size = 64;  // 63 characters and a NUL

// Field offsets inside a PakEntry.
inline constexpr std::uint32_t pak_entry_name = 0;
inline constexpr std::uint32_t pak_entry_size_field = 64;
inline constexpr std::uint32_t pak_entry_packing = 68;
inline constexpr std::uint32_t pak_entry_spare = 72;
inline constexpr std::uint32_t pak_entry_offset = 76;

// ASCII letters folded to small ones, then unsigned bytes: the order of every table.
inline int pak_name_compare(std::string_view a, std::string_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// True when a sorts before b in a table: sub-directories ("/name") before files.
inline bool pak_sorts_before(std::string_view a, std::string_view b) {
  bool a_dir = !a.empty() && a[0] == '/';
  bool b_dir = !b.empty() && b[0] == '/';
  if (a_dir != b_dir) return a_dir;
  return pak_name_compare(a, b) < 0;
}
