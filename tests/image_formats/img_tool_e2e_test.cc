// `kestol img info` and `kestol img decode` on a file of every kind these readers handle;
// an indexed8 decode comes out as a paletted PNG.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/image_formats/gif_writer.h"

#ifdef KESTOL_HAVE_PNG
#include <png.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace image_formats_test;

std::string run(const std::string& args, int* status) {
  const std::string cmd = std::string(KESTOL_TOOL) + " " + args + " 2>&1";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  char buf[256];
  while (p && std::fgets(buf, sizeof buf, p)) out += buf;
  *status = p ? ::pclose(p) : -1;
  return out;
}

class ImgTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kestol_img2_e2e_" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string write(const std::string& name, const Bytes& bytes) {
    const fs::path p = dir / name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return p.string();
  }
  fs::path dir;
};

Bytes sample_gif() {
  GifSpec s;
  s.width = 3;
  s.height = 2;
  s.global_bits = 1;
  s.global_table = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  s.pixels = {0, 1, 2, 2, 1, 0};
  s.transparent = true;
  s.transparent_index = 2;
  return make_gif(s);
}

Bytes sample_tga() {
  Bytes f = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put16(f, 2);
  put16(f, 1);
  put(f, {24, 0x20, 0, 0, 255, 0, 255, 0});
  return f;
}

Bytes sample_pcx() {
  Bytes h(128, 0);
  h[0] = 0x0A, h[1] = 5, h[2] = 1, h[3] = 8, h[8] = 1, h[65] = 1, h[66] = 2;
  put(h, {0xC2, 7});
  h.push_back(0x0C);
  for (int i = 0; i < 256; ++i) put(h, {std::uint8_t(i), 0, 0});
  return h;
}

Bytes sample_bmp() {
  Bytes f = {'B', 'M'};
  put32(f, 14 + 40 + 4);
  put32(f, 0);
  put32(f, 14 + 40);
  put32(f, 40);
  put32(f, 1);
  put32(f, 1);
  put16(f, 1);
  put16(f, 24);
  for (int i = 0; i < 6; ++i) put32(f, 0);
  put(f, {10, 20, 30, 0});
  return f;
}

TEST_F(ImgTool, InfoNamesEveryKind) {
  struct Case {
    const char* name;
    Bytes bytes;
    const char* kind;
    const char* formats;
  } cases[] = {{"a.gif", sample_gif(), "GIF", "indexed8 argb32"},
               {"b.tga", sample_tga(), "TGA", "rgb24"},
               {"c.pcx", sample_pcx(), "PCX", "indexed8"},
               {"d.bmp", sample_bmp(), "BMP", "rgb24"}};
  for (const auto& c : cases) {
    int status = 0;
    const std::string out = run("img info " + write(c.name, c.bytes), &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find(c.kind), std::string::npos) << out;
    EXPECT_NE(out.find(c.formats), std::string::npos) << out;
  }
  int status = 0;
  const std::string out = run("img info " + write("bad.gif", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B, 0, 0}), &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("bad.gif"), std::string::npos) << "the message names the file: " << out;
}

TEST_F(ImgTool, IndexedDecodeWritesAPalettedPng) {
  for (const char* name : {"a.gif", "b.tga"}) {
    const std::string in = write(name, std::string(name) == "a.gif" ? sample_gif() : sample_tga());
    const std::string out = (dir / (std::string(name) + ".png")).string();
    int status = 0;
    const std::string text = run("img decode " + in + " -o " + out + " --format indexed8", &status);
    ASSERT_EQ(status, 0) << text;
    ASSERT_TRUE(fs::exists(out));
#ifdef KESTOL_HAVE_PNG
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, out.c_str())) << png.message;
    EXPECT_NE(png.format & PNG_FORMAT_FLAG_COLORMAP, 0u) << name << " is not paletted";
    png.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) << png.message;
    if (std::string(name) == "a.gif") {
      EXPECT_EQ(rgb, (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0}));
    } else {
      EXPECT_EQ(rgb, (Bytes{255, 0, 0, 0, 255, 0}));  // stored B, G, R
    }
#endif
  }
}

}  // namespace

namespace {

// A GIF of a few dozen bytes that announces 30000 x 30000 pixels.
Bytes huge_gif() {
  Bytes g = {'G', 'I', 'F', '8', '9', 'a'};
  put16(g, 30000), put16(g, 30000), put8(g, 0x80), put8(g, 0), put8(g, 0);
  put(g, {0, 0, 0, 255, 255, 255});
  put8(g, 0x2C), put16(g, 0), put16(g, 0), put16(g, 30000), put16(g, 30000), put8(g, 0);
  put(g, {2, 2, 0x4C, 0x01, 0, 0x3B});
  return g;
}

}  // namespace

// The limit counts the conversion buffer and the writer's (the whole file is built in
// memory) before anything is allocated, and refusals say which field was wrong or that the
// data ended.
TEST_F(ImgTool, LimitCountsEveryBufferAndRefusalsSayWhy) {
  int status = 0;
  const std::string gif = write("huge.gif", huge_gif());
  std::string out = run("img decode " + gif + " -o " + (dir / "huge.ppm").string(), &status);
  EXPECT_NE(status, 0);
  // 900 MB of indexed pixels, 2.7 GB converted to RGB, 2.7 GB of file and its header.
  EXPECT_NE(out.find("6300000160 bytes, more than the 1 GiB limit"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir / "huge.ppm"));
  out = run("img decode " + gif + " -o " + (dir / "huge.pam") .string() + " --format argb32", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("more than the 1 GiB limit"), std::string::npos) << out;

  Bytes bmp = {'B', 'M'};
  put32(bmp, 14 + 40 + 4), put32(bmp, 0), put32(bmp, 14 + 40);
  put32(bmp, 40), put32(bmp, 1), put32(bmp, 1), put16(bmp, 1), put16(bmp, 8), put32(bmp, 1);
  put32(bmp, 4), put32(bmp, 0), put32(bmp, 0), put32(bmp, 0), put32(bmp, 0);
  put(bmp, {0, 1, 0, 0});
  out = run("img info " + write("rle.bmp", bmp), &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("BMP compression 1 (RLE8) not supported"), std::string::npos) << out;

  Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 24, 0x20, 1, 2, 3};
  out = run("img decode " + write("cut.tga", tga) + " -o " + (dir / "cut.ppm").string(), &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("data ends early"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir / "cut.ppm"));
}
