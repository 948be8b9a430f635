#include "platform/qt/GifFrames.h"

#include <QBuffer>
#include <QIODevice>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zorvane::qt {
namespace {

class DeviceReader final : public ByteReader {
  public:
    explicit DeviceReader(QIODevice& in) : in_(in) {}
    std::size_t Read(unsigned char* out, std::size_t n) override {
        const qint64 got = in_.read(reinterpret_cast<char*>(out), qint64(n));
        return got > 0 ? std::size_t(got) : 0;
    }
    std::uint64_t Skip(std::uint64_t n) override {
        const qint64 skipped = in_.skip(qint64(std::min<std::uint64_t>(n, INT64_MAX)));
        return skipped > 0 ? std::uint64_t(skipped) : 0;
    }

  private:
    QIODevice& in_;
};

// The frame alone, as a GIF of its own: its own screen, at (0, 0), see-through where the
// file says. `body` is the frame's descriptor and data as the file holds them.
QByteArray FrameAlone(const GifIndex& index, const GifIndex::Frame& f, const QByteArray& body) {
    QByteArray gif("GIF89a");
    QByteArray screen(reinterpret_cast<const char*>(index.head.data()),
                      qsizetype(index.head.size()));
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
    return gif;
}

// Decodes a frame made by FrameAlone; false unless it comes out at the frame's size.
bool DecodeAlone(QByteArray gif, const GifIndex::Frame& f, Picture& out) {
    QBuffer buffer(&gif);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    QImage image;
    if (!reader.read(&image) || image.width() != f.width || image.height() != f.height)
        return false;
    image.convertTo(QImage::Format_ARGB32);
    if (image.format() != QImage::Format_ARGB32)
        return false;
    out.width = f.width;
    out.height = f.height;
    out.pixels.resize(std::size_t(f.width) * f.height);
    for (int y = 0; y < f.height; ++y)
        std::memcpy(out.pixels.data() + std::size_t(y) * f.width, image.constScanLine(y),
                    std::size_t(f.width) * 4);
    return true;
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
        return body.size() >= 10 && DecodeAlone(FrameAlone(index_, f, body), f, out.image);
    }

  private:
    std::unique_ptr<QIODevice> file_;
    GifIndex index_;
};

} // namespace

GifIndex IndexGif(QIODevice& in) {
    DeviceReader reader(in);
    return zorvane::IndexGif(reader);
}

std::unique_ptr<FrameSource> GifFrameSource(std::unique_ptr<QIODevice> file, GifIndex index) {
    return std::make_unique<Source>(std::move(file), std::move(index));
}

} // namespace zorvane::qt
