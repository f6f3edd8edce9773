// The variable-length LZW decoder of GIF image data: reads the data sub-blocks that follow
// the minimum code size byte and hands out one pixel index at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "image/format_reader.h"

// Reads and drops data sub-blocks until the zero-size terminator or the end of the data.
void gif_skip_sub_blocks(ImageSource& source);

class LzwDecoder {
 public:
  // min_code_size must be 2..11 (the caller checks it).
  LzwDecoder(ImageSource& source, unsigned min_code_size);
  // False when the tables could not be allocated.
  bool ok() const { return prefix_ != nullptr; }

  // The next pixel index (the low byte of the decoded value); 0 for every pixel after the
  // end of the data, whether the data ended properly or not.
  std::uint8_t next_pixel();

 private:
  static constexpr unsigned kTableSize = 4096;
  unsigned get_code();
  void reset_table();

  ImageSource& source_;
  // The last two bytes of the previous sub-block, then the current one; the tail gives the
  // three-byte code fetch room past the last byte.
  std::uint8_t block_[2 + 255 + 4] = {};
  unsigned block_length_ = 2;
  unsigned bits_available_ = 0;
  unsigned bit_position_ = 0;
  bool end_of_data_ = false;
  unsigned min_code_size_;
  unsigned clear_code_;
  unsigned end_code_;
  unsigned code_size_ = 0;
  unsigned code_limit_ = 0;
  unsigned next_code_ = 0;
  unsigned old_code_ = 0;
  unsigned first_char_ = 0;
  bool first_ = true;
  std::unique_ptr<std::uint16_t[]> prefix_;
  std::unique_ptr<std::uint8_t[]> suffix_;
  std::unique_ptr<std::uint8_t[]> stack_;
  unsigned stack_top_ = 0;
};
