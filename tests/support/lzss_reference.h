// The plain LZSS decoder, one item at a time with one- and two-byte source reads, kept as
// the reference the fast decoder is compared with (tests and benchmarks).
#pragma once

#include <cstdint>
#include <cstring>

#include "fs/lzss.h"

class ReferenceLzssDecoder {
 public:
  explicit ReferenceLzssDecoder(ByteSource* source) : source_(source) {
    std::memset(window_, ' ', 4078);
    std::memset(window_ + 4078, 0, 18);
  }

  std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) {
    std::uint32_t k = carry_count_ - carry_index_;
    if (k > count) k = count;
    for (std::uint32_t i = 0; i < k; ++i) buffer[i] = carry_[carry_index_ + i];
    carry_index_ += k;
    if (k == count) return count;
    carry_count_ = carry_index_ = 0;
    std::uint32_t out = k;
    while (out < count) {
      flags_ >>= 1;
      if ((flags_ & 0x100) == 0) {
        std::uint8_t b;
        if (source_->read(&b, 1) != 1) break;
        flags_ = b | 0xFF00u;
      }
      if (flags_ & 1) {
        std::uint8_t c;
        if (source_->read(&c, 1) != 1) break;
        buffer[out++] = c;
        window_[r_] = c;
        r_ = (r_ + 1) % 4096;
      } else {
        std::uint8_t b[2];
        if (source_->read(b, 2) != 2) break;
        std::uint32_t position = b[0] + 256u * (b[1] >> 4);
        std::uint32_t length = (b[1] & 0x0Fu) + 3;
        std::uint32_t take = length < count - out ? length : count - out;
        std::uint32_t k2 = 0;
        for (; k2 < take; ++k2) {
          std::uint8_t c = window_[(position + k2) % 4096];
          buffer[out++] = c;
          window_[r_] = c;
          r_ = (r_ + 1) % 4096;
        }
        for (; k2 < length; ++k2) {
          std::uint8_t c = window_[(position + k2) % 4096];
          carry_[carry_count_++] = c;
          window_[r_] = c;
          r_ = (r_ + 1) % 4096;
        }
      }
    }
    return out;
  }

 private:
  ByteSource* source_;
  std::uint8_t window_[4096];
  std::uint8_t carry_[20];
  std::uint32_t carry_count_ = 0, carry_index_ = 0;
  std::uint32_t r_ = 4078;
  std::uint32_t flags_ = 0;
};

// A source that hands out bytes one read at a time and offers no bulk access, as a plain
// disk or archive source would.
class PlainByteSource : public ByteSource {
 public:
  PlainByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint32_t read(void* buffer, std::uint32_t count) override {
    std::size_t n = size_ - position_ < count ? size_ - position_ : count;
    if (n != 0) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return static_cast<std::uint32_t>(n);
  }
  std::size_t position() const { return position_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};
