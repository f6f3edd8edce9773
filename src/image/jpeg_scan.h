// The entropy-coded scan: a bit reader that mirrors the byte-at-a-time reader of the
// format (same bytes, same unstuffing, same behaviour at the end of the data) but keeps
// up to 64 bits at hand, and table-driven Huffman decoding.
#pragma once

#include <cstdint>
#include <memory>

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
  // AC codes whose run/size symbol and extra bits fit the 9-bit lookup together:
  // (value << 8) | (run << 4) | total length; 0 = take the general path.
  std::int32_t fast_ac[1 << lookup_bits];
  // The same for a DC difference: (value << 8) | total length (size = symbol & 15).
  std::int32_t fast_dc[1 << lookup_bits];

  // `dc`: a DC table (fills fast_dc), else an AC table (fills fast_ac).
  void build(const HuffmanCode* entries, std::uint32_t n, bool dc);
};

class JpegScanReader {
 public:
  // Takes the rest of the data from `source`, but no more than `limit` bytes: the most
  // the scan can consume (so a huge tail after a small picture is never loaded).
  JpegScanReader(ImageSource* source, std::uint64_t limit);
  bool ok() const { return loaded; }

  void prime();
  void restart_resync();
  inline int huffman_decode(const JpegFastHuffman& table);
  inline std::int32_t receive_extend(int n);
  // At least 16 bits at hand (false when a restart marker stops the refill first).
  bool refill16() {
    if (nbits < 16) fill();
    return nbits >= 16;
  }
  std::uint32_t peek9() const { return static_cast<std::uint32_t>(acc >> (64 - JpegFastHuffman::lookup_bits)); }
  void skip(int n) { take(n); }

 private:
  // The state after pushes first .. first + count - 1. A batch of plain bytes is one
  // record: after each of its pushes the state is {p, data[p - 2], data[p - 1]} where p
  // is pos, one further on per push.
  struct Snapshot {
    std::uint32_t first, count;
    std::uint32_t pos;  // after the first push
    std::uint8_t marker, lookahead;  // after the first push (a single push only)
  };
  void record(std::uint32_t count, std::uint32_t after_first) {
    ring[++records & 15] = Snapshot{pushes + 1 - count, count, after_first, marker, lookahead};
  }
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
  int huffman_decode_short(const JpegFastHuffman& table);  // fewer than 16 bits at hand

  std::unique_ptr<std::uint8_t[]> storage;  // not cleared: only the bytes read are used
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0, pos = 0;
  bool loaded = false;
  std::uint8_t marker = 0, lookahead = 0;
  std::uint64_t acc = 0;  // unread bits, most significant first
  int nbits = 0;
  bool at_marker = false;  // the next byte to take is 0xFF followed by RST0..RST7
  std::uint32_t pushes = 0, records = 0;
  Snapshot ring[16] = {};  // the last records: at least the last 16 pushes
};

// The common cases inline: at least 16 bits at hand and a code of up to 9 bits.
inline std::int32_t JpegScanReader::receive_extend(int n) {
  if (n == 0) return 0;
  if (nbits < n) ensure(n);
  std::int32_t v = static_cast<std::int32_t>(take(n));
  return v < (1 << (n - 1)) ? v - (1 << n) + 1 : v;
}

inline int JpegScanReader::huffman_decode(const JpegFastHuffman& t) {
  if (nbits < 16) {
    fill();
    if (nbits < 16) return huffman_decode_short(t);
  }
  std::uint32_t e = t.lookup[acc >> (64 - JpegFastHuffman::lookup_bits)];
  if (e) {
    take(static_cast<int>(e >> 8));
    return static_cast<int>(e & 0xFF);
  }
  std::uint32_t bits16 = static_cast<std::uint32_t>(acc >> 48);
  for (int l = JpegFastHuffman::lookup_bits + 1; l <= 16; ++l) {
    std::uint32_t code = bits16 >> (16 - l);
    if (code - t.first_code[l] < t.count[l]) {
      take(l);
      return t.values[t.offset[l] + code - t.first_code[l]];
    }
  }
  take(16);
  return -1;
}
