#include "CountedPixels.h"

#include "PixelWalk.h"
#include "Smoothing.h"
#include "Threads.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace plotrun {

using walk::forEachCountedPixel;
using walk::Frame;
using walk::frameOfRows;
using walk::kPixelsPerShare;

void countedMask(const PixelView& picture, const ScanSettings& settings, const CountedArea& area, int64_t rowBegin,
                 int64_t rowEnd, uint8_t* mask)
{
    rowBegin = std::max<int64_t>(rowBegin, 0);
    rowEnd = std::min<int64_t>(rowEnd, area.rows);
    if (rowBegin >= rowEnd || area.columns <= 0)
        return;
    std::fill(mask, mask + (rowEnd - rowBegin) * area.columns, uint8_t(0));
    std::optional<InkModel> ink;
    const Frame f = frameOfRows(areaTop(picture.height, settings) + rowBegin, rowEnd - rowBegin, settings, ink);
    // Only these rows are smoothed: the views ask for a few at a time.
    std::optional<SmoothedPicture> smoothed;
    if (settings.Smooth > 0)
        smoothed.emplace(picture, settings.Smooth, f.top, f.rows, area.left, area.columns);
    forEachCountedPixel(smoothed ? smoothed->view() : picture, f, area.left, area.left + area.columns,
                        [&](int64_t x, int64_t r, int32_t) { mask[(r - f.top) * area.columns + (x - area.left)] = 1; });
}

std::vector<CountedPixel> countedPixels(const PixelView& picture, const ScanSettings& settings, const CountedArea& area)
{
    std::vector<CountedPixel> out;
    if (area.columns <= 0 || area.rows <= 0)
        return out;
    if (settings.Smooth > 0)
        return countedPixels(smoothedFrame(picture, settings, {area, areaTop(picture.height, settings)}).view(),
                             smoothedAlready(settings), area);
    std::optional<InkModel> ink;
    const Frame f = frameOfRows(areaTop(picture.height, settings), area.rows, settings, ink);
    forEachCountedPixel(picture, f, area.left, area.left + area.columns, [&](int64_t x, int64_t r, int32_t w) {
        out.push_back({static_cast<int32_t>(x), static_cast<int32_t>(r), w});
    });
    return out;
}

namespace {

// The runs and weights of the rows [f.top, f.top + f.rows) of the columns
// [colBegin, colEnd), into `out`, whose rowRun gets an entry for each of
// these rows and one beyond.
void collectRuns(const PixelView& picture, const Frame& f, int64_t colBegin, int64_t colEnd, CountedRuns& out)
{
    out.top = static_cast<int32_t>(f.top);
    out.rowRun.assign(static_cast<size_t>(f.rows + 1), 0);
    int64_t row = f.top - 1, next = std::numeric_limits<int64_t>::min();
    forEachCountedPixel(picture, f, colBegin, colEnd, [&](int64_t x, int64_t r, int32_t w) {
        out.weights.push_back(static_cast<uint8_t>(w));
        if (x == next && r == row) {
            ++out.runs.back().n;
            ++next;
            return;
        }
        for (; row < r; ++row)
            out.rowRun[size_t(row + 1 - f.top)] = out.runs.size();
        out.runs.push_back({static_cast<int32_t>(x), 1});
        next = x + 1;
    });
    for (; row < f.top + f.rows; ++row)
        out.rowRun[size_t(row + 1 - f.top)] = out.runs.size();
}

} // namespace

CountedRuns countedRuns(const PixelView& picture, const ScanSettings& settings, const CountedArea& area, int threads)
{
    CountedRuns out;
    if (area.columns <= 0 || area.rows <= 0)
        return out;
    if (settings.Smooth > 0)
        return countedRuns(smoothedFrame(picture, settings, {area, areaTop(picture.height, settings)}, threads).view(),
                           smoothedAlready(settings), area, threads);
    std::optional<InkModel> ink;
    const Frame f = frameOfRows(areaTop(picture.height, settings), area.rows, settings, ink);
    // A large area is read by a few threads, as the scan reads it, each a
    // run of its rows; their runs then follow one another.
    const int shares = static_cast<int>(std::clamp<int64_t>(
        std::min(area.columns * area.rows / kPixelsPerShare, area.rows), 1, threadsPerPicture(threads)));
    const int64_t per = (area.rows + shares - 1) / shares;
    std::vector<CountedRuns> parts(static_cast<size_t>(shares));
    runShares(shares, [&](int t) {
        Frame g = f;
        g.top = f.top + t * per;
        g.rows = std::clamp<int64_t>(area.rows - t * per, 0, per);
        collectRuns(picture, g, area.left, area.left + area.columns, parts[static_cast<size_t>(t)]);
    });
    out = std::move(parts[0]);
    for (size_t t = 1; t < parts.size(); ++t) {
        const size_t before = out.runs.size();
        out.rowRun.pop_back();
        for (const size_t k : parts[t].rowRun)
            out.rowRun.push_back(before + k);
        out.runs.insert(out.runs.end(), parts[t].runs.begin(), parts[t].runs.end());
        out.weights.insert(out.weights.end(), parts[t].weights.begin(), parts[t].weights.end());
        parts[t] = {};
    }
    return out;
}

} // namespace plotrun
