// The one way bytes are pulled in this system: `ByteSource`, which file streams, the
// LZSS codec, the picture readers and the module loader all read through; a source over
// bytes in memory; and the little-endian number helpers every file format here uses.
// Header only: fs, image and sound include it without linking each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// A pull source of bytes.
class ByteSource {
 public:
  ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;
  virtual ~ByteSource() = default;

  // Up to count bytes; fewer only at the end of the data or on error, 0 when nothing is left.
  virtual std::uint32_t read(void* buffer, std::uint32_t count) = 0;
  // Nothing calls it; every source answers false.
  virtual bool reserved() { return false; }

  // Optional bulk access for readers with a fast path: the bytes the source already holds
  // (refilled when empty; empty at the end, or when the source has no such access).
  // `consume` takes n of them as read. A source that answers here must deliver through
  // `read` exactly the bytes that follow the consumed ones.
  virtual std::span<const std::uint8_t> peek() { return {}; }
  virtual void consume(std::uint32_t) {}
};

// Bytes held in memory (not owned), read forward; `seek` places the cursor anywhere
// within them.
class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  MemoryByteSource(const void* data, std::size_t size)
      : bytes_(static_cast<const std::uint8_t*>(data), size) {}

  // Copies min(count, bytes left) bytes; the rest of the buffer stays as it was.
  std::uint32_t read(void* buffer, std::uint32_t count) override {
    const std::size_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const std::uint32_t n = left < count ? static_cast<std::uint32_t>(left) : count;
    if (n != 0) std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return n;
  }
  std::span<const std::uint8_t> peek() override { return bytes_.subspan(position_); }
  void consume(std::uint32_t n) override { position_ += n; }

  std::size_t position() const { return position_; }
  std::size_t size() const { return bytes_.size(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  // Moves the cursor to `position`, limited to the size.
  void set_position(std::size_t position) {
    position_ = position < bytes_.size() ? position : bytes_.size();
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// Little-endian numbers in memory.
inline std::uint32_t get_le16(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}
inline std::uint32_t get_le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void put_le16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put_le32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Little-endian numbers pulled from a source; bytes past the end read as 0.
inline std::uint8_t read_u8(ByteSource& source) {
  std::uint8_t b[1] = {0};
  source.read(b, 1);
  return b[0];
}
inline std::uint16_t read_le16(ByteSource& source) {
  std::uint8_t b[2] = {0, 0};
  source.read(b, 2);
  return static_cast<std::uint16_t>(get_le16(b));
}
inline std::uint32_t read_le32(ByteSource& source) {
  std::uint8_t b[4] = {0, 0, 0, 0};
  source.read(b, 4);
  return get_le32(b);
}
