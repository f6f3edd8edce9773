// Temporary: the decoder and encoder land next.
#include "image/format_readers.h"
#include "image/jpeg_encoder.h"
std::unique_ptr<FormatReader> make_jpeg_reader(ImageSource*) { return nullptr; }
bool jpeg_encode(const void*, PixelFormat, std::uint32_t, std::uint32_t, std::uint32_t,
                 const JpegEncodeOptions&, std::vector<std::uint8_t>&) { return false; }
void jpeg_rgb_to_ycc(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t&, std::uint8_t&, std::uint8_t&) {}
