// Host services that are the same on every POSIX backend.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "host/embedded_blocks.h"
#include "host/host.h"

namespace {

std::string command_line_text;

// An argument with a blank (or nothing at all) is quoted, so splitting the text gives the
// arguments back. Quotes inside arguments cannot be expressed and stay as they are.
void append_argument(std::string& text, const char* argument) {
  if (!text.empty()) text += ' ';
  bool quote = *argument == '\0' || std::strpbrk(argument, " \t") != nullptr;
  if (quote) text += '"';
  text += argument;
  if (quote) text += '"';
}

std::atomic<const EmbeddedBlock*> override_blocks{nullptr};
std::atomic<std::size_t> override_count{0};
std::atomic<bool> overridden{false};

}  // namespace

__attribute__((weak)) extern const EmbeddedBlockTable host_embedded_block_table = {nullptr, 0};

void host_set_arguments(int argc, char** argv) {
  command_line_text.clear();
  for (int i = 0; i < argc; ++i) append_argument(command_line_text, argv[i]);
}

const char* host_command_line() { return command_line_text.c_str(); }

bool host_executable_path(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  ssize_t n = readlink("/proc/self/exe", buffer, capacity);
  if (n <= 0 || static_cast<std::size_t>(n) >= capacity) {
    buffer[0] = '\0';
    return false;
  }
  buffer[n] = '\0';
  return true;
}

std::span<const EmbeddedBlock> host_embedded_blocks() {
  if (overridden.load(std::memory_order_acquire))
    return {override_blocks.load(), override_count.load()};
  return {host_embedded_block_table.blocks, host_embedded_block_table.count};
}

void host_set_embedded_blocks(std::span<const EmbeddedBlock> blocks) {
  override_blocks.store(blocks.data());
  override_count.store(blocks.size());
  overridden.store(true, std::memory_order_release);
}

const EmbeddedBlock* host_find_embedded_block(const char* type, std::uint32_t number) {
  for (const EmbeddedBlock& block : host_embedded_blocks())
    if (block.number == number && std::strcmp(block.type, type) == 0) return &block;
  return nullptr;
}
