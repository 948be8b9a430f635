#pragma once

#include "core/GifIndex.h"

#include <vector>

namespace zorvane {

// For each image of an icon file (read from its start), whether the header of the image
// itself (a bitmap's or a PNG's) declares a size the program may show. Decoders trust that
// header over the directory's, and some reserve memory for it before they read a pixel:
// an image whose header lies is never handed to one. An image whose header cannot be read
// counts as fitting (the decoder finds it damaged). Empty when the directory is unreadable.
std::vector<bool> IconImagesThatFit(ByteReader& in);

} // namespace zorvane
