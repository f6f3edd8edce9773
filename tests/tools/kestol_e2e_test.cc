// The toolbox's manners, as a user meets them: versions, help per subcommand, usage
// errors, "-" for standard output, directories given as files, checked output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "authoring/xm_writer.h"
#include "tests/support/fs_fixtures.h"
#include "tests/support/xm_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fs_fixtures::TempDir;

using fs_fixtures::ToolRun;

ToolRun kestol(const std::string& arguments, const TempDir& dir, const std::string& redirect = "") {
  return fs_fixtures::run_command(std::string(KESTOL_TOOL) + " " + arguments, dir, redirect);
}

class Kestol : public ::testing::Test {
 protected:
  void SetUp() override {
    XmModule module = test_module(2, 8);
    ASSERT_TRUE(fs_fixtures::write_file(dir_ / "song.xm", xm_write(module)));
    // A 16 x 8 colour picture as binary PPM, the input `img encode` reads.
    std::string header = "P6\n16 8\n255\n";
    Bytes ppm(header.begin(), header.end());
    for (int i = 0; i < 16 * 8; ++i) {
      ppm.push_back(static_cast<std::uint8_t>(i * 2));
      ppm.push_back(static_cast<std::uint8_t>(255 - i));
      ppm.push_back(static_cast<std::uint8_t>(i * 7));
    }
    ASSERT_TRUE(fs_fixtures::write_file(dir_ / "in.ppm", ppm));
    ASSERT_EQ(kestol("img encode " + (dir_ / "in.ppm") + " -o " + (dir_ / "pic.jpg"), dir_).exit_code, 0);
  }
  TempDir dir_;
};

TEST_F(Kestol, VersionAndHelpForEverySubcommand) {
  ToolRun version = kestol("--version", dir_);
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("kestol ", 0), 0u) << version.out;
  for (std::string sub : {"xm info", "xm render", "xm timeline", "xm play", "img info", "img decode",
                          "img encode", "pak create", "pak list", "pak cat", "pak extract", "pak info"}) {
    ToolRun help = kestol(sub + " --help", dir_);
    EXPECT_EQ(help.exit_code, 0) << sub;
    EXPECT_EQ(help.out.rfind("usage: kestol " + sub, 0), 0u) << sub << ": " << help.out;
  }
}

TEST_F(Kestol, UnknownOptionsAndBadValuesAreUsageErrors) {
  struct Case {
    std::string arguments;
    std::string says;
  };
  const std::string song = dir_ / "song.xm", pic = dir_ / "pic.jpg";
  const Case cases[] = {
      {"xm info " + song + " --frobnicate", "unknown option '--frobnicate'"},
      {"xm render " + song + " -o x.wav --seconds many", "--seconds wants a number from 0 to 86400"},
      {"xm timeline " + song + " --seconds -3", "--seconds wants a number from 0 to 86400"},
      {"xm play " + song + " --seconds 1e9", "--seconds wants a number from 0 to 86400"},
      {"img info " + pic + " -x", "unknown option '-x'"},
      {"img decode " + pic + " -o x.ppm --format rgb48", "--format wants rgb24, argb32, grey8 or indexed8"},
      {"img encode " + (dir_ / "in.ppm") + " -o x.jpg --quality 101", "--quality wants a number from 1 to 100"},
      {"img encode " + (dir_ / "in.ppm") + " -o x.jpg --sampling 3x3", "--sampling wants 1x1, 2x1 or 2x2"},
  };
  for (const Case& c : cases) {
    ToolRun r = kestol(c.arguments, dir_);
    EXPECT_EQ(r.exit_code, 2) << c.arguments;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.arguments << ": " << r.err;
  }
}

TEST_F(Kestol, DashMeansStandardOutput) {
  ToolRun wav = kestol("xm render " + (dir_ / "song.xm") + " -o - --seconds 1", dir_);
  ASSERT_EQ(wav.exit_code, 0) << wav.err;
  ASSERT_EQ(wav.out.size(), 44u + 44100u * 4u);
  EXPECT_EQ(wav.out.substr(0, 4), "RIFF");
  EXPECT_EQ(wav.out.substr(8, 8), "WAVEfmt ");
  const std::string file = dir_ / "one.wav";
  ASSERT_EQ(kestol("xm render " + (dir_ / "song.xm") + " -o " + file + " --seconds 1", dir_).exit_code, 0);
  Bytes from_file;
  ASSERT_TRUE(fs_fixtures::read_file(file, &from_file));
  EXPECT_EQ(wav.out, std::string(from_file.begin(), from_file.end()));

  struct Kind {
    const char* format;
    const char* header;
  };
  for (Kind k : {Kind{"rgb24", "P6\n16 8\n255\n"}, Kind{"grey8", "P5\n16 8\n255\n"},
                 Kind{"argb32", "P7\nWIDTH 16\nHEIGHT 8\nDEPTH 4\n"}}) {
    ToolRun r = kestol("img decode " + (dir_ / "pic.jpg") + " -o - --format " + k.format, dir_);
    EXPECT_EQ(r.exit_code, 0) << k.format << r.err;
    EXPECT_EQ(r.out.rfind(k.header, 0), 0u) << k.format;
  }
  ToolRun jpeg = kestol("img encode " + (dir_ / "in.ppm") + " -o -", dir_);
  EXPECT_EQ(jpeg.exit_code, 0);
  EXPECT_EQ(jpeg.out.substr(0, 2), "\xff\xd8");
}

TEST_F(Kestol, DirectoriesGivenAsFilesSaySo) {
  const std::string out = " -o " + (dir_ / "out.ppm");
  for (std::string sub : {"xm play", "xm info", "img info", "pak info"}) {
    ToolRun r = kestol(sub + " " + dir_.path(), dir_);
    EXPECT_EQ(r.exit_code, 1) << sub << r.err;
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << sub << ": " << r.err;
  }
  for (std::string sub : {"xm render " + dir_.path() + " -o " + (dir_ / "x.wav"),
                          "img decode " + dir_.path() + out,
                          "img encode " + dir_.path() + " -o " + (dir_ / "x.jpg"),
                          "pak create " + dir_.path() + " " + dir_.path()}) {
    ToolRun r = kestol(sub, dir_);
    EXPECT_EQ(r.exit_code, 1) << sub << r.err;
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << sub << ": " << r.err;
  }
}

TEST_F(Kestol, InfoOnAFullStandardOutputFails) {
  ASSERT_EQ(kestol("img decode " + (dir_ / "pic.jpg") + " -o " + (dir_ / "pic.png"), dir_).exit_code, 0);
  for (std::string sub : {"xm info " + (dir_ / "song.xm"), "img info " + (dir_ / "pic.jpg"),
                          "img info " + (dir_ / "pic.png"), std::string("--version")}) {
    ToolRun r = kestol(sub, dir_, "> /dev/full");
    EXPECT_EQ(r.exit_code, 1) << sub;
    EXPECT_NE(r.err.find("write error: No space left on device"), std::string::npos) << sub << r.err;
  }
}

TEST_F(Kestol, PicturesTheEncoderDealsIn) {
  ToolRun wrong = kestol("img encode " + (dir_ / "in.ppm") + " -o " + (dir_ / "out.png"), dir_);
  EXPECT_EQ(wrong.exit_code, 2);
  EXPECT_NE(wrong.err.find("does not end in .jpg or .jpeg"), std::string::npos) << wrong.err;
  EXPECT_FALSE(fs_fixtures::exists(dir_ / "out.png"));
  EXPECT_EQ(kestol("img encode " + (dir_ / "in.ppm") + " -o " + (dir_ / "OUT.JPEG"), dir_).exit_code, 0);

  ASSERT_EQ(kestol("img decode " + (dir_ / "pic.jpg") + " -o " + (dir_ / "pic.png"), dir_).exit_code, 0);
  ToolRun png = kestol("img info " + (dir_ / "pic.png"), dir_);
  EXPECT_EQ(png.exit_code, 0) << png.err;
  EXPECT_NE(png.out.find("PNG"), std::string::npos) << png.out;
  EXPECT_NE(png.out.find("kestol img encode"), std::string::npos) << png.out;
  EXPECT_NE(png.out.find("width:   16"), std::string::npos) << png.out;
}

TEST_F(Kestol, WrittenFilesAreCompleteOrLeftAlone) {
  // A device is written into, never replaced by a renamed file.
  const std::string song = dir_ / "song.xm";
  ASSERT_EQ(kestol("xm render " + song + " --seconds 1 -o /dev/null", dir_).exit_code, 0);
  struct stat info;
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));

  std::string disk = dir_ / "disk";
  fs_fixtures::SmallDisk small(disk, "64k");
  if (!small.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs";
  const std::string wav = disk + "/song.wav";
  ASSERT_TRUE(fs_fixtures::write_file(wav, Bytes{'o', 'l', 'd'}));
  ToolRun full = kestol("xm render " + song + " --seconds 2 -o " + wav, dir_);
  EXPECT_EQ(full.exit_code, 1);
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
  Bytes kept;
  ASSERT_TRUE(fs_fixtures::read_file(wav, &kept));
  EXPECT_EQ(kept, (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk), std::filesystem::directory_iterator()), 1);
}

}  // namespace

#ifdef KESTOL_PLAYS_THROUGH_SDL
namespace {

// kestol runs the playing program beside it; SDL's dummy driver stands in for a device.
TEST_F(Kestol, PlayRunsThroughItsOwnProgram) {
  std::string command = "SDL_AUDIODRIVER=dummy " + std::string(KESTOL_TOOL) + " xm play --seconds 0.2 " +
                        (dir_ / "song.xm") + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  EXPECT_NE(out.find("stopped (time limit)"), std::string::npos) << out;
}

}  // namespace
#endif
