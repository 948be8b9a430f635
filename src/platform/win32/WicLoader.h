#pragma once

#include "app/PictureLoad.h"

#include <string>

namespace zorvane::win32 {

// Decodes a BMP, JPEG, GIF (first frame) or ICO (its largest image) file to
// 32-bit pixels. Transparent pixels become the mask colour. Pictures beyond the
// size limits are refused before their pixels are allocated. Never throws.
// COM must be initialised on the calling thread.
PictureLoad LoadPictureFile(const std::wstring& path);

} // namespace zorvane::win32
