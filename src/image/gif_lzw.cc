#include "image/gif_lzw.h"

#include <new>

#include "image/format_reader.h"

namespace {

// Reads one sub-block (size byte, then its bytes) into `dst`; returns the bytes delivered.
unsigned read_sub_block(ImageSource& source, std::uint8_t* dst) {
  std::uint8_t size = 0;
  if (source.read(&size, 1) != 1 || size == 0) return 0;
  return source.read(dst, size);
}

}  // namespace

void gif_skip_sub_blocks(ImageSource& source) {
  std::uint8_t scratch[255];
  while (read_sub_block(source, scratch) != 0) {
  }
}

LzwDecoder::LzwDecoder(ImageSource& source, unsigned min_code_size)
    : source_(source),
      min_code_size_(min_code_size),
      clear_code_(1u << min_code_size),
      end_code_((1u << min_code_size) + 1),
      prefix_(new (std::nothrow) std::uint16_t[kTableSize]()),
      suffix_(new (std::nothrow) std::uint8_t[kTableSize]()),
      stack_(new (std::nothrow) std::uint8_t[kTableSize]) {
  if (!suffix_ || !stack_) prefix_.reset();
  reset_table();
}

void LzwDecoder::reset_table() {
  code_size_ = min_code_size_ + 1;
  code_limit_ = 2 * clear_code_;
  next_code_ = clear_code_ + 2;
  stack_top_ = 0;
}

unsigned LzwDecoder::get_code() {
  while (bit_position_ + code_size_ > bits_available_) {
    if (end_of_data_) return end_code_;
    // Keep the last two bytes: the unread bits of a code that straddles sub-blocks.
    block_[0] = block_[block_length_ - 2];
    block_[1] = block_[block_length_ - 1];
    const unsigned got = read_sub_block(source_, block_ + 2);
    if (got == 0) {
      end_of_data_ = true;
      return end_code_;
    }
    bit_position_ = bit_position_ + 16 - bits_available_;
    block_length_ = got + 2;
    bits_available_ = block_length_ * 8;
  }
  const unsigned p = bit_position_ >> 3;
  const std::uint32_t window =
      std::uint32_t(block_[p]) | std::uint32_t(block_[p + 1]) << 8 | std::uint32_t(block_[p + 2]) << 16;
  const unsigned code = (window >> (bit_position_ & 7)) & ((1u << code_size_) - 1);
  bit_position_ += code_size_;
  return code;
}

std::uint8_t LzwDecoder::next_pixel() {
  unsigned code;
  if (first_) {
    first_ = false;
    code = clear_code_;
  } else {
    if (stack_top_ > 0) return stack_[--stack_top_];
    code = get_code();
  }

  if (code == clear_code_) {
    reset_table();
    do {
      code = get_code();
    } while (code == clear_code_);
    if (code > clear_code_) code = 0;
    old_code_ = first_char_ = code;
    return std::uint8_t(code);
  }
  if (code == end_code_) {
    if (!end_of_data_) {
      gif_skip_sub_blocks(source_);
      end_of_data_ = true;
    }
    return 0;
  }

  unsigned in = code;
  if (code >= next_code_) {
    // The string of the previous code plus its own first character.
    stack_[stack_top_++] = std::uint8_t(first_char_);
    code = old_code_;
    if (in > next_code_) in = 0;  // a code past the table: corrupt data
  }
  // Every entry's prefix is a lower code, so the walk ends; the bound only guards the stack.
  while (code >= clear_code_ && stack_top_ < kTableSize) {
    stack_[stack_top_++] = suffix_[code];
    code = prefix_[code];
  }
  first_char_ = code;
  if (next_code_ < kTableSize) {
    prefix_[next_code_] = std::uint16_t(old_code_);
    suffix_[next_code_] = std::uint8_t(first_char_);
    ++next_code_;
    if (next_code_ >= code_limit_ && code_size_ < 12) {
      ++code_size_;
      code_limit_ *= 2;
    }
  }
  old_code_ = in;
  return std::uint8_t(first_char_);
}
