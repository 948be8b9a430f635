#include "platform/win32/WicLoader.h"
#include "core/GifBytes.h"
#include "core/Shape.h"
#include "platform/win32/Handles.h"

#include <gtest/gtest.h>
#include <wincodec.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace zorvane;
using namespace zorvane::win32;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kShownMask = 0xFF000000u | kMaskColor;

void Put16(Bytes& b, unsigned v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void PutInfoHeader(Bytes& b, int w, int h, int bpp) {
    Put32(b, 40);
    Put32(b, std::uint32_t(w));
    Put32(b, std::uint32_t(h));
    Put16(b, 1);
    Put16(b, unsigned(bpp));
    for (int i = 0; i < 6; ++i)
        Put32(b, 0);
}

// Rows bottom-up (or top-down), 4-byte aligned; 32-bit pixels carry the colour's top byte.
void PutRows(Bytes& b, int w, int h, int bpp, const std::vector<std::uint32_t>& px, bool topDown) {
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        std::size_t start = b.size();
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = px[std::size_t(y) * w + x];
            for (int i = 0; i < bpp / 8; ++i)
                b.push_back(std::uint8_t(c >> (8 * i)));
        }
        while ((b.size() - start) % 4)
            b.push_back(0);
    }
}

Bytes Bmp(int w, int h, int bpp, const std::vector<std::uint32_t>& px, bool topDown = false) {
    Bytes b{'B', 'M'};
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 54);
    PutInfoHeader(b, w, topDown ? -h : h, bpp);
    PutRows(b, w, h, bpp, px, topDown);
    return b;
}

// Only the headers and a few bytes: a file that claims far more than it holds.
Bytes BmpHeaderOnly(int w, int h) {
    Bytes b{'B', 'M'};
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 54);
    PutInfoHeader(b, w, h, 24);
    b.resize(b.size() + 64, 0x55);
    return b;
}

struct GifSpec {
    unsigned screenW, screenH, left, top, w, h;
    std::vector<std::uint32_t> palette; // four 0xRRGGBB entries
    std::optional<int> transparent;
    std::vector<std::uint8_t> indices;
};

// LZW with a clear code before every pixel keeps the code width fixed at 3 bits.
Bytes Gif(const GifSpec& s) {
    Bytes b{'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, s.screenW);
    Put16(b, s.screenH);
    b.insert(b.end(), {0x91, 0, 0});
    for (std::uint32_t c : s.palette)
        b.insert(b.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
    if (s.transparent)
        b.insert(b.end(), {0x21, 0xF9, 4, 1, 0, 0, std::uint8_t(*s.transparent), 0});
    b.push_back(0x2C);
    for (unsigned v : {s.left, s.top, s.w, s.h})
        Put16(b, v);
    b.push_back(0);
    Bytes data;
    std::uint32_t acc = 0;
    int bits = 0;
    auto code = [&](unsigned c) {
        acc |= c << bits;
        for (bits += 3; bits >= 8; bits -= 8, acc >>= 8)
            data.push_back(std::uint8_t(acc));
    };
    for (std::uint8_t i : s.indices) {
        code(4);
        code(i);
    }
    code(5);
    if (bits)
        data.push_back(std::uint8_t(acc));
    b.push_back(2);
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        b.push_back(std::uint8_t(n));
        b.insert(b.end(), data.begin() + at, data.begin() + at + n);
    }
    b.insert(b.end(), {0, 0x3B});
    return b;
}

struct IconImage {
    int size;
    int bpp;                       // 24 or 32
    std::vector<std::uint32_t> px; // 0xAARRGGBB, top row first
    std::vector<bool> andMask;     // true = transparent
};

Bytes Ico(const std::vector<IconImage>& images) {
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, unsigned(images.size()));
    std::vector<Bytes> bodies;
    for (const IconImage& im : images) {
        Bytes body;
        PutInfoHeader(body, im.size, im.size * 2, im.bpp);
        PutRows(body, im.size, im.size, im.bpp, im.px, false);
        for (int y = im.size - 1; y >= 0; --y) {
            Bytes row((im.size + 31) / 32 * 4, 0);
            for (int x = 0; x < im.size; ++x)
                if (im.andMask[std::size_t(y) * im.size + x])
                    row[x / 8] |= std::uint8_t(0x80 >> (x % 8));
            body.insert(body.end(), row.begin(), row.end());
        }
        bodies.push_back(std::move(body));
    }
    std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        b.insert(b.end(), {std::uint8_t(images[i].size), std::uint8_t(images[i].size), 0, 0});
        Put16(b, 1);
        Put16(b, unsigned(images[i].bpp));
        Put32(b, std::uint32_t(bodies[i].size()));
        Put32(b, offset);
        offset += std::uint32_t(bodies[i].size());
    }
    for (const Bytes& body : bodies)
        b.insert(b.end(), body.begin(), body.end());
    return b;
}

IconImage SolidIcon(int size, int bpp, std::uint32_t argb) {
    const std::size_t n = std::size_t(size) * size;
    return {size, bpp, std::vector<std::uint32_t>(n, argb), std::vector<bool>(n, false)};
}

class WicLoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        wchar_t temp[MAX_PATH + 1];
        ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
        dir_ = std::wstring(temp) + L"zorvane-wic-" + std::to_wstring(GetCurrentProcessId()) +
               L"-" + std::to_wstring(GetTickCount64());
        ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
    }
    void TearDown() override {
        for (const std::wstring& p : files_)
            DeleteFileW(p.c_str());
        for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it)
            RemoveDirectoryW(it->c_str());
        RemoveDirectoryW(dir_.c_str());
        if (comInitialised_)
            CoUninitialize();
    }

    std::wstring Write(const std::wstring& name, const Bytes& bytes) {
        const std::wstring path = dir_ + L"\\" + name;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        UniqueHandleObj file(h);
        DWORD done = 0;
        if (!bytes.empty()) {
            EXPECT_TRUE(WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &done, nullptr));
        }
        files_.push_back(path);
        return path;
    }

    std::wstring Folder(const std::wstring& name) {
        const std::wstring path = dir_ + L"\\" + name;
        EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        dirs_.push_back(path);
        return path;
    }

    // A JPEG through WIC's own encoder: pixels 0xRRGGBB, top row first, at a quality 0..1.
    std::wstring WriteJpeg(const std::wstring& name, UINT w, UINT h,
                           const std::vector<std::uint32_t>& pixels, float quality = 0.75f) {
        const std::wstring path = dir_ + L"\\" + name;
        files_.push_back(path);
        ComPtr<IWICImagingFactory> f;
        ComPtr<IWICStream> stream;
        ComPtr<IWICBitmapEncoder> enc;
        ComPtr<IWICBitmapFrameEncode> frame;
        ComPtr<IPropertyBag2> props;
        Bytes px;
        for (std::uint32_t rgb : pixels)
            px.insert(px.end(),
                      {std::uint8_t(rgb), std::uint8_t(rgb >> 8), std::uint8_t(rgb >> 16)});
        PROPBAG2 option{};
        option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = quality;
        WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
        const bool ok = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                                   CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                                   reinterpret_cast<void**>(f.put()))) &&
                        SUCCEEDED(f->CreateStream(stream.put())) &&
                        SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
                        SUCCEEDED(f->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, enc.put())) &&
                        SUCCEEDED(enc->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
                        SUCCEEDED(enc->CreateNewFrame(frame.put(), props.put())) &&
                        SUCCEEDED(props->Write(1, &option, &value)) &&
                        SUCCEEDED(frame->Initialize(props.get())) &&
                        SUCCEEDED(frame->SetSize(w, h)) &&
                        SUCCEEDED(frame->SetPixelFormat(&format)) &&
                        IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) &&
                        SUCCEEDED(frame->WritePixels(h, w * 3, UINT(px.size()), px.data())) &&
                        SUCCEEDED(frame->Commit()) && SUCCEEDED(enc->Commit());
        EXPECT_TRUE(ok) << "could not write the JPEG";
        return path;
    }

    // Every load must give back the file handle it took.
    PictureLoad Load(const std::wstring& path) {
        const long before = UniqueHandleObj::live();
        PictureLoad r = LoadPictureFile(path);
        EXPECT_EQ(UniqueHandleObj::live(), before);
        EXPECT_EQ(r.picture == nullptr, !r.error.empty()) << r.error;
        return r;
    }

    std::wstring dir_;

  private:
    bool comInitialised_ = false;
    std::vector<std::wstring> files_, dirs_;
};

std::vector<std::uint32_t> Pattern(int w, int h) {
    const std::uint32_t colours[] = {kMaskColor, 0x000000, 0xFFFFFF, 0x008001,
                                     0xFF0000,   0x0000FF, 0x12AB34, 0x018000};
    std::vector<std::uint32_t> px;
    for (int i = 0; i < w * h; ++i)
        px.push_back(colours[(i * 5 + i / w) % 8]);
    return px;
}

TEST_F(WicLoaderTest, BmpColoursRoundTripExactly) {
    struct Case {
        int w, h, bpp;
        bool topDown;
    };
    // Widths 1..5 give every row padding; 32-bit BI_RGB leaves alpha bytes 0, which must
    // not read as transparent; the largest is copied in more than one band.
    const Case cases[] = {{1, 3, 24, false}, {2, 3, 24, false},      {3, 2, 24, false},
                          {4, 2, 24, false}, {5, 3, 24, false},      {5, 3, 24, true},
                          {3, 4, 32, false}, {1024, 1025, 24, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "@" + std::to_string(c.bpp) +
                     (c.topDown ? " top-down" : ""));
        const auto px = Pattern(c.w, c.h);
        const PictureLoad r = Load(Write(L"p.bmp", Bmp(c.w, c.h, c.bpp, px, c.topDown)));
        ASSERT_TRUE(r.picture) << r.error;
        ASSERT_EQ(r.picture->width, c.w);
        ASSERT_EQ(r.picture->height, c.h);
        int wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                if (r.picture->at(x, y) != (0xFF000000u | px[std::size_t(y) * c.w + x]) &&
                    wrong++ == 0)
                    ADD_FAILURE() << "first wrong pixel at " << x << "," << y;
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(WicLoaderTest, JapaneseFileNameLoads) {
    const PictureLoad r = Load(Write(L"画像テスト.bmp", Bmp(2, 1, 24, {0x112233, kMaskColor})));
    ASSERT_TRUE(r.picture) << r.error;
    EXPECT_EQ(r.picture->at(0, 0), 0xFF112233u);
    EXPECT_EQ(r.picture->at(1, 0), kShownMask);
}

TEST_F(WicLoaderTest, GifTransparentIndexBecomesMask) {
    const PictureLoad r = Load(Write(
        L"t.gif",
        Gif({3, 2, 0, 0, 3, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, 3, {0, 3, 1, 2, 3, 0}})));
    ASSERT_TRUE(r.picture) << r.error;
    ASSERT_EQ(r.picture->width, 3);
    ASSERT_EQ(r.picture->height, 2);
    const std::uint32_t want[] = {0xFFFF0000, kShownMask, 0xFF00FF00,
                                  0xFF0000FF, kShownMask, 0xFFFF0000};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(r.picture->at(i % 3, i / 3), want[i]) << i;
}

TEST_F(WicLoaderTest, GifFrameSitsOnItsLogicalScreen) {
    const PictureLoad r = Load(
        Write(L"o.gif",
              Gif({5, 4, 2, 1, 2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, {}, {0, 1, 2, 3}})));
    ASSERT_TRUE(r.picture) << r.error;
    ASSERT_EQ(r.picture->width, 5);
    ASSERT_EQ(r.picture->height, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool inFrame = x >= 2 && x < 4 && y >= 1 && y < 3;
            EXPECT_EQ(IsMaskPixel(r.picture->at(x, y)), !inFrame) << x << "," << y;
        }
    EXPECT_EQ(r.picture->at(2, 1), 0xFFFF0000u);
    EXPECT_EQ(r.picture->at(3, 2), 0xFFFFFFFFu);
}

// Each frame's place, delay, disposal and see-through index, and the loop count, from WIC.
TEST_F(WicLoaderTest, AnimatedGifFramesDelaysDisposalAndLoops) {
    for (const test::PlayCase& c : test::PlayCases()) {
        SCOPED_TRACE(c.name);
        const long handles = UniqueHandleObj::live();
        const std::string name = c.name;
        PictureLoad load = LoadPictureFile(
            Write(std::wstring(name.begin(), name.end()), Bytes(c.bytes.begin(), c.bytes.end())));
        ASSERT_TRUE(load.animation) << load.error;
        EXPECT_EQ(load.picture, load.animation->frame());
        EXPECT_EQ(test::Play(*load.animation, c.shown.size()), c.shown);
        EXPECT_FALSE(load.animation->Advance());
        // The file stays open while its frames are read as shown, and no longer.
        load = {};
        EXPECT_EQ(UniqueHandleObj::live(), handles);
    }
}

TEST_F(WicLoaderTest, IcoLargestImageWinsAndItsMaskIsApplied) {
    IconImage small = SolidIcon(16, 24, 0xFF0000);
    IconImage large = SolidIcon(32, 24, 0x0000FF);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            large.andMask[std::size_t(y) * 32 + x] = true;
    for (bool largeFirst : {false, true}) {
        SCOPED_TRACE(largeFirst ? "32x32 first" : "16x16 first");
        const PictureLoad r =
            Load(Write(L"i.ico", largeFirst ? Ico({large, small}) : Ico({small, large})));
        ASSERT_TRUE(r.picture) << r.error;
        ASSERT_EQ(r.picture->width, 32);
        ASSERT_EQ(r.picture->height, 32);
        EXPECT_EQ(r.picture->at(0, 0), kShownMask);
        EXPECT_EQ(r.picture->at(7, 7), kShownMask);
        EXPECT_EQ(r.picture->at(8, 7), 0xFF0000FFu);
        EXPECT_EQ(r.picture->at(31, 31), 0xFF0000FFu);
    }
}

TEST_F(WicLoaderTest, IcoAlphaBelowHalfBecomesMask) {
    IconImage im = SolidIcon(16, 32, 0xFF204060);
    const std::uint32_t alphas[] = {0x00, 0x7F, 0x80, 0xFF};
    for (int x = 0; x < 4; ++x)
        im.px[std::size_t(x)] = (alphas[x] << 24) | 0x204060;
    const PictureLoad r = Load(Write(L"a.ico", Ico({im})));
    ASSERT_TRUE(r.picture) << r.error;
    EXPECT_EQ(r.picture->at(0, 0), kShownMask);
    EXPECT_EQ(r.picture->at(1, 0), kShownMask);
    EXPECT_EQ(r.picture->at(2, 0), 0xFF204060u);
    EXPECT_EQ(r.picture->at(3, 0), 0xFF204060u);
}

TEST_F(WicLoaderTest, JpegKeepsItsSizeAndIsOpaque) {
    const PictureLoad r =
        Load(WriteJpeg(L"j.jpg", 40, 24, std::vector<std::uint32_t>(40 * 24, 0xC86432)));
    ASSERT_TRUE(r.picture) << r.error;
    EXPECT_EQ(r.picture->width, 40);
    EXPECT_EQ(r.picture->height, 24);
    const std::uint32_t px = r.picture->at(20, 12);
    EXPECT_EQ(px >> 24, 0xFFu);
    EXPECT_NEAR(int((px >> 16) & 0xFF), 0xC8, 8);
    EXPECT_NEAR(int((px >> 8) & 0xFF), 0x64, 8);
    EXPECT_NEAR(int(px & 0xFF), 0x32, 8);
}

TEST_F(WicLoaderTest, JpegIsShapedByTheNearColourRuleAndBmpExactly) {
    // A red block on the mask green, and one pixel a level off the green.
    const int w = 120, h = 90;
    std::vector<std::uint32_t> drawing(std::size_t(w) * h, kMaskColor);
    for (int y = 20; y < 70; ++y)
        for (int x = 30; x < 90; ++x)
            drawing[std::size_t(y) * w + x] = 0xC81E1E;
    drawing[std::size_t(80) * w + 10] = 0x008100;
    struct Case {
        std::wstring path;
        bool lossy;
    };
    const std::wstring jpeg = WriteJpeg(L"drawing.jpg", w, h, drawing, 0.75f);
    // The content decides, not the name.
    const std::wstring misnamed = dir_ + L"\\drawing-really-jpeg.bmp";
    ASSERT_TRUE(CopyFileW(jpeg.c_str(), misnamed.c_str(), FALSE));
    const Case cases[] = {
        {jpeg, true}, {Write(L"drawing.bmp", Bmp(w, h, 24, drawing)), false}, {misnamed, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        const PictureLoad r = Load(c.path);
        ASSERT_TRUE(r.picture) << r.error;
        EXPECT_EQ(r.picture->lossy, c.lossy);
        std::vector<char> shown(drawing.size(), 0);
        for (const Rect& rect : BuildShapeRects(*r.picture).rects)
            for (int y = rect.top; y < rect.bottom; ++y)
                for (int x = rect.left; x < rect.right; ++x)
                    shown[std::size_t(y) * w + x] = 1;
        // The block whole, the green gone more than 2 px from it; the pixel a level off the
        // green is the user's own in the BMP, noise in the JPEG.
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool inside = x >= 30 && x < 90 && y >= 20 && y < 70;
                const bool away = x < 27 || x >= 93 || y < 17 || y >= 73;
                const bool want = inside || (x == 10 && y == 80 && !c.lossy);
                if ((inside || away) && bool(shown[std::size_t(y) * w + x]) != want && wrong++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " shown: " << !want;
            }
        EXPECT_EQ(wrong, 0);
    }
    DeleteFileW(misnamed.c_str());
}

TEST_F(WicLoaderTest, UnusableFilesAreRefusedWithAReason) {
    const std::string text = "これは画像ではありません。\r\n";
    struct Case {
        const char* what;
        std::wstring path;
        const char* reason;
    };
    const Case cases[] = {
        {"missing", dir_ + L"\\missing.bmp", "見つかりません"},
        {"missing folder", dir_ + L"\\nowhere\\a.bmp", "見つかりません"},
        {"folder", Folder(L"x.bmp"), "フォルダー"},
        {"empty", Write(L"empty.bmp", {}), "空"},
        {"text", Write(L"text.bmp", Bytes(text.begin(), text.end())), "画像ファイルではない"},
        {"png", Write(L"png.bmp", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0}),
         "画像ファイルではない"},
        {"cut bmp", Write(L"cut.bmp", {'B', 'M', 0, 0, 0}), "壊れて"},
        {"cut gif", Write(L"cut.gif", {'G', 'I', 'F', '8', '9', 'a', 1}), "壊れて"},
        {"device", L"\\\\.\\NUL", ""},
        {"dos device", L"NUL", ""},
        {"serial port", L"COM1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto start = std::chrono::steady_clock::now();
        const PictureLoad r = Load(c.path);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_FALSE(r.picture);
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find(".bmp"), std::string::npos) << "no path in: " << r.error;
    }
}

TEST_F(WicLoaderTest, SizeLimitsAreCheckedBeforeDecoding) {
    struct Case {
        std::wstring name;
        Bytes bytes;
        const char* size; // empty when the picture is allowed
    };
    const Case cases[] = {
        {L"huge.bmp", BmpHeaderOnly(65535, 65535), "65535×65535"},
        {L"wide.bmp", BmpHeaderOnly(16385, 1), "16385×1"},
        {L"tall.bmp", BmpHeaderOnly(1, 16385), "1×16385"},
        {L"bytes.bmp", BmpHeaderOnly(16384, 4097), "16384×4097"},
        {L"screen.gif", Gif({65535, 65535, 0, 0, 1, 1, {0, 0, 0, 0}, {}, {0}}), "65535×65535"},
        {L"edge.bmp", Bmp(16384, 1, 24, std::vector<std::uint32_t>(16384, 0x336699)), ""},
        {L"edge2.bmp", Bmp(1, 16384, 24, std::vector<std::uint32_t>(16384, 0x336699)), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const auto start = std::chrono::steady_clock::now();
        const PictureLoad r = Load(Write(c.name, c.bytes));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        if (*c.size == 0) {
            EXPECT_TRUE(r.picture) << r.error;
            continue;
        }
        EXPECT_FALSE(r.picture);
        EXPECT_NE(r.error.find("大きすぎ"), std::string::npos) << r.error;
        EXPECT_NE(r.error.find(c.size), std::string::npos) << r.error;
    }
}

} // namespace
