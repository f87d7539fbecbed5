#include "ColumnScan.h"

#include "Calibration.h"
#include "ChartMap.h"
#include "CurveFollow.h"
#include "InkModel.h"
#include "StripPoint.h"
#include "Threads.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cmath>
#include <limits>
#include <optional>
#include <type_traits>
#include <vector>

namespace plotrun {

namespace {

// Settings hold whole numbers in doubles; out-of-range values are clamped so
// that the conversion is always defined.
int32_t truncToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v); // toward zero
}

int32_t clampToInt32(int64_t v)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

constexpr uint32_t kWhite = 0x00FFFFFFu;

inline uint32_t channelSum(uint32_t c) { return (c & 0xFFu) + ((c >> 8) & 0xFFu) + ((c >> 16) & 0xFFu); }

// ((255 - r) + (255 - g) + (255 - b)) div 3
inline int32_t darknessOfSum(uint32_t sum) { return static_cast<int32_t>(765u - sum) / 3; }

// Pixels are tested in blocks: most of a chart is white paper, and a block
// without a candidate is passed over in a few vector instructions.
constexpr int kBlock = 16;
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

// Columns per band: a band's strips are scanned row by row, so every pixel
// row is read as one contiguous run while the strips' sums stay in cache.
constexpr int64_t kBandColumns = 4096;

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
Frame frameOfRows(int64_t top, int64_t rows, const ScanSettings& s, std::optional<InkModel>& ink)
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

// A dark pixel of a band: column and row counted from the band's first
// column and the area's top row.
struct DarkPixel {
    uint32_t dx;
    uint32_t dr;
    int32_t d;
};

// A thread reads a share of a band or an area of at least this many pixels.
constexpr int64_t kPixelsPerShare = int64_t(1) << 21;

// At most this many dark pixels of a run of rows are kept for the spread pass
// (24 MB), and never more than a quarter of the run's pixels.
constexpr size_t kMaxRecordedDarkPixels = size_t(2) << 20;

// The sums of one strip. They only ever add whole numbers, so they are kept
// exactly in 64-bit integers whenever the double they stand for is exact too
// (below 2^53); otherwise in doubles, rounded after every addition.
template <class Sum>
struct StripSums {
    int64_t n = 0;
    Sum sd = 0;
    Sum sdr = 0;
    Sum sdx = 0;
};

// The strip loop, one band of strips at a time, in its passes: the sums of
// the first pass, the points, the spread of the second pass, and the hand
// over of the finished rows in strip order.
template <class Sum>
class StripScan {
public:
    StripScan(const PixelView& pic, const ScanSettings& s, const ScanChecks& checks, bool wantSpread,
              const ScanSinks& sinks)
        : pic_(pic), weightedX_(s.WeightedX), wantSpread_(wantSpread), sinks_(sinks), map_(s),
          frame_(frameOf(pic, s, checks)), stripCount_(frame_.strips)
    {
        f_ = frameOfRows(frame_.top, frame_.rows, s, ink_);
        // Rows that are read while they are scanned are read once, for all
        // the strips.
        bandStrips_ = pic.feed ? stripCount_ : std::max<int64_t>(1, kBandColumns / frame_.width);

        const size_t slots = static_cast<size_t>(std::min(bandStrips_, stripCount_));
        sums_.resize(slots);
        rows_.resize(slots);
        spreadSum_.resize(slots);
        if (wantSpread_)
            cacheRealYOfRows();
    }

    int32_t run()
    {
        for (int64_t kb = 0; kb < stripCount_; kb += bandStrips_) {
            startBand(kb, std::min(stripCount_, kb + bandStrips_));
            sumPass();
            const bool anyPoint = placePoints();
            if (wantSpread_ && anyPoint)
                spreadPass();
            handOverRows();
        }
        return gridRow_ - 1;
    }

private:
    void startBand(int64_t firstStrip, int64_t endStrip)
    {
        kb_ = firstStrip;
        strips_ = endStrip - firstStrip;
        colBegin_ = frame_.left + firstStrip * frame_.width;
        colEnd_ = frame_.left + endStrip * frame_.width;
        std::fill(sums_.begin(), sums_.begin() + strips_, StripSums<Sum>{});
        stripOfColumn_.resize(static_cast<size_t>(colEnd_ - colBegin_));
        for (size_t c = 0; c < stripOfColumn_.size(); ++c)
            stripOfColumn_[c] = static_cast<uint32_t>(static_cast<int64_t>(c) / frame_.width);
    }

    // The band's strip of a column, from a table: a division for every dark
    // pixel would cost more than the rest of its visit.
    size_t stripOf(int64_t x) const { return stripOfColumn_[static_cast<size_t>(x - colBegin_)]; }

    // First pass: N, S_D, S_DR and S_DX of every strip of the band. With the
    // spread wanted, the dark pixels are kept for the second pass while they
    // are few (a chart's curves, not a dark photograph). A large band is
    // shared among a few threads, each a run of its rows.
    void sumPass()
    {
        const int shares = sharesOfBand();
        const int64_t per = (f_.rows + shares - 1) / shares;
        runs_.resize(static_cast<size_t>(shares));
        std::vector<std::vector<StripSums<Sum>>> sums(static_cast<size_t>(shares - 1));
        runShares(shares, [&](int t) {
            RowRun& run = runs_[static_cast<size_t>(t)];
            run.top = f_.top + t * per;
            run.rows = std::clamp<int64_t>(f_.rows - t * per, 0, per);
            run.dark.clear();
            const long double pixels = static_cast<long double>(colEnd_ - colBegin_) * run.rows;
            const size_t cap = static_cast<size_t>(std::min<long double>(kMaxRecordedDarkPixels, pixels / 4));
            std::vector<StripSums<Sum>>& into = t == 0 ? sums_ : sums[static_cast<size_t>(t - 1)];
            if (t > 0)
                into.assign(static_cast<size_t>(strips_), StripSums<Sum>{});
            sumRows(run.top, run.rows, cap, into, run.dark, run.recorded);
        });
        // The integer sums add up exactly in any order.
        for (const std::vector<StripSums<Sum>>& part : sums) {
            for (size_t k = 0; k < static_cast<size_t>(strips_); ++k) {
                sums_[k].n += part[k].n;
                sums_[k].sd += part[k].sd;
                sums_[k].sdr += part[k].sdr;
                sums_[k].sdx += part[k].sdx;
            }
        }
    }

    // How many threads share the first pass of the band: one, unless the
    // band is large and its sums are exact integers, which add up the same
    // in any order.
    int sharesOfBand() const
    {
        if constexpr (!std::is_same_v<Sum, int64_t>) {
            return 1;
        } else {
            const int64_t pixels = (colEnd_ - colBegin_) * f_.rows;
            const int64_t cores = threadsPerPicture(sinks_.threads);
            return static_cast<int>(std::clamp<int64_t>(std::min(pixels / kPixelsPerShare, f_.rows), 1, cores));
        }
    }

    // The sums of the rows [top, top + rows) of the band, and its dark pixels
    // in `dark` while they are no more than `cap`.
    void sumRows(int64_t top, int64_t rows, size_t cap, std::vector<StripSums<Sum>>& sums, std::vector<DarkPixel>& dark,
                 bool& recorded) const
    {
        Frame g = f_;
        g.top = top;
        g.rows = rows;
        const auto add = [&](int64_t x, int64_t r, int32_t d) {
            StripSums<Sum>& a = sums[stripOf(x)];
            ++a.n;
            a.sd += d;
            a.sdr += static_cast<Sum>(d) * static_cast<Sum>(r);
            if (weightedX_)
                a.sdx += static_cast<Sum>(d) * static_cast<Sum>(x);
        };
        recorded = wantSpread_;
        if (!wantSpread_) {
            forEachCountedPixel(pic_, g, colBegin_, colEnd_, add);
            return;
        }
        // Reserved at once: the pages are only taken as the record fills
        // them, and it never moves.
        dark.reserve(cap);
        forEachCountedPixel(pic_, g, colBegin_, colEnd_, [&](int64_t x, int64_t r, int32_t d) {
            add(x, r, d);
            if (!recorded)
                return;
            if (dark.size() < cap)
                dark.push_back({static_cast<uint32_t>(x - colBegin_), static_cast<uint32_t>(r - f_.top), d});
            else
                recorded = false;
        });
    }

    // The point of every strip with ink, in bitmap and real coordinates. A
    // strip without a pixel darker than 0 gets no row (number 0 here).
    bool placePoints()
    {
        bool any = false;
        for (int64_t i = 0; i < strips_; ++i) {
            const StripSums<Sum>& a = sums_[static_cast<size_t>(i)];
            ResultRow& row = rows_[static_cast<size_t>(i)];
            row = ResultRow{};
            if (a.sd == 0)
                continue;
            placeStripPoint(row, static_cast<long double>(a.sd), static_cast<long double>(a.sdx),
                            static_cast<long double>(a.sdr), weightedX_, colBegin_ + i * frame_.width, frame_.width,
                            pic_.height, map_);
            row.number = 1; // numbered on hand over, in strip order
            spreadSum_[static_cast<size_t>(i)] = 0;
            any = true;
        }
        return any;
    }

    // The real y of every picture row of the area, which the second pass
    // would otherwise map again for each dark pixel.
    void cacheRealYOfRows()
    {
        cacheTop_ = std::max<int64_t>(f_.top, 0);
        const int64_t end = std::min<int64_t>(f_.top + f_.rows, pic_.height);
        for (int64_t r = cacheTop_; r < end; ++r)
            realYOfRow_.push_back(map_.realY(static_cast<double>(bitmapYOfRow(r, pic_.height))));
    }

    double realYOfRow(int64_t r) const
    {
        const uint64_t i = static_cast<uint64_t>(r - cacheTop_);
        if (i < realYOfRow_.size())
            return realYOfRow_[i];
        return map_.realY(static_cast<double>(bitmapYOfRow(r, pic_.height)));
    }

    // Second pass: the same pixels in the same order. For each dark pixel,
    // v = y_p - (the row's real y), and Q gathers D * v * v.
    void spreadPass()
    {
        const auto spread = [this](int64_t x, int64_t r, int32_t d) {
            const size_t k = stripOf(x);
            if (rows_[k].number == 0)
                return;
            const double v = static_cast<double>(static_cast<long double>(realYOfRow(r)) - rows_[k].realY);
            spreadSum_[k] =
                static_cast<double>(static_cast<long double>(spreadSum_[k]) + static_cast<long double>(d) * v * v);
        };
        // Run after run of rows, from the top: from the record of the first
        // pass where it holds every dark pixel of the run, else from the
        // picture anew.
        for (const RowRun& run : runs_) {
            if (run.recorded) {
                for (const DarkPixel& p : run.dark)
                    spread(colBegin_ + p.dx, f_.top + p.dr, p.d);
                continue;
            }
            Frame g = f_;
            g.top = run.top;
            g.rows = run.rows;
            forEachCountedPixel(pic_, g, colBegin_, colEnd_, spread);
        }
    }

    // SDEV = sqrt(Q / S_D); then each row gets its number and goes to the
    // report, and every strip, with a row or without, reports its progress.
    void handOverRows()
    {
        for (int64_t i = 0; i < strips_; ++i) {
            ResultRow& row = rows_[static_cast<size_t>(i)];
            if (row.number != 0) {
                if (wantSpread_) {
                    const long double sd = static_cast<long double>(sums_[static_cast<size_t>(i)].sd);
                    row.sdev = static_cast<double>(
                        std::sqrt(static_cast<long double>(spreadSum_[static_cast<size_t>(i)]) / sd));
                    if (row.realY != 0) {
                        row.hasSdevY = true;
                        row.sdevY = static_cast<double>(static_cast<long double>(row.sdev) / row.realY);
                    }
                }
                row.number = gridRow_++;
                if (sinks_.onRow)
                    sinks_.onRow(row);
            }
            if (sinks_.onProgress)
                sinks_.onProgress(static_cast<int>((100 * (kb_ + i)) / stripCount_));
        }
    }

    const PixelView& pic_;
    const bool weightedX_;
    const bool wantSpread_;
    const ScanSinks& sinks_;
    const ChartMap map_;
    const ScanFrame frame_;
    const int64_t stripCount_;
    std::optional<InkModel> ink_;
    Frame f_;
    int64_t bandStrips_ = 1;

    // The band being scanned.
    int64_t kb_ = 0; // its first strip
    int64_t strips_ = 0;
    int64_t colBegin_ = 0;
    int64_t colEnd_ = 0;
    std::vector<StripSums<Sum>> sums_;
    std::vector<ResultRow> rows_;
    std::vector<double> spreadSum_; // Q of each strip
    // The runs of rows of the first pass, with the dark pixels each kept.
    struct RowRun {
        int64_t top = 0;
        int64_t rows = 0;
        std::vector<DarkPixel> dark;
        bool recorded = false; // `dark` holds every dark pixel of the run
    };
    std::vector<RowRun> runs_;
    std::vector<uint32_t> stripOfColumn_;

    int64_t cacheTop_ = 0;
    std::vector<double> realYOfRow_;
    int32_t gridRow_ = 1;
};

} // namespace

ScanChecks checkScan(ScanSettings& s)
{
    ScanChecks c;
    const int64_t a = static_cast<int64_t>(truncToInt32(s.ScanEndX)) - truncToInt32(s.ScanStartX);
    c.areaWidth = clampToInt32(a);
    if (a < 1) {
        // Cutting ScanWidth to a width below 1 would leave it unusable for
        // every later scan, so such an area is refused instead.
        c.stop = ScanStop::NarrowArea;
        return c;
    }
    c.stripCount = s.ScanWidth >= 1 ? clampToInt32(a / s.ScanWidth) : 0;
    if (c.stripCount < 1) {
        s.ScanWidth = c.areaWidth;
        c.stripCount = 1;
        c.widthResized = true;
    }
    c.scanHeight = clampToInt32(static_cast<int64_t>(truncToInt32(s.ScanEndY)) - truncToInt32(s.ScanStartY));
    if (c.scanHeight < 1)
        c.stop = ScanStop::FlatArea;
    else if (s.RefX == s.OriginX)
        c.stop = ScanStop::SameOriginX;
    else if (s.RefY == s.OriginY)
        c.stop = ScanStop::SameOriginY;
    return c;
}

Notice widthResizedNotice(int32_t areaWidth)
{
    return {kWidthTitle, "Scan width is too large!\nIt is now resized to " + std::to_string(areaWidth)};
}

Notice stopNotice(ScanStop stop)
{
    switch (stop) {
    case ScanStop::FlatArea: return {kAbortTitle, kHeightText};
    case ScanStop::NarrowArea: return {kAbortTitle, kNarrowText};
    case ScanStop::SameOriginX: return {kAbortTitle, kSameOriginXText};
    case ScanStop::SameOriginY: return {kAbortTitle, kSameOriginYText};
    case ScanStop::None: break;
    }
    return {};
}

CountedArea countedArea(ScanSettings settings)
{
    const ScanChecks c = checkScan(settings);
    if (c.stop == ScanStop::NarrowArea || c.stop == ScanStop::FlatArea || settings.ScanWidth < 1)
        return {};
    return areaOf(settings, c);
}

CountedArea areaOf(const ScanSettings& settings, const ScanChecks& checks)
{
    CountedArea a;
    a.left = truncToInt32(settings.ScanStartX);
    a.width = settings.ScanWidth;
    a.strips = checks.stripCount;
    a.columns = a.strips * a.width;
    a.rows = checks.scanHeight;
    return a;
}

int64_t areaTop(int32_t pictureHeight, const ScanSettings& settings)
{
    return truncToInt32(static_cast<double>(pictureHeight) - settings.ScanEndY);
}

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
    forEachCountedPixel(picture, f, area.left, area.left + area.columns,
                        [&](int64_t x, int64_t r, int32_t) { mask[(r - f.top) * area.columns + (x - area.left)] = 1; });
}

std::vector<CountedPixel> countedPixels(const PixelView& picture, const ScanSettings& settings, const CountedArea& area)
{
    std::vector<CountedPixel> out;
    if (area.columns <= 0 || area.rows <= 0)
        return out;
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

std::string progressText(int percent) { return "Scanning: " + std::to_string(percent) + " %"; }

int32_t runColumnScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks)
{
    if (checks.stop != ScanStop::None || checks.stripCount < 1 || settings.ScanWidth < 1)
        return 0;
    if (settings.Follow.active())
        return runFollowScan(picture, settings, checks, wantSpread, sinks);
    // Largest sum a strip can reach: every pixel of it at darkness 255, at
    // the farthest row or column. Below 2^53 the integer sums are exact.
    const ScanFrame frame = frameOf(picture, settings, checks);
    const long double pixels = static_cast<long double>(frame.width) * frame.rows;
    const long double reach = std::max<long double>(picture.width, picture.height) + 1;
    if (pixels * 255.0L * reach < 9007199254740992.0L)
        return StripScan<int64_t>(picture, settings, checks, wantSpread, sinks).run();
    return StripScan<double>(picture, settings, checks, wantSpread, sinks).run();
}

RowSpan rowsReadByScan(int32_t pictureHeight, const ScanSettings& settings, const ScanChecks& checks)
{
    // The scan's frame, within the picture.
    const ScanFrame f = frameOf(pictureHeight, settings, checks);
    const int64_t first = std::clamp<int64_t>(f.top, 0, pictureHeight);
    const int64_t end = std::clamp<int64_t>(f.top + f.rows, first, pictureHeight);
    return {static_cast<int32_t>(first), static_cast<int32_t>(end)};
}

} // namespace plotrun
