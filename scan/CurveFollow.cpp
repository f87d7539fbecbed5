#include "CurveFollow.h"

#include "Calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace plotrun {

namespace {

void addToRun(StripRun& run, int32_t row, int64_t weight, int64_t weightedColumn)
{
    if (run.pixels == 0)
        run.first = row;
    run.last = row;
    run.weight += weight;
    run.sumRow += weight * row;
    run.sumColumn += weightedColumn;
    ++run.pixels;
}

void finishRun(StripRun& run)
{
    run.centre = run.weight > 0 ? static_cast<double>(static_cast<long double>(run.sumRow) / run.weight)
                                : 0.5 * (double(run.first) + double(run.last));
}

// Line removal over the counted pixels, which come row by row and left to
// right. A pixel of a line row or column is kept where the curve crosses the
// line: just beyond the line on both sides (within a pixel along it) there
// are counted pixels that belong to no line. Only the counted pixels are
// walked, never the whole area.
void removeLines(FollowPlan& plan, const std::vector<CountedPixel>& all)
{
    const int64_t columns = plan.area.columns;
    const int64_t rows = plan.area.rows;
    const int64_t left = plan.area.left;
    const int64_t top = plan.top;
    constexpr uint8_t kRowLine = 1, kColumnLine = 2;
    std::vector<uint8_t> flags(all.size(), 0);
    // Whole numbers: a run of n pixels is long when 10 n >= 9 * the size.
    const auto longRun = [](int64_t n, int64_t size) { return 10 * n >= 9 * size; };

    // Where each row's pixels start in the list.
    std::vector<size_t> rowStart(static_cast<size_t>(rows + 1), all.size());
    for (size_t i = all.size(); i-- > 0;)
        rowStart[size_t(all[i].r - top)] = i;
    for (int64_t i = rows; i-- > 0;)
        rowStart[size_t(i)] = std::min(rowStart[size_t(i)], rowStart[size_t(i + 1)]);

    // Rows: runs of neighbouring columns.
    for (size_t i = 0; i < all.size();) {
        size_t e = i + 1;
        while (e < all.size() && all[e].r == all[i].r && all[e].x == all[e - 1].x + 1)
            ++e;
        if (longRun(int64_t(e - i), columns))
            std::fill(flags.begin() + std::ptrdiff_t(i), flags.begin() + std::ptrdiff_t(e), kRowLine);
        i = e;
    }
    // Columns: runs of neighbouring rows, kept as row spans per column.
    std::vector<int32_t> runStart(static_cast<size_t>(columns), 0);
    std::vector<int32_t> lastRow(static_cast<size_t>(columns), std::numeric_limits<int32_t>::min());
    std::vector<std::vector<std::pair<int32_t, int32_t>>> lineSpans;
    const auto closeColumn = [&](size_t c) {
        if (lastRow[c] != std::numeric_limits<int32_t>::min() && longRun(lastRow[c] - runStart[c] + 1, rows)) {
            if (lineSpans.empty())
                lineSpans.resize(static_cast<size_t>(columns));
            lineSpans[c].push_back({runStart[c], lastRow[c]});
        }
    };
    for (const CountedPixel& p : all) {
        const size_t c = size_t(p.x - left);
        if (lastRow[c] != p.r - 1) {
            closeColumn(c);
            runStart[c] = p.r;
        }
        lastRow[c] = p.r;
    }
    for (size_t c = 0; c < size_t(columns); ++c)
        closeColumn(c);
    const auto inColumnLine = [&](int64_t x, int64_t r) {
        if (lineSpans.empty())
            return false;
        for (const auto& [a, b] : lineSpans[size_t(x - left)])
            if (r >= a && r <= b)
                return true;
        return false;
    };
    if (!lineSpans.empty())
        for (size_t i = 0; i < all.size(); ++i)
            if (inColumnLine(all[i].x, all[i].r))
                flags[i] |= kColumnLine;

    // The flags of a counted pixel; -1 when it is not counted.
    const auto flagsAt = [&](int64_t x, int64_t r) -> int {
        if (x < left || x >= left + columns || r < top || r >= top + rows)
            return -1;
        const auto b = all.begin() + std::ptrdiff_t(rowStart[size_t(r - top)]);
        const auto e = all.begin() + std::ptrdiff_t(rowStart[size_t(r - top + 1)]);
        const auto it = std::lower_bound(b, e, x, [](const CountedPixel& p, int64_t v) { return p.x < v; });
        if (it == e || it->x != x)
            return -1;
        return flags[size_t(it - all.begin())];
    };
    const auto plain = [&](int64_t x, int64_t r) { return flagsAt(x, r) == 0; };
    const auto crossed = [&](int64_t x, int64_t r, uint8_t line, int64_t dx, int64_t dr) {
        int64_t xa = x, ra = r, xb = x, rb = r;
        for (int f = flagsAt(xa, ra); f > 0 && (f & line); f = flagsAt(xa, ra)) {
            xa -= dx;
            ra -= dr;
        }
        for (int f = flagsAt(xb, rb); f > 0 && (f & line); f = flagsAt(xb, rb)) {
            xb += dx;
            rb += dr;
        }
        // Beyond the line, the curve may be a pixel off to either side.
        const auto near = [&](int64_t x0, int64_t r0) {
            return plain(x0, r0) || plain(x0 - dr, r0 - dx) || plain(x0 + dr, r0 + dx);
        };
        return near(xa, ra) && near(xb, rb);
    };
    plan.pixels.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        const CountedPixel& p = all[i];
        const uint8_t f = flags[i];
        bool keep = true;
        if ((f & kRowLine) && !crossed(p.x, p.r, kRowLine, 0, 1))
            keep = false;
        if ((f & kColumnLine) && !crossed(p.x, p.r, kColumnLine, 1, 0))
            keep = false;
        (keep ? plan.pixels : plan.removed).push_back(p);
    }
}

} // namespace

std::vector<StripRun> splitRuns(const std::vector<int64_t>& rowWeight, int32_t firstRow, int32_t gap)
{
    std::vector<StripRun> runs;
    StripRun open;
    for (size_t i = 0; i < rowWeight.size(); ++i) {
        if (rowWeight[i] < 0)
            continue;
        const int32_t row = firstRow + static_cast<int32_t>(i);
        if (open.pixels > 0 && row - open.last - 1 >= gap) {
            finishRun(open);
            runs.push_back(open);
            open = StripRun{};
        }
        addToRun(open, row, rowWeight[i], 0);
    }
    if (open.pixels > 0) {
        finishRun(open);
        runs.push_back(open);
    }
    return runs;
}

int32_t chooseRun(const std::vector<StripRun>& runs, double row, double limit)
{
    int32_t best = -1;
    double bestDistance = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const double d = std::fabs(runs[i].centre - row);
        if (d > limit)
            continue;
        if (best < 0 || d < bestDistance || (d == bestDistance && runs[i].weight > runs[size_t(best)].weight)) {
            best = static_cast<int32_t>(i);
            bestDistance = d;
        }
    }
    return best;
}

FollowStart chooseStart(const std::vector<std::vector<StripRun>>& runs, double jump, int32_t startStrip,
                        double startRow)
{
    const int32_t n = static_cast<int32_t>(runs.size());
    if (n == 0)
        return {};
    // The strips in the order of their distance from `from`, nearer first.
    const auto outward = [n](int32_t from, auto&& take) {
        from = std::clamp(from, 0, n - 1);
        for (int32_t d = 0; d < n; ++d) {
            if (from - d >= 0 && take(from - d))
                return true;
            if (d > 0 && from + d < n && take(from + d))
                return true;
        }
        return false;
    };
    FollowStart s;
    if (startStrip >= 0) {
        outward(startStrip, [&](int32_t k) {
            if (runs[size_t(k)].empty())
                return false;
            s = {k, chooseRun(runs[size_t(k)], startRow, std::numeric_limits<double>::infinity())};
            return true;
        });
        return s;
    }
    const auto continues = [&](int32_t k, double centre) {
        return k >= 0 && k < n && chooseRun(runs[size_t(k)], centre, jump) >= 0;
    };
    const int32_t middle = n / 2;
    if (outward(middle, [&](int32_t k) {
            const auto& r = runs[size_t(k)];
            if (r.size() != 1 || !continues(k - 1, r[0].centre) || !continues(k + 1, r[0].centre))
                return false;
            s = {k, 0};
            return true;
        }))
        return s;
    outward(middle, [&](int32_t k) {
        const auto& r = runs[size_t(k)];
        if (r.empty())
            return false;
        int32_t heaviest = 0;
        for (size_t i = 1; i < r.size(); ++i)
            if (r[i].weight > r[size_t(heaviest)].weight)
                heaviest = static_cast<int32_t>(i);
        s = {k, heaviest};
        return true;
    });
    return s;
}

std::vector<int32_t> followCurve(const std::vector<std::vector<StripRun>>& runs, FollowStart start, double jump)
{
    const int32_t n = static_cast<int32_t>(runs.size());
    std::vector<int32_t> chosen(static_cast<size_t>(n), -1);
    if (start.strip < 0 || start.strip >= n || start.run < 0)
        return chosen;
    chosen[size_t(start.strip)] = start.run;
    const double from = runs[size_t(start.strip)][size_t(start.run)].centre;
    for (const int32_t step : {1, -1}) {
        double previous = from;
        int64_t skipped = 0;
        for (int32_t k = start.strip + step; k >= 0 && k < n; k += step) {
            const int32_t i = chooseRun(runs[size_t(k)], previous, jump * double(1 + skipped));
            if (i < 0) {
                ++skipped;
                continue;
            }
            chosen[size_t(k)] = i;
            previous = runs[size_t(k)][size_t(i)].centre;
            skipped = 0;
        }
    }
    return chosen;
}

int32_t maxJumpOf(const ScanSettings& s, int64_t areaRows)
{
    if (s.Follow.MaxJump > 0)
        return s.Follow.MaxJump;
    // From one strip to the next, a curve's point moves by its slope (rows
    // per column) times the scan width. A tenth of the area height alone lets
    // a curve of slope 1 through only while the strips are narrower than it,
    // so wide strips lost even the diagonal. Twice the width lets every curve
    // up to two rows per column through at any width; more would let a point
    // jump across to a tick or another curve as soon as its own is broken.
    const int64_t automatic = std::max<int64_t>(areaRows / 10, 2 * static_cast<int64_t>(s.ScanWidth));
    return static_cast<int32_t>(std::clamp<int64_t>(automatic, 1, std::numeric_limits<int32_t>::max()));
}

FollowPlan planFollow(const PixelView& picture, const ScanSettings& settings)
{
    FollowPlan plan;
    plan.area = countedArea(settings);
    const int64_t width = settings.ScanWidth;
    if (plan.area.columns <= 0 || width < 1)
        return plan;
    plan.top = static_cast<int32_t>(std::clamp<double>(std::trunc(double(picture.height) - settings.ScanEndY),
                                                       std::numeric_limits<int32_t>::min(),
                                                       std::numeric_limits<int32_t>::max()));
    std::vector<CountedPixel> all = countedPixels(picture, settings, plan.area);
    if (settings.Follow.RemoveLines)
        removeLines(plan, all);
    else
        plan.pixels = std::move(all);

    const int64_t strips = plan.area.columns / width;
    const int32_t gap = std::max(settings.Follow.Gap, 1);
    plan.runs.assign(static_cast<size_t>(strips), {});
    std::vector<StripRun> open(static_cast<size_t>(strips));
    for (const CountedPixel& p : plan.pixels) {
        const size_t k = static_cast<size_t>((p.x - plan.area.left) / width);
        StripRun& run = open[k];
        if (run.pixels > 0 && p.r - run.last - 1 >= gap) {
            finishRun(run);
            if (run.weight > 0)
                plan.runs[k].push_back(run);
            run = StripRun{};
        }
        addToRun(run, p.r, p.w, int64_t(p.w) * p.x);
    }
    for (size_t k = 0; k < open.size(); ++k)
        if (open[k].pixels > 0) {
            finishRun(open[k]);
            if (open[k].weight > 0)
                plan.runs[k].push_back(open[k]);
        }

    if (settings.Follow.On) {
        const double jump = maxJumpOf(settings, plan.area.rows);
        int32_t startStrip = -1;
        double startRow = 0;
        if (settings.Follow.StartX > -1 && settings.Follow.StartY > -1) {
            startStrip = static_cast<int32_t>(std::clamp<double>(
                std::floor((settings.Follow.StartX - double(plan.area.left)) / double(width)), 0, double(strips - 1)));
            startRow = double(picture.height) - settings.Follow.StartY;
        }
        plan.chosen = followCurve(plan.runs, chooseStart(plan.runs, jump, startStrip, startRow), jump);
    } else {
        plan.chosen.assign(static_cast<size_t>(strips), -1);
        for (size_t k = 0; k < plan.runs.size(); ++k)
            if (!plan.runs[k].empty())
                plan.chosen[k] = -2; // every run
    }
    plan.counts.strips = static_cast<int32_t>(strips);
    for (size_t k = 0; k < plan.runs.size(); ++k) {
        if (plan.runs[k].size() > 1)
            ++plan.counts.multiRunStrips;
        if (plan.chosen[k] == -1)
            ++plan.counts.stripsWithoutPoint;
    }
    return plan;
}

int32_t runFollowScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks)
{
    const FollowPlan plan = planFollow(picture, settings);
    const int64_t strips = checks.stripCount;
    const int64_t width = settings.ScanWidth;
    const AxisMap xMap = AxisMap::forX(settings);
    const AxisMap yMap = AxisMap::forY(settings);

    // The sums of the point of each strip: its chosen run, or all its runs.
    std::vector<StripRun> point(static_cast<size_t>(strips));
    for (size_t k = 0; k < plan.runs.size() && k < point.size(); ++k) {
        const int32_t c = plan.chosen[k];
        if (c == -1)
            continue;
        for (size_t i = 0; i < plan.runs[k].size(); ++i) {
            if (c >= 0 && size_t(c) != i)
                continue;
            const StripRun& r = plan.runs[k][i];
            StripRun& p = point[k];
            p.first = p.pixels == 0 ? r.first : p.first;
            p.last = r.last;
            p.weight += r.weight;
            p.sumRow += r.sumRow;
            p.sumColumn += r.sumColumn;
            p.pixels += r.pixels;
        }
    }
    std::vector<ResultRow> rows(static_cast<size_t>(strips));
    for (size_t k = 0; k < rows.size(); ++k) {
        const StripRun& p = point[k];
        if (p.pixels == 0 || p.weight <= 0)
            continue;
        ResultRow& row = rows[k];
        const long double sd = static_cast<long double>(p.weight);
        const int64_t xs = plan.area.left + static_cast<int64_t>(k) * width;
        row.bitmapX = settings.WeightedX ? static_cast<double>(static_cast<long double>(p.sumColumn) / sd)
                                         : static_cast<double>(xs) + static_cast<double>(width) * 0.5;
        row.bitmapY = static_cast<double>(static_cast<long double>(picture.height) - p.sumRow / sd);
        row.realX = xMap.toReal(row.bitmapX);
        row.realY = yMap.toReal(row.bitmapY);
        row.runCount = static_cast<int32_t>(plan.runs[k].size());
        row.number = 1;
    }
    if (wantSpread) {
        // The spread of the pixels that made the point: those of its rows.
        std::vector<long double> q(rows.size(), 0.0L);
        for (const CountedPixel& px : plan.pixels) {
            const size_t k = static_cast<size_t>((px.x - plan.area.left) / width);
            if (k >= rows.size() || rows[k].number == 0 || px.r < point[k].first || px.r > point[k].last)
                continue;
            {
                const double yp = yMap.toReal(static_cast<double>(bitmapYOfRow(px.r, picture.height)));
                const long double v = static_cast<long double>(yp) - rows[k].realY;
                q[k] += static_cast<long double>(px.w) * v * v;
            }
        }
        for (size_t k = 0; k < rows.size(); ++k) {
            ResultRow& row = rows[k];
            if (row.number == 0)
                continue;
            row.sdev = static_cast<double>(std::sqrt(q[k] / static_cast<long double>(point[k].weight)));
            if (row.realY != 0) {
                row.hasSdevY = true;
                row.sdevY = static_cast<double>(static_cast<long double>(row.sdev) / row.realY);
            }
        }
    }
    int32_t number = 1;
    for (int64_t k = 0; k < strips; ++k) {
        ResultRow& row = rows[size_t(k)];
        if (row.number != 0) {
            row.number = number++;
            if (sinks.onRow)
                sinks.onRow(row);
        }
        if (sinks.onProgress)
            sinks.onProgress(static_cast<int>((100 * k) / strips));
    }
    if (sinks.onFollowCounts)
        sinks.onFollowCounts(plan.counts);
    return number - 1;
}

std::string followCountsText(const FollowCounts& c)
{
    return "Strips with more than one run: " + std::to_string(c.multiRunStrips) +
           "; strips without a point: " + std::to_string(c.stripsWithoutPoint);
}

} // namespace plotrun
