#pragma once
// A slow, literal column scan: one pixel at a time, strip after strip, every
// sum rounded to a double after each addition, each pixel smoothed on its own
// when asked. The engine must equal it.

#include "ColumnScan.h"
#include "PixelView.h"
#include "ScanSettings.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace plotrun::test {

struct ReferenceResult {
    std::vector<ResultRow> rows;
    std::vector<int> progress;
    int32_t scanWidth = 0; // after a resize by the width check
    // Every pixel that entered the sums, as (column, row from the top), in
    // the order they were read.
    std::vector<std::pair<int64_t, int64_t>> counted;
};

// The ink weight of one colour, or -1 when it never counts.
int inkWeight(uint32_t colour, const InkSettings& ink);

// The colour the scan weighs at (x, r): with a smoothing radius, the
// rounded mean of each channel over the disc, read literally.
uint32_t smoothedColour(const PixelView& picture, int64_t x, int64_t r, int32_t radius);

// The settings must pass the width and height checks.
ReferenceResult referenceScan(const PixelView& picture, ScanSettings settings, bool wantSpread);

// The scan of a kind other than the axes kind, literally: every pixel of the
// picture, block of rows after block, mapped into the chart's frame in
// doubles by the fitted map; the sums of a block in extended precision, the
// blocks' sums added in order. Without following and line removal.
ReferenceResult referenceChartScan(const PixelView& picture, ScanSettings settings, bool wantSpread);

// A picture drawn in code, pixels held as 0x00BBGGRR.
struct TestPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;

    TestPicture(int32_t w, int32_t h, uint32_t fill = 0xFFFFFF) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    void set(int32_t x, int32_t row, uint32_t colour) { pixels[size_t(row) * width + x] = colour; }
    static uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }
    PixelView view() const { return {width, height, width, pixels.data()}; }
};

} // namespace plotrun::test
