#pragma once
// The walk over the pixels that a scan counts, with their weights, for the
// strip loop and the counted pixels alike: both call forEachCountedPixel, so
// they cannot disagree about a pixel. Inside the engine only.
//
// Whether a pixel counts, and with what weight, is written once for each
// mode (DarknessWeight, InkWeight: weight(r, g, b), -1 for a pixel that does
// not count; 0 is a weight that counts, below a threshold of 1). A row loader
// for each pixel layout hands it red, green and blue. Next to each rule sits
// its block test, which may only say that a block of 16 holds no pixel that
// counts: most of a chart is paper, passed over in a few vector instructions.

#include "InkModel.h"
#include "PixelView.h"
#include "ScanSettings.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace plotrun::walk {

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

// The pixels of a block of 16 whose r + g + b is at most `limit`: bit i of
// the answer for pixel i. A white block is passed over at once.
[[gnu::always_inline]] inline uint32_t darkInBlock(const uint32_t* p, int32_t limit)
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
        const SignedLanes hit = (reinterpret_cast<const SignedLanes&>(sum) <= limit) & bit;
        mask |= static_cast<uint32_t>(hit[0] | hit[1] | hit[2] | hit[3]) << (4 * j);
    }
    return mask;
}

inline bool allBytesWhite(const uint8_t* p)
{
    const Words all = wordsAt(p) & wordsAt(p + 16) & wordsAt(p + 32);
    return (all[0] & all[1]) == ~uint64_t(0);
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

// The pixels of the block that may hold enough ink: those whose projection
// onto the line from paper to ink reaches the least, bit i for pixel i. A
// block of paper is passed over at once.
[[gnu::always_inline]] inline uint32_t inkInBlock(const uint32_t* p, const InkLanes& k)
{
    Lanes v[kBlock / 4];
    std::memcpy(v, p, sizeof v);
    const Lanes other = ((v[0] ^ k.paper) | (v[1] ^ k.paper) | (v[2] ^ k.paper) | (v[3] ^ k.paper)) & 0x00FFFFFFu;
    if ((other[0] | other[1] | other[2] | other[3]) == 0)
        return 0; // all paper
    const SignedLanes bit = {1, 2, 4, 8};
    uint32_t mask = 0;
    for (int j = 0; j < kBlock / 4; ++j) {
        const SignedLanes s = reinterpret_cast<const SignedLanes&>(v[j]);
        const SignedLanes proj =
            ((s & 0xFF) - k.pr) * k.dr + (((s >> 8) & 0xFF) - k.pg) * k.dg + (((s >> 16) & 0xFF) - k.pb) * k.db;
        const SignedLanes hit = (proj >= k.least) & bit;
        mask |= static_cast<uint32_t>(hit[0] | hit[1] | hit[2] | hit[3]) << (4 * j);
    }
    return mask;
}

// The rows that a pass walks and the test that counts a pixel.
struct Frame {
    int64_t top = 0;  // first row, counted from the top
    int64_t rows = 0; // how many
    int32_t threshold = 0;
    const InkModel* ink = nullptr; // ink mode when set
    InkSettings inkSettings;
};

// The frame of `rows` rows from `top`; the ink model, when the settings ask
// for ink, is made in `ink`, which outlives the frame.
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

// A row of each pixel layout, which hands out a pixel's red, green and blue.
struct Rgb {
    int32_t r, g, b;
};
struct Rgbx32Row {
    const uint32_t* p;
    Rgb at(int64_t x) const
    {
        const uint32_t c = p[x];
        return {int32_t(c & 0xFFu), int32_t((c >> 8) & 0xFFu), int32_t((c >> 16) & 0xFFu)};
    }
};
struct Bgrx32Row {
    const uint32_t* p;
    Rgb at(int64_t x) const
    {
        const uint32_t c = p[x];
        return {int32_t((c >> 16) & 0xFFu), int32_t((c >> 8) & 0xFFu), int32_t(c & 0xFFu)};
    }
};
struct Bgr24Row {
    const uint8_t* p;
    Rgb at(int64_t x) const
    {
        const uint8_t* q = p + 3 * x;
        return {q[2], q[1], q[0]};
    }
};
struct Rgb24Row {
    const uint8_t* p;
    Rgb at(int64_t x) const
    {
        const uint8_t* q = p + 3 * x;
        return {q[0], q[1], q[2]};
    }
};

// Darkness, ((255 - r) + (255 - g) + (255 - b)) div 3, counts from the
// threshold up; white never counts. For a threshold T >= 1 that is exactly
// r + g + b <= 765 - 3T, which a block is tested for at once.
struct DarknessWeight {
    int32_t limit; // the largest r + g + b that counts
    bool outsideCounts;

    explicit DarknessWeight(int32_t threshold)
        : limit(threshold >= 1 ? 765 - 3 * std::min(threshold, 256) : 764), outsideCounts(threshold < 1)
    {
    }
    bool none() const { return limit < 0; }
    // Outside the picture there is no colour, which is no white either:
    // below a threshold of 1 it counts, with a darkness of 0.
    int32_t outside() const { return outsideCounts ? 0 : -1; }
    int32_t weight(int32_t r, int32_t g, int32_t b) const
    {
        const int32_t sum = r + g + b;
        return sum <= limit ? (765 - sum) / 3 : -1;
    }
    // Darkness does not tell red from blue: both 32-bit layouts alike.
    uint32_t candidates(const Rgbx32Row& row, int64_t x) const { return darkInBlock(row.p + x, limit); }
    uint32_t candidates(const Bgrx32Row& row, int64_t x) const { return darkInBlock(row.p + x, limit); }
    uint32_t candidates(const Bgr24Row& row, int64_t x) const { return allBytesWhite(row.p + 3 * x) ? 0 : 0xFFFFu; }
    uint32_t candidates(const Rgb24Row& row, int64_t x) const { return allBytesWhite(row.p + 3 * x) ? 0 : 0xFFFFu; }
};

// Ink: the ink model's weight, from the threshold up and never below 0 (the
// paper, and colours too far from the line, weigh -1 there). A weight of
// T >= 1 needs a projection of at least projectionFor(T): a quick refusal
// for a pixel, and the block test.
struct InkWeight {
    const InkModel& ink;
    int32_t lowest; // the least weight that counts
    bool nothing;
    int32_t least; // the least projection that may count
    InkLanes lanes;
    InkLanes swapped; // for pixels with red and blue in each other's place

    InkWeight(const InkModel& model, const InkSettings& s, int32_t threshold)
        : ink(model), lowest(std::max(threshold, 0)), nothing(!model.usable() || threshold > 255),
          least(threshold >= 1 && !nothing ? static_cast<int32_t>(model.projectionFor(threshold))
                                           : std::numeric_limits<int32_t>::min()),
          lanes(s, least), swapped(swappedInk(s), least)
    {
    }
    static InkSettings swappedInk(InkSettings s)
    {
        s.Ink = PixelView::swapRedBlue(s.Ink);
        s.Paper = PixelView::swapRedBlue(s.Paper);
        return s;
    }
    bool none() const { return nothing; }
    int32_t outside() const { return -1; }
    int32_t weight(int32_t r, int32_t g, int32_t b) const
    {
        if (ink.projection(r, g, b) < least)
            return -1;
        const int32_t w = ink.weight(r, g, b);
        return w >= lowest ? w : -1;
    }
    // A pixel left out here weighs -1 anyway: its projection is short.
    uint32_t candidates(const Rgbx32Row& row, int64_t x) const { return inkInBlock(row.p + x, lanes); }
    uint32_t candidates(const Bgrx32Row& row, int64_t x) const { return inkInBlock(row.p + x, swapped); }
    uint32_t candidates(const Bgr24Row& row, int64_t x) const
    {
        return allBytesAre(row.p + 3 * x, lanes.paper24) ? 0 : 0xFFFFu;
    }
    uint32_t candidates(const Rgb24Row& row, int64_t x) const
    {
        return allBytesAre(row.p + 3 * x, swapped.paper24) ? 0 : 0xFFFFu;
    }
};

// Calls visit(x, r, w) for each pixel of the columns [xa, xb) of a row that
// counts, left to right.
template <class Row, class Weight, class Visit>
[[gnu::always_inline]] inline void countedOfRow(const Row& row, const Weight& rule, int64_t xa, int64_t xb, int64_t r,
                                                Visit& visit)
{
    const auto pixel = [&](int64_t x) {
        const Rgb c = row.at(x);
        const int32_t w = rule.weight(c.r, c.g, c.b);
        if (w >= 0)
            visit(x, r, w);
    };
    int64_t x = xa;
    for (; x + kBlock <= xb; x += kBlock)
        for (uint32_t may = rule.candidates(row, x); may != 0; may &= may - 1)
            pixel(x + std::countr_zero(may));
    for (; x < xb; ++x)
        pixel(x);
}

// Calls visit(x, r, w) for every pixel of the columns [colBegin, colEnd) of
// the frame's rows that counts by `rule`, row by row from the top and left to
// right within a row. That is the order of the strip loop for each strip, so
// every sum is rounded the same way as if the strips were walked one after
// the other.
template <class Weight, class Visit>
void forEachCounted(const PixelView& pic, const Frame& f, const Weight& rule, int64_t colBegin, int64_t colEnd,
                    Visit& visit)
{
    if (rule.none())
        return;
    const int64_t rowEnd = f.top + f.rows;
    if (rule.outside() >= 0) {
        // Pixels outside the picture count too. Rare, so plain.
        forEachHeldRow(pic, f.top, rowEnd, [&](const PixelView& held, int64_t r) {
            for (int64_t x = colBegin; x < colEnd; ++x) {
                const uint32_t c = held.colourAt(x, r);
                const int32_t w = c == PixelView::kOutsidePixel
                                      ? rule.outside()
                                      : rule.weight(InkModel::red(c), InkModel::green(c), InkModel::blue(c));
                if (w >= 0)
                    visit(x, r, w);
            }
        });
        return;
    }
    const int64_t xa = std::max<int64_t>(colBegin, 0);
    const int64_t xb = std::min<int64_t>(colEnd, pic.width);
    const int64_t ra = std::max<int64_t>(f.top, 0);
    const int64_t rb = std::min<int64_t>(rowEnd, pic.height);
    if (xa >= xb)
        return;
    forEachHeldRow(pic, ra, rb, [&](const PixelView& held, int64_t r) {
        const auto row = static_cast<int32_t>(r);
        switch (held.layout) {
        case PixelLayout::Bgr24: countedOfRow(Bgr24Row{held.bgrRow(row)}, rule, xa, xb, r, visit); return;
        case PixelLayout::Rgb24: countedOfRow(Rgb24Row{held.bgrRow(row)}, rule, xa, xb, r, visit); return;
        case PixelLayout::Bgrx32: countedOfRow(Bgrx32Row{held.row(row)}, rule, xa, xb, r, visit); return;
        case PixelLayout::Rgbx32: countedOfRow(Rgbx32Row{held.row(row)}, rule, xa, xb, r, visit); return;
        }
    });
}

// The pixels that enter the sums, with their weight: darkness, or ink.
template <class Visit>
void forEachCountedPixel(const PixelView& pic, const Frame& f, int64_t colBegin, int64_t colEnd, Visit&& visit)
{
    if (f.ink)
        forEachCounted(pic, f, InkWeight(*f.ink, f.inkSettings, f.threshold), colBegin, colEnd, visit);
    else
        forEachCounted(pic, f, DarknessWeight(f.threshold), colBegin, colEnd, visit);
}

// A thread reads a share of a band or an area of at least this many pixels.
inline constexpr int64_t kPixelsPerShare = int64_t(1) << 21;

} // namespace plotrun::walk
