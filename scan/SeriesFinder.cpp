// Find Series: the series that the scan area holds, one per colour of curve
// or marker, each with its ink, a tolerance and a Start point.
//
// The paper is the area's most common colour. Pixels of long straight runs
// of ink along a row or a column (axes, frame, grid, and whatever crosses
// them there) are left out when telling the colours. Of the other pixels,
// only those that hold about as much ink as the most inky of their
// neighbours are counted: the middle of a drawn line, not the anti-aliased
// fringe beside it, which is a mix of the line's colour and the paper. Their
// colours, in boxes of 8 levels a channel, give the inks: the fullest boxes,
// each at least a little way from the others, and not a mix of the paper and
// an ink found already (or of two inks) unless it holds as many pixels as
// that ink. The inks of large blobs come first; those of small blobs only
// (text, markers, dashes) after them.
//
// Each ink then goes through the follow plan (its counted pixels with the
// lines left out, and their runs): its longest chain of touching runs from
// strip to strip, when it crosses a quarter of the strips or more (half for
// an ink of small blobs only, so that a line of text is none) and does not
// run flat along one row, is a line, and the Start point is a run of the
// ink's own colour near the chain's middle; else many blobs of about one size
// and shape, not lined up as letters are, are markers, and the Start point
// is the middle of the most typical one. Any other ink (text, ticks, a
// legend's frame) is no series.
#include "Series.h"

#include "CurveFollow.h"
#include "InkModel.h"
#include "ScanFindings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>

namespace plotrun {

namespace {

int32_t squaredDistance(uint32_t a, uint32_t b)
{
    const int32_t dr = InkModel::red(a) - InkModel::red(b);
    const int32_t dg = InkModel::green(a) - InkModel::green(b);
    const int32_t db = InkModel::blue(a) - InkModel::blue(b);
    return dr * dr + dg * dg + db * db;
}

// A pixel farther than this from the paper (in RGB units) holds ink.
constexpr int32_t kInky = 48;
// The middle of a line: at least this far from the paper, and at least this
// share (squared) of the farthest of its eight neighbours.
constexpr int32_t kSolid = 64;
constexpr double kSolidShare = 0.72;
// Inks closer than this are one.
constexpr int32_t kSameInk = 56;
// A line crosses this share of the strips or more; a dashed one, whose ink
// only small blobs hold, as a line of text does, twice as many.
constexpr double kLineShare = 0.25;
constexpr size_t kMostInks = 12;

// Colour boxes of 8 levels a channel.
size_t boxOf(uint32_t c)
{
    return size_t(InkModel::red(c) >> 3) | size_t(InkModel::green(c) >> 3) << 5 | size_t(InkModel::blue(c) >> 3) << 10;
}
constexpr size_t kBoxes = size_t(1) << 15;

struct Box {
    int64_t n = 0;
    int64_t r = 0, g = 0, b = 0;
    uint32_t mean() const
    {
        if (n == 0)
            return 0;
        return uint32_t(r / n) | uint32_t(g / n) << 8 | uint32_t(b / n) << 16;
    }
    void add(uint32_t c)
    {
        ++n;
        r += InkModel::red(c);
        g += InkModel::green(c);
        b += InkModel::blue(c);
    }
};

// Whether c lies near the segment from a to b (within `reach` RGB units),
// strictly between its ends.
bool between(uint32_t c, uint32_t a, uint32_t b, double reach)
{
    const double ar = InkModel::red(a), ag = InkModel::green(a), ab = InkModel::blue(a);
    const double vr = InkModel::red(b) - ar, vg = InkModel::green(b) - ag, vb = InkModel::blue(b) - ab;
    const double wr = InkModel::red(c) - ar, wg = InkModel::green(c) - ag, wb = InkModel::blue(c) - ab;
    const double vv = vr * vr + vg * vg + vb * vb;
    if (vv <= 0)
        return false;
    const double t = (wr * vr + wg * vg + wb * vb) / vv;
    if (t <= 0.05 || t >= 0.95)
        return false;
    const double dr = wr - t * vr, dg = wg - t * vg, db = wb - t * vb;
    return dr * dr + dg * dg + db * db <= reach * reach;
}

// The connected blobs (eight neighbours) of pixels that come row by row and
// left to right; with `blobOf`, the blob of each pixel too.
struct Blob {
    int64_t pixels = 0;
    int64_t weight = 0;
    int64_t sumX = 0, sumR = 0;
    int32_t left = 0, right = 0, top = 0, bottom = 0;
    int32_t size() const { return std::max(right - left, bottom - top) + 1; }
};

std::vector<Blob> blobsOf(const std::vector<CountedPixel>& pixels, std::vector<int32_t>* blobOf = nullptr)
{
    std::vector<int32_t> parent;
    const auto root = [&](int32_t a) {
        while (parent[size_t(a)] != a)
            a = parent[size_t(a)] = parent[size_t(parent[size_t(a)])];
        return a;
    };
    const auto join = [&](int32_t a, int32_t b) {
        a = root(a);
        b = root(b);
        if (a != b)
            parent[size_t(std::max(a, b))] = std::min(a, b);
    };
    std::vector<int32_t> label(pixels.size());
    size_t above = 0, aboveEnd = 0; // the row above: pixels [above, aboveEnd)
    for (size_t p = 0; p < pixels.size();) {
        size_t end = p;
        while (end < pixels.size() && pixels[end].r == pixels[p].r)
            ++end;
        const bool touching = aboveEnd > above && pixels[above].r == pixels[p].r - 1;
        size_t a = above;
        for (size_t q = p; q < end; ++q) {
            parent.push_back(static_cast<int32_t>(parent.size()));
            label[q] = parent.back();
            if (q > p && pixels[q - 1].x == pixels[q].x - 1)
                join(label[q - 1], label[q]);
            if (!touching)
                continue;
            while (a < aboveEnd && pixels[a].x < pixels[q].x - 1)
                ++a;
            for (size_t b = a; b < aboveEnd && pixels[b].x <= pixels[q].x + 1; ++b)
                join(label[b], label[q]);
        }
        above = p;
        aboveEnd = end;
        p = end;
    }
    std::vector<int32_t> index(parent.size(), -1);
    std::vector<Blob> blobs;
    if (blobOf)
        blobOf->resize(pixels.size());
    for (size_t q = 0; q < pixels.size(); ++q) {
        const int32_t r = root(label[q]);
        const CountedPixel& px = pixels[q];
        if (index[size_t(r)] < 0) {
            index[size_t(r)] = static_cast<int32_t>(blobs.size());
            blobs.push_back({0, 0, 0, 0, px.x, px.x, px.r, px.r});
        }
        if (blobOf)
            (*blobOf)[q] = index[size_t(r)];
        Blob& b = blobs[size_t(index[size_t(r)])];
        const int64_t w = std::max(px.w, 1);
        ++b.pixels;
        b.weight += w;
        b.sumX += w * px.x;
        b.sumR += w * px.r;
        b.left = std::min(b.left, px.x);
        b.right = std::max(b.right, px.x);
        b.top = std::min(b.top, px.r);
        b.bottom = std::max(b.bottom, px.r);
    }
    return blobs;
}

struct Ink {
    uint32_t colour = 0;
    int64_t pixels = 0;
    bool small = false; // found among small blobs only: text, markers or dashes
};

// The inks among the colour boxes of the middles of lines, fullest first,
// added to `inks`.
void addInks(const std::vector<Box>& boxes, int64_t solid, uint32_t paper, bool small, std::vector<Ink>& inks)
{
    std::vector<size_t> order(kBoxes);
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return boxes[a].n > boxes[b].n; });
    const int64_t fewest = std::max<int64_t>(20, solid / 200);
    for (const size_t b : order) {
        if (boxes[b].n < fewest || inks.size() == kMostInks)
            break;
        const uint32_t c = boxes[b].mean();
        bool other = true;
        for (Ink& ink : inks) {
            if (squaredDistance(c, ink.colour) < kSameInk * kSameInk) {
                ink.pixels += boxes[b].n;
                other = false;
                break;
            }
            // An anti-aliased fringe or a crossing: a mix, and fewer pixels.
            if (3 * boxes[b].n < ink.pixels && between(c, paper, ink.colour, 24))
                other = false;
        }
        for (size_t x = 0; x < inks.size() && other; ++x)
            for (size_t y = x + 1; y < inks.size() && other; ++y)
                if (between(c, inks[x].colour, inks[y].colour, 24))
                    other = false;
        if (other)
            inks.push_back({c, boxes[b].n, small});
    }
}

// The inks of the area: those of large blobs (curves) first, then those of
// small ones (markers; text too, which findSeries then leaves out).
std::vector<Ink> findInks(const PixelView& view, const ScanFrame& f, uint32_t& paper)
{
    const int64_t columns = f.columns, rows = f.rows;
    const auto colour = [&](int64_t c, int64_t i) { return view.colourAt(f.left + c, f.top + i) & 0xFFFFFFu; };
    // The paper: the fullest box.
    std::vector<Box> boxes(kBoxes);
    for (int64_t i = 0; i < rows; ++i)
        for (int64_t c = 0; c < columns; ++c) {
            const uint32_t p = colour(c, i);
            boxes[boxOf(p)].add(p);
        }
    paper = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) { return a.n < b.n; })->mean();

    // Pixels with ink (1), and those of long straight runs of them along a
    // row or a column (2 as well): lines, and whatever crosses them.
    constexpr uint8_t kHasInk = 1, kOnLine = 2;
    std::vector<uint8_t> mask(size_t(columns * rows), 0);
    const auto at = [&](int64_t c, int64_t i) -> uint8_t& { return mask[size_t(i * columns + c)]; };
    for (int64_t i = 0; i < rows; ++i)
        for (int64_t c = 0; c < columns; ++c)
            at(c, i) = squaredDistance(colour(c, i), paper) >= kInky * kInky ? kHasInk : 0;
    const int64_t longRow = std::max(kShortestLine, columns / 4), longColumn = std::max(kShortestLine, rows / 4);
    for (int64_t i = 0; i < rows; ++i)
        for (int64_t c = 0, e = 0; c < columns; c = std::max(c + 1, e)) {
            for (e = c; e < columns && (at(e, i) & kHasInk); ++e) {
            }
            for (int64_t x = c; e - c >= longRow && x < e; ++x)
                at(x, i) |= kOnLine;
        }
    for (int64_t c = 0; c < columns; ++c)
        for (int64_t i = 0, e = 0; i < rows; i = std::max(i + 1, e)) {
            for (e = i; e < rows && (at(c, e) & kHasInk); ++e) {
            }
            for (int64_t y = i; e - i >= longColumn && y < e; ++y)
                at(c, y) |= kOnLine;
        }
    std::vector<CountedPixel> off;
    for (int64_t i = 0; i < rows; ++i)
        for (int64_t c = 0; c < columns; ++c)
            if (at(c, i) == kHasInk)
                off.push_back({int32_t(c), int32_t(i), 0});
    std::vector<int32_t> blobOf;
    const std::vector<Blob> blobs = blobsOf(off, &blobOf);
    const int32_t smallest = static_cast<int32_t>(std::max<int64_t>(16, std::min(rows, columns) / 12));

    // The middles of lines, by colour, in large blobs and in small ones.
    std::vector<Box> small(kBoxes);
    std::fill(boxes.begin(), boxes.end(), Box{});
    int64_t solid[2] = {0, 0};
    for (size_t q = 0; q < off.size(); ++q) {
        const int64_t c = off[q].x, i = off[q].r;
        const uint32_t p = colour(c, i);
        const int32_t d = squaredDistance(p, paper);
        if (d < kSolid * kSolid)
            continue;
        int32_t most = d;
        for (int64_t ni = std::max<int64_t>(i - 1, 0); ni <= std::min(i + 1, rows - 1); ++ni)
            for (int64_t nc = std::max<int64_t>(c - 1, 0); nc <= std::min(c + 1, columns - 1); ++nc)
                if (!(at(nc, ni) & kOnLine))
                    most = std::max(most, squaredDistance(colour(nc, ni), paper));
        if (d < kSolidShare * most)
            continue;
        const bool isSmall = blobs[size_t(blobOf[q])].size() <= smallest;
        (isSmall ? small : boxes)[boxOf(p)].add(p);
        ++solid[isSmall];
    }
    std::vector<Ink> inks;
    addInks(boxes, solid[0], paper, false, inks);
    addInks(small, solid[1], paper, true, inks);
    return inks;
}

// The tolerance of an ink: the start value, or less where another ink lies
// near the line from the paper to it.
int32_t toleranceOf(const Ink& ink, const std::vector<Ink>& inks, uint32_t paper)
{
    int32_t tolerance = InkSettings::kDefaultTolerance;
    InkSettings s;
    s.Paper = paper;
    s.Ink = ink.colour;
    for (const Ink& other : inks) {
        if (&other == &ink)
            continue;
        // The farthest tolerance at which the other ink still weighs nothing.
        for (int32_t t = tolerance; t >= 8; t -= 4) {
            s.Tolerance = t;
            if (InkModel(s).weight(other.colour) < 0)
                break;
            tolerance = t - 4;
        }
    }
    return std::max(tolerance, 8);
}

// The longest chain of runs that touch from strip to strip, or that lie
// within a few pixels across a gap (where another curve was drawn over this
// one): its runs (strip and run) from left to right, and whether it runs
// straight along one row, as the edge of a box does.
struct Chain {
    int32_t length = 0; // in strips
    std::vector<std::pair<int32_t, int32_t>> runs;
    bool flat = false;
};

Chain longestChain(const std::vector<std::vector<StripRun>>& runs, int64_t width)
{
    constexpr int64_t kGapPixels = 8;
    const int32_t bridge = static_cast<int32_t>(std::max<int64_t>(1, kGapPixels / std::max<int64_t>(width, 1)));
    struct Link {
        int32_t length = 1;
        int32_t strip = -1, run = -1;
    };
    std::vector<std::vector<Link>> links(runs.size());
    int32_t bestLength = 0, bestStrip = -1, bestRun = -1;
    for (size_t k = 0; k < runs.size(); ++k) {
        links[k].assign(runs[k].size(), Link{});
        for (size_t i = 0; i < runs[k].size(); ++i) {
            Link& l = links[k][i];
            const StripRun& b = runs[k][i];
            for (int32_t d = 1; d <= bridge && d <= int32_t(k); ++d) {
                const size_t from = k - size_t(d);
                const double slack = d == 1 ? 1.0 : 2.0 * double(d) * double(width);
                for (size_t j = 0; j < runs[from].size(); ++j) {
                    const StripRun& a = runs[from][j];
                    if (a.first <= b.last + slack && b.first <= a.last + slack && links[from][j].length + d > l.length)
                        l = {links[from][j].length + d, int32_t(from), int32_t(j)};
                }
            }
            if (l.length > bestLength) {
                bestLength = l.length;
                bestStrip = int32_t(k);
                bestRun = int32_t(i);
            }
        }
    }
    Chain out;
    out.length = bestLength;
    for (int32_t k = bestStrip, i = bestRun; k >= 0;) {
        out.runs.emplace_back(k, i);
        const Link& l = links[size_t(k)][size_t(i)];
        k = l.strip;
        i = l.run;
    }
    std::reverse(out.runs.begin(), out.runs.end());
    double low = 0, high = 0;
    for (size_t n = 0; n < out.runs.size(); ++n) {
        const double centre = runs[size_t(out.runs[n].first)][size_t(out.runs[n].second)].centre;
        low = n == 0 ? centre : std::min(low, centre);
        high = n == 0 ? centre : std::max(high, centre);
    }
    out.flat = !out.runs.empty() && high - low <= 2;
    return out;
}

// Markers: five or more blobs, most of them of about the typical one's size
// and shape, and not most of them along one line of text. Returns the
// typical one, or none.
std::optional<Blob> typicalMarker(const std::vector<Blob>& all)
{
    std::vector<Blob> blobs;
    for (const Blob& b : all)
        if (b.pixels >= 4)
            blobs.push_back(b);
    if (blobs.size() < 5)
        return std::nullopt;
    std::vector<Blob> bySize = blobs;
    std::nth_element(bySize.begin(), bySize.begin() + std::ptrdiff_t(bySize.size() / 2), bySize.end(),
                     [](const Blob& a, const Blob& b) { return a.pixels < b.pixels; });
    const Blob typical = bySize[bySize.size() / 2];
    const auto near = [](double v, double m) { return v >= 0.6 * m && v <= 1.6 * m; };
    size_t alike = 0;
    for (const Blob& b : blobs)
        alike += near(double(b.pixels), double(typical.pixels)) &&
                 near(b.right - b.left + 1, typical.right - typical.left + 1) &&
                 near(b.bottom - b.top + 1, typical.bottom - typical.top + 1);
    if (10 * alike < 7 * blobs.size())
        return std::nullopt;
    // Letters sit side by side on their line: many blobs share one band of
    // rows a blob high.
    std::vector<double> middles;
    for (const Blob& b : blobs)
        middles.push_back(0.5 * (b.top + b.bottom));
    std::sort(middles.begin(), middles.end());
    const double band = typical.bottom - typical.top + 1;
    size_t most = 0;
    for (size_t a = 0, b = 0; b < middles.size(); ++b) {
        while (middles[b] - middles[a] > band)
            ++a;
        most = std::max(most, b - a + 1);
    }
    if (10 * most >= 4 * blobs.size())
        return std::nullopt;
    return typical;
}

// The ink nearest the colour of the inkiest pixel of a run's rows in its
// strip: the run's own colour.
size_t inkOfRun(const PixelView& view, const FollowPlan& plan, int32_t strip, const StripRun& run,
                const std::vector<Ink>& inks, uint32_t paper)
{
    uint32_t inkiest = paper;
    for (int64_t x = plan.area.left + strip * plan.area.width; x < plan.area.left + (strip + 1) * plan.area.width; ++x)
        for (int32_t r = run.first; r <= run.last; ++r) {
            const uint32_t c = view.colourAt(x, r) & 0xFFFFFFu;
            if (squaredDistance(c, paper) > squaredDistance(inkiest, paper))
                inkiest = c;
        }
    size_t nearest = 0;
    for (size_t i = 1; i < inks.size(); ++i)
        if (squaredDistance(inkiest, inks[i].colour) < squaredDistance(inkiest, inks[nearest].colour))
            nearest = i;
    return nearest;
}

} // namespace

std::vector<SeriesSettings> findSeries(const PixelView& picture, const ScanSettings& settings)
{
    ScanSettings shared = settings;
    shared.Series.clear();
    const ScanChecks checks = checkScan(shared);
    if (checks.stop != ScanStop::None)
        return {};
    const ScanFrame frame = frameOf(picture, shared, checks);
    if (frame.columns <= 0 || frame.rows <= 0 || frame.top < 0 || frame.top + frame.rows > picture.height)
        return {};
    std::vector<uint8_t> buffer;
    const PixelView held =
        heldRows(picture, static_cast<int32_t>(frame.top), static_cast<int32_t>(frame.top + frame.rows), buffer);
    uint32_t paper = 0xFFFFFF;
    const std::vector<Ink> inks = findInks(held, frame, paper);

    std::vector<SeriesSettings> found;
    for (size_t k = 0; k < inks.size(); ++k) {
        const Ink& ink = inks[k];
        ScanSettings s = shared;
        s.Ink.On = true;
        s.Ink.Ink = ink.colour;
        s.Ink.Paper = paper;
        s.Ink.Tolerance = toleranceOf(ink, inks, paper);
        s.Follow = {};
        s.Follow.RemoveLines = true;
        s.Follow.Gap = settings.Follow.Gap;
        const FollowPlan plan = planFollow(picture, s);
        SeriesSettings one;
        one.HasInk = true;
        one.Ink = ink.colour;
        one.Tolerance = s.Ink.Tolerance;
        const Chain chain = longestChain(plan.runs, plan.area.width);
        const double share = (ink.small ? 2 : 1) * kLineShare;
        const bool line = chain.length > 0 && chain.length >= share * double(plan.runs.size()) && !chain.flat;
        if (line) {
            // The Start point: the run nearest the chain's middle that is of
            // this ink's own colour (not where another curve crosses, nor a
            // chain of another ink's pixels that this one counts too, as black
            // counts grey), no taller than the chain's runs are, amid runs of
            // neighbouring strips.
            const auto& r = chain.runs;
            std::vector<int32_t> heights;
            for (const auto& [k, i] : r)
                heights.push_back(plan.runs[size_t(k)][size_t(i)].last - plan.runs[size_t(k)][size_t(i)].first + 1);
            std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
            const int32_t height = heights[heights.size() / 2];
            const auto clean = [&](size_t n) {
                const StripRun& run = plan.runs[size_t(r[n].first)][size_t(r[n].second)];
                if (n < 2 || n + 2 >= r.size() || r[n + 2].first - r[n - 2].first != 4 ||
                    run.last - run.first + 1 > height + 1)
                    return false;
                return inkOfRun(held, plan, r[n].first, run, inks, paper) == k;
            };
            const size_t middle = r.size() / 2;
            std::optional<size_t> at;
            for (size_t d = 0; d <= middle && !at; ++d) {
                if (clean(middle - d))
                    at = middle - d;
                else if (middle + d < r.size() && clean(middle + d))
                    at = middle + d;
            }
            if (!at)
                continue;
            const auto [strip, i] = r[*at];
            one.StartX = double(plan.area.left + int64_t(strip) * plan.area.width + plan.area.width / 2);
            one.StartY = double(picture.height) - std::round(plan.runs[size_t(strip)][size_t(i)].centre);
        } else if (const std::optional<Blob> marker = typicalMarker(blobsOf(plan.pixels))) {
            one.Kind = SeriesKind::Markers;
            one.StartX = std::round(double(marker->sumX) / double(marker->weight));
            one.StartY = double(picture.height) - std::round(double(marker->sumR) / double(marker->weight));
        } else {
            continue;
        }
        found.push_back(one);
    }
    // Top to bottom at their Start points.
    std::stable_sort(found.begin(), found.end(),
                     [](const SeriesSettings& a, const SeriesSettings& b) { return a.StartY > b.StartY; });
    for (size_t i = 0; i < found.size(); ++i)
        found[i].Name = "Series " + std::to_string(i + 1);
    return found;
}

} // namespace plotrun
