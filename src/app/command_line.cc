#include "app/command_line.h"

#include <cstdlib>
#include <cstring>

char** argument_list = nullptr;
std::uint32_t argument_count = 0;
std::uint32_t argument_capacity = 0;

namespace {

char* command_line_copy = nullptr;

bool append_argument(char* token) {
  if (argument_count == argument_capacity) {
    std::uint32_t capacity = argument_capacity + 10;
    void* grown = std::realloc(argument_list, capacity * sizeof(char*));
    if (grown == nullptr) return false;
    argument_list = static_cast<char**>(grown);
    argument_capacity = capacity;
  }
  argument_list[argument_count++] = token;
  return true;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::uint32_t command_line_split(const char* text, bool leading_empty) {
  command_line_free();
  if (text == nullptr) text = "";
  std::size_t length = std::strlen(text);
  command_line_copy = static_cast<char*>(std::malloc(length + 1));
  argument_list = static_cast<char**>(std::malloc(10 * sizeof(char*)));
  if (command_line_copy == nullptr || argument_list == nullptr) {
    command_line_free();
    return 0;
  }
  argument_capacity = 10;
  std::memcpy(command_line_copy, text, length + 1);
  // The leading empty entry points at the terminating NUL of the copy.
  if (leading_empty) append_argument(command_line_copy + length);

  char quote = '\0';
  char* token = command_line_copy;
  for (char* cursor = command_line_copy;; ++cursor) {
    char c = *cursor;
    if (c == '"' && quote == '\0' && cursor == token) {
      quote = '"';
      token = cursor + 1;
      continue;
    }
    bool ends = c == '\0' || (quote != '\0' && c == quote) || (quote == '\0' && is_blank(c));
    if (!ends) continue;
    if (cursor != token && !append_argument(token)) break;
    *cursor = '\0';
    if (quote != '\0' && c == quote) quote = '\0';
    if (c == '\0') break;
    token = cursor + 1;
  }
  return argument_count;
}

void command_line_free() {
  std::free(command_line_copy);
  command_line_copy = nullptr;
  std::free(argument_list);
  argument_list = nullptr;
  argument_count = 0;
  argument_capacity = 0;
}
