#pragma once
// A non-owning view of a picture's pixels, rows top to bottom.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace plotrun {

// How the pixels of a view are laid out in memory.
enum class PixelLayout : uint8_t {
    // Four bytes a pixel: red in the low byte, green in the next and blue in
    // the third; the top byte is ignored.
    Rgbx32,
    // Four bytes a pixel, blue in the low byte and red in the third: the way
    // Qt holds an opaque picture, scanned without a conversion pass.
    Bgrx32,
    // Three bytes a pixel, blue first: the rows of an uncompressed 24-bit
    // BMP file, read where they lie.
    Bgr24,
    // Three bytes a pixel, red first: an array of H x W x 3 bytes handed
    // over from Python, read where it lies. Held as Bgr24 is.
    Rgb24,
};

struct PixelView;

// Rows that are read while they are scanned, a few at a time, rather than
// held all at once: a large picture file is then read once, at the speed of
// reading, into a buffer that stays in the processor's cache. Several threads
// may read at once, each into its own buffer.
class RowFeed {
public:
    virtual ~RowFeed() = default;
    // Reads rows from `first` on (at least that one, none from `end` on) into
    // `buffer`, and returns a view that holds them. Throws std::runtime_error
    // when they cannot be read.
    virtual PixelView rows(int32_t first, int32_t end, std::vector<uint8_t>& buffer) const = 0;
};

// A position outside the picture answers kOutsidePixel, which is no colour at
// all; inside, a colour is red | green << 8 | blue << 16.
struct PixelView {
    int32_t width = 0;
    int32_t height = 0;
    // Rgbx32 and Bgrx32: the step from one row to the next in pixels, and the
    // first held row.
    std::ptrdiff_t stride = 0;
    const uint32_t* pixels = nullptr;
    PixelLayout layout = PixelLayout::Rgbx32;
    // Bgr24 and Rgb24: the first held row, and the step from one row to the next in
    // bytes, which is negative where the rows lie bottom up.
    const uint8_t* bytes = nullptr;
    std::ptrdiff_t rowBytes = 0;
    // A view may hold only some of the picture's rows, those from firstRow
    // up to endRow (not included; -1: to the last), with `pixels` or `bytes`
    // at the first of them. A scan reads only the rows of its area.
    int32_t firstRow = 0;
    int32_t endRow = -1;
    // Where the rows come from when they are read while they are scanned; a
    // view with a feed holds no rows of its own (its endRow is its firstRow),
    // so colourAt answers kOutsidePixel everywhere: only the scan passes,
    // which ask the feed, can read it.
    const RowFeed* feed = nullptr;

    static constexpr uint32_t kOutsidePixel = 0xFFFFFFFFu;
    static constexpr uint32_t kColourMask = 0x00FFFFFFu;

    static uint32_t swapRedBlue(uint32_t c) { return (c & 0xFF00FF00u) | (c & 0xFFu) << 16 | ((c >> 16) & 0xFFu); }

    const uint32_t* row(int32_t r) const { return pixels + (r - firstRow) * stride; }
    const uint8_t* bgrRow(int32_t r) const { return bytes + (r - firstRow) * rowBytes; }
    bool holds(int64_t r) const { return r >= firstRow && (endRow < 0 || r < endRow); }

    // The colour of one pixel as a 24-bit value, or kOutsidePixel.
    uint32_t colourAt(int64_t x, int64_t r) const
    {
        if (x < 0 || r < 0 || x >= width || r >= height)
            return kOutsidePixel;
        if (!holds(r)) // not held; no scan asks
            return kOutsidePixel;
        if (layout == PixelLayout::Bgr24) {
            const uint8_t* p = bgrRow(static_cast<int32_t>(r)) + 3 * x;
            return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
        }
        if (layout == PixelLayout::Rgb24) {
            const uint8_t* p = bgrRow(static_cast<int32_t>(r)) + 3 * x;
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        }
        const uint32_t c = row(static_cast<int32_t>(r))[x];
        if (layout == PixelLayout::Bgrx32)
            return swapRedBlue(c) & kColourMask;
        return c & kColourMask;
    }
};

// The rows from `first` up to `end` (not included) of the picture as a view
// that holds them all. A feed hands out as many rows at a time as suit it;
// they are copied one after the other into `buffer`. A picture held whole is
// its own view. Throws as the feed does.
inline PixelView heldRows(const PixelView& picture, int32_t first, int32_t end, std::vector<uint8_t>& buffer)
{
    if (!picture.feed)
        return picture;
    PixelView all = picture;
    all.feed = nullptr;
    all.firstRow = first;
    all.endRow = std::max(first, end);
    size_t rowSize = 0;
    std::vector<uint8_t> some;
    for (int32_t r = first; r < end;) {
        const PixelView held = picture.feed->rows(r, end, some);
        const bool threeBytes = held.layout == PixelLayout::Bgr24 || held.layout == PixelLayout::Rgb24;
        if (r == first) {
            rowSize = size_t(held.width) * (threeBytes ? 3 : 4);
            buffer.resize(rowSize * size_t(end - first));
            all.layout = held.layout;
            all.bytes = buffer.data();
            all.rowBytes = std::ptrdiff_t(rowSize);
            all.pixels = reinterpret_cast<const uint32_t*>(buffer.data());
            all.stride = held.width;
        }
        if (!held.holds(r))
            throw std::runtime_error("the picture's rows were not handed out in order");
        for (; r < end && held.holds(r); ++r)
            std::copy_n(threeBytes ? held.bgrRow(r) : reinterpret_cast<const uint8_t*>(held.row(r)), rowSize,
                        buffer.data() + size_t(r - first) * rowSize);
    }
    return all;
}

} // namespace plotrun
