#include "fs/name_string.h"

#include <cstring>

NameString::NameString() : NameString(std::string_view{}) {}

NameString::NameString(const char* text)
    : NameString(text != nullptr ? std::string_view(text) : std::string_view{}) {}

NameString::NameString(std::string_view text) {
  // Names are short; anything beyond 2^31 - 1 characters is cut rather than wrapped.
  std::size_t n = text.size() < 0x7FFFFFFFu ? text.size() : 0x7FFFFFFEu;
  data_ = std::make_unique<char[]>(n + 1);
  if (n != 0) std::memcpy(data_.get(), text.data(), n);
  data_[n] = '\0';
  length_ = static_cast<std::int32_t>(n);
}

NameString::NameString(const NameString& other) : NameString(other.view()) {}

NameString::NameString(NameString&& other) noexcept
    : data_(std::move(other.data_)), length_(other.length_) {
  other.length_ = 0;
}

NameString& NameString::operator=(const NameString& other) {
  if (this != &other) *this = NameString(other.view());
  return *this;
}

NameString& NameString::operator=(NameString&& other) noexcept {
  if (this != &other) {
    data_ = std::move(other.data_);
    length_ = other.length_;
    other.length_ = 0;
  }
  return *this;
}
