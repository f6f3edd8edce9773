// The JPEG scan decoder written plainly, the way the format describes it: one byte per
// source read, a linear walk over the Huffman entries per bit, the full inverse transform.
// Tests compare the fast decoder against it.
#pragma once

#include <cstdint>

#include "image/jpeg_decoder.h"

struct ReferenceBitReader {
  ImageSource* source;
  std::int32_t bits_left = 0;
  std::uint8_t current = 0, marker = 0, lookahead = 0;

  void read_into(std::uint8_t& target) { source->read(&target, 1); }
  void prime();
  int next_bit();
  std::int32_t receive_extend(int n);
  // Symbol, -1 when nothing matched within 16 bits, -2 when a restart marker stands
  // where the next code would start.
  int huffman_decode(const HuffmanCode* table, std::uint32_t count);
  void restart_resync();
};

// Decodes the scan of a decoder whose read_header succeeded, from its source.
bool jpeg_reference_decode(JpegDecoder& decoder, void* pixels, PixelFormat format,
                           std::uint32_t pitch);

// The transform exactly as written, without shortcuts other than the pass-1 column one.
void reference_idct_8x8(std::int32_t* block, const std::int32_t* quant);
