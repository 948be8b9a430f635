#pragma once

#include "core/Animation.h"
#include "core/GifIndex.h"

#include <memory>

class QIODevice;

namespace zorvane::qt {

// Walks the blocks of the GIF in `in`, from where it stands.
GifIndex IndexGif(QIODevice& in);

// Frames of `file`, decoded as shown: each one alone, as a GIF of its own. Qt's own GIF
// reader composes the frames itself and applies each frame's disposal one frame late, so
// the program reads the file's frames one by one and composes them itself. Frames are read
// on worker threads, one at a time: through QImageReader and QImage, never a QPixmap.
std::unique_ptr<FrameSource> GifFrameSource(std::unique_ptr<QIODevice> file, GifIndex index);

} // namespace zorvane::qt
