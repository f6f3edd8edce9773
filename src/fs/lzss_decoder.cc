// LzssDecoder: a careful item-at-a-time path that handles every boundary (source running
// dry, the request ending inside a match), and a fast path over the source's own buffer
// used while a whole item surely fits on both sides. Both produce the same bytes and
// take the same compressed bytes.
#include <cstring>

#include "fs/lzss.h"

std::uint32_t MemoryByteSource::read(void* buffer, std::uint32_t count) {
  std::size_t left = bytes_.size() - position_;
  std::uint32_t n = left < count ? static_cast<std::uint32_t>(left) : count;
  if (n != 0) std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

LzssDecoder::LzssDecoder(ByteSource* source) : source_(source) {
  std::memset(window_, ' ', lzss_start);
  // Well-formed data never read these before writing them; zero keeps them defined.
  std::memset(window_ + lzss_start, 0, lzss_window_size - lzss_start);
  std::memset(carry_, 0, sizeof carry_);
}

std::uint32_t LzssDecoder::read(void* buffer, std::uint32_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::uint32_t k = carry_count_ - carry_index_;
  if (k > count) k = count;
  if (k != 0) std::memcpy(out, carry_ + carry_index_, k);
  carry_index_ += k;
  if (k == count) return count;
  carry_count_ = carry_index_ = 0;
  std::uint32_t done = k;
  while (done < count) {
    done += decode_fast(out + done, count - done);
    if (done == count) break;
    std::uint32_t n = decode_items(out + done, count - done);
    if (n == 0) break;  // the source ran dry
    done += n;
  }
  return done;
}

// One item, exactly as the format describes it; the part of a match beyond `count` goes
// to the carry buffer. Returns the bytes stored in `out` (0 when the source ran dry).
std::uint32_t LzssDecoder::decode_items(std::uint8_t* out, std::uint32_t count) {
  flags_ >>= 1;
  if ((flags_ & 0x100) == 0) {
    std::uint8_t flag;
    if (source_->read(&flag, 1) != 1) return 0;
    flags_ = flag | 0xFF00u;
  }
  if (flags_ & 1) {
    std::uint8_t c;
    if (source_->read(&c, 1) != 1) return 0;
    out[0] = c;
    window_[r_] = c;
    r_ = (r_ + 1) & (lzss_window_size - 1);
    return 1;
  }
  std::uint8_t b[2];
  if (source_->read(b, 2) != 2) return 0;
  std::uint32_t position = b[0] | ((b[1] & 0xF0u) << 4);
  std::uint32_t length = (b[1] & 0x0Fu) + lzss_min_match;
  std::uint32_t take = length < count ? length : count;
  for (std::uint32_t k = 0; k < length; ++k) {
    std::uint8_t c = window_[(position + k) & (lzss_window_size - 1)];
    if (k < take)
      out[k] = c;
    else
      carry_[carry_count_++] = c;
    window_[r_] = c;
    r_ = (r_ + 1) & (lzss_window_size - 1);
  }
  return take;
}

// Items straight from the source's buffer while at least one whole item (flag byte and
// two bytes) is there and at least one whole match fits into the output.
std::uint32_t LzssDecoder::decode_fast(std::uint8_t* out, std::uint32_t count) {
  std::span<const std::uint8_t> in = source_->peek();
  if (in.size() < 3 || count < lzss_max_match) return 0;
  const std::uint8_t* p = in.data();
  const std::uint8_t* end = p + in.size();
  std::uint8_t* o = out;
  std::uint8_t* o_end = out + count;
  std::uint32_t flags = flags_;
  std::uint32_t r = r_;
  constexpr std::uint32_t wrap = lzss_window_size - 1;
  while (end - p >= 3 && o_end - o >= static_cast<std::ptrdiff_t>(lzss_max_match)) {
    flags >>= 1;
    if ((flags & 0x100) == 0) flags = *p++ | 0xFF00u;
    if (flags & 1) {
      std::uint8_t c = *p++;
      *o++ = c;
      window_[r] = c;
      r = (r + 1) & wrap;
      continue;
    }
    std::uint32_t position = p[0] | ((p[1] & 0xF0u) << 4);
    std::uint32_t length = (p[1] & 0x0Fu) + lzss_min_match;
    p += 2;
    std::uint32_t distance = (r - position) & wrap;
    bool apart = distance == 0 || distance >= length;  // no byte reads one this match wrote
    if (apart && position + length <= lzss_window_size && r + length <= lzss_window_size) {
      std::memcpy(o, window_ + position, length);
      std::memmove(window_ + r, o, length);
      o += length;
      r = (r + length) & wrap;
    } else {
      for (std::uint32_t k = 0; k < length; ++k) {
        std::uint8_t c = window_[(position + k) & wrap];
        *o++ = c;
        window_[r] = c;
        r = (r + 1) & wrap;
      }
    }
  }
  flags_ = flags;
  r_ = r;
  source_->consume(static_cast<std::uint32_t>(p - in.data()));
  return static_cast<std::uint32_t>(o - out);
}

LzssEncoder* LzssCodec::create_encoder(ByteSource* source) { return new LzssEncoder(source); }

LzssDecoder* LzssCodec::create_decoder(ByteSource* source) {
  return new (std::nothrow) LzssDecoder(source);
}

bool lzss_decompress(std::span<const std::uint8_t> packed, std::uint32_t size,
                     std::vector<std::uint8_t>* plain) {
  MemoryByteSource source(packed);
  auto decoder = std::make_unique<LzssDecoder>(&source);
  plain->resize(size);
  return decoder->read(plain->data(), size) == size;
}
