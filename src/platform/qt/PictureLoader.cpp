#include "platform/qt/PictureLoader.h"
#include "picture/LoadMessages.h"
#include "platform/qt/GifFrames.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRect>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <optional>

namespace zorvane::qt {
namespace {

// The same words as the Windows loader uses.
using namespace load;

// The decoder is the sniffed format's, never found by trying every installed plugin.
const char* QtFormat(Format format) {
    switch (format) {
    case Format::Bmp:
        return "bmp";
    case Format::Jpeg:
        return "jpeg";
    case Format::Gif:
        return "gif";
    case Format::Ico:
        break;
    }
    return "ico";
}

// A GIF of more than one frame plays; null when it has one, or its first cannot be read.
std::shared_ptr<Animation> Animate(int fd, GifIndex index) {
    if (index.frames.size() < 2 || !PictureSizeAllowed(index.width, index.height))
        return nullptr;
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    auto file = std::make_unique<QFile>();
    if (own < 0 || !file->open(own, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (own >= 0)
            ::close(own);
        return nullptr;
    }
    const int width = index.width, height = index.height, loops = index.loopCount;
    const std::size_t count = index.frames.size();
    return Animation::Start(width, height, count, loops,
                            GifFrameSource(std::move(file), std::move(index)));
}

PictureLoad Decode(const std::string& path) {
    if (path.empty())
        return Fail(kNotFound);
    // Opened without blocking and checked on the open descriptor: a FIFO or a
    // device named like a picture must not hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int e = errno;
        return Fail(e == ENOENT || e == ENOTDIR || e == ENAMETOOLONG || e == ELOOP ? kNotFound
                                                                                   : kCannotOpen);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Fail(kCannotOpen);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Fail(kCannotOpen);
    if (S_ISDIR(st.st_mode))
        return Fail(kFolder);
    if (!S_ISREG(st.st_mode))
        return Fail(kNotPicture);
    if (st.st_size == 0)
        return Fail(kEmpty);

    const QByteArray head = file.peek(8);
    const std::optional<Format> sniffed =
        SniffFormat(reinterpret_cast<const unsigned char*>(head.constData()), head.size());
    if (!sniffed)
        return Fail(kNotPicture);
    const char* format = QtFormat(*sniffed);
    if (!QImageReader::supportedImageFormats().contains(format))
        return Fail(kNoCodec);
    // Where a GIF's first frame lies on its screen. Qt fills the screen around a
    // smaller first frame with the background colour; the Windows decoder, and so
    // the program, leaves it see-through.
    std::optional<QRect> frame;
    if (*sniffed == Format::Gif) {
        GifIndex index = IndexGif(file);
        if (index.width > 0 && index.height > 0 && !PictureSizeAllowed(index.width, index.height))
            return Fail(TooLarge(index.width, index.height));
        if (!index.frames.empty()) {
            const GifIndex::Frame& f = index.frames[0];
            if (!index.HasColours(f))
                return Fail(kBroken);
            frame = QRect(f.left, f.top, f.width, f.height);
        }
        if (std::shared_ptr<Animation> animation = Animate(fd, std::move(index))) {
            std::shared_ptr<const Picture> first = animation->frame();
            return {std::move(first), {}, std::move(animation)};
        }
        if (!file.seek(0))
            return Fail(kCannotOpen);
    }

    // Qt's own guard for what a decoder may allocate, in case a header lies
    // about the size; the checks below refuse honest headers first.
    QImageReader::setAllocationLimit(int(kMaxPictureBytes >> 20));
    QImageReader reader(&file, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false); // as stored, like the Windows decoders show it
    if (!reader.canRead())
        return Fail(kBroken);

    // An icon shows its image with the most pixels (the first of equals).
    if (*sniffed == Format::Ico) {
        const int count = reader.imageCount();
        int best = 0;
        std::uint64_t bestPixels = 0;
        for (int i = 0; i < count; ++i) {
            if (!reader.jumpToImage(i))
                continue;
            const QSize s = reader.size();
            const std::uint64_t pixels = s.isValid() ? std::uint64_t(s.width()) * s.height() : 0;
            if (pixels > bestPixels) {
                best = i;
                bestPixels = pixels;
            }
        }
        reader.jumpToImage(best);
    }

    const QSize declared = reader.size();
    if (declared.isValid() && !PictureSizeAllowed(declared.width(), declared.height()))
        return Fail(TooLarge(declared.width(), declared.height()));

    QImage image;
    if (!reader.read(&image)) {
        switch (reader.error()) {
        case QImageReader::DeviceError:
            return Fail(kCannotOpen);
        case QImageReader::UnsupportedFormatError:
            return Fail(kNotPicture);
        default:
            return Fail(kBroken);
        }
    }
    if (!PictureSizeAllowed(image.width(), image.height()))
        return Fail(TooLarge(image.width(), image.height()));
    image.convertTo(QImage::Format_ARGB32);
    if (image.isNull() || image.format() != QImage::Format_ARGB32)
        return Fail(kNoMemory);

    auto picture = std::make_shared<Picture>();
    picture->width = image.width();
    picture->height = image.height();
    picture->pixels.resize(std::size_t(picture->width) * picture->height);
    const QRect shown = frame ? image.rect().intersected(*frame) : image.rect();
    for (int y = 0; y < picture->height; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::uint32_t* out = picture->pixels.data() + std::size_t(y) * picture->width;
        const bool row = y >= shown.top() && y <= shown.bottom();
        for (int x = 0; x < picture->width; ++x) {
            const std::uint32_t px = in[x];
            const bool inside = row && x >= shown.left() && x <= shown.right();
            out[x] = inside ? OpaqueOrMask(px) : (0xFF000000u | kMaskColor);
        }
    }
    picture->lossy = IsLossy(*sniffed);
    return {std::move(picture), {}, nullptr};
}

} // namespace

PictureLoad LoadPictureFile(const std::string& path) {
    return Guarded([&] { return Decode(path); });
}

} // namespace zorvane::qt
