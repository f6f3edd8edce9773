#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

std::vector<std::string> split(const char* text, bool leading_empty = false) {
  command_line_split(text, leading_empty);
  std::vector<std::string> out(argument_list, argument_list + argument_count);
  return out;
}

using Args = std::vector<std::string>;

TEST(CommandLine, QuotesGroupBlanks) {
  EXPECT_EQ(split("prog.exe  \"a b\"   c"), (Args{"prog.exe", "a b", "c"}));
  EXPECT_EQ(split("\"C:\\Program Files\\vexo.exe\" x"), (Args{"C:\\Program Files\\vexo.exe", "x"}));
  command_line_free();
}

TEST(CommandLine, ClosingQuoteEndsTheToken) {
  EXPECT_EQ(split("\"ab\"cd"), (Args{"ab", "cd"}));
  EXPECT_EQ(split("a\"b c\""), (Args{"a\"b", "c\""}));  // a quote inside a token is ordinary
  EXPECT_EQ(split("\"\" x"), (Args{"x"}));             // empty quotes give nothing
  command_line_free();
}

TEST(CommandLine, BlanksAndUnbalancedQuotes) {
  EXPECT_EQ(split(""), Args{});
  EXPECT_EQ(split(" \t  \t"), Args{});
  EXPECT_EQ(split("\ta\t\tb "), (Args{"a", "b"}));
  EXPECT_EQ(split("x \"open to the end"), (Args{"x", "open to the end"}));
  EXPECT_EQ(split("\""), Args{});
  command_line_free();
}

TEST(CommandLine, LeadingEmptyEntry) {
  EXPECT_EQ(split("a b", true), (Args{"", "a", "b"}));
  command_line_free();
}

TEST(CommandLine, ListGrowsByTen) {
  split("1 2 3 4 5 6 7 8 9 10");
  EXPECT_EQ(argument_count, 10u);
  EXPECT_EQ(argument_capacity, 10u);
  split("1 2 3 4 5 6 7 8 9 10 11");
  EXPECT_EQ(argument_count, 11u);
  EXPECT_EQ(argument_capacity, 20u);
  EXPECT_STREQ(argument_list[10], "11");

  std::string many;
  for (int i = 0; i < 5000; ++i) many += "arg" + std::to_string(i) + " ";
  EXPECT_EQ(command_line_split(many.c_str(), false), 5000u);
  EXPECT_EQ(argument_capacity, 5000u);
  EXPECT_STREQ(argument_list[4999], "arg4999");
  command_line_free();
  EXPECT_EQ(argument_count, 0u);
  EXPECT_EQ(argument_capacity, 0u);
  EXPECT_EQ(argument_list, nullptr);
}

}  // namespace
