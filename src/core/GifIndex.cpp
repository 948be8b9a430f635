#include "core/GifIndex.h"

#include <algorithm>

namespace zorvane {
namespace {

int Le16(const unsigned char* b) {
    return int(b[0]) | int(b[1]) << 8;
}

// Counts where the reader stands, which it does not say itself.
class Walker {
  public:
    explicit Walker(ByteReader& in) : in_(in) {}

    std::uint64_t pos() const { return pos_; }
    bool Read(unsigned char* out, std::size_t n) {
        const std::size_t got = in_.Read(out, n);
        pos_ += got;
        return got == n;
    }
    bool Skip(std::uint64_t n) {
        const std::uint64_t skipped = in_.Skip(n);
        pos_ += skipped;
        return skipped == n;
    }
    // Data sub-blocks up to and including the empty one; false at the file's end.
    bool SkipBlocks() {
        for (unsigned char n = 0; Read(&n, 1);) {
            if (n == 0)
                return true;
            if (!Skip(n))
                return false;
        }
        return false;
    }

  private:
    ByteReader& in_;
    std::uint64_t pos_ = 0;
};

// The image descriptor's fields and where its data ends; false when the file ends inside
// the descriptor itself.
bool ReadFrame(Walker& in, GifIndex::Frame& f) {
    f.begin = in.pos() - 1;
    unsigned char d[9];
    if (!in.Read(d, sizeof d))
        return false;
    f.left = Le16(d);
    f.top = Le16(d + 2);
    f.width = Le16(d + 4);
    f.height = Le16(d + 6);
    f.colours = d[8] & 0x80;
    f.whole = (!(d[8] & 0x80) || in.Skip(3u << ((d[8] & 7) + 1))) && in.Skip(1) && in.SkipBlocks();
    f.end = in.pos();
    return true;
}

// One data sub-block into `out`, which holds 255 bytes: its size, 0 for the terminator,
// or -1 when the file ends inside it.
int ReadSubBlock(Walker& in, unsigned char* out) {
    unsigned char n = 0;
    return in.Read(&n, 1) && in.Read(out, n) ? n : -1;
}

// A graphic control or application extension; false when the file ends inside it.
bool ReadExtension(Walker& in, unsigned char label, GifIndex& index, GifIndex::Frame& next) {
    if (label == 0xF9) {
        // The fields are in the first sub-block; a writer may make it longer or add more,
        // and only the sizes say where the next block starts.
        unsigned char c[255];
        const int size = ReadSubBlock(in, c);
        if (size <= 0)
            return size == 0;
        if (size >= 4) {
            next.disposal = GifDisposal((c[0] >> 2) & 7);
            next.delayMs = Le16(c + 1) * 10;
            next.transparent = (c[0] & 1) ? c[3] : -1;
        }
    } else if (label == 0xFF) {
        // The application's name in the first sub-block, 11 bytes as written but read by
        // its size as the control block is; NETSCAPE2.0's next sub-block holds 3 bytes,
        // 1 and the loop count.
        unsigned char a[255];
        const int size = ReadSubBlock(in, a);
        if (size <= 0)
            return size == 0;
        static constexpr unsigned char kNetscape[] = "NETSCAPE2.0";
        if (size == 11 && std::equal(a, a + 11, kNetscape)) {
            const int loop = ReadSubBlock(in, a);
            if (loop <= 0)
                return loop == 0;
            if (loop == 3 && a[0] == 1)
                index.loopCount = Le16(a + 1);
        }
    }
    return in.SkipBlocks();
}

} // namespace

Disposal GifDisposal(int method) {
    switch (method) {
    case 2:
        return Disposal::Background;
    case 3:
        return Disposal::Previous;
    default:
        return Disposal::Leave; // 0 (none said) and 1 (leave) as browsers take them
    }
}

std::optional<std::uint64_t> GifIndex::WholeLength() const {
    std::size_t whole = frames.size();
    if (whole > 0 && !frames.back().whole)
        --whole;
    if (whole == 0 || (trailer && whole == frames.size()))
        return std::nullopt;
    return frames[whole - 1].end;
}

GifIndex IndexGif(ByteReader& reader) {
    GifIndex index;
    Walker in(reader);
    unsigned char head[13];
    if (!in.Read(head, sizeof head))
        return index;
    index.width = Le16(head + 6);
    index.height = Le16(head + 8);
    index.head.assign(head + 6, head + 13);
    if (head[10] & 0x80) {
        const std::size_t size = 3u << ((head[10] & 7) + 1);
        index.head.resize(7 + size);
        if (!in.Read(index.head.data() + 7, size)) {
            index.head.resize(7);
            return index;
        }
    }
    GifIndex::Frame next;
    for (unsigned char kind = 0; in.Read(&kind, 1);) {
        if (kind == 0x2C) {
            GifIndex::Frame f = next;
            next = {};
            if (!ReadFrame(in, f))
                break;
            index.frames.push_back(f);
            if (!f.whole)
                break;
            continue;
        }
        unsigned char label = 0;
        index.trailer = kind == 0x3B;
        if (kind != 0x21 || !in.Read(&label, 1) || !ReadExtension(in, label, index, next))
            break; // the trailer, what no GIF holds, or the file's end
    }
    return index;
}

} // namespace zorvane
