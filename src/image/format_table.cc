// The list of formats this build reads.
#include "image/format_table.h"

std::span<const ImageFormat> image_formats() {
  static const ImageFormat formats[] = {bmp_format, pcx_format, gif_format, jpeg_format,
                                        tga_format};
  return formats;
}
