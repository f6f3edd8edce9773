// The LZSS codec of compressed pak members: a 4096-byte window, matches of 3 to 18 bytes,
// flag bytes announcing eight items each (least significant bit first).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "fs/byte_source.h"

inline constexpr std::uint32_t lzss_window_size = 4096;
inline constexpr std::uint32_t lzss_max_match = 18;
inline constexpr std::uint32_t lzss_min_match = 3;
inline constexpr std::uint32_t lzss_start = lzss_window_size - lzss_max_match;  // 4078

// Decodes compressed bytes pulled from its source. Every read produces exactly the bytes
// asked for unless the compressed data run out, and takes from the source only the
// compressed bytes of the items it produces (the rest of a match that did not fit waits
// for the next read).
//
// The 4096-byte window lives as the last 4096 bytes of a linear history buffer, so a
// match is one forward copy without wrapping; items are decoded into the history and
// handed out from there. Sources with bulk access (peek/consume) are decoded straight
// from their buffer; others are asked for one or two bytes per item.
class LzssDecoder : public ByteSource {
 public:
  explicit LzssDecoder(ByteSource* source);
  // False when the history could not be allocated (the decoder must not be used).
  bool ready() const { return history_ != nullptr; }
  std::uint32_t read(void* buffer, std::uint32_t count) override;

 private:
  static constexpr std::uint32_t capacity = lzss_window_size + 65536;

  // Decodes items until `want` bytes wait to be handed out; false when the source ran dry
  // before that.
  bool decode(std::uint32_t want);
  bool decode_one();
  void decode_fast(std::uint32_t want);

  ByteSource* source_;  // not owned
  std::unique_ptr<std::uint8_t[]> history_;
  std::uint32_t length_;     // bytes in the history; the window is the last 4096 of them
  std::uint32_t delivered_;  // bytes of the history already handed out
  std::uint32_t flags_ = 0;
};

// The matching compressor lives with the writers (authoring/lzss_encoder.h): the runtime
// only ever decodes.
class LzssEncoder;

class LzssCodec {
 public:
  LzssCodec() = default;
  LzssCodec(const LzssCodec&) = delete;
  LzssCodec& operator=(const LzssCodec&) = delete;
  virtual ~LzssCodec() = default;

  // The runtime's codec makes no encoder (null); LzssEncodingCodec, beside the
  // encoder, makes one.
  virtual LzssEncoder* create_encoder(ByteSource* source);
  // Null when the decoder cannot be allocated.
  virtual LzssDecoder* create_decoder(ByteSource* source);
  virtual int reserved() { return 2; }
};

// Whole-buffer decoding for the tools.
// Decodes `size` bytes; false when the compressed data end too early.
bool lzss_decompress(std::span<const std::uint8_t> packed, std::uint32_t size,
                     std::vector<std::uint8_t>* plain);
