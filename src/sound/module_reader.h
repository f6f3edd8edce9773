// A cursor over the module bytes; reads past the end supply nothing.
#pragma once

#include <cstdint>
#include <cstring>

struct ModuleReader {
  const std::uint8_t* base;
  std::uint32_t size;
  std::uint32_t position = 0;

  ModuleReader(const void* data, std::uint32_t n) : base(static_cast<const std::uint8_t*>(data)), size(n) {}

  // Copies min(count, size - position) bytes; the rest of destination stays as it was.
  std::uint32_t read(void* destination, std::uint32_t count) {
    const std::uint32_t left = position < size ? size - position : 0;
    const std::uint32_t n = count < left ? count : left;
    if (n) std::memcpy(destination, base + position, n);
    position += n;
    return n;
  }
  // origin 0 = start, 1 = current, 2 = end; the result is limited to 0..size.
  void seek(std::int64_t offset, int origin) {
    std::int64_t at = offset + (origin == 1 ? position : origin == 2 ? size : 0);
    if (at < 0) at = 0;
    if (at > size) at = size;
    position = static_cast<std::uint32_t>(at);
  }
  std::uint32_t tell() const { return position; }
  std::uint32_t remaining() const { return size - position; }

  std::uint8_t u8() {
    std::uint8_t b[1] = {0};
    read(b, 1);
    return b[0];
  }
  std::uint16_t u16() {
    std::uint8_t b[2] = {0, 0};
    read(b, 2);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
  }
  std::uint32_t u32() {
    std::uint8_t b[4] = {0, 0, 0, 0};
    read(b, 4);
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  }
};
