// The front-end: kind detection, the look-ahead source, the format list and the reader
// that forwards to the format reader of the detected kind. The formats come from the
// table (format_table.h); this file knows none of them.
#include "image/image_reader.h"

#include <cstring>
#include <new>


std::uint32_t pixel_format_bytes(PixelFormat format) {
  switch (format) {
    case PixelFormat::rgb24: return 3;
    case PixelFormat::argb32: return 4;
    case PixelFormat::grey8: return 1;
    case PixelFormat::indexed8: return 1;
  }
  return 0;
}

const char* pixel_format_name(PixelFormat format) {
  switch (format) {
    case PixelFormat::rgb24: return "rgb24";
    case PixelFormat::argb32: return "argb32";
    case PixelFormat::grey8: return "grey8";
    case PixelFormat::indexed8: return "indexed8";
  }
  return "unknown";
}

const char* file_kind_name(FileKind kind) {
  for (const ImageFormat& format : image_formats())
    if (format.kind == kind) return format.name;
  return "unknown";
}

FileKind detect_file_kind(const std::uint8_t* b, std::uint32_t count, const char* name) {
  if (count < PeekSource::sniff_size) return FileKind::kind_none;
  for (const ImageFormat& format : image_formats())
    if (format.sniff(b, name)) return format.kind;
  return FileKind::kind_none;
}

PeekSource::PeekSource(ImageSource* source, const char* name) : source(source) {
  buffered = source ? source->read(buffer, sniff_size) : 0;
  if (buffered > sniff_size) buffered = sniff_size;  // a source that over-reports
  kind = detect_file_kind(buffer, buffered, name);
}

std::uint32_t PeekSource::read(void* destination, std::uint32_t n) {
  auto* out = static_cast<std::uint8_t*>(destination);
  std::uint32_t served = 0;
  while (served < n) {
    // Top up only when the held bytes cannot serve the request, so byte-sized reads
    // reach the caller's source once per buffer, not once per byte.
    if (buffered < n - served) {
      std::uint32_t room = buffer_size - buffered;
      std::uint32_t got = source ? source->read(buffer + buffered, room) : 0;
      if (got > room) got = room;
      buffered += got;
    }
    if (buffered == 0) break;
    std::uint32_t t = n - served < buffered ? n - served : buffered;
    std::memcpy(out + served, buffer, t);
    std::memmove(buffer, buffer + t, buffered - t);
    buffered -= t;
    served += t;
  }
  return served;
}

bool FormatList::append(PixelFormat format) {
  if (count == capacity) {
    std::uint32_t grown = capacity ? capacity * 2 : 16;
    std::unique_ptr<PixelFormat[]> bigger(new (std::nothrow) PixelFormat[grown]);
    if (!bigger) return false;
    for (std::uint32_t i = 0; i < count; ++i) bigger[i] = items[i];
    items = std::move(bigger);
    capacity = grown;
  }
  items[count++] = format;
  return true;
}

void FormatList::clear() {
  items.reset();
  count = capacity = 0;
}

bool FormatList::contains(PixelFormat format) const {
  for (std::uint32_t i = 0; i < count; ++i)
    if (items[i] == format) return true;
  return false;
}

bool FormatList::assign(const FormatList& other) {
  if (&other == this) return true;
  clear();
  if (other.count == 0) return true;
  std::unique_ptr<PixelFormat[]> copy(new (std::nothrow) PixelFormat[other.count]);
  if (!copy) return false;
  for (std::uint32_t i = 0; i < other.count; ++i) copy[i] = other.items[i];
  items = std::move(copy);
  count = capacity = other.count;
  return true;
}

ImageReader::ImageReader(ImageSource* source, const char* name)
    : FormatReader(source), peek(std::make_unique<PeekSource>(source, name)) {}

ImageReader::~ImageReader() {
  inner.reset();  // the format reader reads from peek, so it goes first
  peek.reset();
}

bool ImageReader::read_header() {
  if (inner || header_read) return false;  // one header per reader
  header_read = true;
  const ImageFormat* format = nullptr;
  for (const ImageFormat& candidate : image_formats())
    if (candidate.kind == peek->kind) format = &candidate;
  if (format == nullptr) return refuse("not a JPEG, BMP, PCX, GIF or TGA file");
  inner = format->create(peek.get());
  if (!inner) return refuse(std::string(file_kind_name(peek->kind)) + " files are not supported by this build");
  return inner->read_header();
}

const char* ImageReader::why() const {
  if (!reason.empty()) return reason.c_str();
  return inner ? inner->why() : "";
}

std::uint32_t ImageReader::width() const { return inner ? inner->width() : 0; }
std::uint32_t ImageReader::height() const { return inner ? inner->height() : 0; }

void ImageReader::copy_formats(FormatList& destination) const {
  if (inner) inner->copy_formats(destination);
}

bool ImageReader::supports(PixelFormat format) const {
  return inner && inner->supports(format);
}
