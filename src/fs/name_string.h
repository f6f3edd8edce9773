// The counted, NUL-terminated text in which every name travels to the file systems.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

class NameString {
 public:
  NameString();
  NameString(const char* text);  // NOLINT: names are made from literals all the time
  NameString(std::string_view text);
  NameString(const NameString& other);
  NameString(NameString&& other) noexcept;
  NameString& operator=(const NameString& other);
  NameString& operator=(NameString&& other) noexcept;
  ~NameString() = default;

  const char* c_str() const { return data_ ? data_.get() : ""; }
  std::int32_t length() const { return length_; }
  bool empty() const { return length_ == 0; }
  std::string_view view() const { return {c_str(), static_cast<std::size_t>(length_)}; }
  char operator[](std::int32_t i) const { return c_str()[i]; }

 private:
  std::unique_ptr<char[]> data_;  // length_ characters and a NUL; null only when moved from
  std::int32_t length_ = 0;
};

inline bool operator==(const NameString& a, const NameString& b) { return a.view() == b.view(); }
