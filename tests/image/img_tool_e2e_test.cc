// `kestol img` end to end: encode a PPM, inspect and decode the JPEG, and the refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/jpeg_builder.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status;
  std::string out;
};

ToolRun kestol(const std::string& args) {
  std::string cmd = std::string(KESTOL_TOOL) + " " + args + " 2>&1";
  ToolRun r{-1, {}};
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) r.out += buf;
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

fs::path scratch() {
  fs::path d = fs::temp_directory_path() / ("kestol_img_e2e_" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d;
}

}  // namespace

TEST(ImgTool, EncodeInfoDecodeRoundTrip) {
  fs::path dir = scratch();
  const std::uint32_t w = 40, h = 24;
  auto rgb = jpeg_test::synthetic_rgb(w, h, 2);
  {
    std::ofstream ppm(dir / "in.ppm", std::ios::binary);
    ppm << "P6\n# made by a test\n" << w << " " << h << "\n255\n";
    ppm.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
  }
  ToolRun e = kestol("img encode " + (dir / "in.ppm").string() + " -o " + (dir / "out.jpg").string() +
                 " --quality 75 --sampling 2x1 --restart");
  ASSERT_EQ(e.status, 0) << e.out;
  ToolRun i = kestol("img info " + (dir / "out.jpg").string());
  ASSERT_EQ(i.status, 0) << i.out;
  EXPECT_NE(i.out.find("JPEG"), std::string::npos);
  EXPECT_NE(i.out.find("width:   40"), std::string::npos) << i.out;
  EXPECT_NE(i.out.find("rgb24"), std::string::npos);
  EXPECT_NE(i.out.find("sampling 2x1,1x1,1x1, restart markers every 3 MCUs"), std::string::npos) << i.out;
  ToolRun d = kestol("img decode " + (dir / "out.jpg").string() + " -o " + (dir / "out.pgm").string() +
                 " --format grey8");
  ASSERT_EQ(d.status, 0) << d.out;
  std::ifstream pgm(dir / "out.pgm", std::ios::binary);
  std::string file((std::istreambuf_iterator<char>(pgm)), std::istreambuf_iterator<char>());
  EXPECT_EQ(file.rfind("P5\n40 24\n255\n", 0), 0u);
  EXPECT_EQ(file.size(), std::string("P5\n40 24\n255\n").size() + w * h);
  ToolRun png = kestol("img decode " + (dir / "out.jpg").string() + " -o " + (dir / "out.png").string());
  EXPECT_EQ(png.status, 0) << png.out;
  ToolRun back = kestol("img encode " + (dir / "out.png").string() + " -o " + (dir / "again.jpg").string() + " --grey");
  EXPECT_EQ(back.status, 0) << back.out;
  fs::remove_all(dir);
}

TEST(ImgTool, RefusalsNameTheFileAndStep) {
  fs::path dir = scratch();
  using namespace jpeg_test;
  Bytes prog = soi();
  Bytes a = app0(), s = sof(8, 8, {{1, 0x11, 0}}, 8, 0xC2);
  prog.insert(prog.end(), a.begin(), a.end());
  prog.insert(prog.end(), s.begin(), s.end());
  {
    std::ofstream f(dir / "prog.jpg", std::ios::binary);
    f.write(reinterpret_cast<const char*>(prog.data()), std::streamsize(prog.size()));
  }
  ToolRun p = kestol("img info " + (dir / "prog.jpg").string());
  EXPECT_NE(p.status, 0);
  EXPECT_NE(p.out.find("prog.jpg: header: progressive"), std::string::npos) << p.out;
  ToolRun m = kestol("img decode " + (dir / "missing.jpg").string() + " -o " + (dir / "x.png").string());
  EXPECT_NE(m.status, 0);
  EXPECT_NE(m.out.find("missing.jpg: open"), std::string::npos) << m.out;
  // A picture to encode whose header announces more than the limit is refused before its
  // pixels are allocated.
  {
    std::ofstream f(dir / "huge.ppm", std::ios::binary);
    f << "P6\n65535 65535\n255\n" << std::string(64, '\x10');
  }
  ToolRun big = kestol("img encode " + (dir / "huge.ppm").string() + " -o " + (dir / "huge.jpg").string());
  EXPECT_NE(big.status, 0);
  EXPECT_NE(big.out.find("1 GiB limit"), std::string::npos) << big.out;
  EXPECT_FALSE(fs::exists(dir / "huge.jpg"));
  ToolRun help = kestol("img --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: kestol img"), std::string::npos);
  fs::remove_all(dir);
}
