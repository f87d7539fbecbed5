#pragma once
// The walk over the pixels that a scan counts, with their weights, for the
// strip loop and the counted pixels alike: both call forEachCountedPixel, so
// they cannot disagree about a pixel. Inside the engine only.

#include "InkModel.h"
#include "PixelView.h"
#include "ScanSettings.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace plotrun::walk {

inline constexpr uint32_t kWhite = 0x00FFFFFFu;

inline uint32_t channelSum(uint32_t c) { return (c & 0xFFu) + ((c >> 8) & 0xFFu) + ((c >> 16) & 0xFFu); }

// ((255 - r) + (255 - g) + (255 - b)) div 3
inline int32_t darknessOfSum(uint32_t sum) { return static_cast<int32_t>(765u - sum) / 3; }

// Pixels are tested in blocks: most of a chart is white paper, and a block
// without a candidate is passed over in a few vector instructions.
inline constexpr int kBlock = 16;
using Lanes = uint32_t __attribute__((vector_size(16)));
using SignedLanes = int32_t __attribute__((vector_size(16)));
// Sixteen 24-bit pixels take 48 bytes, three of these.
using Words = uint64_t __attribute__((vector_size(16)));

inline Words wordsAt(const uint8_t* p)
{
    Words w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// The dark pixels of a block of 16: bit i of the answer is set when pixel i
// is dark, and sums[i] then holds its r + g + b. Most of a chart is white
// paper, and a white block is passed over in a few vector instructions.
[[gnu::always_inline]] inline uint32_t darkInBlock(const uint32_t* p, int32_t limit, uint32_t (&sums)[kBlock])
{
    Lanes v[kBlock / 4];
    std::memcpy(v, p, sizeof v);
    const Lanes all = v[0] & v[1] & v[2] & v[3];
    if (((all[0] & all[1] & all[2] & all[3]) & 0x00FFFFFFu) == 0x00FFFFFFu)
        return 0; // all white
    const SignedLanes bit = {1, 2, 4, 8};
    uint32_t mask = 0;
    for (int j = 0; j < kBlock / 4; ++j) {
        const Lanes& c = v[j];
        const Lanes sum = (c & 0xFFu) + ((c >> 8) & 0xFFu) + ((c >> 16) & 0xFFu);
        std::memcpy(sums + 4 * j, &sum, sizeof sum);
        const SignedLanes hit = (reinterpret_cast<const SignedLanes&>(sum) <= limit) & bit;
        mask |= static_cast<uint32_t>(hit[0] | hit[1] | hit[2] | hit[3]) << (4 * j);
    }
    return mask;
}

// The ink model's paper and line in vector lanes, for the block test.
struct InkLanes {
    SignedLanes pr, pg, pb, dr, dg, db;
    Lanes paper;
    int32_t least; // the smallest projection that reaches the threshold

    InkLanes(const InkSettings& s, int32_t leastProjection) : least(leastProjection)
    {
        const auto lanes = [](int32_t v) { return SignedLanes{v, v, v, v}; };
        pr = lanes(InkModel::red(s.Paper));
        pg = lanes(InkModel::green(s.Paper));
        pb = lanes(InkModel::blue(s.Paper));
        dr = lanes(InkModel::red(s.Ink)) - pr;
        dg = lanes(InkModel::green(s.Ink)) - pg;
        db = lanes(InkModel::blue(s.Ink)) - pb;
        const uint32_t pp = s.Paper & 0x00FFFFFFu;
        paper = Lanes{pp, pp, pp, pp};
        // Sixteen paper pixels as a 24-bit row holds them, blue first.
        uint8_t row[48];
        for (int i = 0; i < 16; ++i) {
            row[3 * i] = uint8_t(pp >> 16);
            row[3 * i + 1] = uint8_t(pp >> 8);
            row[3 * i + 2] = uint8_t(pp);
        }
        std::memcpy(paper24, row, sizeof row);
    }
    Words paper24[3];
};

// True when the 48 bytes at p equal the pattern.
inline bool allBytesAre(const uint8_t* p, const Words* pattern)
{
    const Words other = (wordsAt(p) ^ pattern[0]) | (wordsAt(p + 16) ^ pattern[1]) | (wordsAt(p + 32) ^ pattern[2]);
    return (other[0] | other[1]) == 0;
}

// True when some pixel of the block may hold enough ink: it is not the paper
// and its projection onto the line from paper to ink reaches the least.
[[gnu::always_inline]] inline bool mayHoldInk(const uint32_t* p, const InkLanes& k)
{
    Lanes v[kBlock / 4];
    std::memcpy(v, p, sizeof v);
    const Lanes other = ((v[0] ^ k.paper) | (v[1] ^ k.paper) | (v[2] ^ k.paper) | (v[3] ^ k.paper)) & 0x00FFFFFFu;
    if ((other[0] | other[1] | other[2] | other[3]) == 0)
        return false; // all paper
    SignedLanes hit = {0, 0, 0, 0};
    for (const Lanes& c : v) {
        const SignedLanes s = reinterpret_cast<const SignedLanes&>(c);
        const SignedLanes proj =
            ((s & 0xFF) - k.pr) * k.dr + (((s >> 8) & 0xFF) - k.pg) * k.dg + (((s >> 16) & 0xFF) - k.pb) * k.db;
        hit |= proj >= k.least;
    }
    return (hit[0] | hit[1] | hit[2] | hit[3]) != 0;
}

// The rows that a pass walks and the test that counts a pixel.
struct Frame {
    int64_t top = 0;  // first row, counted from the top
    int64_t rows = 0; // how many
    int32_t threshold = 0;
    const InkModel* ink = nullptr; // ink mode when set
    InkSettings inkSettings;
};

// The frame of the rows of `area` from `top`, with the ink model, when the
// settings ask for ink, made in `ink`.
inline Frame frameOfRows(int64_t top, int64_t rows, const ScanSettings& s, std::optional<InkModel>& ink)
{
    Frame f;
    f.top = top;
    f.rows = rows;
    f.threshold = s.Threshold;
    if (s.Ink.On) {
        ink.emplace(s.Ink);
        f.ink = &*ink;
        f.inkSettings = s.Ink;
    }
    return f;
}

// Calls each(view, r) for the rows [ra, rb) of a picture in turn, with a view
// that holds row r where the picture has it: the picture itself, or the rows
// that its feed has read.
template <class Each>
void forEachHeldRow(const PixelView& pic, int64_t ra, int64_t rb, Each&& each)
{
    if (!pic.feed) {
        for (int64_t r = ra; r < rb; ++r)
            each(pic, r);
        return;
    }
    PixelView outside; // rows above or below the picture: no pixels at all
    outside.width = pic.width;
    outside.height = pic.height;
    outside.endRow = 0;
    const int64_t first = std::clamp<int64_t>(ra, 0, pic.height), end = std::clamp<int64_t>(rb, first, pic.height);
    int64_t r = ra;
    for (; r < first; ++r)
        each(outside, r);
    std::vector<uint8_t> buffer; // a few rows, which stay in cache while they are scanned
    while (r < end) {
        const PixelView held = pic.feed->rows(static_cast<int32_t>(r), static_cast<int32_t>(end), buffer);
        for (; r < end && held.holds(r); ++r)
            each(held, r);
    }
    for (; r < rb; ++r)
        each(outside, r);
}

// The dark pixels of one row of 32-bit pixels, columns [xa, xb), left to right.
template <class Visit>
inline void darkPixelsOfRow(const uint32_t* row, int64_t xa, int64_t xb, int64_t r, int32_t limit, Visit& visit)
{
    int64_t x = xa;
    uint32_t sums[kBlock];
    for (; x + kBlock <= xb; x += kBlock) {
        // Left to right through the dark pixels of the block.
        for (uint32_t dark = darkInBlock(row + x, limit, sums); dark != 0; dark &= dark - 1) {
            const int i = std::countr_zero(dark);
            visit(x + i, r, darknessOfSum(sums[i]));
        }
    }
    for (; x < xb; ++x) {
        const uint32_t s = channelSum(row[x]);
        if (static_cast<int32_t>(s) <= limit)
            visit(x, r, darknessOfSum(s));
    }
}

inline bool allBytesWhite(const uint8_t* p)
{
    const Words all = wordsAt(p) & wordsAt(p + 16) & wordsAt(p + 32);
    return (all[0] & all[1]) == ~uint64_t(0);
}

// The same for a row of 24-bit pixels, blue first.
template <class Visit>
inline void darkPixelsOfRow(const uint8_t* row, int64_t xa, int64_t xb, int64_t r, int32_t limit, Visit& visit)
{
    const auto pixel = [&](int64_t x) {
        const uint8_t* p = row + 3 * x;
        const uint32_t s = uint32_t(p[0]) + p[1] + p[2];
        if (static_cast<int32_t>(s) <= limit)
            visit(x, r, darknessOfSum(s));
    };
    int64_t x = xa;
    for (; x + kBlock <= xb; x += kBlock) {
        if (allBytesWhite(row + 3 * x))
            continue;
        for (int i = 0; i < kBlock; ++i)
            pixel(x + i);
    }
    for (; x < xb; ++x)
        pixel(x);
}

// Calls visit(x, r, D) for every dark pixel of the columns [colBegin, colEnd)
// of the area, row by row from the top and left to right within a row. That
// is the order of the strip loop for each strip, so every sum is rounded the
// same way as if the strips were walked one after the other.
template <class Visit>
void forEachDarkPixel(const PixelView& pic, const Frame& f, int64_t colBegin, int64_t colEnd, Visit&& visit)
{
    const int64_t rowEnd = f.top + f.rows;
    if (f.threshold >= 1) {
        // Outside the picture nothing is dark, and white never is. For a
        // threshold T >= 1 a pixel is dark exactly when r + g + b <= 765 - 3T,
        // which lets whole blocks of light pixels be passed over at once.
        const int32_t limit = 765 - 3 * std::min(f.threshold, 256);
        if (limit < 0)
            return;
        const int64_t xa = std::max<int64_t>(colBegin, 0);
        const int64_t xb = std::min<int64_t>(colEnd, pic.width);
        const int64_t ra = std::max<int64_t>(f.top, 0);
        const int64_t rb = std::min<int64_t>(rowEnd, pic.height);
        if (xa >= xb)
            return;
        forEachHeldRow(pic, ra, rb, [&](const PixelView& held, int64_t r) {
            if (held.layout == PixelLayout::Bgr24)
                darkPixelsOfRow(held.bgrRow(static_cast<int32_t>(r)), xa, xb, r, limit, visit);
            else
                darkPixelsOfRow(held.row(static_cast<int32_t>(r)), xa, xb, r, limit, visit);
        });
        return;
    }
    // A threshold of 0 or below makes every pixel but pure white dark, those
    // outside the picture included (their darkness is 0). Rare, so plain.
    forEachHeldRow(pic, f.top, rowEnd, [&](const PixelView& held, int64_t r) {
        for (int64_t x = colBegin; x < colEnd; ++x) {
            const uint32_t c = held.colourAt(x, r);
            if (c == kWhite)
                continue;
            const int32_t d = darknessOfSum(channelSum(c));
            if (d >= f.threshold)
                visit(x, r, d);
        }
    });
}

// Ink mode: calls visit(x, r, W) for every pixel that holds enough ink and
// no other colour, in the same order as forEachDarkPixel.
template <class Visit>
void forEachInkPixel(const PixelView& pic, const Frame& f, int64_t colBegin, int64_t colEnd, Visit&& visit)
{
    const InkModel& ink = *f.ink;
    if (!ink.usable())
        return;
    const int64_t rowEnd = f.top + f.rows;
    if (f.threshold >= 1) {
        // Outside the picture there is no colour, and the paper's projection
        // is 0. A weight of T >= 1 needs a projection of at least
        // projectionFor(T), which whole blocks are tested for at once.
        if (f.threshold > 255)
            return;
        const int64_t least = ink.projectionFor(f.threshold);
        const InkLanes lanes(f.inkSettings, static_cast<int32_t>(least));
        // The same test on pixels with red and blue in each other's place.
        InkSettings swapped = f.inkSettings;
        swapped.Ink = PixelView::swapRedBlue(swapped.Ink);
        swapped.Paper = PixelView::swapRedBlue(swapped.Paper);
        const InkLanes swappedLanes(swapped, static_cast<int32_t>(least));
        const int64_t xa = std::max<int64_t>(colBegin, 0);
        const int64_t xb = std::min<int64_t>(colEnd, pic.width);
        const int64_t ra = std::max<int64_t>(f.top, 0);
        const int64_t rb = std::min<int64_t>(rowEnd, pic.height);
        if (xa >= xb)
            return;
        const auto visitIfInk = [&](int64_t x, int64_t r, uint32_t c) {
            if (ink.projection(c & kWhite) < least)
                return;
            const int32_t w = ink.weight(c);
            if (w >= f.threshold)
                visit(x, r, w);
        };
        const Words* paper24 = lanes.paper24;
        forEachHeldRow(pic, ra, rb, [&](const PixelView& held, int64_t r) {
            int64_t x = xa;
            if (held.layout == PixelLayout::Bgr24) {
                const uint8_t* row = held.bgrRow(static_cast<int32_t>(r));
                const auto pixel = [&](int64_t x) {
                    const uint8_t* p = row + 3 * x;
                    visitIfInk(x, r, uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16);
                };
                for (; x + kBlock <= xb; x += kBlock) {
                    if (allBytesAre(row + 3 * x, paper24))
                        continue;
                    for (int i = 0; i < kBlock; ++i)
                        pixel(x + i);
                }
                for (; x < xb; ++x)
                    pixel(x);
                return;
            }
            const uint32_t* row = held.row(static_cast<int32_t>(r));
            if (held.layout == PixelLayout::Bgrx32) {
                for (; x + kBlock <= xb; x += kBlock) {
                    const uint32_t* p = row + x;
                    if (!mayHoldInk(p, swappedLanes))
                        continue;
                    for (int i = 0; i < kBlock; ++i)
                        visitIfInk(x + i, r, PixelView::swapRedBlue(p[i]));
                }
                for (; x < xb; ++x)
                    visitIfInk(x, r, PixelView::swapRedBlue(row[x]));
                return;
            }
            for (; x + kBlock <= xb; x += kBlock) {
                const uint32_t* p = row + x;
                if (!mayHoldInk(p, lanes))
                    continue;
                for (int i = 0; i < kBlock; ++i)
                    visitIfInk(x + i, r, p[i]);
            }
            for (; x < xb; ++x)
                visitIfInk(x, r, row[x]);
        });
        return;
    }
    // A threshold of 0 or below counts every pixel near the line but the
    // paper itself; outside the picture there is no colour to count. Rare,
    // so plain.
    forEachHeldRow(pic, f.top, rowEnd, [&](const PixelView& held, int64_t r) {
        for (int64_t x = colBegin; x < colEnd; ++x) {
            const uint32_t c = held.colourAt(x, r);
            if (c == PixelView::kOutsidePixel)
                continue;
            const int32_t w = ink.weight(c);
            if (w >= 0 && w >= f.threshold)
                visit(x, r, w);
        }
    });
}

// The pixels that enter the sums, with their weight: darkness, or ink.
template <class Visit>
void forEachCountedPixel(const PixelView& pic, const Frame& f, int64_t colBegin, int64_t colEnd, Visit&& visit)
{
    if (f.ink)
        forEachInkPixel(pic, f, colBegin, colEnd, visit);
    else
        forEachDarkPixel(pic, f, colBegin, colEnd, visit);
}

// A thread reads a share of a band or an area of at least this many pixels.
inline constexpr int64_t kPixelsPerShare = int64_t(1) << 21;

} // namespace plotrun::walk
