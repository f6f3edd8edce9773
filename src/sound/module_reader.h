// A cursor over the module bytes; reads past the end supply nothing.
#pragma once

#include <cstdint>

#include "fs/byte_source.h"

class ModuleReader final : public MemoryByteSource {
 public:
  ModuleReader(const void* data, std::uint32_t n) : MemoryByteSource(data, n) {}

  // origin 0 = start, 1 = current, 2 = end; the result is limited to 0..size.
  void seek(std::int64_t offset, int origin) {
    std::int64_t at = offset + static_cast<std::int64_t>(origin == 1 ? position()
                                                         : origin == 2 ? size()
                                                                       : 0);
    set_position(at < 0 ? 0 : static_cast<std::size_t>(at));
  }
  std::uint32_t tell() const { return static_cast<std::uint32_t>(position()); }
  std::uint32_t remaining() const { return static_cast<std::uint32_t>(size() - position()); }
  const std::uint8_t* base() const { return data(); }

  std::uint8_t u8() { return read_u8(*this); }
  std::uint16_t u16() { return read_le16(*this); }
  std::uint32_t u32() { return read_le32(*this); }
};
