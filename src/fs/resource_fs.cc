#include "fs/resource_fs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host.h"

namespace {

constexpr const char* block_type = "FileSystem";

// The name as a decimal number, of which the low 16 bits count; text that is no number
// is 0. Parsed without atoi's undefined overflow.
const EmbeddedBlock* find_block(const NameString& name) {
  if (name.empty()) return nullptr;
  long long value = std::strtoll(name.c_str(), nullptr, 10);
  return host_find_embedded_block(block_type, static_cast<std::uint32_t>(value) & 0xFFFFu);
}

}  // namespace

std::uint32_t ResourceStream::read(void* buffer, std::uint32_t count) {
  std::uint32_t n = size_ - position_ < count ? size_ - position_ : count;
  if (n != 0) std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

bool ResourceStream::seek(std::uint64_t position) {
  if (position > size_) return false;
  position_ = static_cast<std::uint32_t>(position);
  return true;
}

NameString ResourceFileSystem::first_resource_name() {
  for (const EmbeddedBlock& block : host_embedded_blocks()) {
    if (block.type == nullptr || std::strcmp(block.type, block_type) != 0) continue;
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(block.number));
    return NameString(text);
  }
  return NameString();
}

Stream* ResourceFileSystem::open(const NameString& name, std::int32_t) {
  const EmbeddedBlock* block = find_block(name);
  if (block == nullptr || (block->data == nullptr && block->size != 0)) return nullptr;
  // Blocks of 4 GiB or more are not served: the stream counts in 32 bits.
  if (block->size > 0xFFFFFFFFu) return nullptr;
  return new ResourceStream(block->data, static_cast<std::uint32_t>(block->size), name, this);
}

std::uint64_t ResourceFileSystem::file_size(const NameString& name) {
  const EmbeddedBlock* block = find_block(name);
  return block != nullptr ? static_cast<std::uint32_t>(block->size) : size_unknown;
}

bool ResourceFileSystem::is_file(const NameString& name) { return find_block(name) != nullptr; }
