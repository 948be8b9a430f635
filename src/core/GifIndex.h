#pragma once

#include "core/Animation.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zorvane {

// A file read from where it stands; both calls return less than asked at its end.
class ByteReader {
  public:
    virtual ~ByteReader() = default;
    virtual std::size_t Read(unsigned char* out, std::size_t n) = 0;
    virtual std::uint64_t Skip(std::uint64_t n) = 0;
};

// Where each frame of a GIF file lies, and what its control block says, found by walking
// the file's blocks without decoding any pixels.
struct GifIndex {
    int width = 0, height = 0;       // the logical screen
    int loopCount = 0;               // NETSCAPE2.0's; 0 when absent
    std::vector<unsigned char> head; // the screen descriptor and global colour table
    struct Frame {
        std::uint64_t begin = 0, end = 0; // the image descriptor to the end of its data
        int left = 0, top = 0, width = 0, height = 0;
        int delayMs = 0;
        Disposal disposal = Disposal::Leave;
        int transparent = -1; // colour index, or -1
        bool whole = true;    // false for a frame the file's end cuts off
        bool colours = false; // it has a colour table of its own
    };
    std::vector<Frame> frames;
    bool trailer = false; // the file's blocks end as a GIF's should

    // A frame with neither its own colour table nor the file's has no colours to show.
    bool HasColours(const Frame& f) const {
        return f.colours || (head.size() > 4 && head[4] & 0x80);
    }

    // The bytes up to the end of the last whole frame, when the file ends before its
    // trailer: a decoder given those and a trailer shows the frames that are there.
    std::optional<std::uint64_t> WholeLength() const;
};

// A graphic control block's disposal method as the program takes it.
Disposal GifDisposal(int method);

// Walks the blocks of a GIF, `in` standing at its first byte.
GifIndex IndexGif(ByteReader& in);

} // namespace zorvane
