// The entropy-coded scan: a bit reader that mirrors the byte-at-a-time reader of the
// format (same bytes, same unstuffing, same behaviour at the end of the data) but keeps
// up to 64 bits at hand, and table-driven Huffman decoding.
#pragma once

#include <cstdint>
#include <vector>

#include "image/jpeg_decoder.h"

// Codes of one table: a 9-bit lookup for short codes, and per length the range of
// consecutive codes (canonical assignment keeps codes of one length consecutive).
struct JpegFastHuffman {
  static constexpr int lookup_bits = 9;
  std::uint16_t lookup[1 << lookup_bits];  // (length << 8) | symbol, 0 = longer or none
  std::uint32_t first_code[17];
  std::uint32_t count[17];
  std::uint32_t offset[17];
  std::uint8_t values[256];

  void build(const HuffmanCode* entries, std::uint32_t n);
};

class JpegScanReader {
 public:
  // Takes the rest of the data from `source`.
  explicit JpegScanReader(ImageSource* source);
  bool ok() const { return loaded; }

  void prime();
  void restart_resync();
  int huffman_decode(const JpegFastHuffman& table);
  std::int32_t receive_extend(int n);

 private:
  struct Snapshot {
    std::uint32_t pos;
    std::uint8_t marker, lookahead;
  };
  std::uint8_t fetch(std::uint8_t keep) { return pos < size ? data[pos++] : keep; }
  void push_byte();   // takes the next byte as the plain reader's refill would
  void fill();        // up to 57+ bits, stopping before a restart marker
  void ensure(int n); // at least n bits, reading a restart marker's 0xFF as data if need be
  std::uint32_t take(int n) {
    std::uint32_t v = static_cast<std::uint32_t>(acc >> (64 - n));
    acc <<= n;
    nbits -= n;
    return v;
  }
  int decode_slow(const JpegFastHuffman& table);

  std::vector<std::uint8_t> storage;
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0, pos = 0;
  bool loaded = false;
  std::uint8_t marker = 0, lookahead = 0;
  std::uint64_t acc = 0;  // unread bits, most significant first
  int nbits = 0;
  bool at_marker = false;  // the next byte to take is 0xFF followed by RST0..RST7
  std::uint32_t pushes = 0;
  Snapshot ring[16] = {};
};
