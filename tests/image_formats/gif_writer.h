// A small GIF writer for the tests: a plain LZW encoder and the file structure around it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/image_formats/format_test_util.h"

namespace image_formats_test {

class BitWriter {
 public:
  void put(unsigned code, unsigned size) {
    acc_ |= std::uint64_t(code) << bits_;
    bits_ += size;
    while (bits_ >= 8) {
      out.push_back(std::uint8_t(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  void flush() {
    if (bits_ > 0) out.push_back(std::uint8_t(acc_));
    acc_ = 0;
    bits_ = 0;
  }
  Bytes out;

 private:
  std::uint64_t acc_ = 0;
  unsigned bits_ = 0;
};

// Encodes indices (each below 1 << min_code_size). With clear_when_full a clear code
// follows the 4096th table entry; without it the table stays full and 12-bit codes go on.
inline Bytes lzw_encode(const Bytes& indices, unsigned min_code_size, bool clear_when_full = true) {
  const unsigned clear = 1u << min_code_size;
  BitWriter w;
  std::map<unsigned, unsigned> dict;
  unsigned size = min_code_size + 1, next = clear + 2;
  w.put(clear, size);
  int prefix = -1;
  for (std::uint8_t k : indices) {
    if (prefix < 0) {
      prefix = k;
      continue;
    }
    const unsigned key = unsigned(prefix) * 4096 + k;
    auto it = dict.find(key);
    if (it != dict.end()) {
      prefix = int(it->second);
      continue;
    }
    w.put(unsigned(prefix), size);
    prefix = k;
    if (next < 4096) {
      dict[key] = next;
      if (next == (1u << size) && size < 12) ++size;
      ++next;
      if (next == 4096 && clear_when_full) {
        w.put(clear, size);
        dict.clear();
        size = min_code_size + 1;
        next = clear + 2;
      }
    }
  }
  if (prefix >= 0) w.put(unsigned(prefix), size);
  w.put(clear + 1, size);
  w.flush();
  return w.out;
}

inline Bytes sub_blocks(const Bytes& data, unsigned block_size = 255) {
  Bytes out;
  for (std::size_t i = 0; i < data.size(); i += block_size) {
    const std::size_t n = std::min<std::size_t>(block_size, data.size() - i);
    out.push_back(std::uint8_t(n));
    out.insert(out.end(), data.begin() + i, data.begin() + i + n);
  }
  out.push_back(0);
  return out;
}

struct GifSpec {
  unsigned width = 1, height = 1;
  int global_bits = -1;  // table of 2 << bits entries; -1 for none
  int local_bits = -1;
  Bytes global_table, local_table;  // R, G, B; padded with zeros to the table's size
  bool interlaced = false;
  unsigned min_code_size = 8;
  bool transparent = false;
  unsigned transparent_index = 0;
  Bytes before_image;  // raw blocks written between the screen and the image
  Bytes pixels;        // row-major, top to bottom
  unsigned block_size = 255;
  bool clear_when_full = true;
};

inline Bytes comment_extension(const std::string& text) {
  Bytes b = {0x21, 0xFE};
  put(b, sub_blocks(Bytes(text.begin(), text.end()), 7));
  return b;
}

inline Bytes netscape_extension() {
  Bytes b = {0x21, 0xFF, 0x0B};
  const std::string id = "NETSCAPE2.0";
  b.insert(b.end(), id.begin(), id.end());
  put(b, {0x03, 0x01, 0x00, 0x00, 0x00});
  return b;
}

inline std::vector<unsigned> interlaced_rows(unsigned height) {
  std::vector<unsigned> rows;
  const unsigned start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int p = 0; p < 4; ++p)
    for (unsigned y = start[p]; y < height; y += step[p]) rows.push_back(y);
  return rows;
}

inline Bytes make_gif(const GifSpec& s) {
  Bytes f = {'G', 'I', 'F', '8', '9', 'a'};
  put16(f, s.width);
  put16(f, s.height);
  put8(f, s.global_bits >= 0 ? 0x80 | unsigned(s.global_bits) : 0);
  put16(f, 0);
  if (s.global_bits >= 0) {
    Bytes t = s.global_table;
    t.resize((2u << s.global_bits) * 3, 0);
    put(f, t);
  }
  put(f, s.before_image);
  if (s.transparent) put(f, {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, std::uint8_t(s.transparent_index), 0x00});
  put8(f, 0x2C);
  put32(f, 0);
  put16(f, s.width);
  put16(f, s.height);
  put8(f, (s.local_bits >= 0 ? 0x80 | unsigned(s.local_bits) : 0) | (s.interlaced ? 0x40 : 0));
  if (s.local_bits >= 0) {
    Bytes t = s.local_table;
    t.resize((2u << s.local_bits) * 3, 0);
    put(f, t);
  }
  put8(f, s.min_code_size);
  Bytes stored = s.pixels;
  if (s.interlaced) {
    stored.clear();
    for (unsigned y : interlaced_rows(s.height))
      stored.insert(stored.end(), s.pixels.begin() + y * s.width, s.pixels.begin() + (y + 1) * s.width);
  }
  put(f, sub_blocks(lzw_encode(stored, s.min_code_size, s.clear_when_full), s.block_size));
  put8(f, 0x3B);
  return f;
}

}  // namespace image_formats_test
