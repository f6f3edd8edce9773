#include "tests/support/jpeg_builder.h"

#include <cmath>

#include "image/jpeg_decoder.h"
#include "tests/support/jpeg_reference.h"

namespace jpeg_test {

void put16(Bytes& out, std::uint32_t v) {
  out.push_back(std::uint8_t(v >> 8));
  out.push_back(std::uint8_t(v));
}

void segment(Bytes& out, std::uint8_t marker, const Bytes& payload) {
  out.push_back(0xFF);
  out.push_back(marker);
  put16(out, std::uint32_t(payload.size() + 2));
  out.insert(out.end(), payload.begin(), payload.end());
}

Bytes soi() { return {0xFF, 0xD8}; }

Bytes app0(std::uint8_t tw, std::uint8_t th) {
  Bytes p = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, tw, th};
  for (int i = 0; i < tw * th * 3; ++i) p.push_back(std::uint8_t(i));
  Bytes out;
  segment(out, 0xE0, p);
  return out;
}

Bytes dqt_flat(std::uint8_t id, std::uint8_t value) {
  Bytes p = {id};
  for (int i = 0; i < 64; ++i) p.push_back(value);
  Bytes out;
  segment(out, 0xDB, p);
  return out;
}

Bytes dht(std::uint8_t class_id, const std::vector<std::uint8_t>& counts,
          const std::vector<std::uint8_t>& symbols) {
  Bytes p = {class_id};
  for (int i = 0; i < 16; ++i) p.push_back(i < int(counts.size()) ? counts[i] : 0);
  p.insert(p.end(), symbols.begin(), symbols.end());
  Bytes out;
  segment(out, 0xC4, p);
  return out;
}

Bytes sof(std::uint32_t w, std::uint32_t h, const std::vector<std::array<std::uint8_t, 3>>& cs,
          std::uint8_t precision, std::uint8_t marker) {
  Bytes p = {precision};
  put16(p, h);
  put16(p, w);
  p.push_back(std::uint8_t(cs.size()));
  for (auto& c : cs) p.insert(p.end(), c.begin(), c.end());
  Bytes out;
  segment(out, marker, p);
  return out;
}

Bytes sos(const std::vector<std::array<std::uint8_t, 2>>& cs) {
  Bytes p = {std::uint8_t(cs.size())};
  for (auto& c : cs) p.insert(p.end(), c.begin(), c.end());
  p.push_back(0);
  p.push_back(63);
  p.push_back(0);
  Bytes out;
  segment(out, 0xDA, p);
  return out;
}

void BitSink::put(std::uint32_t bits, int count) {
  for (int i = count - 1; i >= 0; --i) {
    acc = (acc << 1) | ((bits >> i) & 1);
    if (++filled == 8) {
      bytes.push_back(std::uint8_t(acc));
      if (std::uint8_t(acc) == 0xFF) bytes.push_back(0);
      acc = 0;
      filled = 0;
    }
  }
}

void BitSink::pad() {
  while (filled) put(1, 1);
}

void BitSink::raw(std::uint8_t byte) {
  pad();
  bytes.push_back(byte);
}

bool decode_file(const Bytes& file, PixelFormat format, std::vector<std::uint8_t>& pixels,
                 std::uint32_t& width, std::uint32_t& height, const ImageKernels* kernels) {
  MemoryByteSource src(file.data(), file.size());
  ImageReader reader(&src, "test.jpg");
  if (!reader.read_header()) return false;
  if (kernels != nullptr && reader.kind() == FileKind::kind_jpeg)
    static_cast<JpegDecoder*>(reader.inner_reader())->kernels = kernels;
  width = reader.width();
  height = reader.height();
  pixels.assign(std::size_t(width) * height * pixel_format_bytes(format), 0);
  std::uint8_t palette[768];
  return reader.decode(pixels.data(), format, width * pixel_format_bytes(format), palette);
}

bool reference_decode_file(const Bytes& file, std::vector<std::uint8_t>& pixels,
                           std::uint32_t& width, std::uint32_t& height, PixelFormat& format) {
  MemoryByteSource src(file.data(), file.size());
  PeekSource peek(&src, nullptr);
  JpegDecoder d(&peek);
  if (!d.read_header()) return false;
  width = d.width();
  height = d.height();
  format = d.scan_components == 1 ? PixelFormat::grey8 : PixelFormat::rgb24;
  pixels.assign(std::size_t(width) * height * pixel_format_bytes(format), 0);
  return jpeg_reference_decode(d, pixels.data(), format, width * pixel_format_bytes(format));
}

std::vector<std::uint8_t> synthetic_rgb(std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
  std::vector<std::uint8_t> p(std::size_t(w) * h * 3);
  std::uint32_t s = seed * 2654435761u + 1;
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      double fx = double(x) / (w ? w : 1), fy = double(y) / (h ? h : 1);
      std::uint8_t* q = &p[(std::size_t(y) * w + x) * 3];
      q[0] = std::uint8_t(127.5 + 127.5 * std::sin(6.0 * fx + seed));
      q[1] = std::uint8_t(255 * fy);
      q[2] = std::uint8_t(((x / 7 + y / 5) % 2) ? 220 : 30) ^ std::uint8_t((s >> 28) & 7);
    }
  return p;
}

}  // namespace jpeg_test
