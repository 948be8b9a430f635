#include "platform/win32/WicLoader.h"
#include "picture/GifIndex.h"
#include "picture/LoadMessages.h"

#include "platform/win32/Handles.h"

#include <windows.h>

#include <objidl.h>
#include <propidl.h>
#include <wincodec.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

namespace zorvane::win32 {
namespace {

using Clock = std::chrono::steady_clock;

// WIC has no way to cancel a decode. What we can bound is our own part: every
// read from the file, and the pixel copy, which runs in bands between checks.
// A decoder doing a long step inside one call still finishes that call.
constexpr auto kDecodeTimeLimit = std::chrono::seconds(15);

using namespace load;

// A read-only stream over a file handle we opened and checked ourselves, so
// the decoder never opens the path on its own. Reads fail once the deadline
// has passed, which ends the decode with an error instead of letting it run on.
class FileStream final : public IStream {
  public:
    FileStream(UniqueHandleObj file, Clock::time_point deadline)
        : file_(std::move(file)), deadline_(deadline) {}

    bool timedOut() const { return timedOut_; }
    // A frame read later, as it is shown, has its own time.
    void SetDeadline(Clock::time_point deadline) {
        deadline_ = deadline;
        timedOut_ = false;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
            IsEqualIID(riid, IID_IStream)) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return ULONG(left);
    }

    // From now on the stream ends `length` bytes in, with a GIF trailer after them: the
    // frames a cut-off GIF holds whole, as a GIF of their own.
    void EndAfter(std::uint64_t length) { end_ = length; }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* done) override {
        if (done)
            *done = 0;
        if (Clock::now() > deadline_) {
            timedOut_ = true;
            return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        }
        std::uint64_t at = 0;
        if (end_ && !Position(at))
            return HRESULT_FROM_WIN32(GetLastError());
        const ULONG want =
            end_ ? ULONG(std::min<std::uint64_t>(size, *end_ - std::min(at, *end_))) : size;
        DWORD got = 0;
        if (!ReadFile(file_.get(), buffer, want, &got, nullptr))
            return HRESULT_FROM_WIN32(GetLastError());
        if (end_ && at + got == *end_ && got < size) {
            static_cast<BYTE*>(buffer)[got++] = 0x3B;
            LARGE_INTEGER one{};
            one.QuadPart = 1;
            SetFilePointerEx(file_.get(), one, nullptr, FILE_CURRENT);
        }
        if (done)
            *done = got;
        return S_OK; // a short count marks the end, as file streams report it
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* position) override {
        static_assert(STREAM_SEEK_SET == FILE_BEGIN && STREAM_SEEK_CUR == FILE_CURRENT &&
                      STREAM_SEEK_END == FILE_END);
        if (origin > STREAM_SEEK_END)
            return STG_E_INVALIDFUNCTION;
        if (end_ && origin == STREAM_SEEK_END) {
            move.QuadPart += LONGLONG(*end_ + 1);
            origin = STREAM_SEEK_SET;
        }
        LARGE_INTEGER now{};
        if (!SetFilePointerEx(file_.get(), move, &now, origin))
            return STG_E_INVALIDPOINTER;
        if (position)
            position->QuadPart = ULONGLONG(now.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (!stat)
            return STG_E_INVALIDPOINTER;
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_.get(), &size))
            return HRESULT_FROM_WIN32(GetLastError());
        if (end_)
            size.QuadPart = LONGLONG(*end_ + 1);
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = ULONGLONG(size.QuadPart);
        stat->grfMode = STGM_READ | STGM_SHARE_DENY_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

  private:
    ~FileStream() = default;

    bool Position(std::uint64_t& at) {
        LARGE_INTEGER now{};
        const bool ok = SetFilePointerEx(file_.get(), LARGE_INTEGER{}, &now, FILE_CURRENT);
        at = std::uint64_t(now.QuadPart);
        return ok;
    }

    LONG refs_ = 1;
    UniqueHandleObj file_;
    Clock::time_point deadline_;
    bool timedOut_ = false;
    std::optional<std::uint64_t> end_;
};

// The stream's bytes from where it stands, a buffer at a time, for the GIF block walker.
class StreamReader final : public ByteReader {
  public:
    explicit StreamReader(IStream* stream) : stream_(stream) {}

    std::size_t Read(unsigned char* out, std::size_t n) override {
        std::size_t got = 0;
        while (got < n && (at_ < buffer_.size() || Fill())) {
            const std::size_t take = std::min(n - got, buffer_.size() - at_);
            std::memcpy(out + got, buffer_.data() + at_, take);
            at_ += take;
            got += take;
        }
        return got;
    }
    std::uint64_t Skip(std::uint64_t n) override {
        std::uint64_t skipped = 0;
        while (skipped < n && (at_ < buffer_.size() || Fill())) {
            const std::size_t take =
                std::size_t(std::min<std::uint64_t>(n - skipped, buffer_.size() - at_));
            at_ += take;
            skipped += take;
        }
        return skipped;
    }

  private:
    bool Fill() {
        buffer_.resize(1 << 16);
        ULONG got = 0;
        if (FAILED(stream_->Read(buffer_.data(), ULONG(buffer_.size()), &got)))
            got = 0;
        buffer_.resize(got);
        at_ = 0;
        return got > 0;
    }

    IStream* stream_;
    std::vector<unsigned char> buffer_;
    std::size_t at_ = 0;
};

HRESULT Rewind(IStream* stream) {
    return stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
}

// A decoder that refuses a GIF whose file ends inside a frame, or before its trailer, is
// given the frames the file holds whole: it shows those, as web browsers do.
HRESULT InitializeWholeFrames(IWICImagingFactory* factory, FileStream* raw,
                              ComPtr<IWICBitmapDecoder>& decoder) {
    if (FAILED(Rewind(raw)))
        return E_FAIL;
    StreamReader reader(raw);
    const std::optional<std::uint64_t> whole = IndexGif(reader).WholeLength();
    if (!whole || FAILED(Rewind(raw)))
        return E_FAIL;
    raw->EndAfter(*whole);
    decoder.reset();
    if (FAILED(factory->CreateDecoder(GUID_ContainerFormatGif, nullptr, decoder.put())))
        return E_FAIL;
    return decoder->Initialize(raw, WICDecodeMetadataCacheOnDemand);
}

// The container is the sniffed format's, not whatever WIC would guess from trying every
// installed codec.
const GUID& Container(Format format) {
    switch (format) {
    case Format::Bmp:
        return GUID_ContainerFormatBmp;
    case Format::Jpeg:
        return GUID_ContainerFormatJpeg;
    case Format::Gif:
        return GUID_ContainerFormatGif;
    case Format::Ico:
        break;
    }
    return GUID_ContainerFormatIco;
}

std::optional<unsigned> ReadUi2(IWICMetadataQueryReader* query, const wchar_t* name) {
    PROPVARIANT value;
    PropVariantInit(&value);
    std::optional<unsigned> out;
    if (SUCCEEDED(query->GetMetadataByName(name, &value)) && value.vt == VT_UI2)
        out = value.uiVal;
    PropVariantClear(&value);
    return out;
}

std::optional<bool> ReadBool(IWICMetadataQueryReader* query, const wchar_t* name) {
    PROPVARIANT value;
    PropVariantInit(&value);
    std::optional<bool> out;
    if (SUCCEEDED(query->GetMetadataByName(name, &value)) && value.vt == VT_BOOL)
        out = value.boolVal != VARIANT_FALSE;
    PropVariantClear(&value);
    return out;
}

// A GIF with neither a global nor a local colour table has no colours at all,
// and Wine's decoder reads through a null table when asked for its palette.
bool GifHasNoColourTable(IWICBitmapDecoder* decoder, IWICBitmapFrameDecode* frame) {
    ComPtr<IWICMetadataQueryReader> screen;
    ComPtr<IWICMetadataQueryReader> image;
    if (FAILED(decoder->GetMetadataQueryReader(screen.put())) ||
        FAILED(frame->GetMetadataQueryReader(image.put())))
        return false;
    return ReadBool(screen.get(), L"/logscrdesc/GlobalColorTableFlag") == false &&
           ReadBool(image.get(), L"/imgdesc/LocalColorTableFlag") == false;
}

// Where the first frame sits: a GIF frame may be smaller than its logical
// screen, and the picture is the whole screen with the rest left see-through.
struct Placement {
    UINT canvasWidth = 0, canvasHeight = 0;
    UINT left = 0, top = 0;
};

Placement PlaceGifFrame(IWICBitmapDecoder* decoder, IWICBitmapFrameDecode* frame, UINT width,
                        UINT height) {
    Placement p{width, height, 0, 0};
    ComPtr<IWICMetadataQueryReader> screen;
    ComPtr<IWICMetadataQueryReader> image;
    if (FAILED(decoder->GetMetadataQueryReader(screen.put())) ||
        FAILED(frame->GetMetadataQueryReader(image.put())))
        return p;
    const auto sw = ReadUi2(screen.get(), L"/logscrdesc/Width");
    const auto sh = ReadUi2(screen.get(), L"/logscrdesc/Height");
    if (!sw || !sh || *sw == 0 || *sh == 0)
        return p;
    p.canvasWidth = *sw;
    p.canvasHeight = *sh;
    p.left = ReadUi2(image.get(), L"/imgdesc/Left").value_or(0);
    p.top = ReadUi2(image.get(), L"/imgdesc/Top").value_or(0);
    return p;
}

std::optional<unsigned> ReadUi1(IWICMetadataQueryReader* query, const wchar_t* name) {
    PROPVARIANT value;
    PropVariantInit(&value);
    std::optional<unsigned> out;
    if (SUCCEEDED(query->GetMetadataByName(name, &value)) && value.vt == VT_UI1)
        out = value.bVal;
    PropVariantClear(&value);
    return out;
}

template <typename T> ComPtr<T> Share(T* p) {
    ComPtr<T> shared;
    if (p) {
        p->AddRef();
        *shared.put() = p;
    }
    return shared;
}

// The NETSCAPE2.0 loop count: 0 (forever) when the file has none.
int GifLoopCount(IWICBitmapDecoder* decoder) {
    ComPtr<IWICMetadataQueryReader> screen;
    if (FAILED(decoder->GetMetadataQueryReader(screen.put())))
        return 0;
    PROPVARIANT app, data;
    PropVariantInit(&app);
    PropVariantInit(&data);
    int loops = 0;
    if (SUCCEEDED(screen->GetMetadataByName(L"/appext/Application", &app)) &&
        app.vt == (VT_UI1 | VT_VECTOR) && app.caub.cElems == 11 &&
        std::memcmp(app.caub.pElems, "NETSCAPE2.0", 11) == 0 &&
        SUCCEEDED(screen->GetMetadataByName(L"/appext/Data", &data)) &&
        data.vt == (VT_UI1 | VT_VECTOR)) {
        // The sub-blocks as stored: 3, 1, then the count, low byte first.
        const BYTE* d = data.caub.pElems;
        if (data.caub.cElems >= 4 && d[0] == 3 && d[1] == 1)
            loops = d[2] | d[3] << 8;
    }
    PropVariantClear(&app);
    PropVariantClear(&data);
    return loops;
}

// The frames of a GIF, decoded one by one as they are shown.
class WicFrames final : public FrameSource {
  public:
    WicFrames(ComPtr<IWICImagingFactory> factory, ComPtr<IWICBitmapDecoder> decoder,
              ComPtr<IStream> stream, FileStream* raw, UINT width, UINT height)
        : factory_(std::move(factory)), decoder_(std::move(decoder)), stream_(std::move(stream)),
          raw_(raw), width_(width), height_(height) {}

    bool Read(std::size_t index, GifFrame& out) override {
        raw_->SetDeadline(Clock::now() + kDecodeTimeLimit);
        ComPtr<IWICBitmapFrameDecode> frame;
        ComPtr<IWICMetadataQueryReader> meta;
        UINT w = 0, h = 0;
        if (FAILED(decoder_->GetFrame(UINT(index), frame.put())) ||
            FAILED(frame->GetSize(&w, &h)) || FAILED(frame->GetMetadataQueryReader(meta.put())))
            return false;
        out = GifFrame{};
        out.left = int(ReadUi2(meta.get(), L"/imgdesc/Left").value_or(0));
        out.top = int(ReadUi2(meta.get(), L"/imgdesc/Top").value_or(0));
        out.delayMs = int(ReadUi2(meta.get(), L"/grctlext/Delay").value_or(0)) * 10;
        switch (ReadUi1(meta.get(), L"/grctlext/Disposal").value_or(0)) {
        case 2:
            out.disposal = Disposal::Background;
            break;
        case 3:
            out.disposal = Disposal::Previous;
            break;
        default:
            out.disposal = Disposal::Leave;
        }
        // Nothing of a frame outside the screen is shown: it is not decoded.
        if (w == 0 || h == 0 || UINT(out.left) >= width_ || UINT(out.top) >= height_)
            return true;
        if (!PictureSizeAllowed(w, h))
            return false;
        ComPtr<IWICFormatConverter> converter;
        if (FAILED(factory_->CreateFormatConverter(converter.put())) ||
            FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                         WICBitmapDitherTypeNone, nullptr, 0.0,
                                         WICBitmapPaletteTypeCustom)))
            return false;
        out.image.width = int(w);
        out.image.height = int(h);
        out.image.pixels.resize(std::size_t(w) * h);
        return SUCCEEDED(converter->CopyPixels(nullptr, w * 4, UINT(out.image.pixels.size() * 4),
                                               reinterpret_cast<BYTE*>(out.image.pixels.data())));
    }

  private:
    ComPtr<IWICImagingFactory> factory_;
    ComPtr<IWICBitmapDecoder> decoder_;
    ComPtr<IStream> stream_;
    FileStream* raw_; // owned by stream_
    UINT width_, height_;
};

struct Chosen {
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
};

// The first frame, or for an icon the one with the most pixels (the first of equals).
HRESULT ChooseFrame(IWICBitmapDecoder* decoder, bool largest, Chosen& out) {
    UINT count = 0;
    HRESULT hr = decoder->GetFrameCount(&count);
    if (FAILED(hr))
        return hr;
    if (count == 0)
        return WINCODEC_ERR_FRAMEMISSING;
    if (!largest)
        count = 1;
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IWICBitmapFrameDecode> frame;
        UINT w = 0, h = 0;
        hr = decoder->GetFrame(i, frame.put());
        if (SUCCEEDED(hr))
            hr = frame->GetSize(&w, &h);
        if (FAILED(hr)) {
            if (largest)
                continue; // a damaged icon image need not spoil the others
            return hr;
        }
        if (!out.frame || std::uint64_t(w) * h > std::uint64_t(out.width) * out.height) {
            out.frame = std::move(frame);
            out.width = w;
            out.height = h;
        }
    }
    return out.frame ? S_OK : hr;
}

PictureLoad Decode(const std::wstring& path) {
    const Clock::time_point deadline = Clock::now() + kDecodeTimeLimit;

    // Checked before anything opens the path: WIC handed a folder does not
    // fail cleanly everywhere.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        return Fail(e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ||
                            e == ERROR_INVALID_NAME || e == ERROR_BAD_NETPATH ||
                            e == ERROR_BAD_NET_NAME || e == ERROR_INVALID_DRIVE
                        ? kNotFound
                        : kCannotOpen);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Fail(kFolder);

    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        return Fail(e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? kNotFound
                                                                           : kCannotOpen);
    }
    UniqueHandleObj file(opened);
    // Devices (NUL, COM1, pipes) can block a read forever; only disk files are read.
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return Fail(kNotPicture);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return Fail(kCannotOpen);
    if (size.QuadPart == 0)
        return Fail(kEmpty);

    auto* raw = new FileStream(std::move(file), deadline);
    ComPtr<IStream> stream;
    *stream.put() = raw;

    unsigned char head[8] = {};
    ULONG got = 0;
    if (FAILED(stream->Read(head, sizeof head, &got)))
        return Fail(kCannotOpen);
    const std::optional<Format> format = SniffFormat(head, got);
    if (!format)
        return Fail(kNotPicture);
    const GUID* container = &Container(*format);
    LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return Fail(kCannotOpen);

    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()))))
        return Fail(kNoCodec);
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoder(*container, nullptr, decoder.put())))
        return Fail(kNoCodec);

    const auto broken = [&](HRESULT hr) {
        if (raw->timedOut())
            return Fail(kTimeout);
        return Fail(hr == E_OUTOFMEMORY ? kNoMemory : kBroken);
    };

    HRESULT hr = decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand);
    if (FAILED(hr) && *format == Format::Gif && !raw->timedOut() &&
        SUCCEEDED(InitializeWholeFrames(factory.get(), raw, decoder)))
        hr = S_OK;
    if (FAILED(hr))
        return broken(hr);

    const bool isIcon = IsEqualGUID(*container, GUID_ContainerFormatIco);
    Chosen chosen;
    hr = ChooseFrame(decoder.get(), isIcon, chosen);
    if (FAILED(hr))
        return broken(hr);
    if (!PictureSizeAllowed(chosen.width, chosen.height))
        return Fail(TooLarge(chosen.width, chosen.height));

    Placement place{chosen.width, chosen.height, 0, 0};
    if (IsEqualGUID(*container, GUID_ContainerFormatGif)) {
        if (GifHasNoColourTable(decoder.get(), chosen.frame.get()))
            return Fail(kBroken);
        place = PlaceGifFrame(decoder.get(), chosen.frame.get(), chosen.width, chosen.height);
        // More than one frame: it plays, on its logical screen.
        UINT frames = 0;
        if (SUCCEEDED(decoder->GetFrameCount(&frames)) && frames > 1 &&
            PictureSizeAllowed(place.canvasWidth, place.canvasHeight)) {
            std::shared_ptr<Animation> animation = Animation::Start(
                int(place.canvasWidth), int(place.canvasHeight), frames,
                GifLoopCount(decoder.get()),
                std::make_unique<WicFrames>(Share(factory.get()), Share(decoder.get()),
                                            Share(stream.get()), raw, place.canvasWidth,
                                            place.canvasHeight));
            if (animation) {
                std::shared_ptr<const Picture> first = animation->frame();
                return {std::move(first), {}, std::move(animation)};
            }
        }
    }
    if (!PictureSizeAllowed(place.canvasWidth, place.canvasHeight))
        return Fail(TooLarge(place.canvasWidth, place.canvasHeight));

    ComPtr<IWICFormatConverter> converter;
    hr = factory->CreateFormatConverter(converter.put());
    if (SUCCEEDED(hr))
        hr = converter->Initialize(chosen.frame.get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    if (FAILED(hr))
        return broken(hr);

    auto picture = std::make_shared<Picture>();
    picture->width = int(place.canvasWidth);
    picture->height = int(place.canvasHeight);
    picture->pixels.assign(std::size_t(place.canvasWidth) * place.canvasHeight, 0);

    // The part of the frame inside the canvas, copied straight into it.
    const UINT copyWidth =
        place.left < place.canvasWidth ? std::min(chosen.width, place.canvasWidth - place.left) : 0;
    const UINT copyHeight = place.top < place.canvasHeight
                                ? std::min(chosen.height, place.canvasHeight - place.top)
                                : 0;
    const UINT stride = place.canvasWidth * 4;
    const UINT band = std::max<UINT>(1, (1u << 20) / std::max<UINT>(copyWidth, 1));
    for (UINT y = 0; y < copyHeight && copyWidth > 0; y += band) {
        if (Clock::now() > deadline)
            return Fail(kTimeout);
        const WICRect rect{0, INT(y), INT(copyWidth), INT(std::min(band, copyHeight - y))};
        const std::size_t at = std::size_t(place.top + y) * place.canvasWidth + place.left;
        const std::size_t bytes = (picture->pixels.size() - at) * 4;
        hr = converter->CopyPixels(&rect, stride, UINT(bytes),
                                   reinterpret_cast<BYTE*>(picture->pixels.data() + at));
        if (FAILED(hr))
            return broken(hr);
    }

    for (std::uint32_t& px : picture->pixels)
        px = OpaqueOrMask(px);
    picture->lossy = IsLossy(*format);
    return {std::move(picture), {}, nullptr};
}

} // namespace

PictureLoad LoadPictureFile(const std::wstring& path) {
    return Guarded([&] { return Decode(path); });
}

} // namespace zorvane::win32
