// kestol img: inspect, decode and encode pictures with the engine's readers and the
// project's JPEG encoder.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "image/image_reader.h"
#include "image/jpeg_decoder.h"
#include "image/jpeg_encoder.h"
#include "tools/kestol/commands.h"
#include "tools/kestol/img_files.h"

namespace {

const char usage_text[] =
    "usage: kestol img info FILE\n"
    "       kestol img decode FILE -o OUT [--format rgb24|argb32|grey8|indexed8]\n"
    "       kestol img encode IN -o OUT.jpg [--quality Q] [--sampling 1x1|2x1|2x2]\n"
    "                         [--grey] [--restart]\n"
    "\n"
    "info     prints the kind, the size and the pixel formats the file gives directly\n"
    "decode   decodes FILE (JPEG, BMP, PCX, TGA, GIF) and writes OUT as PNG, or as\n"
    "         PPM/PGM/PAM, by OUT's extension; --format picks the pixel format decoded\n"
    "         (default: the first the file gives directly)\n"
    "encode   reads a PNG or binary PPM/PGM and writes a baseline JPEG: quality 1..100\n"
    "         (default 90), chroma sampling (default 2x2), --grey for one component,\n"
    "         --restart for a restart marker after every row of MCUs\n";

int fail(const char* file, const char* step, const std::string& why) {
  std::fprintf(stderr, "kestol img: %s: %s: %s\n", file, step, why.c_str());
  return 1;
}

bool parse_format(const char* s, PixelFormat& f) {
  for (std::uint32_t c = 0; c < 4; ++c)
    if (std::strcmp(s, pixel_format_name(PixelFormat(c))) == 0) {
      f = PixelFormat(c);
      return true;
    }
  return false;
}

// Opens FILE and reads its header; on failure prints the reason and returns null.
struct Opened {
  std::vector<std::uint8_t> bytes;
  std::unique_ptr<MemorySource> source;
  std::unique_ptr<ImageReader> reader;
};

bool open_picture(const char* path, Opened& o) {
  std::string error;
  if (!read_whole_file(path, o.bytes, error)) {
    fail(path, "open", error);
    return false;
  }
  o.source = std::make_unique<MemorySource>(o.bytes.data(), o.bytes.size());
  o.reader = std::make_unique<ImageReader>(o.source.get(), path);
  if (o.reader->kind() == FileKind::kind_none) {
    fail(path, "header", o.bytes.size() < 16 ? "file shorter than 16 bytes"
                                             : "not a JPEG, BMP, PCX, GIF or TGA file");
    return false;
  }
  if (!o.reader->read_header()) {
    std::string why = o.reader->why();
    if (why.empty()) why = std::string(file_kind_name(o.reader->kind())) + " header rejected";
    if (!o.reader->inner_reader())
      why = std::string(file_kind_name(o.reader->kind())) + " files are not supported by this build";
    fail(path, "header", why);
    return false;
  }
  return true;
}

int info(int argc, char** argv) {
  if (argc != 2) {
    std::fputs(usage_text, stderr);
    return 2;
  }
  Opened o;
  if (!open_picture(argv[1], o)) return 1;
  FormatList list;
  o.reader->copy_formats(list);
  std::printf("file:    %s\nkind:    %s\nwidth:   %u\nheight:  %u\nformats:", argv[1],
              file_kind_name(o.reader->kind()), o.reader->width(), o.reader->height());
  for (std::uint32_t i = 0; i < list.count; ++i) std::printf(" %s", pixel_format_name(list.items[i]));
  std::printf("\n");
  if (auto* jpeg = dynamic_cast<JpegDecoder*>(o.reader->inner_reader())) {
    std::string layout;
    for (int c = 0; c < jpeg->component_count; ++c)
      layout += (c ? "," : "") + std::to_string(jpeg->components[c].h) + "x" +
                std::to_string(jpeg->components[c].v);
    const std::string restarts = jpeg->restart_interval
                                     ? "restart markers every " + std::to_string(jpeg->restart_interval) + " MCUs"
                                     : std::string("no restart markers");
    std::printf("jpeg:    %u component%s, sampling %s, %s\n", jpeg->scan_components,
                jpeg->scan_components == 1 ? "" : "s", layout.c_str(), restarts.c_str());
  }
  return 0;
}

int decode(int argc, char** argv) {
  const char* in = nullptr;
  const char* out = nullptr;
  const char* format_name = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) out = argv[++i];
    else if (std::strcmp(argv[i], "--format") == 0 && i + 1 < argc) format_name = argv[++i];
    else if (argv[i][0] != '-' && !in) in = argv[i];
    else {
      std::fprintf(stderr, "kestol img decode: unexpected argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (!in || !out) {
    std::fputs(usage_text, stderr);
    return 2;
  }
  Opened o;
  if (!open_picture(in, o)) return 1;
  PixelFormat format = PixelFormat::rgb24;
  if (format_name) {
    if (!parse_format(format_name, format)) {
      std::fprintf(stderr, "kestol img decode: unknown format '%s'\n", format_name);
      return 2;
    }
  } else {
    FormatList list;
    o.reader->copy_formats(list);
    if (list.count) format = list.items[0];
  }
  const std::uint32_t w = o.reader->width(), h = o.reader->height();
  const std::uint32_t bpp = pixel_format_bytes(format);
  const std::uint64_t bytes = std::uint64_t(w) * h * bpp;
  // Beyond this a declared size is taken as a lie rather than a picture to allocate. Every
  // buffer counts: the picture, the reader's conversion buffer and the writer's.
  constexpr std::uint64_t limit = std::uint64_t(1) << 30;
  const std::uint64_t needed = bytes + o.reader->decode_scratch_bytes(format) +
                               write_raster_scratch_bytes(out, format, w, h);
  if (needed > limit)
    return fail(in, "decode", "a " + std::to_string(w) + " x " + std::to_string(h) + " " +
                                  pixel_format_name(format) + " picture needs " +
                                  std::to_string(needed) + " bytes, more than the 1 GiB limit");
  std::unique_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[bytes ? bytes : 1]);
  if (!pixels)
    return fail(in, "decode", "cannot allocate " + std::to_string(bytes) + " bytes for a " +
                                  std::to_string(w) + " x " + std::to_string(h) + " picture");
  std::uint8_t palette[768] = {};
  if (!o.reader->decode(pixels.get(), format, w * bpp, palette))
    return fail(in, "decode", std::string("cannot decode as ") + pixel_format_name(format) +
                                  (*o.reader->why() ? std::string(": ") + o.reader->why() : ""));
  std::string error;
  if (!write_raster(out, pixels.get(), format, w, h, palette, error)) return fail(out, "write", error);
  std::printf("%s: %u x %u %s -> %s\n", in, w, h, pixel_format_name(format), out);
  return 0;
}

int encode(int argc, char** argv) {
  const char* in = nullptr;
  const char* out = nullptr;
  JpegEncodeOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "-o") == 0 && i + 1 < argc) out = argv[++i];
    else if (std::strcmp(a, "--quality") == 0 && i + 1 < argc) {
      char* end;
      long q = std::strtol(argv[++i], &end, 10);
      if (*end || q < 1 || q > 100) {
        std::fprintf(stderr, "kestol img encode: quality must be 1..100\n");
        return 2;
      }
      options.quality = int(q);
    } else if (std::strcmp(a, "--sampling") == 0 && i + 1 < argc) {
      const char* s = argv[++i];
      if (std::strcmp(s, "1x1") == 0) options.sampling = JpegSampling::s1x1;
      else if (std::strcmp(s, "2x1") == 0) options.sampling = JpegSampling::s2x1;
      else if (std::strcmp(s, "2x2") == 0) options.sampling = JpegSampling::s2x2;
      else {
        std::fprintf(stderr, "kestol img encode: sampling must be 1x1, 2x1 or 2x2\n");
        return 2;
      }
    } else if (std::strcmp(a, "--grey") == 0) options.grey = true;
    else if (std::strcmp(a, "--restart") == 0) options.restart = true;
    else if (a[0] != '-' && !in) in = a;
    else {
      std::fprintf(stderr, "kestol img encode: unexpected argument '%s'\n", a);
      return 2;
    }
  }
  if (!in || !out) {
    std::fputs(usage_text, stderr);
    return 2;
  }
  RasterImage image;
  std::string error;
  if (!read_raster(in, image, error)) return fail(in, "read", error);
  if (image.width > 65535 || image.height > 65535 || !image.width || !image.height)
    return fail(in, "encode", "JPEG sizes are 1..65535");
  std::vector<std::uint8_t> jpeg;
  if (!jpeg_encode(image.pixels.data(), image.format, image.width, image.height,
                   image.width * pixel_format_bytes(image.format), options, jpeg))
    return fail(in, "encode", "encoder refused the picture");
  std::FILE* f = std::fopen(out, "wb");
  if (!f) return fail(out, "write", std::strerror(errno));
  bool ok = std::fwrite(jpeg.data(), 1, jpeg.size(), f) == jpeg.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) return fail(out, "write", "write error");
  std::printf("%s: %u x %u -> %s (%zu bytes)\n", in, image.width, image.height, out, jpeg.size());
  return 0;
}

}  // namespace

int img_command(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(usage_text, stderr);
    return 2;
  }
  const char* sub = argv[1];
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(usage_text, stdout);
      return 0;
    }
  if (std::strcmp(sub, "info") == 0) return info(argc - 1, argv + 1);
  if (std::strcmp(sub, "decode") == 0) return decode(argc - 1, argv + 1);
  if (std::strcmp(sub, "encode") == 0) return encode(argc - 1, argv + 1);
  std::fprintf(stderr, "kestol img: unknown subcommand '%s'\n", sub);
  std::fputs(usage_text, stderr);
  return 2;
}
