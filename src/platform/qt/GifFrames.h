#pragma once

#include "picture/Animation.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <vector>

class QIODevice;

namespace zorvane::qt {

// Where each frame of a GIF file lies, and what its control block says. Qt's own GIF
// reader composes the frames itself and applies each frame's disposal one frame late,
// so the program reads the file's frames one by one and composes them itself.
struct GifIndex {
    int width = 0, height = 0; // the logical screen
    int loopCount = 0;         // NETSCAPE2.0's; 0 when absent
    QByteArray head;           // the screen descriptor and global colour table
    struct Frame {
        qint64 begin = 0, end = 0; // the image descriptor to the end of its data
        int left = 0, top = 0, width = 0, height = 0;
        int delayMs = 0;
        Disposal disposal = Disposal::Leave;
        int transparent = -1; // colour index, or -1
    };
    std::vector<Frame> frames; // the last one may be cut off
};

// Walks the blocks of a GIF from its start, without decoding any pixels.
GifIndex IndexGif(QIODevice& in);

// Frame index of `file`, decoded as shown: each one alone, as a GIF of its own.
std::unique_ptr<FrameSource> GifFrameSource(std::unique_ptr<QIODevice> file, GifIndex index);

} // namespace zorvane::qt
