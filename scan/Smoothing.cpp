#include "Smoothing.h"

#include "PixelWalk.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace plotrun {

namespace {

using walk::Bgr24Row;
using walk::Bgrx32Row;
using walk::Rgbx32Row;

// The half width of the disc's row at `dy` rows from its centre: the largest
// h with h * h + dy * dy <= radius * radius.
std::vector<int64_t> halfWidths(int32_t radius)
{
    std::vector<int64_t> h(static_cast<size_t>(2 * radius + 1));
    for (int64_t dy = -radius; dy <= radius; ++dy) {
        int64_t w = radius;
        while (w * w + dy * dy > int64_t(radius) * radius)
            --w;
        h[static_cast<size_t>(dy + radius)] = w;
    }
    return h;
}

// The columns a share reads and writes, and the disc.
struct Span {
    int64_t width = 0;            // the picture's
    int64_t heldA = 0, heldB = 0; // the rows the view holds or its feed reads; others count as outside
    int64_t xa = 0, xb = 0;       // the columns written
    int64_t sa = 0, sb = 0;       // the columns read: those within the radius of them
    int32_t radius = 0;
    std::vector<int64_t> half; // of the disc's row dy, at dy + radius
};

// Running sums of the three channels of one picture row, from column sa:
// sums[3 * i + c] is channel c summed over the columns [sa, sa + i). Sums
// reach at most 255 times the picture's width, well within 32 bits.
template <class Row>
void sumRow(const Row& row, const Span& s, uint32_t* sums)
{
    // The sums go along in registers: read back from the row, each would
    // wait for the store before it.
    uint32_t red = 0, green = 0, blue = 0;
    sums[0] = sums[1] = sums[2] = 0;
    for (int64_t x = s.sa; x < s.sb; ++x) {
        const walk::Rgb c = row.at(x);
        uint32_t* p = sums + 3 * (x - s.sa);
        p[3] = red += uint32_t(c.r);
        p[4] = green += uint32_t(c.g);
        p[5] = blue += uint32_t(c.b);
    }
}

// One smoothed row from the running sums of the rows around it: for each
// row of the disc inside the picture, the span of its columns inside the
// picture is added by two lookups.
class RowSmoother {
public:
    explicit RowSmoother(const Span& s)
        : s_(s), total_(static_cast<size_t>(3 * (s.xb - s.xa))), count_(static_cast<size_t>(s.xb - s.xa))
    {
    }

    // rowSums(q): the running sums of picture row q.
    template <class RowSums>
    void smooth(int64_t r, const RowSums& rowSums, uint32_t* out)
    {
        std::fill(total_.begin(), total_.end(), 0u);
        std::fill(count_.begin(), count_.end(), 0u);
        // The columns whose every row span lies wholly in the picture share
        // one count of pixels; only those nearer an edge count their own.
        const int64_t midA = std::clamp<int64_t>(s_.radius, s_.xa, s_.xb);
        const int64_t midB = std::clamp<int64_t>(s_.width - s_.radius, midA, s_.xb);
        uint32_t midCount = 0;
        // The rows dy above and below share the half width: both are added
        // in one pass over the totals.
        for (int64_t dy = 0; dy <= s_.radius; ++dy) {
            const uint32_t* rows[2]{};
            int held = 0;
            for (const int64_t q : {r - dy, r + dy})
                if (q >= s_.heldA && q < s_.heldB && (held == 0 || dy > 0))
                    rows[held++] = rowSums(q);
            if (held == 0)
                continue;
            const int64_t h = s_.half[static_cast<size_t>(dy + s_.radius)];
            const auto span = static_cast<uint32_t>(held * (2 * h + 1));
            midCount += span;
            // Columns whose span lies wholly in the picture: a plain loop
            // over the interleaved channels, which the compiler vectorizes.
            const int64_t inA = std::clamp<int64_t>(h, s_.xa, s_.xb);
            const int64_t inB = std::clamp<int64_t>(s_.width - h, inA, s_.xb);
            for (int i = 0; i < held; ++i) {
                for (int64_t x = s_.xa; x < inA; ++x)
                    addSpan(x, h, rows[i]);
                for (int64_t x = inB; x < s_.xb; ++x)
                    addSpan(x, h, rows[i]);
            }
            const int64_t hiAt = 3 * (inA + h + 1 - s_.sa), loAt = 3 * (inA - h - s_.sa);
            uint32_t* t = total_.data() + 3 * (inA - s_.xa);
            const int64_t k = 3 * (inB - inA);
            if (held == 2) {
                const uint32_t *hi = rows[0] + hiAt, *lo = rows[0] + loAt;
                const uint32_t *hi2 = rows[1] + hiAt, *lo2 = rows[1] + loAt;
                for (int64_t i = 0; i < k; ++i)
                    t[i] += (hi[i] - lo[i]) + (hi2[i] - lo2[i]);
            } else {
                const uint32_t *hi = rows[0] + hiAt, *lo = rows[0] + loAt;
                for (int64_t i = 0; i < k; ++i)
                    t[i] += hi[i] - lo[i];
            }
            for (int64_t x = inA; x < std::min(midA, inB); ++x)
                count_[static_cast<size_t>(x - s_.xa)] += span;
            for (int64_t x = std::max(midB, inA); x < inB; ++x)
                count_[static_cast<size_t>(x - s_.xa)] += span;
        }
        // The rounded mean, (sum + count / 2) div count, by a multiplication:
        // the sum is below 2^24 and the fraction of an inexact quotient at
        // least 1 / count, so the small lift only mends a whole quotient
        // that came out a hair below itself.
        const auto mean = [](uint32_t sum, uint32_t count, double inverse) {
            return static_cast<uint32_t>(static_cast<int32_t>(double(sum + count / 2) * inverse + 1e-9));
        };
        const auto pack = [](const uint32_t* m) { return m[0] | m[1] << 8 | m[2] << 16; };
        for (int64_t x = s_.xa; x < s_.xb; ++x) {
            if (x == midA && midA < midB && midCount > 0) {
                // One count for all: the means over the channels in a row,
                // which the compiler vectorizes, then packed.
                const double inverse = 1.0 / midCount;
                uint32_t* t = total_.data() + 3 * (midA - s_.xa);
                for (int64_t i = 0; i < 3 * (midB - midA); ++i)
                    t[i] = mean(t[i], midCount, inverse);
                for (; x < midB; ++x)
                    out[x - s_.xa] = pack(total_.data() + 3 * (x - s_.xa));
                if (x == s_.xb)
                    break;
            }
            const uint32_t c = count_[static_cast<size_t>(x - s_.xa)];
            uint32_t* t = total_.data() + 3 * (x - s_.xa);
            if (c == 0) { // no held row within the radius: a row the scan does not read
                out[x - s_.xa] = 0xFFFFFF;
                continue;
            }
            const double inverse = 1.0 / c;
            for (int i = 0; i < 3; ++i)
                t[i] = mean(t[i], c, inverse);
            out[x - s_.xa] = pack(t);
        }
    }

private:
    void addSpan(int64_t x, int64_t h, const uint32_t* sums)
    {
        const int64_t a = std::max<int64_t>(x - h, 0), b = std::min<int64_t>(x + h + 1, s_.width);
        uint32_t* t = total_.data() + 3 * (x - s_.xa);
        for (int c = 0; c < 3; ++c)
            t[c] += sums[3 * (b - s_.sa) + c] - sums[3 * (a - s_.sa) + c];
        count_[static_cast<size_t>(x - s_.xa)] += static_cast<uint32_t>(b - a);
    }

    const Span& s_;
    std::vector<uint32_t> total_; // of each written column, three channels
    std::vector<uint32_t> count_; // the pixels of the picture in its disc
};

// Smooths the rows [r0, r1) into `out` (row r at out + (r - r0) * stride),
// reading each picture row once, in order, into a ring of running sums.
void smoothRows(const PixelView& pic, const Span& s, int64_t r0, int64_t r1, uint32_t* out, std::ptrdiff_t stride)
{
    const int64_t ringRows = 2 * int64_t(s.radius) + 1;
    const size_t perRow = static_cast<size_t>(3 * (s.sb - s.sa + 1));
    std::vector<uint32_t> ring(static_cast<size_t>(ringRows) * perRow);
    const auto rowSums = [&](int64_t q) { return ring.data() + static_cast<size_t>(q % ringRows) * perRow; };
    RowSmoother smoother(s);
    int64_t next = r0; // the next row to write
    const int64_t first = std::max<int64_t>(r0 - s.radius, s.heldA), end = std::min<int64_t>(r1 + s.radius, s.heldB);
    walk::forEachHeldRow(pic, first, end, [&](const PixelView& held, int64_t q) {
        uint32_t* sums = ring.data() + static_cast<size_t>(q % ringRows) * perRow;
        const auto row = static_cast<int32_t>(q);
        switch (held.layout) {
        case PixelLayout::Bgr24: sumRow(Bgr24Row{held.bgrRow(row)}, s, sums); break;
        case PixelLayout::Rgb24: sumRow(walk::Rgb24Row{held.bgrRow(row)}, s, sums); break;
        case PixelLayout::Bgrx32: sumRow(Bgrx32Row{held.row(row)}, s, sums); break;
        case PixelLayout::Rgbx32: sumRow(Rgbx32Row{held.row(row)}, s, sums); break;
        }
        // A row is written once the last picture row of its disc is in.
        for (; next < r1 && std::min(next + s.radius, s.heldB - 1) <= q; ++next)
            smoother.smooth(next, rowSums, out + (next - r0) * stride + s.xa);
    });
}

struct Region {
    int64_t ra = 0, rb = 0, xa = 0, xb = 0;
    bool empty() const { return ra >= rb || xa >= xb; }
};

Region regionIn(const PixelView& pic, int64_t top, int64_t rows, int64_t left, int64_t columns)
{
    Region g;
    g.ra = std::clamp<int64_t>(top, 0, pic.height);
    g.rb = std::clamp<int64_t>(top + std::max<int64_t>(rows, 0), g.ra, pic.height);
    g.xa = std::clamp<int64_t>(left, 0, pic.width);
    g.xb = std::clamp<int64_t>(left + std::max<int64_t>(columns, 0), g.xa, pic.width);
    return g;
}

int sharesOf(const Region& g, int threads)
{
    return static_cast<int>(std::clamp<int64_t>(
        std::min((g.xb - g.xa) * (g.rb - g.ra) / walk::kPixelsPerShare, g.rb - g.ra), 1, threadsPerPicture(threads)));
}

std::string megabytes(int64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20); }

} // namespace

int64_t smoothingBytes(const PixelView& pic, int32_t radius, int64_t top, int64_t rows, int64_t left, int64_t columns,
                       int threads)
{
    const Region g = regionIn(pic, top, rows, left, columns);
    if (g.empty() || radius < 1)
        return 0;
    // The copy's rows start at the picture's first column, so that it is
    // read at the picture's own positions.
    const int64_t copy = (g.rb - g.ra) * g.xb * 4;
    const int64_t read = std::min<int64_t>(g.xb + radius, pic.width) - std::max<int64_t>(g.xa - radius, 0) + 1;
    const int64_t perShare = (2 * int64_t(radius) + 1) * read * 12 + (g.xb - g.xa) * 16;
    return copy + sharesOf(g, threads) * perShare;
}

int64_t smoothingMemoryBudget()
{
    // MemAvailable tells what can be had without swapping; keep a margin for
    // the rest of the program. Where it cannot be read, only the allocation
    // itself can refuse.
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    int64_t kb = 0;
    while (meminfo >> key >> kb)
        if (key == "MemAvailable:")
            return kb * 1024 / 10 * 8;
        else
            meminfo.ignore(256, '\n');
    return std::numeric_limits<int64_t>::max();
}

SmoothedPicture::SmoothedPicture(const PixelView& picture, int32_t radius, int64_t top, int64_t rows, int64_t left,
                                 int64_t columns, int threads)
{
    const Region g = regionIn(picture, top, rows, left, columns);
    view_.width = picture.width;
    view_.height = picture.height;
    view_.layout = PixelLayout::Rgbx32;
    view_.stride = static_cast<std::ptrdiff_t>(g.xb);
    view_.firstRow = static_cast<int32_t>(g.ra);
    view_.endRow = static_cast<int32_t>(g.rb);
    if (g.empty())
        return;
    const int64_t needed = smoothingBytes(picture, radius, top, rows, left, columns, threads);
    const int64_t budget = smoothingMemoryBudget();
    const auto refuse = [&] {
        const bool known = budget < std::numeric_limits<int64_t>::max();
        return SmoothingMemoryError(
            "Smoothing needs " + megabytes(needed) + " MB of memory for its copy of the scan area, more than is free" +
            (known ? " (" + megabytes(budget) + " MB)" : std::string()) + ". Choose a smaller area or radius.");
    };
    if (needed > budget)
        throw refuse();
    try {
        // Not filled first: only the area's columns are ever written or read.
        pixels_ = std::make_unique_for_overwrite<uint32_t[]>(static_cast<size_t>((g.rb - g.ra) * g.xb));
        view_.pixels = pixels_.get();
        Span s;
        s.width = picture.width;
        s.heldA = picture.feed ? 0 : std::clamp<int64_t>(picture.firstRow, 0, picture.height);
        s.heldB = picture.feed || picture.endRow < 0 ? picture.height
                                                     : std::clamp<int64_t>(picture.endRow, s.heldA, picture.height);
        s.xa = g.xa;
        s.xb = g.xb;
        s.sa = std::max<int64_t>(g.xa - radius, 0);
        s.sb = std::min<int64_t>(g.xb + radius, picture.width);
        s.radius = radius;
        s.half = halfWidths(radius);
        // Shares of the rows, each reading the rows within the radius of its
        // own.
        const int shares = sharesOf(g, threads);
        const int64_t per = (g.rb - g.ra + shares - 1) / shares;
        runShares(shares, [&](int t) {
            const int64_t r0 = std::min(g.rb, g.ra + t * per), r1 = std::min(g.rb, r0 + per);
            if (r0 < r1)
                smoothRows(picture, s, r0, r1, pixels_.get() + (r0 - g.ra) * g.xb, view_.stride);
        });
    } catch (const std::bad_alloc&) {
        throw refuse();
    }
}

} // namespace plotrun
