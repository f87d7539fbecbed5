#include "CountedPixels.h"

#include "PixelWalk.h"
#include "Smoothing.h"
#include "Threads.h"

#include <algorithm>
#include <bit>
#include <cstring>
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

// The pixels of a block of 16 that are not white, bit i for pixel i.
inline uint32_t notWhite(const uint32_t* p)
{
    walk::Lanes v[walk::kBlock / 4];
    std::memcpy(v, p, sizeof v);
    const walk::Lanes all = v[0] & v[1] & v[2] & v[3];
    if (((all[0] & all[1] & all[2] & all[3]) & 0x00FFFFFFu) == 0x00FFFFFFu)
        return 0;
    const walk::SignedLanes bit = {1, 2, 4, 8};
    uint32_t mask = 0;
    for (int j = 0; j < walk::kBlock / 4; ++j) {
        const walk::SignedLanes hit = ((v[j] & 0x00FFFFFFu) != 0x00FFFFFFu) & bit;
        mask |= static_cast<uint32_t>(hit[0] | hit[1] | hit[2] | hit[3]) << (4 * j);
    }
    return mask;
}
inline uint32_t notWhite(const walk::Rgbx32Row& row, int64_t x) { return notWhite(row.p + x); }
inline uint32_t notWhite(const walk::Bgrx32Row& row, int64_t x) { return notWhite(row.p + x); }
inline uint32_t notWhite(const walk::Bgr24Row& row, int64_t x)
{
    return walk::allBytesWhite(row.p + 3 * x) ? 0 : 0xFFFFu;
}
inline uint32_t notWhite(const walk::Rgb24Row& row, int64_t x)
{
    return walk::allBytesWhite(row.p + 3 * x) ? 0 : 0xFFFFu;
}

// The rule of one of the settings that share a read: ink or darkness. It
// stays where it is made, as the ink weight refers to its model.
struct SharedRule {
    std::optional<InkModel> model;
    std::optional<walk::InkWeight> ink;
    std::optional<walk::DarknessWeight> dark;
    std::vector<CountedPixel>* out = nullptr; // null: read alone

    int32_t weight(int32_t r, int32_t g, int32_t b) const { return ink ? ink->weight(r, g, b) : dark->weight(r, g, b); }
};

// Each rule's counted pixels of a row. On white paper, with nothing outside
// the picture counted, a pixel counts where it is not white and its weight
// is not -1: a white pixel weighs -1 by either rule (it is the paper, or
// lighter than any threshold of 1 or more), and each rule's block test only
// passes over pixels that weigh -1. So the white pixels are passed over once
// for all rules, and each of the others is weighed by each rule.
template <class Row>
void countedOfRowForEach(const Row& row, const std::vector<SharedRule>& rules, int64_t xa, int64_t xb, int64_t r)
{
    const auto pixel = [&](int64_t x) {
        const walk::Rgb c = row.at(x);
        if (c.r == 255 && c.g == 255 && c.b == 255)
            return;
        for (const SharedRule& rule : rules)
            if (rule.out)
                if (const int32_t w = rule.weight(c.r, c.g, c.b); w >= 0)
                    rule.out->push_back({static_cast<int32_t>(x), static_cast<int32_t>(r), w});
    };
    int64_t x = xa;
    for (; x + walk::kBlock <= xb; x += walk::kBlock)
        for (uint32_t m = notWhite(row, x); m != 0; m &= m - 1)
            pixel(x + std::countr_zero(m));
    for (; x < xb; ++x)
        pixel(x);
}

} // namespace

std::vector<std::vector<CountedPixel>>
countedPixelsOfEach(const PixelView& picture, const std::vector<ScanSettings>& settings, const CountedArea& area)
{
    std::vector<std::vector<CountedPixel>> out(settings.size());
    if (area.columns <= 0 || area.rows <= 0 || settings.empty())
        return out;
    std::vector<SharedRule> rules(settings.size());
    for (size_t i = 0; i < settings.size(); ++i) {
        const ScanSettings& s = settings[i];
        SharedRule& rule = rules[i];
        rule.out = &out[i];
        if (s.Ink.On) {
            rule.model.emplace(s.Ink);
            rule.ink.emplace(*rule.model, s.Ink, s.Threshold);
        } else {
            rule.dark.emplace(s.Threshold);
        }
        const bool alone = s.Smooth > 0 || (rule.dark && rule.dark->outside() >= 0) ||
                           (rule.ink && (s.Ink.Paper & 0x00FFFFFFu) != 0x00FFFFFFu);
        if (alone || (rule.ink ? rule.ink->none() : rule.dark->none())) {
            out[i] = countedPixels(picture, s, area);
            rule.out = nullptr; // read alone
        }
    }
    const int64_t top = areaTop(picture.height, settings.front());
    const int64_t xa = std::max<int64_t>(area.left, 0), xb = std::min<int64_t>(area.left + area.columns, picture.width);
    const int64_t ra = std::max<int64_t>(top, 0), rb = std::min<int64_t>(top + area.rows, picture.height);
    if (std::none_of(rules.begin(), rules.end(), [](const SharedRule& r) { return r.out; }) || xa >= xb)
        return out;
    walk::forEachHeldRow(picture, ra, rb, [&](const PixelView& held, int64_t r) {
        const auto row = static_cast<int32_t>(r);
        switch (held.layout) {
        case PixelLayout::Bgr24: countedOfRowForEach(walk::Bgr24Row{held.bgrRow(row)}, rules, xa, xb, r); return;
        case PixelLayout::Rgb24: countedOfRowForEach(walk::Rgb24Row{held.bgrRow(row)}, rules, xa, xb, r); return;
        case PixelLayout::Bgrx32: countedOfRowForEach(walk::Bgrx32Row{held.row(row)}, rules, xa, xb, r); return;
        case PixelLayout::Rgbx32: countedOfRowForEach(walk::Rgbx32Row{held.row(row)}, rules, xa, xb, r); return;
        }
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
