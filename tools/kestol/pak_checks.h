// Checks `kestol pak` makes on an archive before trusting it further than lookups do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fs/pak_fs.h"

// Reads a member whole through `sink` (data, count) -> bool; false when the data end
// early or the sink refuses more.
template <typename Sink>
bool read_member(Stream* member, Sink&& sink) {
  std::vector<std::uint8_t> buffer(1 << 16);
  std::uint64_t left = member->size();
  while (left > 0) {
    auto ask = static_cast<std::uint32_t>(left < buffer.size() ? left : buffer.size());
    std::uint32_t got = member->read(buffer.data(), ask);
    if (got == 0) return false;
    if (!sink(static_cast<const std::uint8_t*>(buffer.data()), got)) return false;
    left -= got;
  }
  return true;
}

// Members whose stored data overlap let a small archive unpack to any size; an archive
// writer never makes them. Returns the two members' paths (quoted, escaped), or "" when
// none overlap.
std::string overlapping_members(PakFileSystem& fs);
