#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fs/file_system.h"

namespace {

// The matcher as first written: plain recursion. The table form must agree with it.
bool recursive_mask_match(const char* name, const char* mask) {
  while (*mask != '\0' && *name != '\0') {
    if (*mask == '?' || *mask == *name) {
      ++mask;
      ++name;
      continue;
    }
    if (*mask != '*') return false;
    ++mask;
    if (*mask == '\0') return true;
    for (; *name != '\0'; ++name)
      if (recursive_mask_match(name, mask)) return true;
    return false;
  }
  return *mask == '\0' && *name == '\0';
}

TEST(NameString, CopiesAndCountsItsText) {
  std::string source = "data/01.jpg";
  NameString name(source);
  source[0] = 'X';
  EXPECT_STREQ(name.c_str(), "data/01.jpg");
  EXPECT_EQ(name.length(), 11);
  NameString copy = name;
  NameString moved = std::move(name);
  EXPECT_EQ(copy, moved);
  EXPECT_STREQ(name.c_str(), "");  // a moved-from name is still a valid empty text
  EXPECT_EQ(NameString(static_cast<const char*>(nullptr)).length(), 0);
}

TEST(ValidatePath, RefusesNamesThatLeaveTheRootOrAreMalformed) {
  for (const char* bad : {"", "a\\b", "dir/", "a//b", "//a", "..", "a/../b", "a..b", "./a",
                          "a/./b", "x./y"}) {
    EXPECT_FALSE(validate_path(bad, false)) << bad;
    EXPECT_FALSE(validate_path(bad, true)) << bad;
  }
  for (const char* good : {"a", "/a", "a/b/c.txt", ".", "name.", ".hidden", "a.b/c"})
    EXPECT_TRUE(validate_path(good, false)) << good;
  EXPECT_FALSE(validate_path(NameString(std::string_view("a\0b", 3)), false));
}

TEST(ValidatePath, MasksOnlyWhenAllowedAndOnlyInTheLastComponent) {
  EXPECT_FALSE(validate_path("*.jpg", false));
  EXPECT_FALSE(validate_path("a?", false));
  EXPECT_TRUE(validate_path("*.jpg", true));
  EXPECT_TRUE(validate_path("dir/sub/a?c*", true));
  EXPECT_FALSE(validate_path("d*r/a", true));
  EXPECT_FALSE(validate_path("?/a", true));
}

TEST(DirectoryPart, IsThePrefixUpToTheLastSlash) {
  EXPECT_STREQ(directory_part("a/b/c").c_str(), "a/b/");
  EXPECT_STREQ(directory_part("/c").c_str(), "/");
  EXPECT_STREQ(directory_part("c").c_str(), "");
  EXPECT_STREQ(directory_part("").c_str(), "");
}

TEST(PatternMatch, StarsQuestionMarksAndTheSpecialMasks) {
  EXPECT_FALSE(pattern_match("a", ""));
  for (const char* name : {"a", "a.b", "/dir", "x.y.z"}) {
    EXPECT_TRUE(pattern_match(name, "*.*")) << name;
    EXPECT_TRUE(pattern_match(name, ".")) << name;
    EXPECT_TRUE(pattern_match(name, "*")) << name;
  }
  EXPECT_TRUE(pattern_match("01.jpg", "*.jpg"));
  EXPECT_TRUE(pattern_match("01.jpg", "0?.jpg"));
  EXPECT_FALSE(pattern_match("01.jpg", "0?.JPG"));  // case matters
  EXPECT_FALSE(pattern_match("01.jpg", "?.jpg"));
  EXPECT_TRUE(pattern_match("abc", "a*c"));
  EXPECT_TRUE(pattern_match("ac", "a*c"));  // a "*" before more mask may be empty
  // A trailing "*" needs at least one character.
  EXPECT_FALSE(pattern_match("readme", "readme*"));
  EXPECT_TRUE(pattern_match("readme2", "readme*"));
  // Trailing dots: the bare name only, never a name with an extension.
  EXPECT_TRUE(pattern_match("readme", "readme."));
  EXPECT_TRUE(pattern_match("readme", "readme..."));
  EXPECT_FALSE(pattern_match("readme.txt", "readme."));
  EXPECT_FALSE(pattern_match("readme.txt", "readme*."));
  // Sub-directories are matched with their "/".
  EXPECT_FALSE(pattern_match("/music", "m*"));
  EXPECT_TRUE(pattern_match("/music", "?m*"));
  EXPECT_TRUE(pattern_match("/music", "*c"));
}

TEST(PatternMatch, TableMatcherAgreesWithTheRecursionOnRandomInput) {
  std::mt19937 rng(7);
  const char alphabet[] = "ab*?.";
  auto random_text = [&](int max, int symbols) {
    std::string s;
    int n = static_cast<int>(rng() % (max + 1));
    for (int i = 0; i < n; ++i) s += alphabet[rng() % symbols];
    return s;
  };
  for (int i = 0; i < 50000; ++i) {
    std::string name = random_text(8, 5);  // names may hold "*" and "?" too
    std::string mask = random_text(6, 5);
    ASSERT_EQ(mask_match(name.c_str(), mask.c_str()),
              recursive_mask_match(name.c_str(), mask.c_str()))
        << "name '" << name << "' mask '" << mask << "'";
  }
}

TEST(PatternMatch, ManyStarsDoNotTakeExponentialTime) {
  std::string name(200, 'a');
  std::string mask;
  for (int i = 0; i < 40; ++i) mask += "*a";
  mask += "b";
  EXPECT_FALSE(mask_match(name.c_str(), mask.c_str()));
}

}  // namespace
