#include "tools/kestol/img_files.h"

#include "tools/kestol/replacing_file.h"

#ifdef KESTOL_HAVE_PNG
#include <png.h>
#endif

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace {

using u8 = std::uint8_t;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ends_with(const std::string& s, const char* tail) {
  std::size_t n = std::strlen(tail);
  if (s.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
  return true;
}

#ifdef KESTOL_HAVE_PNG
bool read_png(const char* path, RasterImage& image, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path)) {
    error = png.message;
    return false;
  }
  bool grey = (png.format & PNG_FORMAT_FLAG_COLOR) == 0;
  png.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  image.width = png.width;
  image.height = png.height;
  image.format = grey ? PixelFormat::grey8 : PixelFormat::rgb24;
  // The header's size is checked before the pixels are allocated: a small file can
  // announce gigabytes.
  if (std::uint64_t(PNG_IMAGE_SIZE(png)) > raster_memory_limit) {
    error = "a " + std::to_string(png.width) + " x " + std::to_string(png.height) +
            " PNG needs more than the 1 GiB limit";
    png_image_free(&png);
    return false;
  }
  image.pixels.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
    error = png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}
#endif

// Reads one header number of a netpbm file, skipping blanks and comments.
bool pnm_number(std::FILE* f, std::uint32_t& v) {
  int c = std::fgetc(f);
  for (;;) {
    while (c == ' ' || c == '\t' || c == '\r' || c == '\n') c = std::fgetc(f);
    if (c != '#') break;
    while (c != '\n' && c != EOF) c = std::fgetc(f);
  }
  if (c < '0' || c > '9') return false;
  std::uint64_t n = 0;
  while (c >= '0' && c <= '9') {
    n = n * 10 + std::uint64_t(c - '0');
    if (n > 0xFFFFFFFFu) return false;
    c = std::fgetc(f);
  }
  v = static_cast<std::uint32_t>(n);
  return true;  // the one blank after the number has been consumed
}

bool read_pnm(std::FILE* f, RasterImage& image, std::string& error) {
  char magic[2];
  if (std::fread(magic, 1, 2, f) != 2 || magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6')) {
    error = "neither PNG nor binary PPM/PGM";
    return false;
  }
  std::uint32_t w, h, maxval;
  if (!pnm_number(f, w) || !pnm_number(f, h) || !pnm_number(f, maxval)) {
    error = "bad PPM/PGM header";
    return false;
  }
  if (maxval != 255 || w == 0 || h == 0 || w > 65535 || h > 65535) {
    error = "PPM/PGM must have maxval 255 and a size of 1..65535";
    return false;
  }
  image.width = w;
  image.height = h;
  image.format = magic[1] == '5' ? PixelFormat::grey8 : PixelFormat::rgb24;
  std::size_t bytes = std::size_t(w) * h * pixel_format_bytes(image.format);
  if (bytes > raster_memory_limit) {
    error = "a " + std::to_string(w) + " x " + std::to_string(h) + " picture needs more than the 1 GiB limit";
    return false;
  }
  image.pixels.resize(bytes);
  if (std::fread(image.pixels.data(), 1, bytes, f) != bytes) {
    error = "PPM/PGM pixel data is truncated";
    return false;
  }
  return true;
}

#ifdef KESTOL_HAVE_PNG
bool write_png(std::vector<u8>& out, const u8* pixels, PixelFormat format, std::uint32_t w,
               std::uint32_t h, const u8* palette, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = w;
  png.height = h;
  std::vector<u8> colormap;
  switch (format) {
    case PixelFormat::rgb24: png.format = PNG_FORMAT_RGB; break;
    case PixelFormat::argb32: png.format = PNG_FORMAT_BGRA; break;
    case PixelFormat::grey8: png.format = PNG_FORMAT_GRAY; break;
    case PixelFormat::indexed8:
      png.format = PNG_FORMAT_RGB_COLORMAP;
      png.colormap_entries = 256;
      colormap.assign(palette, palette + 768);
      break;
  }
  // Into memory first (asking for the size, then writing), so the file is written whole.
  png_alloc_size_t size = 0;
  const void* map = colormap.empty() ? nullptr : colormap.data();
  if (!png_image_write_get_memory_size(png, size, 0, pixels, 0, map)) {
    error = png.message;
    return false;
  }
  out.resize(size);
  if (!png_image_write_to_memory(&png, out.data(), &size, 0, pixels, 0, map)) {
    error = png.message;
    return false;
  }
  out.resize(size);
  return true;
}
#else
// A build without libpng (the Windows cross build) reads and writes netpbm files only.
bool is_png_signature(const u8* sig) {
  static const u8 png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return std::memcmp(sig, png_signature, 8) == 0;
}
bool read_png(const char*, RasterImage&, std::string& error) {
  error = "PNG support is not built into this kestol";
  return false;
}
bool write_png(std::vector<u8>&, const u8*, PixelFormat, std::uint32_t, std::uint32_t, const u8*,
               std::string& error) {
  error = "PNG support is not built into this kestol";
  return false;
}
#endif

}  // namespace

bool read_whole_file(const char* path, std::vector<u8>& out, std::string& error) {
  File f(std::fopen(path, "rb"));
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  out.clear();
  u8 chunk[65536];
  for (;;) {
    std::size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
    out.insert(out.end(), chunk, chunk + n);
    if (n < sizeof chunk) break;
  }
  if (std::ferror(f.get())) {
    error = "read error";
    return false;
  }
  return true;
}

bool read_raster(const char* path, RasterImage& image, std::string& error) {
  struct stat info;
  if (::stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
    error = std::strerror(EISDIR);
    return false;
  }
  File f(std::fopen(path, "rb"));
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  u8 sig[8] = {};
  std::size_t n = std::fread(sig, 1, 8, f.get());
#ifdef KESTOL_HAVE_PNG
  bool png = n == 8 && png_sig_cmp(sig, 0, 8) == 0;
#else
  bool png = n == 8 && is_png_signature(sig);
#endif
  if (png) {
    f.reset();
    return read_png(path, image, error);
  }
  std::rewind(f.get());
  return read_pnm(f.get(), image, error);
}

// Hands a whole file to standard output ("-") or to a fresh file renamed over `path`.
bool deliver(const char* path, const std::vector<u8>& bytes, std::string& error) {
  if (std::strcmp(path, "-") == 0) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
      error = std::string("write error: ") + std::strerror(errno);
      return false;
    }
    return true;
  }
  ReplacingFile file;
  return file.open(path, &error) && file.write(bytes.data(), bytes.size(), &error) &&
         file.commit(&error);
}

std::uint64_t write_raster_scratch_bytes(const char* path, PixelFormat format, std::uint32_t w,
                                        std::uint32_t h) {
  std::string p = path;
  const std::uint64_t pixels = std::uint64_t(w) * h;
  // The whole file is built in memory before it is written: counted as well.
  if (p != "-" && ends_with(p, ".png")) return 768 + pixels * 4 + h + 65536;
  bool pgm = ends_with(p, ".pgm"), pam = ends_with(p, ".pam");
  if (p == "-") {
    pgm = format == PixelFormat::grey8;
    pam = format == PixelFormat::argb32;
  }
  PixelFormat out_format = pgm ? PixelFormat::grey8 : PixelFormat::rgb24;
  if (pam && (format == PixelFormat::argb32 || format == PixelFormat::grey8)) out_format = format;
  const std::uint64_t file = pixels * pixel_format_bytes(out_format) + 160;
  return file + (out_format != format ? pixels * pixel_format_bytes(out_format) : 0);
}

bool write_raster(const char* path, const u8* pixels, PixelFormat format, std::uint32_t w,
                  std::uint32_t h, const u8* palette, std::string& error) {
  std::string p = path;
  // "-" is standard output, in the netpbm kind that holds the format as it is.
  const bool to_stdout = p == "-";
  std::vector<u8> out;
  if (!to_stdout && ends_with(p, ".png"))
    return write_png(out, pixels, format, w, h, palette, error) && deliver(path, out, error);
  bool ppm = ends_with(p, ".ppm"), pgm = ends_with(p, ".pgm"), pam = ends_with(p, ".pam");
  if (to_stdout) {
    pgm = format == PixelFormat::grey8;
    pam = format == PixelFormat::argb32;
    ppm = !pgm && !pam;
  }
  if (!ppm && !pgm && !pam) {
    error = "output must end in .png, .ppm, .pgm or .pam";
    return false;
  }
  // netpbm holds RGB or grey; other formats are converted on the way.
  PixelFormat out_format = pgm ? PixelFormat::grey8 : PixelFormat::rgb24;
  if (pam && (format == PixelFormat::argb32 || format == PixelFormat::grey8)) out_format = format;
  std::vector<u8> converted;
  const u8* data = pixels;
  if (out_format != format) {
    converted.resize(std::size_t(w) * h * pixel_format_bytes(out_format));
    std::vector<u8> pal(palette ? palette : nullptr, palette ? palette + 768 : nullptr);
    if (!convert_pixels(pixels, format, w * pixel_format_bytes(format), converted.data(),
                        out_format, w * pixel_format_bytes(out_format), w, h,
                        pal.empty() ? nullptr : pal.data())) {
      error = "cannot convert the pixels for this output";
      return false;
    }
    data = converted.data();
  }
  std::size_t bytes = std::size_t(w) * h * pixel_format_bytes(out_format);
  char header[160];
  if (pam) {
    const char* tuple = out_format == PixelFormat::argb32 ? "RGB_ALPHA"
                        : out_format == PixelFormat::grey8 ? "GRAYSCALE" : "RGB";
    std::snprintf(header, sizeof header, "P7\nWIDTH %u\nHEIGHT %u\nDEPTH %u\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n",
                  w, h, pixel_format_bytes(out_format), tuple);
  } else {
    std::snprintf(header, sizeof header, "P%c\n%u %u\n255\n", pgm ? '5' : '6', w, h);
  }
  out.assign(header, header + std::strlen(header));
  std::size_t start = out.size();
  out.insert(out.end(), data, data + bytes);
  if (pam && out_format == PixelFormat::argb32) {
    // PAM wants R, G, B, A; the words are B, G, R, A in memory.
    for (std::size_t i = start; i < out.size(); i += 4) std::swap(out[i], out[i + 2]);
  }
  return deliver(path, out, error);
}
