#include "platform/qt/GifFrames.h"

#include <QBuffer>
#include <QIODevice>
#include <QImage>
#include <QImageReader>

#include <cstring>

namespace zorvane::qt {
namespace {

int Le16(const QByteArray& b, int at) {
    return int(uchar(b[at])) | int(uchar(b[at + 1])) << 8;
}

// Skips data sub-blocks up to and including the empty one; false at the file's end.
bool SkipBlocks(QIODevice& in) {
    for (char n; in.getChar(&n);) {
        if (n == 0)
            return true;
        if (in.skip(uchar(n)) < uchar(n))
            return false;
    }
    return false;
}

Disposal DisposalOf(int method) {
    switch (method) {
    case 2:
        return Disposal::Background;
    case 3:
        return Disposal::Previous;
    default:
        return Disposal::Leave; // 0 (none said) and 1 (leave) as browsers take them
    }
}

class Source final : public FrameSource {
  public:
    Source(std::unique_ptr<QIODevice> file, GifIndex index)
        : file_(std::move(file)), index_(std::move(index)) {}

    bool Read(std::size_t i, GifFrame& out) override {
        if (i >= index_.frames.size())
            return false;
        const GifIndex::Frame& f = index_.frames[i];
        out = GifFrame{};
        out.left = f.left;
        out.top = f.top;
        out.delayMs = f.delayMs;
        out.disposal = f.disposal;
        // Nothing of a frame outside the screen is shown: it is not decoded.
        if (f.width == 0 || f.height == 0 || f.left >= index_.width || f.top >= index_.height)
            return true;
        if (!PictureSizeAllowed(f.width, f.height) || !file_->seek(f.begin))
            return false;
        const QByteArray body = file_->read(f.end - f.begin);
        if (body.size() < 10)
            return false;

        // The frame alone: its own screen, at (0, 0), see-through where the file says.
        QByteArray gif("GIF89a");
        QByteArray screen = index_.head;
        screen[0] = char(f.width & 0xFF);
        screen[1] = char(f.width >> 8);
        screen[2] = char(f.height & 0xFF);
        screen[3] = char(f.height >> 8);
        screen[5] = char(f.transparent >= 0 ? f.transparent : 0);
        gif += screen;
        if (f.transparent >= 0)
            gif += QByteArray("\x21\xF9\x04\x01\x00\x00", 6) + char(f.transparent) + '\0';
        QByteArray descriptor = body;
        std::memset(descriptor.data() + 1, 0, 4);
        gif += descriptor;
        gif += QByteArray("\0\x3B", 2); // a cut-off frame ends where the file does

        QBuffer buffer(&gif);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "gif");
        QImage image;
        if (!reader.read(&image) || image.width() != f.width || image.height() != f.height)
            return false;
        image.convertTo(QImage::Format_ARGB32);
        if (image.format() != QImage::Format_ARGB32)
            return false;
        out.image.width = f.width;
        out.image.height = f.height;
        out.image.pixels.resize(std::size_t(f.width) * f.height);
        for (int y = 0; y < f.height; ++y)
            std::memcpy(out.image.pixels.data() + std::size_t(y) * f.width, image.constScanLine(y),
                        std::size_t(f.width) * 4);
        return true;
    }

  private:
    std::unique_ptr<QIODevice> file_;
    GifIndex index_;
};

} // namespace

GifIndex IndexGif(QIODevice& in) {
    GifIndex index;
    const QByteArray head = in.read(13);
    if (head.size() < 13)
        return index;
    index.width = Le16(head, 6);
    index.height = Le16(head, 8);
    index.head = head.mid(6);
    if (uchar(head[10]) & 0x80) {
        const int size = 3 << ((uchar(head[10]) & 7) + 1);
        const QByteArray table = in.read(size);
        if (table.size() < size)
            return index;
        index.head += table;
    }
    GifIndex::Frame next;
    for (char kind; in.getChar(&kind);) {
        if (uchar(kind) == 0x2C) {
            GifIndex::Frame f = next;
            next = {};
            f.begin = in.pos() - 1;
            const QByteArray d = in.read(9);
            if (d.size() < 9)
                break;
            f.left = Le16(d, 0);
            f.top = Le16(d, 2);
            f.width = Le16(d, 4);
            f.height = Le16(d, 6);
            if (uchar(d[8]) & 0x80)
                in.skip(3 << ((uchar(d[8]) & 7) + 1));
            const bool whole = in.skip(1) == 1 && SkipBlocks(in);
            f.end = in.pos();
            index.frames.push_back(f);
            if (!whole)
                break;
            continue;
        }
        char label = 0;
        if (uchar(kind) != 0x21 || !in.getChar(&label))
            break; // the trailer, or what no GIF holds
        if (uchar(label) == 0xF9) {
            const QByteArray c = in.read(6);
            if (c.size() == 6 && c[0] == 4) {
                next.disposal = DisposalOf((uchar(c[1]) >> 2) & 7);
                next.delayMs = Le16(c, 2) * 10;
                next.transparent = (uchar(c[1]) & 1) ? uchar(c[4]) : -1;
                if (c[5] == 0)
                    continue;
            }
        } else if (uchar(label) == 0xFF) {
            const QByteArray a = in.read(12);
            if (a.size() == 12 && a.startsWith("\x0BNETSCAPE2.0")) {
                const QByteArray loop = in.peek(4);
                if (loop.size() == 4 && loop[0] == 3 && loop[1] == 1)
                    index.loopCount = Le16(loop, 2);
            }
        }
        if (!SkipBlocks(in))
            break;
    }
    return index;
}

std::unique_ptr<FrameSource> GifFrameSource(std::unique_ptr<QIODevice> file, GifIndex index) {
    return std::make_unique<Source>(std::move(file), std::move(index));
}

} // namespace zorvane::qt
