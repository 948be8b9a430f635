// The GIF block walker on any bytes, and on GIFs put together from the fuzzer's choices
// (control, application, comment and unknown extensions of any block sizes, frames with
// and without colour tables, data in sub-blocks of any sizes). Nothing may read outside
// its buffers; the frames found lie in the file in order; what WholeLength keeps walks
// to the same frames; and in a GIF put together here each frame is found where it was
// written, with the fields of the control block before it.

#include "core/GifBytes.h"
#include "core/GifIndex.h"

#include "FuzzCheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace zorvane;

namespace {

using test::Index;

bool SameFrame(const GifIndex::Frame& a, const GifIndex::Frame& b) {
    return a.begin == b.begin && a.end == b.end && a.left == b.left && a.top == b.top &&
           a.width == b.width && a.height == b.height && a.delayMs == b.delayMs &&
           a.disposal == b.disposal && a.transparent == b.transparent && a.whole == b.whole &&
           a.colours == b.colours;
}

// What holds for any bytes.
void CheckAny(const std::string& bytes, const GifIndex& index) {
    const std::size_t head = index.head.size();
    CHECK(head == 0 || head == 7 ||
          (index.head[4] & 0x80 && head == 7 + (3u << ((index.head[4] & 7) + 1))));
    CHECK(0 <= index.loopCount && index.loopCount <= 0xFFFF);
    std::uint64_t after = 13;
    for (std::size_t i = 0; i < index.frames.size(); ++i) {
        const GifIndex::Frame& f = index.frames[i];
        CHECK(after <= f.begin && f.begin < f.end && f.end <= bytes.size());
        CHECK(bytes[std::size_t(f.begin)] == '\x2C');
        CHECK(f.whole || i + 1 == index.frames.size());
        CHECK(0 <= f.delayMs && f.delayMs <= 0xFFFF * 10);
        CHECK(-1 <= f.transparent && f.transparent <= 0xFF);
        after = f.end;
    }
    CHECK(!index.trailer || index.frames.empty() || index.frames.back().whole);

    // The bytes WholeLength keeps, and a trailer, are a GIF of the whole frames.
    const std::optional<std::uint64_t> whole = index.WholeLength();
    if (!whole)
        return;
    CHECK(*whole <= bytes.size());
    const GifIndex again = Index(bytes.substr(0, std::size_t(*whole)) + '\x3B');
    std::size_t frames = index.frames.size();
    if (!index.frames.back().whole)
        --frames;
    CHECK(again.trailer && again.frames.size() == frames);
    for (std::size_t i = 0; i < frames; ++i)
        CHECK(SameFrame(again.frames[i], index.frames[i]));
    CHECK(again.head == index.head && again.loopCount == index.loopCount);
}

// A GIF from the fuzzer's choices, and what its walk must find.
struct Built {
    std::string bytes;
    GifIndex want;
};

void SubBlocks(FuzzedDataProvider& in, std::string& out) {
    const int count = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < count; ++i) {
        const std::string data = in.ConsumeBytesAsString(in.ConsumeIntegralInRange(1, 255));
        if (data.empty())
            break;
        out += char(data.size());
        out += data;
    }
    out += '\0';
}

void Le16(std::string& out, int v) {
    out += char(v & 0xFF);
    out += char(v >> 8 & 0xFF);
}

Built Build(FuzzedDataProvider& in) {
    Built b;
    GifIndex& want = b.want;
    b.bytes = "GIF89a";
    want.width = in.ConsumeIntegral<std::uint16_t>();
    want.height = in.ConsumeIntegral<std::uint16_t>();
    Le16(b.bytes, want.width);
    Le16(b.bytes, want.height);
    const bool table = in.ConsumeBool();
    const int bits = in.ConsumeIntegralInRange(0, 7);
    const std::string screen{char((table ? 0x80 : 0) | bits), char(in.ConsumeIntegral<char>()),
                             char(in.ConsumeIntegral<char>())};
    b.bytes += screen;
    std::string colours(table ? 3u << (bits + 1) : 0u, '\x7F');
    b.bytes += colours;
    want.head.assign(b.bytes.begin() + 6, b.bytes.end());

    GifIndex::Frame next;
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0: { // a graphic control extension, its fields in a first sub-block of any size
            b.bytes += "\x21\xF9";
            const std::size_t size = in.ConsumeIntegralInRange(0, 255);
            std::string first = in.ConsumeBytesAsString(size);
            first.resize(size, '\x05');
            b.bytes += char(size);
            b.bytes += first;
            if (size == 0)
                break; // the first sub-block is the terminator
            if (size >= 4) {
                const auto packed = static_cast<unsigned char>(first[0]);
                next.disposal = GifDisposal(packed >> 2 & 7);
                next.delayMs = (static_cast<unsigned char>(first[1]) |
                                static_cast<unsigned char>(first[2]) << 8) *
                               10;
                next.transparent = packed & 1 ? static_cast<unsigned char>(first[3]) : -1;
            }
            SubBlocks(in, b.bytes);
            break;
        }
        case 1: { // an application extension, NETSCAPE2.0's loop count or another's
            b.bytes += "\x21\xFF";
            if (in.ConsumeBool()) {
                const int loops = in.ConsumeIntegral<std::uint16_t>();
                b.bytes += "\x0BNETSCAPE2.0\x03\x01";
                Le16(b.bytes, loops);
                want.loopCount = loops;
                b.bytes += '\0';
            } else {
                SubBlocks(in, b.bytes);
            }
            break;
        }
        case 2: // a comment, plain text or unknown extension
            b.bytes += '\x21';
            b.bytes += in.PickValueInArray({'\xFE', '\x01', '\x7F'});
            SubBlocks(in, b.bytes);
            break;
        default: { // a frame
            GifIndex::Frame f = next;
            next = {};
            f.begin = b.bytes.size();
            b.bytes += '\x2C';
            for (int* v : {&f.left, &f.top, &f.width, &f.height}) {
                *v = in.ConsumeIntegral<std::uint16_t>();
                Le16(b.bytes, *v);
            }
            f.colours = in.ConsumeBool();
            const int local = in.ConsumeIntegralInRange(0, 7);
            b.bytes += char((f.colours ? 0x80 : 0) | local);
            if (f.colours)
                b.bytes += std::string(3u << (local + 1), '\x21');
            b.bytes += '\x02'; // the LZW code size; the data is never decoded
            SubBlocks(in, b.bytes);
            f.end = b.bytes.size();
            want.frames.push_back(f);
            break;
        }
        }
    }
    want.trailer = true;
    b.bytes += '\x3B';
    return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    if (data[0] & 1) {
        const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
        CheckAny(bytes, Index(bytes));
        return 0;
    }
    FuzzedDataProvider in(data + 1, size - 1);
    const Built b = Build(in);
    const GifIndex index = Index(b.bytes);
    CheckAny(b.bytes, index);
    CHECK(index.width == b.want.width && index.height == b.want.height);
    CHECK(index.head == b.want.head);
    CHECK(index.loopCount == b.want.loopCount);
    CHECK(index.trailer);
    CHECK(index.frames.size() == b.want.frames.size());
    for (std::size_t i = 0; i < index.frames.size(); ++i)
        CHECK(SameFrame(index.frames[i], b.want.frames[i]));
    return 0;
}
