#include "Markers.h"

#include "ChartCounted.h"
#include "ChartMap.h"
#include "ChartScan.h"
#include "CountedPixels.h"
#include "CurveFollow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numeric>

namespace plotrun {

namespace {

using Pixels = std::vector<CountedPixel>;

// A hole inside a marker weighs as a pixel full of ink.
constexpr int32_t kFullWeight = 255;
// Arms thinner than this (error bars, their caps, lines that touch a marker)
// are cut off by an opening with a square of this side.
constexpr int32_t kArm = 3;
// A bar may lose this many rows where it crosses a grid line; its pixels
// lie within this many columns of the marker's centre.
constexpr int32_t kBarGap = 2;
constexpr double kBarReach = 2;
// Lines of at most this thickness are left out of a blob far larger than a
// marker: a grid that the scan counts would join every marker it touches.
constexpr int32_t kThinLine = 3;
// A blob's box of more cells than this is left as it is: a line or the
// frame around a large area, never a marker.
constexpr int64_t kMostBoxCells = int64_t(1) << 24;

struct Box {
    int32_t left = 0, top = 0, right = -1, bottom = -1; // inclusive
    int32_t width() const { return right - left + 1; }
    int32_t height() const { return bottom - top + 1; }
    int64_t cells() const { return int64_t(std::max(width(), 0)) * std::max(height(), 0); }
    bool empty() const { return right < left || bottom < top; }
    bool holds(int32_t x, int32_t r) const { return x >= left && x <= right && r >= top && r <= bottom; }
    void add(int32_t x, int32_t r)
    {
        if (empty()) {
            left = right = x;
            top = bottom = r;
            return;
        }
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, r);
        bottom = std::max(bottom, r);
    }
};

Box boxOf(const CountedPixel* b, const CountedPixel* e)
{
    Box box;
    for (; b != e; ++b)
        box.add(b->x, b->r);
    return box;
}

// The counted pixels of the runs, row by row.
Pixels pixelsOf(const CountedRuns& c)
{
    Pixels out;
    out.reserve(c.weights.size());
    size_t w = 0;
    for (size_t i = 0; i + 1 < c.rowRun.size(); ++i)
        for (size_t k = c.rowRun[i]; k < c.rowRun[i + 1]; ++k)
            for (int32_t j = 0; j < c.runs[k].n; ++j)
                out.push_back({c.runs[k].x + j, c.top + static_cast<int32_t>(i), c.weights[w++]});
    return out;
}

// The pixels, in rows from the top and left to right, regrouped blob after
// blob (neighbours in eight directions), each blob's range in `ranges`. The
// blobs are labelled by runs of a row, joined to the runs of the row above
// that touch them.
Pixels blobsOf(const Pixels& px, std::vector<size_t>& ranges)
{
    struct Run {
        int32_t r, x0, x1;
    };
    std::vector<Run> runs;
    std::vector<int32_t> runOf(px.size());
    for (size_t i = 0; i < px.size(); ++i) {
        if (runs.empty() || runs.back().r != px[i].r || runs.back().x1 + 1 != px[i].x)
            runs.push_back({px[i].r, px[i].x, px[i].x});
        else
            ++runs.back().x1;
        runOf[i] = static_cast<int32_t>(runs.size() - 1);
    }
    std::vector<int32_t> parent(runs.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto find = [&parent](int32_t a) {
        while (parent[size_t(a)] != a)
            a = parent[size_t(a)] = parent[size_t(parent[size_t(a)])];
        return a;
    };
    size_t pa = 0, pb = 0; // the runs of the row before
    for (size_t ca = 0; ca < runs.size();) {
        size_t cb = ca;
        while (cb < runs.size() && runs[cb].r == runs[ca].r)
            ++cb;
        if (pb > pa && runs[pa].r == runs[ca].r - 1) {
            size_t j = pa;
            for (size_t k = ca; k < cb; ++k) {
                while (j < pb && runs[j].x1 + 1 < runs[k].x0)
                    ++j;
                for (size_t m = j; m < pb && runs[m].x0 <= runs[k].x1 + 1; ++m) {
                    const int32_t a = find(int32_t(k)), b = find(int32_t(m));
                    if (a != b)
                        parent[size_t(std::max(a, b))] = std::min(a, b);
                }
            }
        }
        pa = ca;
        pb = cb;
        ca = cb;
    }
    // Compact labels in the order of each blob's first run, then a counting
    // sort that keeps each blob's pixels in their order.
    std::vector<int32_t> label(runs.size(), -1);
    int32_t blobs = 0;
    for (size_t k = 0; k < runs.size(); ++k) {
        const int32_t root = find(int32_t(k));
        if (label[size_t(root)] < 0)
            label[size_t(root)] = blobs++;
        label[k] = label[size_t(root)];
    }
    ranges.assign(size_t(blobs) + 1, 0);
    for (size_t i = 0; i < px.size(); ++i)
        ++ranges[size_t(label[size_t(runOf[i])]) + 1];
    for (size_t b = 1; b < ranges.size(); ++b)
        ranges[b] += ranges[b - 1];
    std::vector<size_t> next(ranges.begin(), ranges.end() - 1);
    Pixels out(px.size());
    for (size_t i = 0; i < px.size(); ++i)
        out[next[size_t(label[size_t(runOf[i])])]++] = px[i];
    return out;
}

// A blob's box with a margin of one cell, each cell the weight of its pixel
// or -1. Its buffers are kept from blob to blob.
class Grid {
public:
    void load(const CountedPixel* b, const CountedPixel* e, const Box& box)
    {
        box_ = box;
        w_ = box.width() + 2;
        h_ = box.height() + 2;
        cells_.assign(size_t(w_) * size_t(h_), -1);
        for (; b != e; ++b)
            at(b->x - box.left + 1, b->r - box.top + 1) = static_cast<int16_t>(b->w);
    }
    int16_t& at(int32_t i, int32_t j) { return cells_[size_t(j) * size_t(w_) + size_t(i)]; }
    bool set(int32_t i, int32_t j) const { return cells_[size_t(j) * size_t(w_) + size_t(i)] >= 0; }

    // Holes, empty cells that the outside cannot reach (through empty
    // cells, in four directions), become full pixels.
    void fillHoles()
    {
        std::vector<uint8_t>& outside = flags_;
        outside.assign(cells_.size(), 0);
        stack_.clear();
        stack_.push_back(0);
        outside[0] = 1;
        while (!stack_.empty()) {
            const size_t c = stack_.back();
            stack_.pop_back();
            const int32_t i = int32_t(c % size_t(w_)), j = int32_t(c / size_t(w_));
            const auto visit = [&](int32_t a, int32_t b) {
                if (a < 0 || b < 0 || a >= w_ || b >= h_)
                    return;
                const size_t n = size_t(b) * size_t(w_) + size_t(a);
                if (!outside[n] && cells_[n] < 0) {
                    outside[n] = 1;
                    stack_.push_back(n);
                }
            };
            visit(i - 1, j);
            visit(i + 1, j);
            visit(i, j - 1);
            visit(i, j + 1);
        }
        for (size_t c = 0; c < cells_.size(); ++c)
            if (cells_[c] < 0 && !outside[c])
                cells_[c] = kFullWeight;
    }

    // Leaves out the pixels of straight lines at least `length` long and at
    // most kThinLine thick, along rows or columns; where a line crosses a
    // marker, the marker's pixels are thick across it and stay.
    void removeThinLines(int32_t length)
    {
        // Lengths beyond 65535 are all long.
        std::vector<uint16_t>& across = runs_;
        across.assign(cells_.size() * 2, 0);
        uint16_t* along = across.data();
        uint16_t* down = across.data() + cells_.size();
        const auto lengths = [&](int32_t n, int32_t m, auto index, uint16_t* into) {
            for (int32_t a = 0; a < m; ++a)
                for (int32_t b = 0; b < n;) {
                    if (cells_[index(a, b)] < 0) {
                        ++b;
                        continue;
                    }
                    int32_t e = b;
                    while (e < n && cells_[index(a, e)] >= 0)
                        ++e;
                    for (int32_t k = b; k < e; ++k)
                        into[index(a, k)] = static_cast<uint16_t>(std::min(e - b, 65535));
                    b = e;
                }
        };
        const size_t w = size_t(w_);
        lengths(
            w_, h_, [w](int32_t j, int32_t i) { return size_t(j) * w + size_t(i); }, along);
        lengths(
            h_, w_, [w](int32_t i, int32_t j) { return size_t(j) * w + size_t(i); }, down);
        for (size_t c = 0; c < cells_.size(); ++c)
            if ((along[c] >= length && down[c] <= kThinLine) || (down[c] >= length && along[c] <= kThinLine))
                cells_[c] = -1;
    }

    // The parts left, neighbours in eight directions, each appended to `out`
    // with its range in `ranges`.
    void parts(Pixels& out, std::vector<size_t>& ranges)
    {
        flags_.assign(cells_.size(), 0);
        for (size_t c0 = 0; c0 < cells_.size(); ++c0) {
            if (cells_[c0] < 0 || flags_[c0])
                continue;
            flags_[c0] = 1;
            stack_.assign(1, c0);
            while (!stack_.empty()) {
                const size_t c = stack_.back();
                stack_.pop_back();
                const int32_t i = int32_t(c % size_t(w_)), j = int32_t(c / size_t(w_));
                out.push_back({box_.left + i - 1, box_.top + j - 1, cells_[c]});
                for (int32_t b = std::max(j - 1, 0); b <= std::min(j + 1, h_ - 1); ++b)
                    for (int32_t a = std::max(i - 1, 0); a <= std::min(i + 1, w_ - 1); ++a) {
                        const size_t n = size_t(b) * size_t(w_) + size_t(a);
                        if (cells_[n] >= 0 && !flags_[n]) {
                            flags_[n] = 1;
                            stack_.push_back(n);
                        }
                    }
            }
            ranges.push_back(out.size());
        }
    }

    // The box (in picture pixels) of the largest part of the opening by a
    // square of kArm: what is left of the blob when its arms are cut off.
    // Empty when nothing is as thick as the square.
    Box core()
    {
        const size_t n = cells_.size();
        std::vector<uint8_t>& open = flags_;
        open.assign(n, 0);
        std::vector<uint8_t>& seen = bytes_;
        seen.assign(n, 0);
        const int32_t k = kArm;
        bool any = false;
        for (int32_t j = 0; j + k <= h_; ++j)
            for (int32_t i = 0; i + k <= w_; ++i) {
                bool all = true;
                for (int32_t b = 0; b < k && all; ++b)
                    for (int32_t a = 0; a < k && all; ++a)
                        all = set(i + a, j + b);
                if (!all)
                    continue;
                any = true;
                for (int32_t b = 0; b < k; ++b)
                    for (int32_t a = 0; a < k; ++a)
                        open[size_t(j + b) * size_t(w_) + size_t(i + a)] = 1;
            }
        Box best;
        if (!any)
            return best;
        int64_t bestCount = 0;
        for (size_t c0 = 0; c0 < n; ++c0) {
            if (!open[c0] || seen[c0])
                continue;
            Box part;
            int64_t count = 0;
            seen[c0] = 1;
            stack_.assign(1, c0);
            while (!stack_.empty()) {
                const size_t c = stack_.back();
                stack_.pop_back();
                const int32_t i = int32_t(c % size_t(w_)), j = int32_t(c / size_t(w_));
                part.add(box_.left + i - 1, box_.top + j - 1);
                ++count;
                for (int32_t b = std::max(j - 1, 0); b <= std::min(j + 1, h_ - 1); ++b)
                    for (int32_t a = std::max(i - 1, 0); a <= std::min(i + 1, w_ - 1); ++a) {
                        const size_t m = size_t(b) * size_t(w_) + size_t(a);
                        if (open[m] && !seen[m]) {
                            seen[m] = 1;
                            stack_.push_back(m);
                        }
                    }
            }
            if (count > bestCount) {
                bestCount = count;
                best = part;
            }
        }
        return best;
    }

    // The cells, row by row, appended to `out` in picture pixels.
    void pixels(Pixels& out) const
    {
        for (int32_t j = 1; j + 1 < h_; ++j)
            for (int32_t i = 1; i + 1 < w_; ++i) {
                const int16_t v = cells_[size_t(j) * size_t(w_) + size_t(i)];
                if (v >= 0)
                    out.push_back({box_.left + i - 1, box_.top + j - 1, v});
            }
    }

private:
    Box box_;
    int32_t w_ = 0, h_ = 0;
    std::vector<int16_t> cells_;
    std::vector<uint8_t> flags_, bytes_;
    std::vector<size_t> stack_;
    std::vector<uint16_t> runs_;
};

// A blob with its holes filled: its pixels in the pool, and the part of it
// that a marker would be, its arms cut off.
struct Shape {
    size_t begin = 0, end = 0;
    Box box;  // of all its pixels
    Box core; // of its part as thick as kArm, widened by kArm; empty when none
    // The pixels within `core`: the marker, if the shape is one.
    int64_t area = 0;
    int32_t heaviest = 0; // the largest weight of its pixels
    Box markerBox;
    long double sw = 0, swx = 0, swr = 0;

    double cx() const { return static_cast<double>(swx / sw); }
    double cr() const { return static_cast<double>(swr / sw); }
    double fill() const { return double(area) / double(std::max<int64_t>(markerBox.cells(), 1)); }
};

// What a single marker of the series looks like.
struct Reference {
    double area = 0, width = 0, height = 0, fill = 0;
    // From its centre to the edges of its box.
    double toLeft = 0, toRight = 0, toTop = 0, toBottom = 0;
};

Reference referenceOf(const Shape& s)
{
    return {double(s.area),
            double(s.markerBox.width()),
            double(s.markerBox.height()),
            s.fill(),
            s.cx() - s.markerBox.left,
            s.markerBox.right - s.cx(),
            s.cr() - s.markerBox.top,
            s.markerBox.bottom - s.cr()};
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    const size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + long(m), v.end());
    return v[m];
}

class MarkerFinder {
public:
    // The area's rows: [firstAreaRow, endAreaRow).
    MarkerFinder(const SeriesSettings& series, int32_t pictureHeight, int64_t firstAreaRow, int64_t endAreaRow)
        : series_(series), height_(pictureHeight), firstAreaRow_(firstAreaRow), endAreaRow_(endAreaRow)
    {
    }

    std::vector<Marker> find(const Pixels& counted)
    {
        counted_ = counted.data();
        if (!counted.empty()) {
            firstRow_ = counted.front().r;
            rowStart_.assign(size_t(counted.back().r - firstRow_) + 2, 0);
            for (const CountedPixel& p : counted)
                ++rowStart_[size_t(p.r - firstRow_) + 1];
            for (size_t i = 1; i < rowStart_.size(); ++i)
                rowStart_[i] += rowStart_[i - 1];
        }
        std::vector<size_t> ranges;
        const Pixels blobs = blobsOf(counted, ranges);
        lineLength_ = expectedLineLength(blobs, ranges);
        for (size_t b = 0; b + 1 < ranges.size(); ++b)
            shapeBlob(blobs.data() + ranges[b], blobs.data() + ranges[b + 1]);
        if (!chooseReference())
            return {};
        std::vector<Marker> found;
        for (const Shape& s : shapes_)
            judge(s, found);
        leaveOutStrays(found);
        std::sort(found.begin(), found.end(), [](const Marker& a, const Marker& b) { return a.x < b.x; });
        return found;
    }

private:
    bool hasStart() const { return series_.StartX >= 0 && series_.StartY >= 0; }
    bool hasSize() const { return series_.MinSize > 0 && series_.MaxSize >= series_.MinSize; }

    // Lines far longer than a marker: three times the marker's expected side.
    int32_t expectedLineLength(const Pixels& blobs, const std::vector<size_t>& ranges) const
    {
        double side = 0;
        if (hasSize()) {
            side = std::sqrt(double(series_.MaxSize)) * 1.2;
        } else if (hasStart()) {
            const int32_t x = static_cast<int32_t>(series_.StartX);
            const int32_t r = static_cast<int32_t>(height_ - series_.StartY);
            for (size_t b = 0; b + 1 < ranges.size() && side == 0; ++b) {
                const Box box = boxOf(blobs.data() + ranges[b], blobs.data() + ranges[b + 1]);
                if (box.holds(x, r) && std::max(box.width(), box.height()) <= 64)
                    side = std::max(box.width(), box.height());
            }
        }
        if (side == 0) {
            std::vector<double> sides;
            for (size_t b = 0; b + 1 < ranges.size(); ++b) {
                const Box box = boxOf(blobs.data() + ranges[b], blobs.data() + ranges[b + 1]);
                if (ranges[b + 1] - ranges[b] >= 6)
                    sides.push_back(std::max(box.width(), box.height()));
            }
            side = sides.empty() ? 16 : median(sides);
        }
        return std::max<int32_t>(12, static_cast<int32_t>(std::ceil(3 * side)));
    }

    // A blob as shapes: first without the thin lines that join markers when
    // it is far larger than one, then each part with its holes filled.
    void shapeBlob(const CountedPixel* b, const CountedPixel* e)
    {
        const Box box = boxOf(b, e);
        if (std::max(box.width(), box.height()) > lineLength_ && box.cells() <= kMostBoxCells) {
            grid_.load(b, e, box);
            grid_.removeThinLines(lineLength_);
            Pixels parts;
            std::vector<size_t> ranges{0};
            grid_.parts(parts, ranges);
            for (size_t k = 0; k + 1 < ranges.size(); ++k)
                addShape(parts.data() + ranges[k], parts.data() + ranges[k + 1]);
            return;
        }
        addShape(b, e);
    }

    void addShape(const CountedPixel* b, const CountedPixel* e)
    {
        Shape s;
        s.box = boxOf(b, e);
        if (s.box.cells() > kMostBoxCells || std::max(s.box.width(), s.box.height()) > 4 * lineLength_)
            return; // a line or the frame, never a marker
        grid_.load(b, e, s.box);
        grid_.fillHoles();
        s.begin = pool_.size();
        grid_.pixels(pool_);
        s.end = pool_.size();
        s.core = grid_.core();
        if (s.core.empty())
            return; // nothing in it as thick as a marker: a stroke of text, a line
        s.core.left -= kArm;
        s.core.top -= kArm;
        s.core.right += kArm;
        s.core.bottom += kArm;
        for (size_t i = s.begin; i < s.end; ++i) {
            const CountedPixel& p = pool_[i];
            if (!s.core.holds(p.x, p.r))
                continue;
            ++s.area;
            s.heaviest = std::max(s.heaviest, p.w);
            s.markerBox.add(p.x, p.r);
            s.sw += p.w;
            s.swx += static_cast<long double>(p.w) * p.x;
            s.swr += static_cast<long double>(p.w) * p.r;
        }
        if (s.sw > 0)
            shapes_.push_back(s);
    }

    // The marker under the Start point; or the median of the blobs within
    // the given size; or the median of the most common blob size.
    bool chooseReference()
    {
        const Shape* ref = nullptr;
        if (hasStart()) {
            const double x = series_.StartX, r = height_ - series_.StartY;
            double best = 3.5;
            for (const Shape& s : shapes_) {
                const double dx = std::max({s.markerBox.left - x, x - s.markerBox.right, 0.0});
                const double dr = std::max({s.markerBox.top - r, r - s.markerBox.bottom, 0.0});
                const double d = std::hypot(dx, dr);
                if (d < best || (d == best && ref && s.area > ref->area)) {
                    best = d;
                    ref = &s;
                }
            }
        }
        std::vector<const Shape*> candidates;
        if (!ref && hasSize()) {
            for (const Shape& s : shapes_)
                if (s.area >= series_.MinSize && s.area <= series_.MaxSize)
                    candidates.push_back(&s);
        } else if (!ref) {
            // Sizes in steps of a quarter: the step that most blobs fall in.
            const auto bin = [](int64_t area) { return static_cast<int>(std::floor(std::log(double(area)) / 0.2231)); };
            std::vector<int> count(64, 0);
            for (const Shape& s : shapes_)
                if (s.area >= 6)
                    ++count[size_t(std::clamp(bin(s.area), 0, 63))];
            const int mode = static_cast<int>(std::max_element(count.begin(), count.end()) - count.begin());
            if (count[size_t(mode)] == 0)
                return false;
            for (const Shape& s : shapes_)
                if (s.area >= 6 && std::clamp(bin(s.area), 0, 63) == mode)
                    candidates.push_back(&s);
        }
        if (!ref) {
            if (candidates.empty())
                return false;
            std::nth_element(candidates.begin(), candidates.begin() + long(candidates.size() / 2), candidates.end(),
                             [](const Shape* a, const Shape* b) { return a->area < b->area; });
            ref = candidates[candidates.size() / 2];
        }
        ref_ = referenceOf(*ref);
        if (hasSize()) {
            singleLow_ = series_.MinSize;
            singleHigh_ = series_.MaxSize;
            pairHigh_ = 2.0 * series_.MaxSize;
        } else {
            singleLow_ = 0.4 * ref_.area;
            singleHigh_ = 1.4 * ref_.area;
            pairHigh_ = 2.6 * ref_.area;
        }
        return true;
    }

    bool single(const Shape& s) const
    {
        const double w = s.markerBox.width(), h = s.markerBox.height();
        return s.area >= singleLow_ && s.area <= singleHigh_ && w >= 0.6 * ref_.width && w <= 1.45 * ref_.width + 1 &&
               h >= 0.6 * ref_.height && h <= 1.45 * ref_.height + 1 && std::fabs(s.fill() - ref_.fill) <= 0.2;
    }

    bool pair(const Shape& s) const
    {
        const double w = s.markerBox.width(), h = s.markerBox.height();
        return s.area > singleHigh_ && s.area <= pairHigh_ && w >= ref_.width - 1 && h >= ref_.height - 1 &&
               w <= 2.1 * ref_.width + 1 && h <= 2.1 * ref_.height + 1 &&
               (w >= 1.3 * ref_.width || h >= 1.3 * ref_.height);
    }

    void judge(const Shape& s, std::vector<Marker>& found) const
    {
        if (single(s)) {
            Marker m{s.cx(), s.cr(), s.area};
            placeBar(s, m);
            found.push_back(m);
            return;
        }
        if (!pair(s))
            return;
        // Two markers that overlap: each lies against the far side of the
        // pair's box, the left one against its left edge, the right one
        // against its right edge, and the lower one against its bottom.
        long double sxr = 0;
        for (size_t i = s.begin; i < s.end; ++i) {
            const CountedPixel& p = pool_[i];
            if (s.core.holds(p.x, p.r))
                sxr += static_cast<long double>(p.w) * (p.x - s.cx()) * (p.r - s.cr());
        }
        const Box& b = s.markerBox;
        const double x1 = b.left + ref_.toLeft, x2 = b.right - ref_.toRight;
        const double upper = b.top + ref_.toTop, lower = b.bottom - ref_.toBottom;
        const bool rightIsLower = sxr >= 0;
        for (const Marker& m : {Marker{x1, rightIsLower ? upper : lower, s.area / 2},
                                Marker{x2, rightIsLower ? lower : upper, s.area / 2}}) {
            found.push_back(m);
            placeBar(s, found.back(), true);
        }
    }

    // The ends of a vertical bar through the marker: the counted rows that
    // hold pixels in the columns within kBarReach of the marker's centre, one
    // after the other from the marker's rows outward. A bar drawn over a grid
    // line may lose a row or two there. A pair's markers take their x from
    // their bars, which pass through their centres.
    void placeBar(const Shape& s, Marker& m, bool takeX = false) const
    {
        const int32_t left = static_cast<int32_t>(std::ceil(m.x - kBarReach));
        const int32_t right = static_cast<int32_t>(std::floor(m.x + kBarReach));
        struct Row {
            int32_t heaviest = -1; // -1: no pixel
            int32_t sum = 0;
            long double sumX = 0;
        };
        const auto rowAt = [&](int32_t r) {
            Row row;
            if (r < firstRow_ || r >= firstRow_ + int32_t(rowStart_.size()) - 1)
                return row;
            const CountedPixel* b = counted_ + rowStart_[size_t(r - firstRow_)];
            const CountedPixel* e = counted_ + rowStart_[size_t(r - firstRow_) + 1];
            b = std::lower_bound(b, e, left, [](const CountedPixel& p, int32_t x) { return p.x < x; });
            for (; b != e && b->x <= right; ++b) {
                row.heaviest = std::max(row.heaviest, b->w);
                row.sum += b->w;
                row.sumX += static_cast<long double>(b->w) * b->x;
            }
            return row;
        };
        // The last row of the bar on one side, or the row before `from`
        // when there is none there.
        int32_t full = 1;
        long double sumX = 0, sumW = 0;
        const auto outward = [&](int32_t from, int32_t step) {
            int32_t end = from - step;
            long double sx = 0, w = 0;
            std::vector<int32_t> sums;
            for (int32_t r = from, empty = 0; empty <= kBarGap; r += step) {
                const Row row = rowAt(r);
                if (row.heaviest < 0) {
                    ++empty;
                    continue;
                }
                empty = 0;
                end = r;
                sums.push_back(row.sum);
                sx += row.sumX;
                w += row.sum;
            }
            // A line, not a bar: pixels beside the centre, far lighter than
            // the marker, running to the edge of the area, or going on
            // beyond a break (a grid line that line removal did not leave
            // out, broken by the markers of other series).
            const bool toEdge = end - kBarGap - 2 <= firstAreaRow_ || end + kBarGap + 2 >= endAreaRow_;
            const int32_t beyond = static_cast<int32_t>(4 * ref_.height);
            int32_t goesOn = 0;
            for (int32_t k = 1; k <= beyond && !sums.empty(); ++k)
                goesOn += rowAt(end + step * k).heaviest >= 0;
            if (sums.empty() || !(w > 0) || toEdge || goesOn > 0.6 * beyond ||
                std::fabs(static_cast<double>(sx / w) - m.x) > kBarReach - 0.5 ||
                median(std::vector<double>(sums.begin(), sums.end())) < 0.5 * s.heaviest)
                return from - step;
            sumX += sx;
            sumW += w;
            for (int32_t r = from; r != end + step; r += step)
                full = std::max(full, rowAt(r).heaviest);
            return end;
        };
        const int32_t up = outward(s.markerBox.top - 1, -1);
        const int32_t down = outward(s.markerBox.bottom + 1, 1);
        if (up == s.markerBox.top && down == s.markerBox.bottom)
            return;
        // The outermost row, as full as it is, says where in it the bar
        // ends; a side without a bar ends at the marker's centre.
        const auto share = [&](int32_t r) { return std::min(1.0, double(rowAt(r).heaviest) / full); };
        m.hasBar = true;
        m.barTop = up < s.markerBox.top ? up + 0.5 - share(up) : m.row;
        m.barBottom = down > s.markerBox.bottom ? down - 0.5 + share(down) : m.row;
        if (takeX)
            m.x = static_cast<double>(sumX / sumW);
    }

    // A marker far off the run of its neighbours, as a legend's swatch is:
    // its row against the median of the lines through pairs of its
    // neighbours, three on each side.
    void leaveOutStrays(std::vector<Marker>& found) const
    {
        if (found.size() < 6)
            return;
        std::sort(found.begin(), found.end(), [](const Marker& a, const Marker& b) { return a.x < b.x; });
        const long n = static_cast<long>(found.size());
        std::vector<double> off(found.size(), 0);
        for (long i = 0; i < n; ++i) {
            // Three on each side, or more on one where the other has fewer.
            std::vector<long> near;
            for (long d = 1; near.size() < 6 && d < n; ++d) {
                const long before = std::max<long>(0, std::min<long>(3, i) + std::max<long>(0, 3 - (n - 1 - i)));
                const long after = std::max<long>(0, std::min<long>(3, n - 1 - i) + std::max<long>(0, 3 - i));
                if (d <= before && i - d >= 0)
                    near.push_back(i - d);
                if (d <= after && i + d < n)
                    near.push_back(i + d);
            }
            std::vector<double> guesses;
            for (size_t a = 0; a < near.size(); ++a)
                for (size_t b = a + 1; b < near.size(); ++b) {
                    const Marker& p = found[size_t(near[a])];
                    const Marker& q = found[size_t(near[b])];
                    if (std::fabs(q.x - p.x) < 1)
                        continue;
                    guesses.push_back(p.row + (q.row - p.row) * (found[size_t(i)].x - p.x) / (q.x - p.x));
                }
            off[size_t(i)] = guesses.empty() ? 0 : std::fabs(found[size_t(i)].row - median(guesses));
        }
        const double limit = std::max(6 * median(off), 4 * std::max(ref_.width, ref_.height));
        size_t kept = 0;
        for (size_t i = 0; i < found.size(); ++i)
            if (off[i] <= limit)
                found[kept++] = found[i];
        found.resize(kept);
    }

    const SeriesSettings& series_;
    const int32_t height_;
    const int64_t firstAreaRow_, endAreaRow_;
    // The counted pixels, and where each row of them starts.
    const CountedPixel* counted_ = nullptr;
    int32_t firstRow_ = 0;
    std::vector<size_t> rowStart_;
    int32_t lineLength_ = 0;
    Grid grid_;
    Pixels pool_;
    std::vector<Shape> shapes_;
    Reference ref_;
    double singleLow_ = 0, singleHigh_ = 0, pairHigh_ = 0;
};

} // namespace

std::vector<Marker> findMarkers(const PixelView& picture, const ScanSettings& settings, const SeriesSettings& series,
                                const ScanChecks& checks, int threads)
{
    if (checks.stop != ScanStop::None)
        return {};
    // In the kinds other than the axes kind, the rectangle of picture pixels
    // that holds the area; the markers whose centres lie in it are kept below.
    ScanSettings s = settings;
    s.Follow.On = false;
    ScanChecks c = checks;
    if (!settings.Calibration.aligned()) {
        s = countedBoxOf(picture.width, picture.height, s);
        s.Follow.RemoveLines = settings.Follow.RemoveLines;
        c = checkScan(s);
        if (c.stop != ScanStop::None)
            return {};
    }
    const ScanFrame frame = frameOf(picture, s, c);
    if (frame.columns <= 0 || frame.rows <= 0)
        return {};
    const CountedRuns runs = countedRuns(picture, s, frame, threads);
    const Pixels counted = s.Follow.RemoveLines ? pixelsOffLines(runs, frame) : pixelsOf(runs);
    std::vector<Marker> found = MarkerFinder(series, picture.height, frame.top, frame.top + frame.rows).find(counted);
    if (!settings.Calibration.aligned()) {
        const ChartMap map(settings);
        const FrameArea a = frameAreaOf(settings, map);
        const double right = a.left + double(int64_t(checks.stripCount) * settings.ScanWidth);
        const double bottom = a.top - double(checks.scanHeight);
        std::erase_if(found, [&](const Marker& m) {
            const ChartPoint f = map.toFrame(m.x, double(picture.height) - m.row);
            return !(f.y <= a.top && f.y > bottom && f.x >= a.left && f.x < right);
        });
    }
    return found;
}

int32_t runMarkerScan(const PixelView& picture, const ScanSettings& settings, const SeriesSettings& series,
                      const ScanChecks& checks, const ScanSinks& sinks)
{
    if (sinks.onProgress)
        sinks.onProgress(0);
    const std::vector<Marker> found = findMarkers(picture, settings, series, checks, sinks.threads);
    const ChartMap map(settings);
    const double h = picture.height;
    int32_t number = 0;
    for (const Marker& m : found) {
        ResultRow row;
        row.number = ++number;
        row.bitmapX = m.x;
        row.bitmapY = h - m.row;
        const ChartPoint real = map.toChart(row.bitmapX, row.bitmapY);
        row.realX = real.x;
        row.realY = real.y;
        if (m.hasBar) {
            row.hasBar = true;
            row.yLow = map.toChart(m.x, h - m.barBottom).y;
            row.yHigh = map.toChart(m.x, h - m.barTop).y;
        }
        if (sinks.onRow)
            sinks.onRow(row);
    }
    return number;
}

} // namespace plotrun
