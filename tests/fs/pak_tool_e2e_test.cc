// Runs `kestol pak` as a user would and checks its output, files and exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "tests/support/fs_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fs_fixtures::TempDir;

using fs_fixtures::ToolRun;

ToolRun run(const std::string& arguments, const TempDir& dir) {
  return fs_fixtures::run_command(std::string(KESTOL_TOOL) + " pak " + arguments, dir);
}

class PakTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 rng(9);
    mkdir((dir_ / "src").c_str(), 0777);
    mkdir((dir_ / "src/Music").c_str(), 0777);
    mkdir((dir_ / "src/empty").c_str(), 0777);
    files_ = {{"src/Readme.txt", Bytes{'h', 'i', '\n'}},
              {"src/noise.bin", fs_fixtures::random_bytes(rng, 20000)},
              {"src/Music/song.xm", fs_fixtures::compressible_bytes(rng, 50000)}};
    for (const auto& f : files_) ASSERT_TRUE(fs_fixtures::write_file(dir_ / f.path, f.data));
  }
  TempDir dir_;
  std::vector<fs_fixtures::Member> files_;
};

TEST_F(PakTool, CreateListCatExtractAndInfoAgree) {
  for (const char* flags : {"", "--encipher", "--encipher --compress always", "--compress never"}) {
    std::string archive = dir_ / "a.pak";
    ToolRun created = run("create " + archive + " " + (dir_ / "src") + " " + flags, dir_);
    ASSERT_EQ(created.exit_code, 0) << created.err;
    EXPECT_NE(created.err.find("3 files"), std::string::npos) << created.err;

    ToolRun listed = run("list " + archive, dir_);
    ASSERT_EQ(listed.exit_code, 0);
    EXPECT_NE(listed.out.find("<dir>  Music/\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("50000  Music/song.xm"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("<dir>  empty/\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("3  Readme.txt"), std::string::npos) << listed.out;
    EXPECT_EQ(run("list " + archive + " '*.txt'", dir_).out.find("song"), std::string::npos);

    ToolRun cat = run("cat " + archive + " music/SONG.xm", dir_);
    EXPECT_EQ(cat.exit_code, 0);
    EXPECT_EQ(Bytes(cat.out.begin(), cat.out.end()), files_[2].data);

    std::string out = dir_ / "out";
    ASSERT_EQ(run("extract " + archive + " -C " + out, dir_).exit_code, 0);
    for (const auto& f : files_) {
      Bytes back;
      ASSERT_TRUE(fs_fixtures::read_file(out + "/" + f.path.substr(4), &back)) << f.path;
      EXPECT_EQ(back, f.data) << f.path;
    }
    EXPECT_TRUE(fs_fixtures::exists(out + "/empty"));

    ToolRun info = run("info " + archive, dir_);
    EXPECT_EQ(info.exit_code, 0);
    bool enciphered = std::string(flags).find("encipher") != std::string::npos;
    EXPECT_NE(info.out.find(enciphered ? "enciphered:       yes" : "enciphered:       no"),
              std::string::npos) << info.out;
    EXPECT_NE(info.out.find("files:            3"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("unpacked size:    70003 bytes"), std::string::npos) << info.out;
  }
}

TEST_F(PakTool, ErrorsNameTheArchiveAndTheMember) {
  std::string archive = dir_ / "a.pak";
  ASSERT_EQ(run("create " + archive + " " + (dir_ / "src"), dir_).exit_code, 0);
  ToolRun missing = run("cat " + archive + " nope.txt", dir_);
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("'" + archive + "': no such member 'nope.txt'"), std::string::npos)
      << missing.err;
  ToolRun not_pak = run("list " + (dir_ / "src/Readme.txt"), dir_);
  EXPECT_EQ(not_pak.exit_code, 1);
  EXPECT_NE(not_pak.err.find("is not a pak archive"), std::string::npos) << not_pak.err;
  ToolRun absent = run("info " + (dir_ / "absent.pak"), dir_);
  EXPECT_EQ(absent.exit_code, 1);
  EXPECT_NE(absent.err.find("cannot open archive"), std::string::npos) << absent.err;
  EXPECT_EQ(run("extract " + archive + " -C " + (dir_ / "x") + " ../escape", dir_).exit_code, 1);
  EXPECT_FALSE(fs_fixtures::exists(dir_ / "escape"));
  EXPECT_EQ(run("create " + archive + " " + (dir_ / "src") + " --compress sometimes", dir_).exit_code, 2);
  EXPECT_NE(run("frobnicate", dir_).exit_code, 0);
  for (const char* sub : {"create", "list", "cat", "extract", "info"}) {
    ToolRun help = run(std::string(sub) + " --help", dir_);
    EXPECT_EQ(help.exit_code, 0) << sub;
    EXPECT_NE(help.out.find("usage: kestol pak"), std::string::npos) << sub;
  }
}

TEST_F(PakTool, ExtractDoesNotFollowLinksOutOfTheTarget) {
  std::string archive = dir_ / "a.pak";
  ASSERT_EQ(run("create " + archive + " " + (dir_ / "src"), dir_).exit_code, 0);
  std::string out = dir_ / "out";
  mkdir(out.c_str(), 0777);
  mkdir((dir_ / "elsewhere").c_str(), 0777);
  ASSERT_EQ(symlink((dir_ / "elsewhere").c_str(), (out + "/Music").c_str()), 0);
  ToolRun r = run("extract " + archive + " -C " + out, dir_);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("outside the target"), std::string::npos) << r.err;
  EXPECT_FALSE(fs_fixtures::exists(dir_ / "elsewhere/song.xm"));
  EXPECT_TRUE(fs_fixtures::exists(out + "/Readme.txt"));
}

}  // namespace
