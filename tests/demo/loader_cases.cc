// The picture loaders over a real archive (made here with the archive writer and the JPEG
// encoder) and their messages for missing and damaged pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/data_files.h"
#include "demo/demo.h"
#include "fs/archive.h"
#include "authoring/pak_writer.h"
#include "host/host.h"
#include "authoring/jpeg_encoder.h"

namespace {

std::vector<std::uint8_t> jpeg(int w, int h, bool grey, std::uint8_t base) {
  std::vector<std::uint8_t> px(std::size_t(w) * h * (grey ? 1 : 3));
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<std::uint8_t>(base + (i / 97) % 8);
  JpegEncodeOptions o;
  o.quality = 95;
  o.grey = grey;
  o.sampling = JpegSampling::s1x1;
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(jpeg_encode(px.data(), grey ? PixelFormat::grey8 : PixelFormat::rgb24, w, h, w * (grey ? 1 : 3), o, out));
  return out;
}

class Loader : public ::testing::Test {
 protected:
  void SetUp() override {
    PakWriter writer;
    std::string error;
    auto add = [&](const char* name, std::vector<std::uint8_t> data) { ASSERT_TRUE(writer.add_file(name, std::move(data), &error)) << error; };
    add("colour.jpg", jpeg(320, 200, false, 100));
    add("narrow.jpg", jpeg(300, 200, true, 60));
    add("short.jpg", jpeg(320, 100, true, 200));
    add("notapicture.jpg", std::vector<std::uint8_t>(64, 'x'));
    // A header that claims 8192 x 8192 pixels over the data of a small picture.
    std::vector<std::uint8_t> huge = jpeg(16, 16, false, 30);
    for (std::size_t i = 0; i + 8 < huge.size(); ++i)
      if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
        huge[i + 5] = 0x20, huge[i + 6] = 0x00, huge[i + 7] = 0x20, huge[i + 8] = 0x00;
        break;
      }
    add("huge.jpg", huge);
    std::vector<std::uint8_t> bad_header = jpeg(64, 64, false, 30);
    bad_header.resize(20);  // JPEG signature, nothing more
    add("badheader.jpg", bad_header);
    PakWriterOptions options;
    options.encipher = true;
    ASSERT_TRUE(writer.build(options, &archive, &error)) << error;
    block = {"FileSystem", 102, archive.data(), archive.size()};
    host_set_embedded_blocks({&block, 1});
    ASSERT_TRUE(archive_mount("vexo.pak"));
  }
  void TearDown() override {
    archive_unmount();
    host_set_embedded_blocks({});
  }

  std::vector<std::uint8_t> archive;
  EmbeddedBlock block{};
};

TEST_F(Loader, ColourPictureIsOpaqueArgb) {
  Picture p{};
  EXPECT_TRUE(picture_load(p, "COLOUR.JPG"));  // names are found without regard to case
  ASSERT_NE(p.pixels, nullptr);
  EXPECT_EQ(p.width, 320);
  EXPECT_EQ(p.height, 200);
  EXPECT_EQ(p.pixels[0] >> 24, 0xFFu);
  picture_free(p);
  EXPECT_EQ(p.pixels, nullptr);
  EXPECT_EQ(p.width, 0);
  EXPECT_EQ(p.height, 0);
}

TEST_F(Loader, MaskNarrowerThanItsPictureLeavesTheRightColumnsAlone) {
  Picture colour{}, grey{};
  picture_load(colour, "colour.jpg");
  picture_load_grey(grey, "narrow.jpg");
  Picture masked{};
  EXPECT_TRUE(picture_load_masked(masked, "colour.jpg", "narrow.jpg"));
  const auto* g = reinterpret_cast<const std::uint8_t*>(grey.pixels);
  for (int y = 0; y < 200; y += 7)
    for (int x = 0; x < 320; ++x) {
      const std::uint32_t got = masked.pixels[y * 320 + x], want = colour.pixels[y * 320 + x];
      ASSERT_EQ(got & 0xFFFFFFu, want & 0xFFFFFFu);
      ASSERT_EQ(got >> 24, x < 300 ? g[y * 300 + x] : want >> 24) << x << "," << y;
    }
  picture_free(colour);
  picture_free(grey);
  picture_free(masked);
}

TEST_F(Loader, MaskShorterThanItsPictureLeavesTheLowerRowsAlone) {
  Picture masked{};
  picture_load_masked(masked, "colour.jpg", "short.jpg");
  EXPECT_NE(masked.pixels[99 * 320] >> 24, 0xFFu);
  EXPECT_EQ(masked.pixels[100 * 320] >> 24, 0xFFu);
  picture_free(masked);
}

using LoaderDeath = Loader;

TEST_F(LoaderDeath, MissingPicture) {
  Picture p{};
  EXPECT_EXIT(picture_load(p, "02.jpg"), ::testing::ExitedWithCode(1), "Can't open image '02.jpg'!");
}

TEST_F(LoaderDeath, MissingMask) {
  Picture p{};
  EXPECT_EXIT(picture_load_masked(p, "colour.jpg", "m9.jpg"), ::testing::ExitedWithCode(1), "Can't open image 'm9.jpg'!");
}

TEST_F(LoaderDeath, NotAPicture) {
  Picture p{};
  EXPECT_EXIT(picture_load(p, "notapicture.jpg"), ::testing::ExitedWithCode(1),
              "Can't read image header for 'notapicture.jpg'!");
}

TEST_F(LoaderDeath, HeaderCutShort) {
  Picture p{};
  EXPECT_EXIT(picture_load(p, "badheader.jpg"), ::testing::ExitedWithCode(1),
              "Can't read image header for 'badheader.jpg'!");
}

TEST_F(LoaderDeath, PictureTooLargeToDecode) {
  Picture p{};
  EXPECT_EXIT(picture_load(p, "huge.jpg"), ::testing::ExitedWithCode(1), "Can't decode image 'huge.jpg'!");
}

TEST(ArchiveDeath, MissingArchive) {
  host_set_embedded_blocks({});
  EXPECT_EXIT(mount_data_archive("no-such-vexo.pak"), ::testing::ExitedWithCode(1),
              "Error opening archive 'no-such-vexo.pak'.");
}

}  // namespace
