#include "platform/win32/WicLoader.h"
#include "core/Decoding.h"
#include "core/GifIndex.h"
#include "core/IconImages.h"

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

// The time limit is bounded by our own part: every read from the file, and the pixel copy,
// which runs in bands between checks. A decoder doing a long step inside one call still
// finishes that call.

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

// A PROPVARIANT cleared when it goes.
class PropValue {
  public:
    PropValue() { PropVariantInit(&v); }
    ~PropValue() { PropVariantClear(&v); }
    PropValue(const PropValue&) = delete;
    PropValue& operator=(const PropValue&) = delete;

    PROPVARIANT v;
};

template <VARTYPE type> auto ValueOf(const PROPVARIANT& v) {
    if constexpr (type == VT_UI1)
        return unsigned(v.bVal);
    else if constexpr (type == VT_UI2)
        return unsigned(v.uiVal);
    else
        return v.boolVal != VARIANT_FALSE;
}

// A metadata value of the type given (VT_UI1, VT_UI2 or VT_BOOL); nothing when the file
// has none, or one of another type.
template <VARTYPE type>
std::optional<decltype(ValueOf<type>(PROPVARIANT{}))> ReadMeta(IWICMetadataQueryReader* query,
                                                               const wchar_t* name) {
    PropValue value;
    if (SUCCEEDED(query->GetMetadataByName(name, &value.v)) && value.v.vt == type)
        return ValueOf<type>(value.v);
    return std::nullopt;
}

// What a GIF says of its logical screen, and of the frame on it.
struct GifMeta {
    ComPtr<IWICMetadataQueryReader> screen;
    ComPtr<IWICMetadataQueryReader> image;
};

// False when either cannot be read: the frame is then taken as it is.
bool ReadGifMeta(IWICBitmapDecoder* decoder, IWICBitmapFrameDecode* frame, GifMeta& out) {
    return SUCCEEDED(decoder->GetMetadataQueryReader(out.screen.put())) &&
           SUCCEEDED(frame->GetMetadataQueryReader(out.image.put()));
}

// A GIF with neither a global nor a local colour table has no colours at all,
// and Wine's decoder reads through a null table when asked for its palette.
bool GifHasNoColourTable(const GifMeta& meta) {
    return ReadMeta<VT_BOOL>(meta.screen.get(), L"/logscrdesc/GlobalColorTableFlag") == false &&
           ReadMeta<VT_BOOL>(meta.image.get(), L"/imgdesc/LocalColorTableFlag") == false;
}

// Where the first frame sits: a GIF frame may be smaller than its logical
// screen, and the picture is the whole screen with the rest left see-through.
struct Placement {
    UINT canvasWidth = 0, canvasHeight = 0;
    UINT left = 0, top = 0;
};

Placement PlaceGifFrame(const GifMeta& meta, UINT width, UINT height) {
    const auto sw = ReadMeta<VT_UI2>(meta.screen.get(), L"/logscrdesc/Width");
    const auto sh = ReadMeta<VT_UI2>(meta.screen.get(), L"/logscrdesc/Height");
    if (!sw || !sh || *sw == 0 || *sh == 0)
        return {width, height, 0, 0};
    return {*sw, *sh, ReadMeta<VT_UI2>(meta.image.get(), L"/imgdesc/Left").value_or(0),
            ReadMeta<VT_UI2>(meta.image.get(), L"/imgdesc/Top").value_or(0)};
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
    PropValue app, data;
    if (FAILED(screen->GetMetadataByName(L"/appext/Application", &app.v)) ||
        app.v.vt != (VT_UI1 | VT_VECTOR) || app.v.caub.cElems != 11 ||
        std::memcmp(app.v.caub.pElems, "NETSCAPE2.0", 11) != 0 ||
        FAILED(screen->GetMetadataByName(L"/appext/Data", &data.v)) ||
        data.v.vt != (VT_UI1 | VT_VECTOR))
        return 0;
    // The sub-blocks as stored: 3, 1, then the count, low byte first.
    const BYTE* d = data.v.caub.pElems;
    return data.v.caub.cElems >= 4 && d[0] == 3 && d[1] == 1 ? d[2] | d[3] << 8 : 0;
}

// The frame as 32-bit BGRA, converted as its pixels are copied out.
HRESULT ToBgra(IWICImagingFactory* factory, IWICBitmapSource* frame,
               ComPtr<IWICFormatConverter>& out) {
    HRESULT hr = factory->CreateFormatConverter(out.put());
    if (SUCCEEDED(hr))
        hr = out->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                             0.0, WICBitmapPaletteTypeCustom);
    return hr;
}

// The frames of a GIF, decoded one by one as they are shown: on workers in the apartment the
// decoder was made in, one frame at a time.
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
        out.left = int(ReadMeta<VT_UI2>(meta.get(), L"/imgdesc/Left").value_or(0));
        out.top = int(ReadMeta<VT_UI2>(meta.get(), L"/imgdesc/Top").value_or(0));
        out.delayMs = int(ReadMeta<VT_UI2>(meta.get(), L"/grctlext/Delay").value_or(0)) * 10;
        out.disposal =
            GifDisposal(int(ReadMeta<VT_UI1>(meta.get(), L"/grctlext/Disposal").value_or(0)));
        // Nothing of a frame outside the screen is shown: it is not decoded.
        if (w == 0 || h == 0 || UINT(out.left) >= width_ || UINT(out.top) >= height_)
            return true;
        ComPtr<IWICFormatConverter> converter;
        if (!PictureSizeAllowed(w, h) || FAILED(ToBgra(factory_.get(), frame.get(), converter)))
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

// A file being decoded: its stream, its sniffed format and, once made, the decoder for it.
struct Decoding {
    ComPtr<IStream> stream;
    FileStream* raw = nullptr; // owned by stream
    Clock::time_point deadline;
    Format format = Format::Bmp;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    std::vector<bool> iconFits; // an icon's images that may go to the decoder
};

// A decoder's failure: the time ran out, memory did, or the file is damaged.
Failure Broken(const Decoding& d, HRESULT hr) {
    if (d.raw->timedOut())
        return {kTimeout};
    return {hr == E_OUTOFMEMORY ? kNoMemory : kBroken};
}

// Checked before anything opens the path: WIC handed a folder does not
// fail cleanly everywhere.
Step<Ok> CheckPath(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        return Failure{e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ||
                               e == ERROR_INVALID_NAME || e == ERROR_BAD_NETPATH ||
                               e == ERROR_BAD_NET_NAME || e == ERROR_INVALID_DRIVE
                           ? kNotFound
                           : kCannotOpen};
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Failure{kFolder};
    return Ok{};
}

Step<UniqueHandleObj> OpenFile(const std::wstring& path) {
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        return Failure{e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? kNotFound
                                                                              : kCannotOpen};
    }
    UniqueHandleObj file(opened);
    // Devices (NUL, COM1, pipes) can block a read forever; only disk files are read.
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return Failure{kNotPicture};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return Failure{kCannotOpen};
    if (size.QuadPart == 0)
        return Failure{kEmpty};
    return file;
}

// The format from the file's first bytes; the stream is left at the start for the decoder.
Step<Decoding> Sniff(UniqueHandleObj file, Clock::time_point deadline) {
    Decoding d;
    d.raw = new FileStream(std::move(file), deadline);
    *d.stream.put() = d.raw;
    d.deadline = deadline;
    unsigned char head[8] = {};
    ULONG got = 0;
    if (FAILED(d.stream->Read(head, sizeof head, &got)))
        return Failure{kCannotOpen};
    const std::optional<Format> format = SniffFormat(head, got);
    if (!format)
        return Failure{kNotPicture};
    d.format = *format;
    if (FAILED(Rewind(d.stream.get())))
        return Failure{kCannotOpen};
    return d;
}

Step<Ok> MakeDecoder(Decoding& d) {
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory,
                                reinterpret_cast<void**>(d.factory.put()))) ||
        FAILED(d.factory->CreateDecoder(Container(d.format), nullptr, d.decoder.put())))
        return Failure{kNoCodec};
    if (d.format == Format::Ico) {
        StreamReader reader(d.raw);
        d.iconFits = IconImagesThatFit(reader);
        if (FAILED(Rewind(d.raw)))
            return Failure{kCannotOpen};
    }
    HRESULT hr = d.decoder->Initialize(d.stream.get(), WICDecodeMetadataCacheOnDemand);
    if (FAILED(hr) && d.format == Format::Gif && !d.raw->timedOut() &&
        SUCCEEDED(InitializeWholeFrames(d.factory.get(), d.raw, d.decoder)))
        hr = S_OK;
    if (FAILED(hr))
        return Broken(d, hr);
    return Ok{};
}

struct Chosen {
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
};

// The first frame, or for an icon the one with the most pixels (the first of equals) among
// those that `fits` lets through.
HRESULT FindFrame(IWICBitmapDecoder* decoder, bool largest, const std::vector<bool>& fits,
                  Chosen& out) {
    UINT count = 0;
    HRESULT hr = decoder->GetFrameCount(&count);
    if (FAILED(hr))
        return hr;
    if (count == 0)
        return WINCODEC_ERR_FRAMEMISSING;
    if (!largest)
        count = 1;
    for (UINT i = 0; i < count; ++i) {
        if (largest && i < fits.size() && !fits[i]) {
            hr = WINCODEC_ERR_BADIMAGE;
            continue;
        }
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

Step<Chosen> ChooseFrame(const Decoding& d) {
    Chosen chosen;
    const HRESULT hr = FindFrame(d.decoder.get(), d.format == Format::Ico, d.iconFits, chosen);
    if (FAILED(hr))
        return Broken(d, hr);
    if (!PictureSizeAllowed(chosen.width, chosen.height))
        return Failure{TooLarge(chosen.width, chosen.height)};
    return chosen;
}

// Where the chosen frame lies on the picture: a GIF's on its logical screen.
Step<Placement> Place(const Decoding& d, const Chosen& chosen) {
    const Placement alone{chosen.width, chosen.height, 0, 0};
    GifMeta meta;
    if (d.format != Format::Gif || !ReadGifMeta(d.decoder.get(), chosen.frame.get(), meta))
        return alone;
    if (GifHasNoColourTable(meta))
        return Failure{kBroken};
    return PlaceGifFrame(meta, chosen.width, chosen.height);
}

// A GIF of more than one frame plays, on its logical screen; null for a still picture, or
// when the first frame cannot be read.
std::shared_ptr<Animation> Play(const Decoding& d, const Placement& place) {
    UINT frames = 0;
    if (d.format != Format::Gif || FAILED(d.decoder->GetFrameCount(&frames)) || frames < 2 ||
        !PictureSizeAllowed(place.canvasWidth, place.canvasHeight))
        return nullptr;
    return Animation::Start(
        int(place.canvasWidth), int(place.canvasHeight), frames, GifLoopCount(d.decoder.get()),
        std::make_unique<WicFrames>(Share(d.factory.get()), Share(d.decoder.get()),
                                    Share(d.stream.get()), d.raw, place.canvasWidth,
                                    place.canvasHeight));
}

Step<ComPtr<IWICFormatConverter>> Convert(const Decoding& d, const Chosen& chosen) {
    ComPtr<IWICFormatConverter> converter;
    const HRESULT hr = ToBgra(d.factory.get(), chosen.frame.get(), converter);
    if (FAILED(hr))
        return Broken(d, hr);
    return converter;
}

// The part of the frame inside the canvas, copied straight into it in bands, with the
// time checked between them; the rest of the canvas stays see-through.
Step<std::shared_ptr<Picture>> CopyPixels(const Decoding& d, IWICBitmapSource* bgra,
                                          const Chosen& chosen, const Placement& place) {
    auto picture = std::make_shared<Picture>();
    picture->width = int(place.canvasWidth);
    picture->height = int(place.canvasHeight);
    picture->pixels.assign(std::size_t(place.canvasWidth) * place.canvasHeight, 0);
    const UINT copyWidth =
        place.left < place.canvasWidth ? std::min(chosen.width, place.canvasWidth - place.left) : 0;
    const UINT copyHeight = place.top < place.canvasHeight
                                ? std::min(chosen.height, place.canvasHeight - place.top)
                                : 0;
    const UINT stride = place.canvasWidth * 4;
    const UINT band = std::max<UINT>(1, (1u << 20) / std::max<UINT>(copyWidth, 1));
    for (UINT y = 0; y < copyHeight && copyWidth > 0; y += band) {
        if (Clock::now() > d.deadline)
            return Failure{kTimeout};
        const WICRect rect{0, INT(y), INT(copyWidth), INT(std::min(band, copyHeight - y))};
        const std::size_t at = std::size_t(place.top + y) * place.canvasWidth + place.left;
        const std::size_t bytes = (picture->pixels.size() - at) * 4;
        const HRESULT hr = bgra->CopyPixels(&rect, stride, UINT(bytes),
                                            reinterpret_cast<BYTE*>(picture->pixels.data() + at));
        if (FAILED(hr))
            return Broken(d, hr);
    }
    FinishPixels(*picture);
    picture->lossy = IsLossy(d.format);
    return picture;
}

// The file checked, opened and sniffed, and a decoder for its format reading it.
Step<Decoding> Open(const std::wstring& path, Clock::time_point deadline) {
    if (Step<Ok> checked = CheckPath(path); !checked)
        return checked.failure();
    Step<UniqueHandleObj> file = OpenFile(path);
    if (!file)
        return file.failure();
    Step<Decoding> d = Sniff(std::move(*file), deadline);
    if (!d)
        return d;
    if (Step<Ok> made = MakeDecoder(*d); !made)
        return made.failure();
    return d;
}

PictureLoad Decode(const std::wstring& path) {
    Step<Decoding> d = Open(path, Clock::now() + kDecodeTimeLimit);
    if (!d)
        return Fail(d.message());
    Step<Chosen> chosen = ChooseFrame(*d);
    if (!chosen)
        return Fail(chosen.message());
    Step<Placement> place = Place(*d, *chosen);
    if (!place)
        return Fail(place.message());
    if (std::shared_ptr<Animation> animation = Play(*d, *place))
        return Playing(std::move(animation));
    if (!PictureSizeAllowed(place->canvasWidth, place->canvasHeight))
        return Fail(TooLarge(place->canvasWidth, place->canvasHeight));
    Step<ComPtr<IWICFormatConverter>> bgra = Convert(*d, *chosen);
    if (!bgra)
        return Fail(bgra.message());
    Step<std::shared_ptr<Picture>> picture = CopyPixels(*d, bgra->get(), *chosen, *place);
    if (!picture)
        return Fail(picture.message());
    return {std::move(*picture), {}, nullptr};
}

} // namespace

PictureLoad LoadPictureFile(const std::wstring& path) {
    return Guarded([&] { return Decode(path); });
}

} // namespace zorvane::win32
