// Picture output. JPEG is the demo's format; PPM/PGM are kept for looking at raw renders.
#include "output.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
    std::fprintf(stderr, "vexo-pictures: cannot write '%s'\n", path.c_str());
    return false;
  }
  return true;
}

std::vector<std::uint8_t> netpbm(const char* magic, int w, int h, const std::vector<std::uint8_t>& px) {
  std::string head = std::string(magic) + "\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<std::uint8_t> out(head.begin(), head.end());
  out.insert(out.end(), px.begin(), px.end());
  return out;
}

}  // namespace

#ifdef VEXO_HAVE_JPEG_ENCODER
bool PictureWriter::write_jpeg(const char* name, const std::uint8_t* px, PixelFormat format, int w, int h,
                               int bytes, bool grey, bool full_chroma) {
  JpegEncodeOptions options;
  options.quality = 92;
  // Half the chroma blocks decode faster at start-up; full chroma keeps fine colour.
  options.sampling = full_chroma ? JpegSampling::s1x1 : JpegSampling::s2x2;
  options.grey = grey;
  std::vector<std::uint8_t> out;
  if (!jpeg_encode(px, format, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h),
                   static_cast<std::uint32_t>(w * bytes), options, out)) {
    std::fprintf(stderr, "vexo-pictures: cannot encode '%s'\n", name);
    return false;
  }
  return write_file(dir_ + "/" + name + ".jpg", out);
}
#endif

bool PictureWriter::colour(const char* name, const art::Canvas& c, bool full_chroma) {
  std::vector<std::uint8_t> rgb = art::to_rgb8(c);
#ifdef VEXO_HAVE_JPEG_ENCODER
  if (!raw_) return write_jpeg(name, rgb.data(), PixelFormat::rgb24, c.w, c.h, 3, false, full_chroma);
#endif
  return write_file(dir_ + "/" + name + ".ppm", netpbm("P6", c.w, c.h, rgb));
}

bool PictureWriter::grey(const char* name, const art::Grey& g) {
  std::vector<std::uint8_t> px = art::to_grey8(g);
#ifdef VEXO_HAVE_JPEG_ENCODER
  if (!raw_) return write_jpeg(name, px.data(), PixelFormat::grey8, g.w, g.h, 1, true, false);
#endif
  return write_file(dir_ + "/" + name + ".pgm", netpbm("P5", g.w, g.h, px));
}

bool PictureWriter::icon(const std::string& path, const art::Canvas& c) {
  std::vector<std::uint8_t> rgb = art::to_rgb8(c);
  const std::uint32_t data = static_cast<std::uint32_t>(c.w * c.h * 4), file = 54 + data;
  std::vector<std::uint8_t> b(54, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, file);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(c.w));
  put32(22, static_cast<std::uint32_t>(c.h));
  b[26] = 1;
  b[28] = 32;
  put32(34, data);
  for (int y = c.h - 1; y >= 0; --y)  // bottom-up rows
    for (int x = 0; x < c.w; ++x) {
      const std::uint8_t* p = &rgb[(y * c.w + x) * 3];
      b.insert(b.end(), {p[2], p[1], p[0], 255});
    }
  return write_file(path, b);
}
