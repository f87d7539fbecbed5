#include "ColumnScan.h"

#include "Calibration.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <limits>
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
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
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

inline bool mayHoldDark(const uint32_t* p, int32_t limit)
{
    Lanes v[kBlock / 4];
    std::memcpy(v, p, sizeof v);
    const Lanes all = v[0] & v[1] & v[2] & v[3];
    if (((all[0] & all[1] & all[2] & all[3]) & 0x00FFFFFFu) == 0x00FFFFFFu)
        return false; // all white
    SignedLanes hit = {0, 0, 0, 0};
    for (const Lanes& c : v) {
        const Lanes sum = (c & 0xFFu) + ((c >> 8) & 0xFFu) + ((c >> 16) & 0xFFu);
        hit |= reinterpret_cast<const SignedLanes&>(sum) <= limit;
    }
    return (hit[0] | hit[1] | hit[2] | hit[3]) != 0;
}

// Columns per band: a band's strips are scanned row by row, so every pixel
// row is read as one contiguous run while the strips' sums stay in cache.
constexpr int64_t kBandColumns = 4096;

struct Frame {
    int64_t x0 = 0;        // left column of the area
    int64_t top = 0;       // first row of the area, counted from the top
    int64_t rows = 0;      // ScanHeight
    int64_t width = 0;     // ScanWidth
    int32_t threshold = 0;
};

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
        for (int64_t r = ra; r < rb; ++r) {
            const uint32_t* row = pic.row(static_cast<int32_t>(r));
            int64_t x = xa;
            for (; x + kBlock <= xb; x += kBlock) {
                const uint32_t* p = row + x;
                if (!mayHoldDark(p, limit))
                    continue;
                for (int i = 0; i < kBlock; ++i) {
                    const uint32_t s = channelSum(p[i]);
                    if (static_cast<int32_t>(s) <= limit)
                        visit(x + i, r, darknessOfSum(s));
                }
            }
            for (; x < xb; ++x) {
                const uint32_t s = channelSum(row[x]);
                if (static_cast<int32_t>(s) <= limit)
                    visit(x, r, darknessOfSum(s));
            }
        }
        return;
    }
    // A threshold of 0 or below makes every pixel but pure white dark, those
    // outside the picture included (their darkness is 0). Rare, so plain.
    for (int64_t r = f.top; r < rowEnd; ++r) {
        for (int64_t x = colBegin; x < colEnd; ++x) {
            const uint32_t c = pic.colourAt(x, r);
            if (c == kWhite)
                continue;
            const int32_t d = darknessOfSum(channelSum(c));
            if (d >= f.threshold)
                visit(x, r, d);
        }
    }
}

// A dark pixel of a band: column and row counted from the band's first
// column and the area's top row.
struct DarkPixel {
    uint32_t dx;
    uint32_t dr;
    int32_t d;
};

// At most this many dark pixels of a band are kept for the spread pass (24 MB),
// and never more than a quarter of the band's pixels.
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

template <class Sum>
int32_t scanStrips(const PixelView& pic, const ScanSettings& s, const ScanChecks& checks, bool wantSpread,
                   const ScanSinks& sinks)
{
    Frame f;
    f.x0 = truncToInt32(s.ScanStartX);
    f.top = truncToInt32(static_cast<double>(pic.height) - s.ScanEndY);
    f.rows = checks.scanHeight;
    f.width = s.ScanWidth;
    f.threshold = s.Threshold;

    const AxisMap xMap = AxisMap::forX(s);
    const AxisMap yMap = AxisMap::forY(s);
    const int64_t h = pic.height;
    const int64_t stripCount = checks.stripCount;
    const int64_t bandStrips = std::max<int64_t>(1, kBandColumns / f.width);

    std::vector<StripSums<Sum>> sums(static_cast<size_t>(std::min(bandStrips, stripCount)));
    std::vector<ResultRow> rows(sums.size());
    std::vector<double> spreadSum(sums.size());

    // The dark pixels of a band, kept for the spread pass while they are few
    // (a chart's curves, not a dark photograph); past the cap the pass reads
    // the picture again instead.
    std::vector<DarkPixel> dark;
    const long double bandPixels = static_cast<long double>(std::min(bandStrips, stripCount)) * f.width * f.rows;
    const size_t darkCap = static_cast<size_t>(std::min<long double>(kMaxRecordedDarkPixels, bandPixels / 4));

    int32_t gridRow = 1;
    for (int64_t kb = 0; kb < stripCount; kb += bandStrips) {
        const int64_t ke = std::min(stripCount, kb + bandStrips);
        const int64_t colBegin = f.x0 + kb * f.width;
        const int64_t colEnd = f.x0 + ke * f.width;
        const int64_t strips = ke - kb;

        std::fill(sums.begin(), sums.begin() + strips, StripSums<Sum>{});
        dark.clear();
        bool recorded = wantSpread;
        const auto sum = [&](int64_t x, int64_t r, int32_t d) {
            StripSums<Sum>& a = sums[static_cast<size_t>((x - colBegin) / f.width)];
            ++a.n;
            a.sd += d;
            a.sdr += static_cast<Sum>(d) * static_cast<Sum>(r);
            if (s.WeightedX)
                a.sdx += static_cast<Sum>(d) * static_cast<Sum>(x);
        };
        if (wantSpread) {
            forEachDarkPixel(pic, f, colBegin, colEnd, [&](int64_t x, int64_t r, int32_t d) {
                sum(x, r, d);
                if (!recorded)
                    return;
                if (dark.size() < darkCap)
                    dark.push_back({static_cast<uint32_t>(x - colBegin), static_cast<uint32_t>(r - f.top), d});
                else
                    recorded = false;
            });
        } else {
            forEachDarkPixel(pic, f, colBegin, colEnd, sum);
        }

        bool anyRow = false;
        for (int64_t i = 0; i < strips; ++i) {
            const StripSums<Sum>& a = sums[static_cast<size_t>(i)];
            ResultRow& row = rows[static_cast<size_t>(i)];
            row.number = 0;
            if (a.sd == 0) // no pixel darker than 0: no ink, no row
                continue;
            const int64_t xs = colBegin + i * f.width;
            const long double sd = static_cast<long double>(a.sd);
            row.bitmapX = s.WeightedX ? static_cast<double>(static_cast<long double>(a.sdx) / sd)
                                      : static_cast<double>(xs) + static_cast<double>(f.width) * 0.5;
            row.bitmapY = static_cast<double>(static_cast<long double>(h) - static_cast<long double>(a.sdr) / sd);
            row.realX = xMap.toReal(row.bitmapX);
            row.realY = yMap.toReal(row.bitmapY);
            row.sdev = 0;
            row.hasSdevY = false;
            row.sdevY = 0;
            row.number = 1; // numbered below, in strip order
            spreadSum[static_cast<size_t>(i)] = 0;
            anyRow = true;
        }

        if (wantSpread && anyRow) {
            const auto spread = [&](int64_t x, int64_t r, int32_t d) {
                const size_t k = static_cast<size_t>((x - colBegin) / f.width);
                if (rows[k].number == 0)
                    return;
                const double yp = yMap.toReal(static_cast<double>(bitmapYOfRow(r, h)));
                const double v = static_cast<double>(static_cast<long double>(yp) - rows[k].realY);
                spreadSum[k] = static_cast<double>(static_cast<long double>(spreadSum[k]) +
                                                   static_cast<long double>(d) * v * v);
            };
            // The second pass visits the same pixels in the same order: from
            // the record of the first when it holds them all, else anew.
            if (recorded)
                for (const DarkPixel& p : dark)
                    spread(colBegin + p.dx, f.top + p.dr, p.d);
            else
                forEachDarkPixel(pic, f, colBegin, colEnd, spread);
        }

        for (int64_t i = 0; i < strips; ++i) {
            ResultRow& row = rows[static_cast<size_t>(i)];
            if (row.number != 0) {
                if (wantSpread) {
                    const long double sd = static_cast<long double>(sums[static_cast<size_t>(i)].sd);
                    row.sdev = static_cast<double>(std::sqrt(static_cast<long double>(spreadSum[static_cast<size_t>(i)]) / sd));
                    if (row.realY != 0) {
                        row.hasSdevY = true;
                        row.sdevY = static_cast<double>(static_cast<long double>(row.sdev) / row.realY);
                    }
                }
                row.number = gridRow++;
                if (sinks.onRow)
                    sinks.onRow(row);
            }
            if (sinks.onProgress)
                sinks.onProgress(static_cast<int>((100 * (kb + i)) / stripCount));
        }
    }
    return gridRow - 1;
}

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
    case ScanStop::FlatArea:
        return {kAbortTitle, kHeightText};
    case ScanStop::NarrowArea:
        return {kAbortTitle, kNarrowText};
    case ScanStop::SameOriginX:
        return {kAbortTitle, kSameOriginXText};
    case ScanStop::SameOriginY:
        return {kAbortTitle, kSameOriginYText};
    case ScanStop::None:
        break;
    }
    return {};
}

std::string progressText(int percent) { return "Scanning: " + std::to_string(percent) + " %"; }

int32_t runColumnScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks,
                      bool wantSpread, const ScanSinks& sinks)
{
    if (checks.stop != ScanStop::None || checks.stripCount < 1 || settings.ScanWidth < 1)
        return 0;
    // Largest sum a strip can reach: every pixel of it at darkness 255, at
    // the farthest row or column. Below 2^53 the integer sums are exact.
    const long double pixels = static_cast<long double>(settings.ScanWidth) * checks.scanHeight;
    const long double reach = std::max<long double>(picture.width, picture.height) + 1;
    if (pixels * 255.0L * reach < 9007199254740992.0L)
        return scanStrips<int64_t>(picture, settings, checks, wantSpread, sinks);
    return scanStrips<double>(picture, settings, checks, wantSpread, sinks);
}

} // namespace plotrun
