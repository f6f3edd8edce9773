// What every kestol command shares: option parsing with per-command usage, checked
// standard output, names printed safely, input files read with a clear reason.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// One command's identity: "kestol pak create" and its usage text (first line "usage: ...").
struct CommandInfo {
  const char* name;
  const char* usage;
};

// An option: a flag (sets *flag) or, with `value`, one that takes the next argument (or
// "--name=value"). `alias` may be null.
struct Option {
  const char* name;
  const char* alias;
  bool* flag;
  const char** value;
};

inline Option flag_option(const char* name, bool* flag, const char* alias = nullptr) {
  return {name, alias, flag, nullptr};
}
inline Option value_option(const char* name, const char** value, const char* alias = nullptr) {
  return {name, alias, nullptr, value};
}

inline constexpr int parse_continue = -1;

// Parses argv[1..]: "--help"/"-h" prints the usage to stdout (result 0); an unknown option
// or a missing value is a usage error (result 2); "--" ends the options and a lone "-" is
// an operand. Otherwise the operands land in *operands and the result is parse_continue.
int parse_options(const CommandInfo& command, int argc, char** argv,
                  std::initializer_list<Option> options, std::vector<const char*>* operands);

// Prints "NAME: message" and the usage line to stderr; returns 2.
int usage_error(const CommandInfo& command, const std::string& message);

// A number for an option, within [low, high]; otherwise a usage error naming the option
// and its range (returns false after printing it).
bool parse_number(const CommandInfo& command, const char* option, const char* text, double low,
                  double high, double* out);

// Flushes standard output; false after printing "NAME: write error: <reason>".
bool stdout_ok(const char* name);

// The name with control characters, DEL and backslashes escaped as `ls -b` does.
std::string escape_name(std::string_view name);
bool has_control_characters(std::string_view name);

// Reads a whole input file; a directory fails with "Is a directory".
bool read_input_file(const char* path, std::vector<std::uint8_t>* bytes, std::string* error);

// The same for the tool's version line.
const char* kestol_version();
