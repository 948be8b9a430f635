#include "platform/qt/PictureLoader.h"
#include "Support.h"
#include "core/GifBytes.h"
#include "core/Shape.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace zorvane::qt {
namespace {
using namespace test;

std::string Put(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName().toStdString();
}

QByteArray Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage Solid(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

void Le16(QByteArray& out, int v) {
    out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
void Le32(QByteArray& out, std::uint32_t v) {
    Le16(out, int(v & 0xFFFF));
    Le16(out, int(v >> 16));
}

// One icon file from single-image icons: the directory entries point at the images in turn.
QByteArray JoinIcons(const std::vector<QByteArray>& icons) {
    QByteArray out("\0\0\1\0", 4);
    Le16(out, int(icons.size()));
    std::uint32_t offset = 6 + 16 * std::uint32_t(icons.size());
    for (const QByteArray& icon : icons) {
        out.append(icon.mid(6, 12)); // the entry up to its offset
        Le32(out, offset);
        offset += std::uint32_t(icon.size() - 22);
    }
    for (const QByteArray& icon : icons)
        out.append(icon.mid(22));
    return out;
}

// A BMP header that claims w x h pixels of 24 bits, followed by a few bytes.
QByteArray BmpHeader(int w, int h) {
    QByteArray out("BM");
    Le32(out, 54 + 16);
    Le32(out, 0);
    Le32(out, 54);
    for (std::uint32_t v : {40u, std::uint32_t(w), std::uint32_t(h)})
        Le32(out, v);
    Le16(out, 1);
    Le16(out, 24);
    for (int i = 0; i < 6; ++i)
        Le32(out, 0);
    return out.append(QByteArray(16, '\0'));
}

// An 8-bit run-length BMP of w x h with two colours, red and blue, and the given data.
QByteArray Rle8(int w, int h, const QByteArray& data) {
    QByteArray out("BM");
    Le32(out, std::uint32_t(62 + data.size()));
    Le32(out, 0);
    Le32(out, 62);
    for (std::uint32_t v : {40u, std::uint32_t(w), std::uint32_t(h)})
        Le32(out, v);
    Le16(out, 1);
    Le16(out, 8);
    for (std::uint32_t v : {1u, std::uint32_t(data.size()), 0u, 0u, 2u, 0u})
        Le32(out, v);
    return out.append("\0\0\xFF\0\xFF\0\0\0", 8).append(data);
}

QByteArray Gif(int w, int h, const std::vector<std::array<int, 8>>& frames, int loops = -1) {
    const std::string bytes = zorvane::test::GifBytes(w, h, frames, loops);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

constexpr std::uint32_t kMask = 0xFF000000 | kMaskColor;

TEST(PictureLoader, DecodesTheFourFormatsToOpaquePixelsAndTheMaskColour) {
    QTemporaryDir dir;
    QImage framed(30, 20, QImage::Format_RGB32);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            framed.setPixel(x, y, x < 2 || y < 2 || x >= 28 || y >= 18 ? 0xFF008000 : 0xFFC02020);
    QImage alphas(4, 1, QImage::Format_ARGB32);
    for (int x = 0; x < 4; ++x)
        alphas.setPixel(x, 0, qRgba(255, 0, 0, std::array{0x00, 0x7F, 0x80, 0xFF}[x]));

    struct Case {
        const char* name;
        QByteArray bytes;
        QSize size;
        std::vector<std::pair<QPoint, std::uint32_t>> pixels;
    } cases[] = {
        {"a.bmp", Encode(framed, "BMP"), {30, 20}, {{{0, 0}, kMask}, {{15, 10}, 0xFFC02020}}},
        {"a.jpg", Encode(Solid(16, 16, 0xFFC81E1E), "JPG"), {16, 16}, {{{8, 8}, 0xFFC81E1E}}},
        {"largest.ico",
         JoinIcons({Encode(Solid(16, 16, 0xFF0000FF), "ICO"),
                    Encode(Solid(48, 48, 0xFFFF0000), "ICO"),
                    Encode(Solid(32, 32, 0xFF00FF00), "ICO")}),
         {48, 48},
         {{{24, 24}, 0xFFFF0000}}},
        {"alpha.ico",
         Encode(alphas, "ICO"),
         {4, 1},
         {{{0, 0}, kMask}, {{1, 0}, kMask}, {{2, 0}, 0xFFFF0000}, {{3, 0}, 0xFFFF0000}}},
        // Run-length data that ends early: the pixels it skips are see-through.
        {"rle.bmp",
         Rle8(4, 2, QByteArray("\x02\x01\x00\x01", 4)),
         {4, 2},
         {{{0, 1}, 0xFF0000FF}, {{1, 1}, 0xFF0000FF}, {{2, 1}, kMask}, {{0, 0}, kMask}}},
        // The first frame on its screen; the screen around it is see-through.
        {"a.gif",
         Gif(4, 3, {{1, 1, 2, 1, 1}, {0, 0, 4, 3, 2}}),
         {4, 3},
         {{{1, 1}, 0xFFFF0000}, {{2, 1}, 0xFFFF0000}, {{0, 0}, kMask}, {{3, 2}, kMask}}},
    };
    for (const Case& c : cases) {
        const PictureLoad load = LoadPictureFile(Put(dir, c.name, c.bytes));
        ASSERT_TRUE(load.picture) << c.name << ": " << load.error;
        EXPECT_EQ(QSize(load.picture->width, load.picture->height), c.size) << c.name;
        for (const auto& [at, want] : c.pixels) {
            const std::uint32_t got = load.picture->at(at.x(), at.y());
            // JPEG is lossy: each channel within a few steps.
            for (int shift = 0; shift < 32; shift += 8)
                EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), 6)
                    << c.name << " at " << at.x() << "," << at.y() << std::hex << " got " << got;
        }
    }
}

// Which pixels of a picture its shape shows.
std::vector<char> Shown(const Picture& p) {
    std::vector<char> shown(p.pixels.size(), 0);
    for (const Rect& r : BuildShapeRects(p).rects)
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                shown[std::size_t(y) * p.width + x] = 1;
    return shown;
}

TEST(PictureLoader, JpegIsShapedByTheNearColourRuleAndBmpExactly) {
    // A red block on the mask green, and one pixel a level off the green.
    QImage drawing = Solid(120, 90, 0xFF008000);
    for (int y = 20; y < 70; ++y)
        for (int x = 30; x < 90; ++x)
            drawing.setPixel(x, y, 0xFFC81E1E);
    drawing.setPixel(10, 80, 0xFF008100);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(75);
    ASSERT_TRUE(writer.write(drawing.convertToFormat(QImage::Format_RGB32)));

    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray bytes;
        bool lossy;
    } cases[] = {{"drawing.jpg", jpeg, true},
                 {"drawing.bmp", Encode(drawing, "BMP"), false},
                 // The content decides, not the name.
                 {"drawing-really-jpeg.bmp", jpeg, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureLoad load = LoadPictureFile(Put(dir, c.name, c.bytes));
        ASSERT_TRUE(load.picture) << load.error;
        EXPECT_EQ(load.picture->lossy, c.lossy);
        const Picture& p = *load.picture;
        const std::vector<char> shown = Shown(p);
        // The block whole, the green gone more than 2 px from it; the pixel a level off the
        // green is the user's own in the BMP, noise in the JPEG.
        int wrong = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const bool inside = x >= 30 && x < 90 && y >= 20 && y < 70;
                const bool away = x < 27 || x >= 93 || y < 17 || y >= 73;
                const bool want = inside || (x == 10 && y == 80 && !c.lossy);
                if ((inside || away) && bool(shown[std::size_t(y) * p.width + x]) != want &&
                    wrong++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " shown: " << !want;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// Each frame alone from the file, composed by the program: Qt's own reader applies a
// frame's disposal one frame late.
TEST(PictureLoader, AnimatedGifFramesDelaysDisposalAndLoops) {
    QTemporaryDir dir;
    for (const zorvane::test::PlayCase& c : zorvane::test::PlayCases()) {
        const QByteArray bytes(c.bytes.data(), qsizetype(c.bytes.size()));
        const PictureLoad load = LoadPictureFile(Put(dir, c.name, bytes));
        ASSERT_TRUE(load.animation) << c.name << ": " << load.error;
        EXPECT_EQ(load.picture, load.animation->frame()) << c.name;
        EXPECT_EQ(zorvane::test::Play(*load.animation, c.shown.size()), c.shown) << c.name;
        EXPECT_FALSE(load.animation->Advance()) << c.name;
    }
    // One frame: a still picture, as before.
    EXPECT_FALSE(LoadPictureFile(Put(dir, "one.gif", Gif(2, 2, {{0, 0, 2, 2, 1, 50}}))).animation);
}

TEST(PictureLoader, RefusesWhatItCannotShowWithAReasonAndQuickly) {
    QTemporaryDir dir;
    const std::string missing = dir.filePath("missing.bmp").toStdString();
    const std::string text = Put(dir, "text.bmp", "just some words");
    const std::string fifo = dir.filePath("fifo.bmp").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string tooLarge = "画像が大きすぎて表示できません（";
    const std::pair<std::string, std::string> cases[] = {
        {"", "ファイルが見つかりません。"},
        {missing, "ファイルが見つかりません。"},
        {text + "/under.bmp", "ファイルが見つかりません。"},
        {dir.path().toStdString(), "フォルダーは開けません。画像ファイルを選んでください。"},
        {Put(dir, "empty.bmp", ""), "ファイルが空です。"},
        {text, "画像ファイルではないか、対応していない形式です。"},
        {Put(dir, "a.png", Encode(Solid(4, 4, 0xFFFF0000), "PNG")),
         "画像ファイルではないか、対応していない形式です。"},
        {fifo, "画像ファイルではないか、対応していない形式です。"}, // must not wait for a writer
        {Put(dir, "short.bmp", "BM\1\2"),
         "画像を読み込めません。ファイルが壊れている可能性があります。"},
        {Put(dir, "wide.bmp", BmpHeader(20000, 100)), tooLarge + "20000×100 ピクセル）。"},
        {Put(dir, "huge.bmp", BmpHeader(16384, 16384)), tooLarge + "16384×16384 ピクセル）。"},
        {Put(dir, "wide.gif", Gif(30000, 10, {{0, 0, 1, 1, 1}})),
         tooLarge + "30000×10 ピクセル）。"},
    };
    QElapsedTimer timer;
    timer.start();
    for (const auto& [path, error] : cases) {
        const PictureLoad load = LoadPictureFile(path);
        EXPECT_FALSE(load.picture) << path;
        EXPECT_EQ(load.error, error) << path;
    }
    EXPECT_LT(timer.elapsed(), 2000); // no pixel memory was made for the large ones
}

// The damaged and hostile pictures that tools/make_hostile.py writes (ZORVANE_HOSTILE_DIR):
// each one shown or refused with a reason as its row says, the same picture each time it
// is loaded (no pixel left as memory held it), and an animated one plays 50 frames.
TEST(PictureLoader, HostilePicturesAreShownOrRefusedAndPlay) {
    const char* root = std::getenv("ZORVANE_HOSTILE_DIR");
    if (!root)
        GTEST_SKIP() << "ZORVANE_HOSTILE_DIR is not set (ctest's hostile_native sets it)";
    std::ifstream manifest(std::string(root) + "/manifest.tsv");
    std::map<std::string, std::array<int, 3>> outcomes; // shown, refused, slowest load ms
    for (std::string line; std::getline(manifest, line);) {
        std::istringstream fields(line);
        std::string category, expect, name, reason;
        std::getline(fields, category, '\t');
        std::getline(fields, expect, '\t');
        std::getline(fields, name, '\t');
        std::getline(fields, reason, '\t');
        QElapsedTimer timer;
        timer.start();
        const PictureLoad load = LoadPictureFile(std::string(root) + "/" + name);
        const int loadMs = int(timer.elapsed());
        EXPECT_EQ(load.picture == nullptr, !load.error.empty()) << name << ": " << load.error;
        EXPECT_TRUE(expect != "show" || load.picture) << name << " was refused: " << load.error;
        EXPECT_TRUE(expect != "refuse" || !load.picture) << name << " was shown";
        if (!load.picture && !reason.empty()) {
            EXPECT_NE(load.error.find(reason), std::string::npos) << name << ": " << load.error;
        }
        // A hang, not a speed: the loader is bounded, the program answers between frames.
        EXPECT_LT(loadMs, 20'000) << name;
        auto& [shown, refused, slowest] = outcomes[category];
        ++(load.picture ? shown : refused);
        slowest = std::max(slowest, loadMs);
        if (!load.picture)
            continue;
        // Loaded twice to show that no pixel comes from memory the loader never wrote. Not a
        // file that took seconds: near the time limit the second load may end either way.
        if (load.picture->pixels.size() <= (1u << 22) && loadMs < 5'000) {
            const PictureLoad again = LoadPictureFile(std::string(root) + "/" + name);
            EXPECT_TRUE(again.picture && again.picture->pixels == load.picture->pixels)
                << name << ": loaded twice, two different pictures";
        }
        qint64 slowestFrame = 0;
        for (int i = 0; load.animation && i < 50 && load.animation->Advance(); ++i) {
            timer.restart();
            load.animation->Cut(Edges::Soft);
            slowestFrame = std::max(slowestFrame, timer.elapsed());
            EXPECT_EQ(load.animation->frame()->width, load.picture->width) << name;
        }
        if (load.animation)
            std::printf("[ hostile  ] %s: slowest of 50 frames %lld ms\n", name.c_str(),
                        static_cast<long long>(slowestFrame));
    }
    for (const auto& [category, outcome] : outcomes)
        std::printf("[ hostile  ] %-12s %3d shown, %3d refused; slowest load %d ms\n",
                    category.c_str(), outcome[0], outcome[1], outcome[2]);
    EXPECT_GE(outcomes.size(), 10u) << "categories in " << root << "/manifest.tsv";
}

} // namespace
} // namespace zorvane::qt
