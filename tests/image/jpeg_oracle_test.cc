// Pictures decode close to libjpeg-turbo with its integer transform and no fancy
// upsampling. The transforms agree exactly; the colour conversion rounds down where
// libjpeg rounds to nearest and takes unclamped samples, so a small tolerance is allowed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "authoring/jpeg_encoder.h"
#include "tests/support/jpeg_builder.h"

#if KESTOL_HAVE_LIBJPEG
#include <csetjmp>
#include <jpeglib.h>
#endif

using namespace jpeg_test;

namespace {

#if KESTOL_HAVE_LIBJPEG
struct ErrorJump {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

bool libjpeg_decode(const Bytes& file, std::vector<std::uint8_t>& out, std::uint32_t& w,
                    std::uint32_t& h, int& comps) {
  jpeg_decompress_struct cinfo;
  ErrorJump err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<ErrorJump*>(c->err)->jump, 1); };
  err.mgr.output_message = [](j_common_ptr) {};
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), file.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = FALSE;
  jpeg_start_decompress(&cinfo);
  w = cinfo.output_width;
  h = cinfo.output_height;
  comps = cinfo.output_components;
  out.resize(std::size_t(w) * h * comps);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.data() + std::size_t(cinfo.output_scanline) * w * comps;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}
#endif

#if KESTOL_HAVE_LIBJPEG
// A picture written by libjpeg-turbo with the given layout: sampling factors (high
// nibble horizontal) per component, restart interval in MCUs, and the APP segments.
struct Layout {
  std::uint8_t factors[3];
  unsigned restart;
  bool grey, jfif, adobe;
};

bool libjpeg_encode(const std::vector<std::uint8_t>& rgb, std::uint32_t w, std::uint32_t h,
                    const Layout& l, Bytes& out) {
  jpeg_compress_struct cinfo;
  ErrorJump err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<ErrorJump*>(c->err)->jump, 1); };
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  if (l.grey) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
  jpeg_set_quality(&cinfo, 85, TRUE);
  for (int c = 0; c < cinfo.num_components; ++c) {
    cinfo.comp_info[c].h_samp_factor = l.factors[c] >> 4;
    cinfo.comp_info[c].v_samp_factor = l.factors[c] & 15;
  }
  cinfo.restart_interval = l.restart;
  cinfo.write_JFIF_header = l.jfif;
  cinfo.write_Adobe_marker = l.adobe;
  jpeg_start_compress(&cinfo, TRUE);
  if (!l.jfif && !l.adobe) {
    const JOCTET exif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif, sizeof exif);
  }
  while (cinfo.next_scanline < h) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + std::size_t(cinfo.next_scanline) * w * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  out.assign(buffer, buffer + size);
  std::free(buffer);
  return true;
}
#endif

#if KESTOL_HAVE_LIBJPEG
// Largest per-byte difference between our decode and libjpeg's, or -1 when skipped.
// `over1` receives the share of bytes that differ by more than 1.
int compare_with_libjpeg(const Bytes& file, const std::string& what, double* over1 = nullptr) {
  std::vector<std::uint8_t> ref, ours;
  std::uint32_t w, h, ow, oh;
  int comps;
  if (!libjpeg_decode(file, ref, w, h, comps)) return -1;
  PixelFormat f = comps == 1 ? PixelFormat::grey8 : PixelFormat::rgb24;
  EXPECT_TRUE(decode_file(file, f, ours, ow, oh)) << what;
  EXPECT_EQ(ow, w);
  EXPECT_EQ(oh, h);
  if (ours.size() != ref.size()) return 255;
  int worst = 0;
  std::size_t big = 0;
  for (std::size_t i = 0; i < ours.size(); ++i) {
    int d = std::abs(int(ours[i]) - int(ref[i]));
    worst = std::max(worst, d);
    big += d > 1;
  }
  if (over1) *over1 = ours.empty() ? 0.0 : double(big) / double(ours.size());
  return worst;
}
#endif

}  // namespace

TEST(JpegOracle, EncoderOutputMatchesLibjpeg) {
#if !KESTOL_HAVE_LIBJPEG
  GTEST_SKIP() << "libjpeg-turbo not installed";
#else
  int worst = 0;
  for (int layout = 0; layout < 4; ++layout) {
    JpegEncodeOptions o;
    o.grey = layout == 3;
    o.sampling = JpegSampling(layout % 3);
    o.restart = layout == 1;
    auto rgb = synthetic_rgb(75, 53, layout);
    Bytes file;
    ASSERT_TRUE(jpeg_encode(rgb.data(), PixelFormat::rgb24, 75, 53, 75 * 3, o, file));
    int d = compare_with_libjpeg(file, "layout");
    ASSERT_GE(d, 0);
    worst = std::max(worst, d);
  }
  std::printf("largest difference to libjpeg-turbo on encoder output: %d\n", worst);
  EXPECT_LE(worst, 2);
#endif
}

// Layouts beyond the three fast ones, restart intervals other than one MCU row, and files
// without a JFIF segment, as libjpeg-turbo writes them: equal to the plain reference with
// replicated chroma, and within rounding of libjpeg-turbo without fancy upsampling.
TEST(JpegOracle, OtherLayoutsAndIntervalsMatchLibjpeg) {
#if !KESTOL_HAVE_LIBJPEG
  GTEST_SKIP() << "libjpeg-turbo not installed";
#else
  const std::uint32_t w = 77, h = 45;
  const Layout layouts[] = {
      {{0x12, 0x11, 0x11}, 0, false, true, false},   // vertical
      {{0x31, 0x11, 0x11}, 0, false, true, false},   // 3x1
      {{0x41, 0x11, 0x11}, 0, false, true, false},   // 4x1
      {{0x42, 0x11, 0x11}, 0, false, true, false},   // 4x2
      {{0x22, 0x12, 0x12}, 0, false, true, false},   // chroma 1x2
      {{0x22, 0x21, 0x11}, 3, false, true, false},   // Cb and Cr sampled apart
      {{0x11, 0x11, 0x11}, 0, false, false, false},  // Exif only
      {{0x22, 0x11, 0x11}, 0, false, false, true},   // Adobe APP14
      {{0x21, 0x11, 0x11}, 5, false, true, false},   // every 5 MCUs
      {{0x22, 0x11, 0x11}, 8, false, true, false},   // every 2 MCU rows
      {{0x11, 0x11, 0x11}, 7, true, true, false},    // grey, every 7 blocks
  };
  int worst = 0;
  for (const Layout& l : layouts) {
    const std::string what = "factors " + std::to_string(l.factors[0]) + "," +
                             std::to_string(l.factors[1]) + " restart " + std::to_string(l.restart);
    auto rgb = synthetic_rgb(w, h, l.factors[0] + l.restart);
    Bytes file;
    ASSERT_TRUE(libjpeg_encode(rgb, w, h, l, file)) << what;
    std::vector<std::uint8_t> ours, ref;
    std::uint32_t ow, oh;
    PixelFormat f;
    ASSERT_TRUE(reference_decode_file(file, ref, ow, oh, f)) << what;
    ASSERT_TRUE(decode_file(file, f, ours, ow, oh)) << what;
    EXPECT_TRUE(ours == ref) << what;
    double over1 = 0;
    const int d = compare_with_libjpeg(file, what, &over1);
    EXPECT_GE(d, 0) << what;
    // Rounding of the colour conversion (1 apart), and unclamped Y, Cb, Cr entering it
    // where libjpeg clamps first, which moves a few saturated pixels a little further. A
    // chroma sample put in the wrong place would differ by far more, far more often.
    EXPECT_LE(d, 8) << what;
    EXPECT_LE(over1, 0.002) << what;
    worst = std::max(worst, d);
  }
  std::printf("largest difference to libjpeg-turbo on other layouts: %d\n", worst);
#endif
}

TEST(JpegOracle, SystemPicturesMatchLibjpeg) {
#if !KESTOL_HAVE_LIBJPEG
  GTEST_SKIP() << "libjpeg-turbo not installed";
#else
  // JPEGs that other Debian packages ship; none were written by this project.
  int checked = 0, worst = 0;
  std::error_code ec;
  for (const char* root : {"/usr/share/doc", "/usr/share/pixmaps", "/usr/share/backgrounds",
                           "/usr/share/images", "/usr/share/wallpapers", "/usr/share/matplotlib"}) {
    if (!std::filesystem::exists(root, ec)) continue;
    for (auto it = std::filesystem::recursive_directory_iterator(
             root, std::filesystem::directory_options::skip_permission_denied, ec);
         it != std::filesystem::recursive_directory_iterator() && checked < 40; it.increment(ec)) {
      if (ec) break;
      auto ext = it->path().extension().string();
      if (ext != ".jpg" && ext != ".jpeg" && ext != ".JPG") continue;
      if (!it->is_regular_file(ec) || it->file_size(ec) > (8u << 20)) continue;
      std::ifstream in(it->path(), std::ios::binary);
      Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::vector<std::uint8_t> px;
      std::uint32_t w, h;
      MemoryByteSource src(file.data(), file.size());
      ImageReader probe(&src, nullptr);
      if (!probe.read_header()) continue;  // progressive, Exif without JFIF, ...
      if (!probe.supports(PixelFormat::rgb24) && !probe.supports(PixelFormat::grey8)) continue;
      double over1 = 0;
      int d = compare_with_libjpeg(file, it->path().string(), &over1);
      if (d < 0) continue;
      ++checked;
      worst = std::max(worst, d);
      // Colour conversion rounds down here and to nearest in libjpeg (1 apart), and our
      // Y, Cb, Cr enter it unclamped where libjpeg clamps them first: near saturated
      // colours that moves a few pixels further (up to ~15 on photographs).
      EXPECT_LE(over1, 0.002) << it->path();
      EXPECT_LE(d, 32) << it->path();
      // And the fast decoder equals the plain reference on it.
      std::vector<std::uint8_t> ref;
      PixelFormat f;
      ASSERT_TRUE(decode_file(file, probe.supports(PixelFormat::grey8) ? PixelFormat::grey8 : PixelFormat::rgb24, px, w, h));
      ASSERT_TRUE(reference_decode_file(file, ref, w, h, f));
      EXPECT_TRUE(px == ref) << it->path();
    }
  }
  if (checked == 0) GTEST_SKIP() << "no baseline JFIF pictures found on this machine";
  std::printf("checked %d system pictures, largest difference %d\n", checked, worst);
#endif
}
