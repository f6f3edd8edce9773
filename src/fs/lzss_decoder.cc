// LzssDecoder: a careful item-at-a-time path that handles every boundary (source running
// dry, the request ending inside a match), and a fast path over the source's own buffer
// used while a whole item surely fits on both sides. Both produce the same bytes and
// take the same compressed bytes.
#include <cstring>
#include <new>

#include "fs/lzss.h"

// The history holds window position (4078 + i) mod 4096 at index i to begin with, so the
// byte d places before the write position is always history[length - d].
LzssDecoder::LzssDecoder(ByteSource* source)
    : source_(source),
      history_(new (std::nothrow) std::uint8_t[capacity + lzss_max_match]),
      length_(lzss_window_size),
      delivered_(lzss_window_size) {
  if (!history_) return;
  // Window positions 4078 to 4095 (never read by well-formed data) are zero, 0 to 4077
  // spaces.
  std::memset(history_.get(), 0, lzss_window_size - lzss_start);
  std::memset(history_.get() + (lzss_window_size - lzss_start), ' ', lzss_start);
}

std::uint32_t LzssDecoder::read(void* buffer, std::uint32_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::uint32_t done = 0;
  for (;;) {
    std::uint32_t pending = length_ - delivered_;
    std::uint32_t n = pending < count - done ? pending : count - done;
    if (n != 0) std::memcpy(out + done, history_.get() + delivered_, n);
    delivered_ += n;
    done += n;
    if (done == count) return done;
    // Everything is handed out: make room, keeping the window. The move is a multiple of
    // 4096, so each index keeps its window position.
    if (capacity - length_ < 2 * lzss_max_match) {
      std::uint32_t drop = (length_ - lzss_window_size) / lzss_window_size * lzss_window_size;
      std::memmove(history_.get(), history_.get() + drop, length_ - drop);
      length_ -= drop;
      delivered_ = length_;
    }
    std::uint32_t room = capacity - lzss_max_match - length_;
    if (!decode(count - done < room ? count - done : room)) {
      // The source ran dry: hand out what was made (it fits) and stop here, as the
      // item-at-a-time decoder does.
      std::uint32_t rest = length_ - delivered_;
      if (rest != 0) std::memcpy(out + done, history_.get() + delivered_, rest);
      delivered_ = length_;
      return done + rest;
    }
  }
}

bool LzssDecoder::decode(std::uint32_t want) {
  while (length_ - delivered_ < want) {
    decode_fast(want);
    if (length_ - delivered_ >= want) break;
    if (!decode_one()) return false;
  }
  return true;
}

// One item, asking the source for one or two bytes at a time.
bool LzssDecoder::decode_one() {
  flags_ >>= 1;
  if ((flags_ & 0x100) == 0) {
    std::uint8_t flag;
    if (source_->read(&flag, 1) != 1) return false;
    flags_ = flag | 0xFF00u;
  }
  std::uint8_t* h = history_.get();
  if (flags_ & 1) {
    std::uint8_t c;
    if (source_->read(&c, 1) != 1) return false;
    h[length_++] = c;
    return true;
  }
  std::uint8_t b[2];
  if (source_->read(b, 2) != 2) return false;
  std::uint32_t position = b[0] | ((b[1] & 0xF0u) << 4);
  std::uint32_t length = (b[1] & 0x0Fu) + lzss_min_match;
  std::uint32_t r = (lzss_start + length_ - lzss_window_size) & (lzss_window_size - 1);
  std::uint32_t distance = (r - position) & (lzss_window_size - 1);
  if (distance == 0) distance = lzss_window_size;
  const std::uint8_t* from = h + length_ - distance;
  std::uint8_t* to = h + length_;
  for (std::uint32_t k = 0; k < length; ++k) to[k] = from[k];  // may overlap: a run
  length_ += length;
  return true;
}

// Items straight from the source's buffer while a whole item (flag byte and two bytes)
// is there, until `want` bytes wait.
void LzssDecoder::decode_fast(std::uint32_t want) {
  std::span<const std::uint8_t> in = source_->peek();
  if (in.size() < 3) return;
  const std::uint8_t* p = in.data();
  const std::uint8_t* end = p + in.size();
  std::uint8_t* h = history_.get();
  std::uint8_t* o = h + length_;
  std::uint8_t* stop = h + delivered_ + want;  // decode() keeps this inside the buffer
  std::uint32_t flags = flags_;
  // The window position of o is (r_at_h + (o - h)) mod 4096.
  const std::uint32_t r_at_h = lzss_start - lzss_window_size;
  constexpr std::uint32_t wrap = lzss_window_size - 1;
  while (o < stop && end - p >= 3) {
    flags >>= 1;
    if ((flags & 0x100) == 0) flags = *p++ | 0xFF00u;
    if (flags & 1) {
      *o++ = *p++;
      continue;
    }
    std::uint32_t position = p[0] | ((p[1] & 0xF0u) << 4);
    std::uint32_t length = (p[1] & 0x0Fu) + lzss_min_match;
    p += 2;
    std::uint32_t r = (r_at_h + static_cast<std::uint32_t>(o - h)) & wrap;
    std::uint32_t distance = (r - position) & wrap;
    if (distance == 0) distance = lzss_window_size;
    const std::uint8_t* from = o - distance;
    if (distance >= lzss_max_match)
      std::memcpy(o, from, lzss_max_match);  // bytes past `length` are rewritten later
    else
      for (std::uint32_t k = 0; k < length; ++k) o[k] = from[k];  // overlapping: a run
    o += length;
  }
  length_ = static_cast<std::uint32_t>(o - h);
  flags_ = flags;
  source_->consume(static_cast<std::uint32_t>(p - in.data()));
}

LzssEncoder* LzssCodec::create_encoder(ByteSource*) { return nullptr; }

LzssDecoder* LzssCodec::create_decoder(ByteSource* source) {
  auto* decoder = new (std::nothrow) LzssDecoder(source);
  if (decoder != nullptr && !decoder->ready()) {
    delete decoder;
    return nullptr;
  }
  return decoder;
}

bool lzss_decompress(std::span<const std::uint8_t> packed, std::uint32_t size,
                     std::vector<std::uint8_t>* plain) {
  MemoryByteSource source(packed);
  auto decoder = std::make_unique<LzssDecoder>(&source);
  if (!decoder->ready()) return false;
  plain->resize(size);
  return decoder->read(plain->data(), size) == size;
}
