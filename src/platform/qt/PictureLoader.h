#pragma once

#include "app/Platform.h"

#include <string>

namespace zorvane::qt {

// Decodes a BMP, JPEG, GIF (first frame) or ICO (its largest image) file to
// 32-bit pixels. Transparent pixels (alpha below one half) become the mask
// colour. Pictures beyond the size limits are refused before their pixels are
// allocated. The path is UTF-8. Never throws.
PictureLoad LoadPictureFile(const std::string& path);

} // namespace zorvane::qt
