#include "tools/kestol/cli.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef KESTOL_VERSION
#define KESTOL_VERSION "0"
#endif

const char* kestol_version() { return KESTOL_VERSION; }

namespace {

void print_usage_line(const CommandInfo& command) {
  // The first line of the usage text is the synopsis.
  const char* end = std::strchr(command.usage, '\n');
  std::size_t n = end ? static_cast<std::size_t>(end - command.usage) : std::strlen(command.usage);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(n), command.usage);
  std::fprintf(stderr, "Try '%s --help' for more information.\n", command.name);
}

}  // namespace

int usage_error(const CommandInfo& command, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", command.name, message.c_str());
  print_usage_line(command);
  return 2;
}

int parse_options(const CommandInfo& command, int argc, char** argv,
                  std::initializer_list<Option> options, std::vector<const char*>* operands) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (options_ended || arg[0] != '-' || arg[1] == '\0') {
      operands->push_back(arg);
      continue;
    }
    if (std::strcmp(arg, "--") == 0) {
      options_ended = true;
      continue;
    }
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(command.usage, stdout);
      return 0;
    }
    std::string_view name = arg;
    const char* inline_value = nullptr;
    if (name.size() > 2 && name[1] == '-') {
      if (std::size_t equals = name.find('='); equals != name.npos) {
        inline_value = arg + equals + 1;
        name = name.substr(0, equals);
      }
    }
    const Option* match = nullptr;
    for (const Option& option : options)
      if (name == option.name || (option.alias != nullptr && name == option.alias)) match = &option;
    if (match == nullptr) return usage_error(command, "unknown option '" + std::string(arg) + "'");
    if (match->value == nullptr) {
      if (inline_value != nullptr)
        return usage_error(command, "option '" + std::string(name) + "' takes no value");
      *match->flag = true;
    } else if (inline_value != nullptr) {
      *match->value = inline_value;
    } else if (i + 1 < argc) {
      *match->value = argv[++i];
    } else {
      return usage_error(command, "option '" + std::string(name) + "' needs a value");
    }
  }
  return parse_continue;
}

bool parse_number(const CommandInfo& command, const char* option, const char* text, double low,
                  double high, double* out) {
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !std::isfinite(value) || value < low ||
      value > high) {
    char range[96];
    std::snprintf(range, sizeof range, "%g to %g", low, high);
    usage_error(command, std::string(option) + " wants a number from " + range + ", not '" +
                             escape_name(text) + "'");
    return false;
  }
  *out = value;
  return true;
}

bool stdout_ok(const char* name) {
  // The failed write that set the error flag left its cause in errno.
  int earlier = errno;
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  int error = errno != 0 ? errno : earlier != 0 ? earlier : EIO;
  std::fprintf(stderr, "%s: write error: %s\n", name, std::strerror(error));
  return false;
}

bool has_control_characters(std::string_view name) {
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

std::string escape_name(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (unsigned char c : name) {
    const char* named = nullptr;
    switch (c) {
      case '\\': named = "\\\\"; break;
      case '\a': named = "\\a"; break;
      case '\b': named = "\\b"; break;
      case '\f': named = "\\f"; break;
      case '\n': named = "\\n"; break;
      case '\r': named = "\\r"; break;
      case '\t': named = "\\t"; break;
      case '\v': named = "\\v"; break;
      default: break;
    }
    if (named != nullptr) {
      out += named;
    } else if (c < 0x20 || c == 0x7F) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool read_input_file(const char* path, std::vector<std::uint8_t>* bytes, std::string* error) {
  // Opening a directory succeeds on some systems and fails with a vague reason on others.
  struct stat info;
  if (::stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
    *error = std::strerror(EISDIR);
    return false;
  }
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    *error = std::strerror(errno);
    return false;
  }
  bytes->clear();
  std::uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  int read_errno = std::ferror(f) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(f);
  if (read_errno != 0) {
    *error = std::strerror(read_errno);
    return false;
  }
  return true;
}
