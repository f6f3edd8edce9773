// Where the front-end creates the readers of the other formats. Each returns a reader
// over `source` that has not read its header yet, or null when that reader is not part
// of this build (or memory runs out).
#pragma once

#include <memory>

#include "image/image_reader.h"

std::unique_ptr<FormatReader> make_bmp_reader(ImageSource* source);
std::unique_ptr<FormatReader> make_pcx_reader(ImageSource* source);
std::unique_ptr<FormatReader> make_tga_reader(ImageSource* source);
std::unique_ptr<FormatReader> make_gif_reader(ImageSource* source);
// The JPEG decoder (image/jpeg_decoder.h).
std::unique_ptr<FormatReader> make_jpeg_reader(ImageSource* source);
