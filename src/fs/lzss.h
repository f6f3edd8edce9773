// The LZSS codec of compressed pak members: a 4096-byte window, matches of 3 to 18 bytes,
// flag bytes announcing eight items each (least significant bit first).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// A pull source of bytes.
class ByteSource {
 public:
  ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;
  virtual ~ByteSource() = default;

  // Up to count bytes; 0 when nothing is left.
  virtual std::uint32_t read(void* buffer, std::uint32_t count) = 0;
  // Nothing calls it; every source answers false.
  virtual bool reserved() { return false; }

  // Optional bulk access for the decoder's fast path: the bytes the source already holds
  // (refilled when empty; empty at the end, or when the source has no such access).
  // `consume` takes n of them as read. A source that answers here must deliver through
  // `read` exactly the bytes that follow the consumed ones.
  virtual std::span<const std::uint8_t> peek() { return {}; }
  virtual void consume(std::uint32_t) {}
};

// Bytes held in memory (not owned).
class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint32_t read(void* buffer, std::uint32_t count) override;
  std::span<const std::uint8_t> peek() override { return bytes_.subspan(position_); }
  void consume(std::uint32_t n) override { position_ += n; }
  std::size_t position() const { return position_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

inline constexpr std::uint32_t lzss_window_size = 4096;
inline constexpr std::uint32_t lzss_max_match = 18;
inline constexpr std::uint32_t lzss_min_match = 3;
inline constexpr std::uint32_t lzss_start = lzss_window_size - lzss_max_match;  // 4078

// Decodes compressed bytes pulled from its source. Every read produces exactly the bytes
// asked for unless the compressed data run out, and takes from the source only the
// compressed bytes of the items it produces (the rest of a match that did not fit waits
// in the carry buffer).
class LzssDecoder : public ByteSource {
 public:
  explicit LzssDecoder(ByteSource* source);
  std::uint32_t read(void* buffer, std::uint32_t count) override;

 private:
  std::uint32_t decode_items(std::uint8_t* out, std::uint32_t count);
  std::uint32_t decode_fast(std::uint8_t* out, std::uint32_t count);

  ByteSource* source_;  // not owned
  std::uint8_t window_[lzss_window_size];
  std::uint8_t carry_[lzss_max_match + 2];
  std::uint32_t carry_count_ = 0;
  std::uint32_t carry_index_ = 0;
  std::uint32_t r_ = lzss_start;
  std::uint32_t flags_ = 0;
};

// The matching compressor, in pull form: each read returns compressed bytes of the
// source's content (the classic binary-tree encoder).
class LzssEncoder : public ByteSource {
 public:
  explicit LzssEncoder(ByteSource* source);
  ~LzssEncoder() override;
  std::uint32_t read(void* buffer, std::uint32_t count) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class LzssCodec {
 public:
  LzssCodec() = default;
  LzssCodec(const LzssCodec&) = delete;
  LzssCodec& operator=(const LzssCodec&) = delete;
  virtual ~LzssCodec() = default;

  virtual LzssEncoder* create_encoder(ByteSource* source);
  // Null when the decoder cannot be allocated.
  virtual LzssDecoder* create_decoder(ByteSource* source);
  virtual int reserved() { return 2; }
};

// Whole-buffer helpers for the archive writer and the tools.
std::vector<std::uint8_t> lzss_compress(std::span<const std::uint8_t> plain);
// Decodes `size` bytes; false when the compressed data end too early.
bool lzss_decompress(std::span<const std::uint8_t> packed, std::uint32_t size,
                     std::vector<std::uint8_t>* plain);
