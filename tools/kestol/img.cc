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
#include "authoring/jpeg_encoder.h"
#include "tools/kestol/cli.h"
#include "tools/kestol/commands.h"
#include "tools/kestol/img_files.h"
#include "tools/kestol/replacing_file.h"

namespace {

const CommandInfo img_group{
    "kestol img",
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
    "         --restart for a restart marker after every row of MCUs\n"
    "\n"
    "'kestol img <subcommand> --help' describes a subcommand.\n"};

const CommandInfo info_command{
    "kestol img info",
    "usage: kestol img info FILE\n\n"
    "Prints the kind of picture (JPEG, BMP, PCX, TGA, GIF), its size and the pixel formats\n"
    "it decodes to directly; for a JPEG also its components, sampling and restart markers.\n"
    "A PNG file is named as such: 'kestol img encode' reads it.\n"};

const CommandInfo decode_command{
    "kestol img decode",
    "usage: kestol img decode FILE -o OUT [--format rgb24|argb32|grey8|indexed8]\n\n"
    "Decodes FILE (JPEG, BMP, PCX, TGA, GIF) with the engine's readers and writes OUT as\n"
    "PNG, PPM, PGM or PAM by its extension. \"-o -\" writes netpbm to standard output:\n"
    "PGM for grey8, PAM for argb32, PPM otherwise.\n\n"
    "  -o, --output OUT  the picture to write\n"
    "  --format F        the pixel format to decode to (default: the first the file\n"
    "                    gives directly)\n"};

const CommandInfo encode_command{
    "kestol img encode",
    "usage: kestol img encode IN -o OUT.jpg [--quality Q] [--sampling 1x1|2x1|2x2]\n"
    "                         [--grey] [--restart]\n\n"
    "Reads a PNG or binary PPM/PGM and writes a baseline JPEG (\"-o -\": standard output).\n\n"
    "  -o, --output OUT.jpg  the JPEG to write; its name ends in .jpg or .jpeg\n"
    "  --quality Q           1 to 100 (default 90)\n"
    "  --sampling S          chroma sampling 1x1, 2x1 or 2x2 (default 2x2)\n"
    "  --grey                one grey component\n"
    "  --restart             a restart marker after every row of MCUs\n"};

bool ends_with_ignoring_case(const std::string& text, const char* tail) {
  std::size_t n = std::strlen(tail);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = text[text.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != tail[i]) return false;
  }
  return true;
}

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
  std::unique_ptr<MemoryByteSource> source;
  std::unique_ptr<ImageReader> reader;
};

bool open_picture(const char* path, Opened& o) {
  std::string error;
  if (!read_input_file(path, &o.bytes, &error)) {
    fail(path, "open", error);
    return false;
  }
  o.source = std::make_unique<MemoryByteSource>(o.bytes.data(), o.bytes.size());
  o.reader = std::make_unique<ImageReader>(o.source.get(), path);
  static const std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (o.reader->kind() == FileKind::kind_none && o.bytes.size() >= 8 &&
      std::memcmp(o.bytes.data(), png_signature, 8) == 0) {
    fail(path, "header", "a PNG file: the engine's readers do not read PNG; 'kestol img encode' does");
    return false;
  }
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

// A PNG is not a picture the engine reads, but `encode` reads it: info says so.
bool print_png_info(const char* path) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  static const std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!read_input_file(path, &bytes, &error) || bytes.size() < 24 ||
      std::memcmp(bytes.data(), png_signature, 8) != 0 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
    return false;
  auto be32 = [&](std::size_t at) {
    return std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 |
           std::uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
  };
  std::printf("file:    %s\nkind:    PNG (read by 'kestol img encode', not by the engine)\n"
              "width:   %u\nheight:  %u\n", path, be32(16), be32(20));
  return true;
}

int info(int argc, char** argv) {
  std::vector<const char*> operands;
  int rc = parse_options(info_command, argc, argv, {}, &operands);
  if (rc != parse_continue) return rc;
  if (operands.size() != 1) return usage_error(info_command, "wants one FILE");
  if (print_png_info(operands[0])) return stdout_ok("kestol img info") ? 0 : 1;
  const char* path = operands[0];
  Opened o;
  if (!open_picture(path, o)) return 1;
  FormatList list;
  o.reader->copy_formats(list);
  std::printf("file:    %s\nkind:    %s\nwidth:   %u\nheight:  %u\nformats:", path,
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
  return stdout_ok("kestol img info") ? 0 : 1;
}

int decode(int argc, char** argv) {
  const char* out = nullptr;
  const char* format_name = nullptr;
  std::vector<const char*> operands;
  int rc = parse_options(decode_command, argc, argv,
                         {value_option("-o", &out, "--output"), value_option("--format", &format_name)},
                         &operands);
  if (rc != parse_continue) return rc;
  if (operands.size() != 1) return usage_error(decode_command, "wants one FILE");
  if (out == nullptr) return usage_error(decode_command, "wants -o OUT");
  const char* in = operands[0];
  PixelFormat format = PixelFormat::rgb24;
  if (format_name && !parse_format(format_name, format))
    return usage_error(decode_command, std::string("--format wants rgb24, argb32, grey8 or indexed8, not '") +
                                           format_name + "'");
  Opened o;
  if (!open_picture(in, o)) return 1;
  if (!format_name) {
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
  const bool to_stdout = std::strcmp(out, "-") == 0;
  if (to_stdout && !stdout_ok("kestol img decode")) return 1;
  std::fprintf(to_stdout ? stderr : stdout, "%s: %u x %u %s -> %s\n", in, w, h, pixel_format_name(format), out);
  return to_stdout || stdout_ok("kestol img decode") ? 0 : 1;
}

int encode(int argc, char** argv) {
  const char* out = nullptr;
  const char* quality = nullptr;
  const char* sampling = nullptr;
  JpegEncodeOptions options;
  std::vector<const char*> operands;
  int rc = parse_options(encode_command, argc, argv,
                         {value_option("-o", &out, "--output"), value_option("--quality", &quality),
                          value_option("--sampling", &sampling), flag_option("--grey", &options.grey),
                          flag_option("--restart", &options.restart)},
                         &operands);
  if (rc != parse_continue) return rc;
  if (operands.size() != 1) return usage_error(encode_command, "wants one IN");
  if (out == nullptr) return usage_error(encode_command, "wants -o OUT.jpg");
  const char* in = operands[0];
  if (quality != nullptr) {
    double q;
    if (!parse_number(encode_command, "--quality", quality, 1, 100, &q)) return 2;
    if (q != static_cast<int>(q)) return usage_error(encode_command, "--quality wants a whole number from 1 to 100");
    options.quality = static_cast<int>(q);
  }
  if (sampling != nullptr) {
    if (std::strcmp(sampling, "1x1") == 0) options.sampling = JpegSampling::s1x1;
    else if (std::strcmp(sampling, "2x1") == 0) options.sampling = JpegSampling::s2x1;
    else if (std::strcmp(sampling, "2x2") == 0) options.sampling = JpegSampling::s2x2;
    else return usage_error(encode_command, std::string("--sampling wants 1x1, 2x1 or 2x2, not '") + sampling + "'");
  }
  const bool to_stdout = std::strcmp(out, "-") == 0;
  if (!to_stdout && !ends_with_ignoring_case(out, ".jpg") && !ends_with_ignoring_case(out, ".jpeg"))
    return usage_error(encode_command, std::string("the output '") + out +
                                           "' does not end in .jpg or .jpeg; encode writes JPEG only");
  RasterImage image;
  std::string error;
  if (!read_raster(in, image, error)) return fail(in, "read", error);
  if (image.width > 65535 || image.height > 65535 || !image.width || !image.height)
    return fail(in, "encode", "JPEG sizes are 1..65535");
  std::vector<std::uint8_t> jpeg;
  if (!jpeg_encode(image.pixels.data(), image.format, image.width, image.height,
                   image.width * pixel_format_bytes(image.format), options, jpeg))
    return fail(in, "encode", "encoder refused the picture");
  if (to_stdout) {
    std::fwrite(jpeg.data(), 1, jpeg.size(), stdout);
    if (!stdout_ok("kestol img encode")) return 1;
  } else {
    // A new file renamed into place only when complete.
    ReplacingFile file;
    if (!file.open(out, &error) || !file.write(jpeg.data(), jpeg.size(), &error) || !file.commit(&error))
      return fail(out, "write", error);
  }
  std::fprintf(to_stdout ? stderr : stdout, "%s: %u x %u -> %s (%zu bytes)\n", in, image.width, image.height, out, jpeg.size());
  return to_stdout || stdout_ok("kestol img encode") ? 0 : 1;
}

}  // namespace

int img_command(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(img_group.usage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const char* sub = argv[1];
  if (std::strcmp(sub, "info") == 0) return info(argc - 1, argv + 1);
  if (std::strcmp(sub, "decode") == 0) return decode(argc - 1, argv + 1);
  if (std::strcmp(sub, "encode") == 0) return encode(argc - 1, argv + 1);
  return usage_error(img_group, "unknown subcommand '" + escape_name(sub) + "'");
}
