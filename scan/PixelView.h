#pragma once
// A non-owning view of a picture's 32-bit pixels, rows top to bottom.

#include <cstddef>
#include <cstdint>

namespace plotrun {

// Each pixel holds red in the low byte, green in the next and blue in the
// third; the top byte is ignored. A position outside the picture answers
// kOutsidePixel, which is no colour at all.
struct PixelView {
    int32_t width = 0;
    int32_t height = 0;
    std::ptrdiff_t stride = 0; // in pixels, from one row to the next
    const uint32_t* pixels = nullptr;
    // A view may hold only some of the picture's rows, those from firstRow
    // up to endRow (not included; -1: to the last), with `pixels` at the first
    // of them. A scan reads only the rows of its area.
    int32_t firstRow = 0;
    int32_t endRow = -1;

    static constexpr uint32_t kOutsidePixel = 0xFFFFFFFFu;
    static constexpr uint32_t kColourMask = 0x00FFFFFFu;

    const uint32_t* row(int32_t r) const { return pixels + (r - firstRow) * stride; }

    // The colour of one pixel as a 24-bit value, or kOutsidePixel.
    uint32_t colourAt(int64_t x, int64_t r) const
    {
        if (x < 0 || r < 0 || x >= width || r >= height)
            return kOutsidePixel;
        if (r < firstRow || (endRow >= 0 && r >= endRow)) // not held; no scan asks
            return kOutsidePixel;
        return row(static_cast<int32_t>(r))[x] & kColourMask;
    }
};

} // namespace plotrun
