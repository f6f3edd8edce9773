// Pictures decode close to libjpeg-turbo with its integer transform and no fancy
// upsampling. The transforms agree exactly; the colour conversion rounds down where
// libjpeg rounds to nearest and takes unclamped samples, so a small tolerance is allowed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/jpeg_encoder.h"
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

// Largest per-byte difference between our decode and libjpeg's, or -1 when skipped.
// `over1` receives the share of bytes that differ by more than 1.
int compare_with_libjpeg(const Bytes& file, const std::string& what, double* over1 = nullptr) {
#if KESTOL_HAVE_LIBJPEG
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
#else
  (void)file;
  (void)what;
  (void)over1;
  return -1;
#endif
}

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
      MemorySource src(file.data(), file.size());
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
      (void)px; (void)w; (void)h;
    }
  }
  if (checked == 0) GTEST_SKIP() << "no baseline JFIF pictures found on this machine";
  std::printf("checked %d system pictures, largest difference %d\n", checked, worst);
#endif
}
