// The LZSS compressor of pak members (the format is in fs/lzss.h), for the archive
// writer and the tools.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "fs/lzss.h"

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

// The codec that makes encoders as well as decoders.
class LzssEncodingCodec : public LzssCodec {
 public:
  LzssEncoder* create_encoder(ByteSource* source) override;
};

// The whole buffer compressed.
std::vector<std::uint8_t> lzss_compress(std::span<const std::uint8_t> plain);
