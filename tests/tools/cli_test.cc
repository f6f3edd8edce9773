// The toolbox's shared command-line helpers.
#include "tools/kestol/cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const CommandInfo command{"kestol test", "usage: kestol test [-v] [--out FILE] ARG...\n"};

struct Parsed {
  int result = 0;
  bool verbose = false;
  const char* out = nullptr;
  std::vector<std::string> operands;
};

Parsed parse(std::vector<std::string> words) {
  words.insert(words.begin(), "test");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  Parsed p;
  p.result = 0;
  std::vector<const char*> operands;
  p.result = parse_options(command, static_cast<int>(argv.size()), argv.data(),
                           {flag_option("--verbose", &p.verbose, "-v"), value_option("--out", &p.out, "-o")},
                           &operands);
  for (const char* o : operands) p.operands.push_back(o);
  if (p.out != nullptr) p.operands.push_back(std::string("out=") + p.out);
  return p;
}

TEST(ParseOptions, OperandsOptionsAndTheirValues) {
  Parsed p = parse({"a", "-v", "--out", "f", "b"});
  EXPECT_EQ(p.result, parse_continue);
  EXPECT_TRUE(p.verbose);
  EXPECT_EQ(p.operands, (std::vector<std::string>{"a", "b", "out=f"}));
  EXPECT_EQ(parse({"--out=g", "-"}).operands, (std::vector<std::string>{"-", "out=g"}));
  // After "--" everything is an operand, even what looks like an option.
  Parsed ended = parse({"--", "-v", "--out"});
  EXPECT_EQ(ended.result, parse_continue);
  EXPECT_FALSE(ended.verbose);
  EXPECT_EQ(ended.operands, (std::vector<std::string>{"-v", "--out"}));
}

TEST(ParseOptions, MistakesAreUsageErrors) {
  EXPECT_EQ(parse({"a", "-l"}).result, 2);
  EXPECT_EQ(parse({"--out"}).result, 2);          // value missing
  EXPECT_EQ(parse({"--verbose=yes"}).result, 2);  // a flag takes none
  EXPECT_EQ(parse({"a", "--help"}).result, 0);
}

TEST(ParseNumber, RangeAndGarbage) {
  double v = -1;
  EXPECT_TRUE(parse_number(command, "--n", "2.5", 0, 10, &v));
  EXPECT_EQ(v, 2.5);
  for (const char* bad : {"", "x", "1x", "11", "-1", "nan", "inf"})
    EXPECT_FALSE(parse_number(command, "--n", bad, 0, 10, &v)) << bad;
}

TEST(EscapeName, ControlCharactersAndBackslashesAsLsDoes) {
  EXPECT_EQ(escape_name("plain name.txt"), "plain name.txt");
  EXPECT_EQ(escape_name("a\nb\tc\\d"), "a\\nb\\tc\\\\d");
  EXPECT_EQ(escape_name(std::string("\x1b[2J\x7f\x01", 6)), "\\033[2J\\177\\001");
  EXPECT_EQ(escape_name("\xc3\xa9t\xc3\xa9"), "\xc3\xa9t\xc3\xa9");  // UTF-8 stays
  EXPECT_TRUE(has_control_characters("a\rb"));
  EXPECT_FALSE(has_control_characters("caf\xc3\xa9"));
}

}  // namespace
