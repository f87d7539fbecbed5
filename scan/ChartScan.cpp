#include "ChartScan.h"

#include "ColumnScan.h"
#include "CurveFollow.h"
#include "ScanFindings.h"
#include "InkModel.h"
#include "PixelWalk.h"
#include "Threads.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <vector>

namespace plotrun {

namespace {

using LD = long double;

int64_t clampedTrunc(double v)
{
    if (!(v > -9.0e15))
        return std::isnan(v) ? 0 : INT64_C(-9000000000000000);
    return v < 9.0e15 ? static_cast<int64_t>(v) : INT64_C(9000000000000000);
}

// The map from picture to frame in doubles: a counted pixel is mapped once,
// and extended precision would cost more than the rest of its visit.
struct FrameOfPixel {
    double m[9];
    bool affine;

    explicit FrameOfPixel(const Projective& p) : affine(p.affine())
    {
        for (int i = 0; i < 9; ++i)
            m[i] = static_cast<double>(p.m()[static_cast<size_t>(i)]);
    }

    // False beyond the horizon, where the pixel shows nothing of the chart.
    bool operator()(double x, double y, double& fx, double& fy) const
    {
        fx = m[0] * x + m[1] * y + m[2];
        fy = m[3] * x + m[4] * y + m[5];
        if (affine)
            return true;
        const double w = m[6] * x + m[7] * y + m[8];
        if (!(w > 0))
            return false;
        fx /= w;
        fy /= w;
        return true;
    }
};

// The strips of the scan in the frame.
struct Strips {
    double left = 0;
    double top = 0;
    int64_t count = 0;
    int64_t width = 1;
    int64_t rows = 0;

    // The strip of a frame point inside the area, or -1.
    int64_t of(double fx, double fy) const
    {
        if (!(fy <= top && fy > top - static_cast<double>(rows)))
            return -1;
        const double u = (fx - left) / static_cast<double>(width);
        if (!(u >= 0 && u < static_cast<double>(count)))
            return -1;
        return std::min<int64_t>(static_cast<int64_t>(u), count - 1);
    }
};

struct Sums {
    int64_t n = 0;
    int64_t sd = 0;
    LD sdy = 0;
    LD sdx = 0;
    LD q = 0; // the spread pass's sum of D v^2
};

class ChartStripScan {
public:
    ChartStripScan(const PixelView& pic, const ScanSettings& s, const ScanChecks& checks, bool wantSpread,
                   const ScanSinks& sinks)
        : pic_(pic), s_(s), wantSpread_(wantSpread), sinks_(sinks), map_(s), toFrame_(map_.fit()->toFrame),
          box_(pictureBoxOf(pic.width, pic.height, s, checks))
    {
        const FrameArea a = frameAreaOf(s, map_);
        strips_ = {a.left, a.top, checks.stripCount, s.ScanWidth, checks.scanHeight};
        frame_ = walk::frameOfRows(box_.first, box_.end - box_.first, s, ink_);
    }

    int32_t run()
    {
        if (s_.Follow.active()) {
            plan_.emplace(planOnCells(s_));
            removed_.assign(static_cast<size_t>(cells_.columns * strips_.rows), 0);
            for (const CountedPixel& p : plan_->removed)
                removed_[static_cast<size_t>(int64_t(p.r) * cells_.columns + p.x)] = 1;
        }
        std::vector<Sums> sums = walkBlocks(false, {});
        std::vector<ResultRow> rows(static_cast<size_t>(strips_.count));
        bool any = false;
        for (size_t k = 0; k < rows.size(); ++k) {
            const Sums& a = sums[k];
            if (a.sd == 0)
                continue;
            ResultRow& row = rows[k];
            const LD sd = static_cast<LD>(a.sd);
            const double fx = s_.WeightedX
                                  ? static_cast<double>(a.sdx / sd)
                                  : strips_.left + static_cast<double>(static_cast<int64_t>(k) * strips_.width) +
                                        static_cast<double>(strips_.width) * 0.5;
            const double fy = static_cast<double>(a.sdy / sd);
            const ChartPoint p = map_.fromFrame(fx, fy);
            row.bitmapX = p.x;
            row.bitmapY = p.y;
            row.realX = map_.realX(fx);
            row.realY = map_.realY(fy);
            row.number = 1;
            if (plan_)
                row.runCount = static_cast<int32_t>(plan_->runs[k].size());
            any = true;
        }
        if (wantSpread_ && any) {
            const std::vector<Sums> spread = walkBlocks(true, rows);
            for (size_t k = 0; k < rows.size(); ++k) {
                ResultRow& row = rows[k];
                if (row.number == 0)
                    continue;
                row.sdev = static_cast<double>(std::sqrt(spread[k].q / static_cast<LD>(sums[k].sd)));
                if (row.realY != 0) {
                    row.hasSdevY = true;
                    row.sdevY = static_cast<double>(static_cast<LD>(row.sdev) / row.realY);
                }
            }
        }
        int32_t number = 1;
        for (int64_t k = 0; k < strips_.count; ++k) {
            ResultRow& row = rows[static_cast<size_t>(k)];
            if (row.number != 0) {
                row.number = number++;
                if (sinks_.onRow)
                    sinks_.onRow(row);
            }
            if (sinks_.onProgress)
                sinks_.onProgress(static_cast<int>((100 * k) / strips_.count));
        }
        if (plan_ && sinks_.onFollowCounts)
            sinks_.onFollowCounts(plan_->counts);
        // What a scan with following or line removal saw, from its plan. A
        // plain scan in the frame makes no cells, which would cost more
        // than the scan.
        if (plan_ && sinks_.onFindings)
            sinks_.onFindings(findingsOf(*plan_));
        return number - 1;
    }

private:
    // The sums of every strip, block by block of picture rows. The spread
    // pass adds D v^2 about each row's real y instead.
    std::vector<Sums> walkBlocks(bool spreadPass, const std::vector<ResultRow>& rows) const
    {
        const size_t strips = static_cast<size_t>(strips_.count);
        const int64_t rowCount = box_.end - box_.first;
        // Blocks lie at whole multiples of kBlockRows from the picture's top.
        const int64_t firstBlock = box_.first / kBlockRows;
        const int64_t blocks = rowCount > 0 ? (box_.end - 1) / kBlockRows - firstBlock + 1 : 0;
        std::vector<std::vector<Sums>> partial(static_cast<size_t>(blocks));
        const int64_t pixels = rowCount * (box_.right - box_.left);
        const int threads = static_cast<int>(std::clamp<int64_t>(
            std::min<int64_t>(pixels / walk::kPixelsPerShare + 1, blocks), 1, threadsPerPicture(sinks_.threads)));
        std::atomic<int64_t> next{0};
        runShares(threads, [&](int) {
            for (int64_t b = next++; b < blocks; b = next++) {
                std::vector<Sums>& into = partial[static_cast<size_t>(b)];
                into.assign(strips, Sums{});
                walk::Frame g = frame_;
                g.top = std::max(box_.first, (firstBlock + b) * kBlockRows);
                g.rows = std::min((firstBlock + b + 1) * kBlockRows, box_.end) - g.top;
                walk::forEachCountedPixel(pic_, g, box_.left, box_.right, [&](int64_t x, int64_t r, int32_t d) {
                    if (d == 0)
                        return; // weighs nothing in any sum
                    double fx, fy;
                    if (!toFrame_(static_cast<double>(x), static_cast<double>(pic_.height - r), fx, fy))
                        return;
                    const int64_t k = strips_.of(fx, fy);
                    if (k < 0 || !kept(k, fx, fy))
                        return;
                    Sums& a = into[static_cast<size_t>(k)];
                    if (spreadPass) {
                        const ResultRow& row = rows[static_cast<size_t>(k)];
                        if (row.number == 0)
                            return;
                        const double v = static_cast<double>(static_cast<LD>(map_.realY(fy)) - row.realY);
                        a.q += static_cast<LD>(d) * v * v;
                        return;
                    }
                    ++a.n;
                    a.sd += d;
                    a.sdy += static_cast<LD>(d) * fy;
                    if (s_.WeightedX)
                        a.sdx += static_cast<LD>(d) * fx;
                });
            }
        });
        std::vector<Sums> sums(strips);
        for (const std::vector<Sums>& part : partial)
            for (size_t k = 0; k < strips; ++k) {
                sums[k].n += part[k].n;
                sums[k].sd += part[k].sd;
                sums[k].sdy += part[k].sdy;
                sums[k].sdx += part[k].sdx;
                sums[k].q += part[k].q;
            }
        return sums;
    }

    // With following or line removal: whether a pixel of strip k at this
    // frame point belongs to the strip's point.
    bool kept(int64_t k, double fx, double fy) const
    {
        if (!plan_)
            return true;
        const int64_t c = std::clamp<int64_t>(clampedTrunc(std::floor(fx - strips_.left)), 0, cells_.columns - 1);
        const int64_t j = std::clamp<int64_t>(clampedTrunc(std::floor(strips_.top - fy)), 0, strips_.rows - 1);
        if (removed_[static_cast<size_t>(j * cells_.columns + c)])
            return false;
        const int32_t chosen = plan_->chosen[static_cast<size_t>(k)];
        if (chosen == -1)
            return false;
        if (chosen < 0)
            return true;
        const StripRun& run = plan_->runs[static_cast<size_t>(k)][static_cast<size_t>(chosen)];
        return j >= run.first && j <= run.last;
    }

    // The area resampled into the frame, a cell for each frame pixel, each
    // the colour of the picture pixel nearest the cell's position; following
    // and line removal plan their runs on it as on any picture, with these
    // settings' following.
    FollowPlan planOnCells(const ScanSettings& settings)
    {
        cells_.columns = strips_.count * strips_.width;
        const int64_t rows = strips_.rows;
        const size_t n = static_cast<size_t>(cells_.columns * rows);
        std::vector<uint32_t> colours(n, 0x00FFFFFFu);
        // The picture pixel of each cell, bucketed by picture row, so that
        // the rows are read once, in order, as a scan reads them.
        std::vector<int64_t> rowOf(n, -1), xOf(n, 0);
        std::vector<int64_t> perRow(static_cast<size_t>(std::max<int64_t>(box_.end - box_.first, 0)) + 1, 0);
        for (int64_t j = 0; j < rows; ++j)
            for (int64_t c = 0; c < cells_.columns; ++c) {
                const ChartPoint p =
                    map_.fromFrame(strips_.left + static_cast<double>(c), strips_.top - static_cast<double>(j));
                const int64_t x = clampedTrunc(std::floor(p.x + 0.5));
                const int64_t r = pic_.height - clampedTrunc(std::floor(p.y + 0.5));
                if (x < box_.left || x >= box_.right || r < box_.first || r >= box_.end)
                    continue;
                const size_t i = static_cast<size_t>(j * cells_.columns + c);
                rowOf[i] = r;
                xOf[i] = x;
                ++perRow[static_cast<size_t>(r - box_.first)];
            }
        std::vector<int64_t> start(perRow.size() + 1, 0);
        for (size_t r = 0; r < perRow.size(); ++r)
            start[r + 1] = start[r] + perRow[r];
        std::vector<size_t> order(static_cast<size_t>(start.back()));
        std::vector<int64_t> fill(start.begin(), start.end() - 1);
        for (size_t i = 0; i < n; ++i)
            if (rowOf[i] >= 0)
                order[static_cast<size_t>(fill[static_cast<size_t>(rowOf[i] - box_.first)]++)] = i;
        walk::forEachHeldRow(pic_, box_.first, box_.end, [&](const PixelView& held, int64_t r) {
            const size_t at = static_cast<size_t>(r - box_.first);
            for (int64_t o = start[at]; o < start[at + 1]; ++o) {
                const size_t i = order[static_cast<size_t>(o)];
                colours[i] = held.colourAt(xOf[i], r) & PixelView::kColourMask;
            }
        });

        PixelView cells;
        cells.width = static_cast<int32_t>(cells_.columns);
        cells.height = static_cast<int32_t>(rows);
        cells.stride = cells_.columns;
        cells.pixels = colours.data();
        cells.layout = PixelLayout::Rgbx32;

        ScanSettings inCells = settings;
        inCells.Calibration = {};
        inCells.ScanStartX = 0;
        inCells.ScanEndX = static_cast<double>(cells_.columns);
        inCells.ScanStartY = 0;
        inCells.ScanEndY = static_cast<double>(rows);
        inCells.OriginX = inCells.OriginY = 0;
        inCells.RefX = inCells.RefY = 1;
        inCells.RealOriginX = inCells.RealOriginY = 0;
        inCells.RealRefX = inCells.RealRefY = 1;
        inCells.LogX = inCells.LogY = false;
        if (s_.Follow.StartX > -1 && s_.Follow.StartY > -1) {
            const ChartPoint f = map_.toFrame(s_.Follow.StartX, s_.Follow.StartY);
            inCells.Follow.StartX = std::clamp(std::floor(f.x - strips_.left), 0.0, double(cells_.columns - 1));
            inCells.Follow.StartY =
                static_cast<double>(rows) - std::clamp(std::floor(strips_.top - f.y), 0.0, double(rows - 1));
        }
        return planFollow(cells, inCells);
    }

    const PixelView& pic_;
    const ScanSettings& s_;
    const bool wantSpread_;
    const ScanSinks& sinks_;
    const ChartMap map_;
    const FrameOfPixel toFrame_;
    const PictureBox box_;
    Strips strips_;
    std::optional<InkModel> ink_;
    walk::Frame frame_;

    struct {
        int64_t columns = 0;
    } cells_;
    std::optional<FollowPlan> plan_;
    std::vector<uint8_t> removed_;
};

} // namespace

FrameArea frameAreaOf(const ScanSettings& s, const ChartMap& map)
{
    FrameArea a;
    const ChartFit* fit = map.fit();
    if (!fit)
        return {s.ScanStartX, s.ScanEndY, s.ScanEndX, s.ScanStartY};
    if (fit->problem != FitProblem::None) {
        a.stop = fit->problem == FitProblem::Collinear ? ScanStop::CollinearMarks : ScanStop::UnfixedFit;
        return a;
    }
    if (!(fit->toFrame.weight(s.ScanStartX, s.ScanStartY) > 0) || !(fit->toFrame.weight(s.ScanEndX, s.ScanEndY) > 0)) {
        a.stop = ScanStop::FoldedArea;
        return a;
    }
    const ChartPoint p = map.toFrame(s.ScanStartX, s.ScanStartY), q = map.toFrame(s.ScanEndX, s.ScanEndY);
    a.left = std::min(p.x, q.x);
    a.right = std::max(p.x, q.x);
    a.bottom = std::min(p.y, q.y);
    a.top = std::max(p.y, q.y);
    // Every corner of the rectangle lies on the marks' side of the horizon,
    // so that it is a quadrilateral on the picture that does not cross
    // itself.
    if (!std::isfinite(a.left) || !std::isfinite(a.right) || !std::isfinite(a.bottom) || !std::isfinite(a.top)) {
        a.stop = ScanStop::UnfixedFit;
        return a;
    }
    for (const double x : {a.left, a.right})
        for (const double y : {a.bottom, a.top})
            if (!(fit->toPicture.weight(x, y) > 0))
                a.stop = ScanStop::FoldedArea;
    if (a.stop != ScanStop::None)
        return a;
    // The rectangle's area in the frame against the quadrilateral's on the
    // picture: a frame pixel is about a picture pixel, unless the axes
    // nearly meet or the perspective nearly reaches the horizon. Then the
    // scan would walk far more strips and rows than the picture holds.
    const ChartPoint c[4] = {map.fromFrame(a.left, a.bottom), map.fromFrame(a.right, a.bottom),
                             map.fromFrame(a.right, a.top), map.fromFrame(a.left, a.top)};
    double twice = 0;
    for (int i = 0; i < 4; ++i)
        twice += c[i].x * c[(i + 1) % 4].y - c[(i + 1) % 4].x * c[i].y;
    const double frameArea = (a.right - a.left) * (a.top - a.bottom);
    if (frameArea > kMostFrameStretch * std::fabs(twice) / 2 + kFrameStretchRoom)
        a.stop = ScanStop::StretchedArea;
    return a;
}

PictureBox pictureBoxOf(int32_t width, int32_t height, const ScanSettings& s, const ScanChecks& checks)
{
    const ChartMap map(s);
    const FrameArea a = frameAreaOf(s, map);
    if (a.stop != ScanStop::None || checks.stripCount < 1)
        return {};
    const double right = a.left + static_cast<double>(int64_t(checks.stripCount) * s.ScanWidth);
    const double bottom = a.top - static_cast<double>(checks.scanHeight);
    double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
    for (const double x : {a.left, right})
        for (const double y : {bottom, a.top}) {
            const ChartPoint p = map.fromFrame(x, y);
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
    PictureBox b;
    b.left = std::clamp<int64_t>(clampedTrunc(std::floor(x0)) - 1, 0, width);
    b.right = std::clamp<int64_t>(clampedTrunc(std::ceil(x1)) + 2, b.left, width);
    b.first = std::clamp<int64_t>(height - clampedTrunc(std::ceil(y1)) - 1, 0, height);
    b.end = std::clamp<int64_t>(height - clampedTrunc(std::floor(y0)) + 2, b.first, height);
    return b;
}

std::string calibrationRefusal(const ScanSettings& s)
{
    const CalibrationSettings& c = s.Calibration;
    if (c.aligned())
        return {};
    if (c.X1Y < 0 || c.Y1X < 0)
        return "The " + std::string(calibrationKindName(c.Kind)) +
               " calibration needs X1 and Y1 as full points (--x1 and --y1)\n";
    if (c.Kind == CalibrationKind::FourPoint && (c.CornerX < 0 || c.CornerY < 0))
        return "The four-point calibration needs the corner C (--corner)\n";
    const FrameArea a = frameAreaOf(s, ChartMap(s));
    if (a.stop != ScanStop::None)
        return stopNotice(a.stop).text;
    return {};
}

int32_t runChartScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                     const ScanSinks& sinks)
{
    return ChartStripScan(picture, settings, checks, wantSpread, sinks).run();
}

} // namespace plotrun
