// vexo-capture on its failure paths: a failing encoder, a full disk, a missing frames
// folder, a run stopped as asked, and the Y4M fallback's size. Nothing damaged or
// temporary is ever left behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Ran {
  int status = -1;  // exit code, or 128 + signal
  std::string err;
};

class Capture : public ::testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    char tmpl[] = "/tmp/capture_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the tool through sh, after `setup` (shell commands), standard error kept.
  Ran capture(const std::string& args, const std::string& setup = "") {
    const fs::path err = dir / "stderr.txt";
    const std::string cmd = "sh -c '" + setup + " exec \"$0\" \"$@\"' '" + std::string(VEXO_CAPTURE) +
                            "' --quiet " + args + " 2>'" + err.string() + "'";
    Ran r;
    const int status = std::system(cmd.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(err);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(err);
    return r;
  }
  // What the folder holds now, hidden (temporary) files included.
  std::vector<std::string> files(const fs::path& where) const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(where))
      if (!e.is_directory()) names.push_back(fs::relative(e.path(), where).string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string p(const char* name) const { return "'" + (dir / name).string() + "'"; }
};

TEST_F(Capture, VersionAndHelpPrintAndExit) {
  Ran version = capture("--version > " + p("out"));
  EXPECT_EQ(version.status, 0);
  std::ifstream in(dir / "out");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line.rfind("vexo-capture ", 0), 0u) << line;
  EXPECT_EQ(capture("--help > /dev/null").status, 0);
  EXPECT_EQ(capture("--help > /dev/full").status, 1);
}

TEST_F(Capture, AFailingEncoderIsReportedWithItsMessage) {
  const fs::path bin = dir / "bin";
  fs::create_directories(bin);
  {
    std::ofstream fake(bin / "ffmpeg");
    fake << "#!/bin/sh\necho 'ffmpeg here: no encoder for this' >&2\nexit 3\n";
  }
  fs::permissions(bin / "ffmpeg", fs::perms::owner_all);
  const fs::path out = dir / "out";
  fs::create_directories(out);
  Ran r = capture("-o '" + (out / "v.mp4").string() + "' --log '" + (out / "v.log").string() + "'",
                  "PATH=" + bin.string() + ":$PATH;");
  EXPECT_EQ(r.status, 1) << r.err;  // not killed by SIGPIPE
  EXPECT_NE(r.err.find("ffmpeg here: no encoder for this"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ffmpeg failed encoding '" + (out / "v.mp4").string() + "' (exit status 3"), std::string::npos)
      << r.err;
  EXPECT_TRUE(files(out).empty()) << files(out).front();
}

// A full disk, as a file-size limit gives it: the log fails first, named with its cause;
// nothing is left, and an older log stays as it was.
TEST_F(Capture, AFullDiskFailsNamingTheFileAndLeavesNothing) {
  const fs::path out = dir / "out";
  fs::create_directories(out);
  std::ofstream(out / "v.log") << "an older log\n";
  Ran r = capture("--no-video --log '" + (out / "v.log").string() + "' --wav /dev/null --max-seconds 20",
                  "trap \"\" XFSZ; ulimit -f 4;");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("'" + (out / "v.log").string() + "': File too large"), std::string::npos) << r.err;
  EXPECT_EQ(files(out), std::vector<std::string>{"v.log"});
  std::ifstream in(out / "v.log");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an older log\n");

  // The sound alone (the log is small enough this time).
  Ran wav = capture("--no-video --wav '" + (out / "s.wav").string() + "' --max-seconds 2", "trap \"\" XFSZ; ulimit -f 64;");
  EXPECT_EQ(wav.status, 1) << wav.err;
  EXPECT_NE(wav.err.find("'" + (out / "s.wav").string() + "': File too large"), std::string::npos) << wav.err;
  EXPECT_EQ(files(out), std::vector<std::string>{"v.log"});
}

// A device is written in place: renaming a finished file over /dev/null would replace it.
TEST_F(Capture, DevicesAreWrittenInPlace) {
  Ran r = capture("--no-video --log /dev/null --wav /dev/null --max-seconds 1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  std::string listing;
  for (const auto& e : fs::directory_iterator("/dev"))
    if (e.path().filename().string().rfind(".null.", 0) == 0) listing += e.path().string() + " ";
  EXPECT_EQ(listing, "");
}

TEST_F(Capture, MakesTheFramesFolderAndStopsAsAskedWithSuccess) {
  const fs::path frames = dir / "new" / "frames";
  Ran r = capture("--no-video --frames '" + frames.string() + "' --frame-list 0,30 --log " + p("log") +
                  " --max-seconds 1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("stopped after 1 s of demo time, as --max-seconds asked"), std::string::npos) << r.err;
  EXPECT_EQ(files(frames), (std::vector<std::string>{"00000.png", "00030.png"}));
  EXPECT_EQ(files(dir), (std::vector<std::string>{"log", "new/frames/00000.png", "new/frames/00030.png"}));
  // The frames folder must be a folder.
  std::ofstream(dir / "plain") << "x";
  EXPECT_EQ(capture("--no-video --frames " + p("plain") + " --max-seconds 1").status, 1);
}

// Y4M is uncompressed: it defaults to the picture's own size and says how much it writes;
// the last line counts the video's frames (30 fps here), not the demo's (60).
TEST_F(Capture, Y4mStatesItsSizeAndTheLastLineCountsVideoFrames) {
  const fs::path video = dir / "v.y4m";
  Ran r = capture("-o '" + video.string() + "' --fps 30 --max-seconds 2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Y4M of 320x200 at 30 fps, about 5.8 MB per second"), std::string::npos) << r.err;
  std::ifstream in(video, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  const std::string header = "YUV4MPEG2 W320 H200 F30:1 Ip A1:1 C444\n";
  ASSERT_EQ(bytes.compare(0, header.size(), header), 0);
  const std::size_t frame_bytes = 6 + 320 * 200 * 3;
  ASSERT_EQ((bytes.size() - header.size()) % frame_bytes, 0u);
  const std::size_t frames = (bytes.size() - header.size()) / frame_bytes;
  EXPECT_NE(r.err.find("vexo-capture: " + std::to_string(frames) + " video frames (0:02) into"), std::string::npos)
      << frames << "\n" << r.err;
  EXPECT_EQ(files(dir), (std::vector<std::string>{"v.wav", "v.y4m"}));
}

}  // namespace
