#include "platform/qt/PictureLoader.h"
#include "core/Decoding.h"
#include "platform/qt/GifFrames.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QRect>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <optional>

namespace zorvane::qt {
namespace {

// The same words as the Windows loader uses.
using namespace load;
using Clock = std::chrono::steady_clock;

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
    // Read later on worker threads, one frame at a time; it belongs to the GUI thread, which
    // outlives them all, rather than to this loader thread, which ends now.
    if (const QCoreApplication* app = QCoreApplication::instance())
        file->moveToThread(app->thread());
    const int width = index.width, height = index.height, loops = index.loopCount;
    const std::size_t count = index.frames.size();
    return Animation::Start(width, height, count, loops,
                            GifFrameSource(std::move(file), std::move(index)));
}

// Opened without blocking: a FIFO or a device named like a picture must not hang the program.
Step<std::unique_ptr<QFile>> OpenFile(const std::string& path) {
    if (path.empty())
        return Failure{kNotFound};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int e = errno;
        return Failure{e == ENOENT || e == ENOTDIR || e == ENAMETOOLONG || e == ELOOP
                           ? kNotFound
                           : kCannotOpen};
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Failure{kCannotOpen};
    }
    return file;
}

// Checked on the open descriptor, so the file read is the file checked.
Step<Ok> CheckFile(const QFile& file) {
    struct stat st {};
    if (::fstat(file.handle(), &st) != 0)
        return Failure{kCannotOpen};
    if (S_ISDIR(st.st_mode))
        return Failure{kFolder};
    if (!S_ISREG(st.st_mode))
        return Failure{kNotPicture};
    if (st.st_size == 0)
        return Failure{kEmpty};
    return Ok{};
}

Step<Format> Sniff(QFile& file) {
    const QByteArray head = file.peek(8);
    const std::optional<Format> format =
        SniffFormat(reinterpret_cast<const unsigned char*>(head.constData()), head.size());
    if (!format)
        return Failure{kNotPicture};
    if (!QImageReader::supportedImageFormats().contains(QtFormat(*format)))
        return Failure{kNoCodec};
    return *format;
}

// Where a GIF's first frame lies on its screen, and its animation when it plays.
struct GifStart {
    std::optional<QRect> frame;
    std::shared_ptr<Animation> animation;
};

// Qt fills the screen around a smaller first frame with the background colour; the
// Windows decoder, and so the program, leaves it see-through.
Step<GifStart> ReadGif(QFile& file) {
    GifIndex index = IndexGif(file);
    if (index.width > 0 && index.height > 0 && !PictureSizeAllowed(index.width, index.height))
        return Failure{TooLarge(index.width, index.height)};
    GifStart gif;
    if (!index.frames.empty()) {
        const GifIndex::Frame& f = index.frames[0];
        if (!index.HasColours(f))
            return Failure{kBroken};
        if (!PictureSizeAllowed(f.width, f.height))
            return Failure{TooLarge(f.width, f.height)};
        gif.frame = QRect(f.left, f.top, f.width, f.height);
    }
    gif.animation = Animate(file.handle(), std::move(index));
    if (!gif.animation && !file.seek(0))
        return Failure{kCannotOpen};
    return gif;
}

// What a BMP's header declares, checked before Qt reads it: Qt's reader refuses a size it
// will not allocate without saying why, and shows rows past the file's end as its memory
// held them. True for run-length data.
Step<bool> CheckBmp(QFile& file) {
    const QByteArray head = file.peek(34);
    const std::optional<BmpHeader> bmp = BmpHeader::Read(
        reinterpret_cast<const unsigned char*>(head.constData()), std::size_t(head.size()));
    if (!bmp)
        return false;
    if (bmp->HasSize() && !PictureSizeAllowed(std::uint64_t(bmp->width), bmp->rows()))
        return Failure{TooLarge(std::uint64_t(bmp->width), bmp->rows())};
    if (bmp->RowsPastEnd(std::uint64_t(file.size())))
        return Failure{kBroken};
    return bmp->compression == 1 || bmp->compression == 2;
}

// The file as a decoder reads it: reads fail once the time for the picture is up, which
// ends the decode instead of letting it run on.
class DeadlineDevice final : public QIODevice {
  public:
    DeadlineDevice(QFile& file, Clock::time_point deadline) : file_(file), deadline_(deadline) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool timedOut() const { return timedOut_; }
    bool isSequential() const override { return false; }
    qint64 size() const override { return file_.size(); }

  protected:
    qint64 readData(char* data, qint64 max) override {
        if (Clock::now() > deadline_) {
            timedOut_ = true;
            return -1;
        }
        return file_.seek(pos()) ? file_.read(data, max) : -1;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    QFile& file_;
    Clock::time_point deadline_;
    bool timedOut_ = false;
};

struct Reading {
    std::unique_ptr<DeadlineDevice> device;
    std::unique_ptr<QImageReader> reader;
};

Step<Reading> MakeReader(QFile& file, Format format, Clock::time_point deadline) {
    // Qt's own guard for what a decoder may allocate, in case a header lies
    // about the size; the checks after this refuse honest headers first.
    QImageReader::setAllocationLimit(int(kMaxPictureBytes >> 20));
    if (!file.seek(0))
        return Failure{kCannotOpen};
    Reading r{std::make_unique<DeadlineDevice>(file, deadline), nullptr};
    r.reader = std::make_unique<QImageReader>(r.device.get(), QtFormat(format));
    r.reader->setAutoDetectImageFormat(false);
    r.reader->setAutoTransform(false); // as stored, like the Windows decoders show it
    if (!r.reader->canRead())
        return Failure{kBroken};
    return r;
}

// An icon shows its image with the most pixels (the first of equals).
void ChooseIconImage(QImageReader& reader) {
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

// A decoder that writes 32-bit opaque pixels (a colour JPEG) writes them straight into the
// picture: no second picture-sized buffer, no copy. Null, with nothing read, for any other.
Step<std::shared_ptr<Picture>> ReadInPlace(Reading& reading, QSize declared) {
    QImageReader& reader = *reading.reader;
    if (!declared.isValid() || reader.imageFormat() != QImage::Format_RGB32)
        return std::shared_ptr<Picture>();
    auto picture = std::make_shared<Picture>();
    picture->width = declared.width();
    picture->height = declared.height();
    picture->pixels.resize(std::size_t(picture->width) * std::size_t(picture->height));
    auto* bits = reinterpret_cast<uchar*>(picture->pixels.data());
    QImage image(bits, picture->width, picture->height, qsizetype(picture->width) * 4,
                 QImage::Format_RGB32);
    const bool read = reader.read(&image);
    if (reading.device->timedOut())
        return Failure{kTimeout};
    if (!read)
        return Failure{reader.error() == QImageReader::DeviceError ? kCannotOpen : kBroken};
    if (image.constBits() != bits || image.format() != QImage::Format_RGB32) {
        // The decoder made an image of its own after all: taken from there.
        if (image.size() != declared)
            return Failure{kBroken};
        image.convertTo(QImage::Format_RGB32);
        for (int y = 0; y < picture->height; ++y)
            std::copy_n(reinterpret_cast<const std::uint32_t*>(image.constScanLine(y)),
                        picture->width, picture->pixels.data() + std::size_t(y) * picture->width);
    }
    FinishPixels(*picture);
    return picture;
}

// The image in ARGB32, its size checked before it is read (as the header says) and after.
Step<QImage> ReadImage(Reading& reading, bool runLength) {
    QImageReader& reader = *reading.reader;
    const QSize declared = reader.size();
    // Run-length data may skip pixels, which Qt leaves as its memory held them. It reads into
    // an image of the right size and format when given one: there they stay see-through.
    constexpr int kSkipped = 255;
    QImage image;
    if (runLength && declared.isValid() && reader.imageFormat() == QImage::Format_Indexed8) {
        image = QImage(declared, QImage::Format_Indexed8);
        image.fill(kSkipped);
    }
    const bool read = reader.read(&image);
    if (reading.device->timedOut())
        return Failure{kTimeout}; // what was read before is not the picture
    if (!read) {
        switch (reader.error()) {
        case QImageReader::DeviceError:
            return Failure{kCannotOpen};
        case QImageReader::UnsupportedFormatError:
            return Failure{kNotPicture};
        default:
            return Failure{kBroken};
        }
    }
    if (!PictureSizeAllowed(image.width(), image.height()))
        return Failure{TooLarge(image.width(), image.height())};
    if (runLength && image.format() == QImage::Format_Indexed8 && image.colorCount() <= kSkipped) {
        const int colours = image.colorCount();
        image.setColorCount(kSkipped + 1);
        for (int i = colours; i < kSkipped; ++i)
            image.setColor(i, 0xFF000000); // Qt's own colour for an index past the table
        image.setColor(kSkipped, 0);
    }
    image.convertTo(QImage::Format_ARGB32);
    if (image.isNull() || image.format() != QImage::Format_ARGB32)
        return Failure{kNoMemory};
    return image;
}

// Only what lies inside `frame` is shown (all of the image when there is none); the
// rest is see-through.
std::shared_ptr<Picture> CopyPixels(const QImage& image, const std::optional<QRect>& frame) {
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
            out[x] = inside ? px : kMaskColor; // outside: clear, then the mask colour
        }
    }
    FinishPixels(*picture);
    return picture;
}

PictureLoad Decode(const std::string& path) {
    const Clock::time_point deadline = Clock::now() + kDecodeTimeLimit;
    Step<std::unique_ptr<QFile>> file = OpenFile(path);
    if (!file)
        return Fail(file.message());
    if (Step<Ok> checked = CheckFile(**file); !checked)
        return Fail(checked.message());
    Step<Format> format = Sniff(**file);
    if (!format)
        return Fail(format.message());
    Step<GifStart> gif = *format == Format::Gif ? ReadGif(**file) : GifStart{};
    if (!gif)
        return Fail(gif.message());
    if (gif->animation)
        return Playing(std::move(gif->animation));
    Step<bool> runLength = *format == Format::Bmp ? CheckBmp(**file) : false;
    if (!runLength)
        return Fail(runLength.message());
    Step<Reading> reading = MakeReader(**file, *format, deadline);
    if (!reading)
        return Fail(reading.message());
    if (*format == Format::Ico)
        ChooseIconImage(*reading->reader);
    const QSize declared = reading->reader->size();
    if (declared.isValid() && !PictureSizeAllowed(declared.width(), declared.height()))
        return Fail(TooLarge(declared.width(), declared.height()));
    if (*format == Format::Jpeg) {
        Step<std::shared_ptr<Picture>> direct = ReadInPlace(*reading, declared);
        if (!direct)
            return Fail(direct.message());
        if (*direct) {
            (*direct)->lossy = IsLossy(*format);
            return {std::move(*direct), {}, nullptr};
        }
    }
    Step<QImage> image = ReadImage(*reading, *runLength);
    if (!image)
        return Fail(image.message());
    std::shared_ptr<Picture> picture = CopyPixels(*image, gif->frame);
    picture->lossy = IsLossy(*format);
    return {std::move(picture), {}, nullptr};
}

} // namespace

PictureLoad LoadPictureFile(const std::string& path) {
    return Guarded([&] { return Decode(path); });
}

} // namespace zorvane::qt
