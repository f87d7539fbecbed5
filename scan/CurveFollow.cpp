#include "CurveFollow.h"

#include "Calibration.h"
#include "ChartMap.h"
#include "ScanFindings.h"
#include "Smoothing.h"
#include "StripPoint.h"

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

// Tests over the columns [c0, c1) of rows laid out by column. They have no
// early way out, so that they run over whole vectors of columns at a time:
// most runs of a thick line pass them.
bool allEqual(const int32_t* v, int64_t c0, int64_t c1, int32_t value)
{
    int32_t differ = 0;
    for (int64_t c = c0; c < c1; ++c)
        differ |= v[c] ^ value;
    return differ == 0;
}

bool allEqual(const int8_t* v, int64_t c0, int64_t c1, int8_t value)
{
    int8_t differ = 0;
    for (int64_t c = c0; c < c1; ++c)
        differ |= int8_t(v[c] ^ value);
    return differ == 0;
}

bool anyNonZero(const uint8_t* v, int64_t c0, int64_t c1)
{
    uint8_t any = 0;
    for (int64_t c = c0; c < c1; ++c)
        any |= v[c];
    return any != 0;
}

// Line flags, and a counted pixel of a row line: the flags of a pixel not
// counted, -1, have the top bit set.
constexpr int8_t kRowLine = 1, kColumnLine = 2;
inline int8_t offRowLine(int8_t f) { return int8_t((f & int8_t(0x81)) ^ kRowLine); }

bool allOnRowLines(const int8_t* a, const int8_t* b, int64_t c0, int64_t c1)
{
    int8_t off = 0;
    for (int64_t c = c0; c < c1; ++c)
        off |= int8_t(offRowLine(a[c]) | offRowLine(b[c]));
    return off == 0;
}

// Calls stretch(c, e) for each stretch [c, e) of neighbouring columns of
// [c0, c1) whose flags hold `flag`, left to right.
template <class Stretch>
void forEachStretch(const int8_t* flags, int64_t c0, int64_t c1, int8_t flag, const Stretch& stretch)
{
    if (allEqual(flags, c0, c1, flags[c0]) && (flags[c0] & flag)) {
        stretch(c0, c1);
        return;
    }
    for (int64_t c = c0; c < c1;) {
        if (!(flags[c] & flag)) {
            ++c;
            continue;
        }
        int64_t e = c + 1;
        while (e < c1 && (flags[e] & flag))
            ++e;
        stretch(c, e);
        c = e;
    }
}

// Line removal over the counted pixels, which come as runs of a row, row by
// row and left to right. A pixel of a line row or column is kept where the
// curve crosses the line: just beyond the line on both sides (within a pixel
// along it) there are counted pixels that belong to no line. Only the counted
// pixels are walked, never the whole area, and each of them a fixed number of
// times: all the pixels across one line share the answer, so it is found once
// for each stretch across the line, from its two ends. Where a whole run of a
// row goes one way, as all of a thick line does, it is passed over in a few
// vector steps. The left-out pixels are listed only when asked for; the scan
// itself needs only the kept ones.
void removeLines(FollowPlan& plan, const CountedRuns& counted, bool listRemoved)
{
    const int64_t columns = plan.area.columns;
    const int32_t rows = static_cast<int32_t>(plan.area.rows);
    const int64_t left = plan.area.left;
    const auto& runs = counted.runs;
    const auto& rowRun = counted.rowRun;
    // Whole numbers: a run of n pixels is long when 10 n >= 9 * the size.
    const auto longRun = [](int64_t n, int64_t size) { return spansMost(n, size); };
    // A row line is a long run of a row. Rows here count from the area's top.
    const auto rowLine = [&](const CountedRuns::Run& run) { return longRun(run.n, columns); };
    const auto eachRun = [&](int32_t i, const auto& visit) {
        for (size_t k = rowRun[size_t(i)]; k < rowRun[size_t(i + 1)]; ++k)
            visit(runs[k], runs[k].x - left, runs[k].x - left + runs[k].n);
    };
    constexpr int32_t kNone = std::numeric_limits<int32_t>::min();
    std::vector<int32_t> lastRow(static_cast<size_t>(columns), kNone);

    // Columns: runs of neighbouring rows. A column holds at most one long
    // run, as two runs of nine tenths of the rows each, with a row between
    // them, are more than the column's rows: a column line is the rows
    // [lineFirst, lineLast] of its column, or none when the first is above
    // the last.
    std::vector<int32_t> lineFirst(static_cast<size_t>(columns), 1), lineLast(static_cast<size_t>(columns), 0);
    {
        std::vector<int32_t> runStart(static_cast<size_t>(columns), 0);
        const auto closeColumn = [&](size_t c) {
            if (lastRow[c] != kNone && longRun(int64_t(lastRow[c]) - runStart[c] + 1, rows)) {
                lineFirst[c] = runStart[c];
                lineLast[c] = lastRow[c];
            }
        };
        for (int32_t i = 0; i < rows; ++i)
            eachRun(i, [&](const CountedRuns::Run&, int64_t c0, int64_t c1) {
                if (!allEqual(lastRow.data(), c0, c1, i - 1))
                    for (int64_t c = c0; c < c1; ++c)
                        if (lastRow[size_t(c)] != i - 1) {
                            closeColumn(size_t(c));
                            runStart[size_t(c)] = i;
                        }
                std::fill(lastRow.begin() + c0, lastRow.begin() + c1, i);
            });
        for (size_t c = 0; c < size_t(columns); ++c)
            closeColumn(c);
    }
    // The column line flag of the columns [c0, c1) of row i, into `to`.
    const auto columnLines = [first = lineFirst.data(), last = lineLast.data()](int32_t i, int64_t c0, int64_t c1,
                                                                                int8_t* to) {
        for (int64_t c = c0; c < c1; ++c)
            to[c] = int8_t(((first[c] <= i) & (i <= last[c])) * kColumnLine);
    };

    // The line flags of three neighbouring rows laid out by column, -1 where
    // nothing is counted, with a column of -1 on either side: a look beside
    // a line is then one read, not a search. Each row is written in once and
    // wiped out once, at the cost of its counted pixels.
    const size_t span = static_cast<size_t>(columns) + 2;
    std::vector<int8_t> window(3 * span, -1);
    const auto rowOf = [&](int32_t i) { return window.data() + size_t((i + 3) % 3) * span + 1; };
    const auto lay = [&](int32_t i) {
        if (i < 0 || i >= rows)
            return;
        int8_t* w = rowOf(i);
        eachRun(i, [&](const CountedRuns::Run& run, int64_t c0, int64_t c1) {
            columnLines(i, c0, c1, w);
            if (rowLine(run))
                for (int64_t c = c0; c < c1; ++c)
                    w[c] = int8_t(w[c] | kRowLine);
        });
    };
    const auto wipe = [&](int32_t i) {
        if (i >= 0 && i < rows)
            eachRun(i, [&](const CountedRuns::Run&, int64_t c0, int64_t c1) {
                std::fill(rowOf(i) + c0, rowOf(i) + c1, int8_t(-1));
            });
    };
    // Whether each stretch across a row line (down a column) is crossed, in
    // the order of their first pixels, and the one open in each column; and
    // whether each stretch across a column line (along a row) is, in order.
    std::vector<uint8_t> crossedDown, crossedAlong;
    std::vector<size_t> openDown(static_cast<size_t>(columns), 0);
    lay(0);
    for (int32_t i = 0; i < rows; ++i) {
        lay(i + 1);
        const int8_t* above = rowOf(i - 1);
        const int8_t* here = rowOf(i);
        const int8_t* below = rowOf(i + 1);
        eachRun(i, [&](const CountedRuns::Run& run, int64_t c0, int64_t c1) {
            // Column lines: a stretch across them is a piece of the run whose
            // pixels all lie on one. Beyond its ends the curve may be a row
            // off.
            const auto near = [&](int64_t x) { return here[x] == 0 || above[x] == 0 || below[x] == 0; };
            forEachStretch(here, c0, c1, kColumnLine,
                           [&](int64_t c, int64_t e) { crossedAlong.push_back(near(c - 1) && near(e)); });
            // Row lines: a stretch across one runs down a column, from the
            // pixel without a row line pixel above it to the one without one
            // below. Beyond its ends the curve may be a column off.
            if (!rowLine(run) || allOnRowLines(above, below, c0, c1))
                return;
            for (int64_t c = c0; c < c1; ++c) {
                const auto near = [c](const int8_t* w) { return w[c] == 0 || w[c - 1] == 0 || w[c + 1] == 0; };
                if (offRowLine(above[c])) {
                    openDown[size_t(c)] = crossedDown.size();
                    crossedDown.push_back(near(above));
                }
                if (offRowLine(below[c]) && !near(below))
                    crossedDown[openDown[size_t(c)]] = 0;
            }
        });
        wipe(i - 1);
    }
    window = {};
    openDown = {};

    // The stretches come in the same order again, so each pixel finds its
    // own by counting: down a column, a pixel of a row line with none right
    // above it opens the next one.
    std::fill(lastRow.begin(), lastRow.end(), kNone);
    std::vector<uint8_t> downCrossed(static_cast<size_t>(columns), 0);
    std::vector<uint8_t> keep(static_cast<size_t>(columns));
    std::vector<int8_t> along(static_cast<size_t>(columns));
    size_t nextDown = 0, nextAlong = 0, pixel = 0;
    plan.pixels.reserve(counted.weights.size());
    for (int32_t i = 0; i < rows; ++i)
        eachRun(i, [&](const CountedRuns::Run& run, int64_t c0, int64_t c1) {
            if (rowLine(run)) {
                if (!allEqual(lastRow.data(), c0, c1, i - 1))
                    for (int64_t c = c0; c < c1; ++c)
                        if (lastRow[size_t(c)] != i - 1)
                            downCrossed[size_t(c)] = crossedDown[nextDown++];
                std::fill(lastRow.begin() + c0, lastRow.begin() + c1, i);
                std::copy(downCrossed.begin() + c0, downCrossed.begin() + c1, keep.begin() + c0);
            } else {
                std::fill(keep.begin() + c0, keep.begin() + c1, uint8_t(1));
            }
            columnLines(i, c0, c1, along.data());
            forEachStretch(along.data(), c0, c1, kColumnLine, [&](int64_t c, int64_t e) {
                if (!crossedAlong[nextAlong++])
                    std::fill(keep.begin() + c, keep.begin() + e, uint8_t(0));
            });
            const size_t first = pixel;
            pixel += size_t(c1 - c0);
            if (!listRemoved && !anyNonZero(keep.data(), c0, c1))
                return;
            const auto r = static_cast<int32_t>(int64_t(plan.top) + i);
            for (int64_t c = c0; c < c1; ++c) {
                const CountedPixel p{int32_t(left + c), r, counted.weights[first + size_t(c - c0)]};
                if (keep[size_t(c)])
                    plan.pixels.push_back(p);
                else if (listRemoved)
                    plan.removed.push_back(p);
            }
        });
}

} // namespace

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

namespace {

// What following several curves together knows of one curve: its recent
// points on runs of its own, where its line goes on from, and their heights.
class Track {
public:
    static constexpr size_t kRecent = 12;

    // The points of its own kept for the shape of the curve where it parts
    // from another.
    static constexpr size_t kLonger = 64;

    void restart(int32_t strip, const StripRun& run)
    {
        points_.clear();
        heights_.clear();
        longer_.clear();
        seen(strip);
        add(strip, run);
    }
    void add(int32_t strip, const StripRun& run)
    {
        if (points_.size() == kRecent) {
            points_.erase(points_.begin());
            heights_.erase(heights_.begin());
        }
        points_.push_back({double(strip), run.centre});
        heights_.push_back(run.last - run.first + 1);
        if (longer_.size() == kLonger)
            longer_.erase(longer_.begin());
        longer_.push_back(points_.back());
    }
    void seen(int32_t strip) { lastSeen_ = strip; }
    int32_t lastSeen() const { return lastSeen_; }

    // The row where the line through the recent points (least squares)
    // reaches strip k; the last point's row while there are fewer than three.
    double predict(int32_t k) const
    {
        const size_t n = points_.size();
        if (n < 3)
            return points_.back().second;
        double sx = 0, sy = 0;
        for (const auto& [x, y] : points_) {
            sx += x;
            sy += y;
        }
        const double mx = sx / double(n), my = sy / double(n);
        double sxx = 0, sxy = 0;
        for (const auto& [x, y] : points_) {
            sxx += (x - mx) * (x - mx);
            sxy += (x - mx) * (y - my);
        }
        return my + (sxx > 0 ? sxy / sxx : 0) * (double(k) - mx);
    }
    const std::vector<std::pair<double, double>>& longer() const { return longer_; }
    // The height of the curve's own runs: the median of the recent ones.
    int32_t height() const
    {
        std::vector<int32_t> h = heights_;
        std::nth_element(h.begin(), h.begin() + std::ptrdiff_t(h.size() / 2), h.end());
        return h[h.size() / 2];
    }

private:
    std::vector<std::pair<double, double>> points_;
    std::vector<int32_t> heights_;
    std::vector<std::pair<double, double>> longer_;
    int32_t lastSeen_ = 0;
};

// Where two curves part, a pairing must fit this many rows (root mean
// square) worse than the other to be ruled out.
constexpr double kPartingRows = 0.35;
// Misfits of a cubic within this factor of each other are a tie.
constexpr double kCubicTie = 1.25;
// Runs this many rows beside a merged run in the next strip are where the
// merged curves go on.
constexpr int32_t kBeside = 2;
// How far the branches are followed on to tell which way curves part.
constexpr size_t kPartingStrips = 64;

// The least sum of squares of rows off one polynomial of degree `degree`
// (at most 3) through `points`.
double polynomialMisfit(const std::vector<std::pair<double, double>>& points, int degree)
{
    const int terms = degree + 1;
    if (points.size() <= size_t(terms))
        return 0;
    // About their middle and in units of their spread, so that the powers
    // stay near one.
    double mid = 0, spread = 0;
    for (const auto& p : points)
        mid += p.first;
    mid /= double(points.size());
    for (const auto& p : points)
        spread = std::max(spread, std::fabs(p.first - mid));
    if (spread == 0)
        return 0;
    double m[4][5] = {};
    const auto powers = [&](double x0, double* v) {
        const double x = (x0 - mid) / spread;
        v[0] = 1;
        for (int e = 1; e < terms; ++e)
            v[e] = v[e - 1] * x;
    };
    for (const auto& [x, y] : points) {
        double v[4];
        powers(x, v);
        for (int r = 0; r < terms; ++r) {
            for (int c = 0; c < terms; ++c)
                m[r][c] += v[r] * v[c];
            m[r][terms] += v[r] * y;
        }
    }
    for (int c = 0; c < terms; ++c) {
        int pivot = c;
        for (int r = c + 1; r < terms; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c]))
                pivot = r;
        std::swap(m[c], m[pivot]);
        if (m[c][c] == 0)
            return 0;
        for (int r = 0; r < terms; ++r)
            if (r != c) {
                const double f = m[r][c] / m[c][c];
                for (int e = c; e <= terms; ++e)
                    m[r][e] -= f * m[c][e];
            }
    }
    double sum = 0;
    for (const auto& [x, y] : points) {
        double v[4], fit = 0;
        powers(x, v);
        for (int e = 0; e < terms; ++e)
            fit += m[e][terms] / m[e][e] * v[e];
        sum += (y - fit) * (y - fit);
    }
    return sum;
}

// Two curves that shared a merged run part in strip k, one onto run a and
// the other onto run b: the two branches followed on, each to the nearest
// run, until either ends or they meet again (at most `most` strips).
struct Branches {
    std::vector<int32_t> a, b; // the run of each strip from k on
    bool meet = false;         // whether they end in one run
};
Branches branchesFrom(const std::vector<std::vector<StripRun>>& runs, int32_t k, int32_t step, int32_t a, int32_t b,
                      double jump, size_t most)
{
    Branches out{{a}, {b}};
    const int32_t n = static_cast<int32_t>(runs.size());
    for (int32_t s = k + step; s >= 0 && s < n && out.a.size() < most; s += step) {
        const auto& here = runs[size_t(s)];
        const int32_t i = chooseRun(here, runs[size_t(s - step)][size_t(out.a.back())].centre, jump);
        const int32_t j = chooseRun(here, runs[size_t(s - step)][size_t(out.b.back())].centre, jump);
        out.meet = i >= 0 && i == j;
        if (i < 0 || j < 0 || i == j)
            break;
        out.a.push_back(i);
        out.b.push_back(j);
    }
    return out;
}

enum class Parting { TooSoon, Undecided, Straight, Swapped };

// Which way two curves part after a merged run, `straight` the way their
// slopes lead them. Each curve's own points before the run and the branch
// it goes on along after it lie on one smooth curve; the wrong pairing makes
// a kink. A straight line tells a crossing best, a parabola curves that touch
// and turn back (which a line, and a cubic nearly, fit either way), and where
// curves cross flat at a bend of each the parabola fits the wrong pairing
// better and only the cubic tells. So the lowest degree that clearly prefers
// one pairing decides, unless a higher degree fits the other one better;
// failing that, a pairing the cubic clearly prefers; else it is undecided.
// TooSoon when the branches meet again before they tell anything.
Parting partingOf(const std::vector<std::vector<StripRun>>& runs, int32_t k, int32_t step, const Branches& branches,
                  const Track& first, const Track& second)
{
    constexpr size_t kFewest = 8;
    if (branches.a.size() < kFewest && branches.meet)
        return Parting::TooSoon;
    if (branches.a.size() < kFewest || first.longer().size() < kFewest || second.longer().size() < kFewest)
        return Parting::Undecided;
    const auto misfit = [&](const Track& t, const std::vector<int32_t>& branch, int degree) {
        std::vector<std::pair<double, double>> points = t.longer();
        for (size_t m = 0; m < branch.size(); ++m) {
            const int32_t s = k + step * int32_t(m);
            points.push_back({double(s), runs[size_t(s)][size_t(branch[m])].centre});
        }
        return polynomialMisfit(points, degree);
    };
    const double points = double(first.longer().size() + second.longer().size() + 2 * branches.a.size());
    double straight[4], swapped[4];
    for (const int degree : {1, 2, 3}) {
        straight[degree] = misfit(first, branches.a, degree) + misfit(second, branches.b, degree);
        swapped[degree] = misfit(first, branches.b, degree) + misfit(second, branches.a, degree);
    }
    // The worse pairing must miss by 0.35 rows more than the better one, as
    // the root of the mean square, and by about 1.6 times as much.
    const auto clearly = [&](double better, double worse) {
        return worse > 2.5 * better && (worse - better) / points > kPartingRows * kPartingRows;
    };
    // The lowest degree that tells, unless a higher one fits the other
    // pairing better.
    for (int degree = 1; degree <= 3; ++degree)
        for (const bool isStraight : {true, false}) {
            const double* better = isStraight ? straight : swapped;
            const double* worse = isStraight ? swapped : straight;
            bool agreed = clearly(better[degree], worse[degree]);
            for (int higher = degree + 1; higher <= 3; ++higher)
                agreed &= better[higher] <= worse[higher];
            if (agreed)
                return isStraight ? Parting::Straight : Parting::Swapped;
        }
    if (straight[3] * kCubicTie < swapped[3])
        return Parting::Straight;
    if (swapped[3] * kCubicTie < straight[3])
        return Parting::Swapped;
    return Parting::Undecided;
}

// One strip's sharing out: the run of each curve (-1: none) at the least
// total cost. A curve's cost is the distance of the run's centre from where
// it is expected, or its limit plus one for none. A run goes to several
// curves only where it covers the place each expects it (give or take
// `slack` rows): runs merged where the curves meet.
struct Sharing {
    std::vector<int32_t> run;
    double cost = std::numeric_limits<double>::infinity();
};

class StripSharing {
public:
    StripSharing(const std::vector<StripRun>& runs, const std::vector<double>& expected,
                 const std::vector<double>& limit, double slack)
        : runs_(runs), expected_(expected), limit_(limit), slack_(slack), now_(expected.size(), -1)
    {
        candidates_.resize(expected.size());
        size_t ways = 1;
        for (size_t c = 0; c < expected.size(); ++c) {
            for (size_t i = 0; i < runs.size(); ++i)
                if (std::fabs(runs[i].centre - expected[c]) <= limit[c])
                    candidates_[c].push_back(static_cast<int32_t>(i));
            candidates_[c].push_back(-1);
            ways = std::min<size_t>(ways * candidates_[c].size(), kMostWays + 1);
        }
        tooMany_ = ways > kMostWays;
    }

    // The best sharing, and the cheapest one that gives some curve another
    // run (not only none instead of a run, or the other way round).
    void search(Sharing& best, Sharing& rival)
    {
        best_ = &best;
        all_.clear();
        if (tooMany_) {
            // Each curve its nearest run, alone: following one at a time.
            for (size_t c = 0; c < expected_.size(); ++c)
                for (const int32_t i : candidates_[c])
                    if (costOf(c, i) < costOf(c, now_[c]))
                        now_[c] = i;
            best = {now_, total()};
        } else {
            walk(0, 0);
        }
        for (const Sharing& s : all_) {
            bool other = false;
            for (size_t c = 0; c < s.run.size(); ++c)
                other |= s.run[c] >= 0 && best.run[c] >= 0 && s.run[c] != best.run[c];
            if (other && s.cost < rival.cost)
                rival = s;
        }
    }

private:
    static constexpr size_t kMostWays = 4096;

    double costOf(size_t c, int32_t i) const
    {
        return i < 0 ? limit_[c] + 1 : std::fabs(runs_[size_t(i)].centre - expected_[c]);
    }
    bool covers(int32_t i, size_t c) const
    {
        const StripRun& r = runs_[size_t(i)];
        return expected_[c] >= r.first - slack_ && expected_[c] <= r.last + slack_;
    }
    double total() const
    {
        double t = 0;
        for (size_t c = 0; c < now_.size(); ++c)
            t += costOf(c, now_[c]);
        return t;
    }
    void walk(size_t c, double cost)
    {
        if (c == now_.size()) {
            all_.push_back({now_, cost});
            if (cost < best_->cost)
                *best_ = all_.back();
            return;
        }
        for (const int32_t i : candidates_[c]) {
            bool fits = true;
            for (size_t d = 0; d < c && i >= 0; ++d)
                if (now_[d] == i && !(covers(i, c) && covers(i, d)))
                    fits = false;
            if (!fits)
                continue;
            now_[c] = i;
            walk(c + 1, cost + costOf(c, i));
        }
        now_[c] = -1;
    }

    const std::vector<StripRun>& runs_;
    const std::vector<double>& expected_;
    const std::vector<double>& limit_;
    const double slack_;
    std::vector<std::vector<int32_t>> candidates_;
    std::vector<int32_t> now_;
    std::vector<Sharing> all_;
    Sharing* best_ = nullptr;
    bool tooMany_ = false;
};

// Two sharings that cost within this many rows of each other are a guess.
constexpr double kSureMargin = 2.0;
// A merged run may reach this many rows beyond where a curve expects it.
constexpr double kMergeSlack = 1.5;

} // namespace

JointFollow followCurves(const std::vector<std::vector<StripRun>>& runs, const std::vector<FollowStart>& starts,
                         double jump)
{
    const int32_t n = static_cast<int32_t>(runs.size());
    const size_t curves = starts.size();
    JointFollow out;
    out.chosen.assign(curves, std::vector<int32_t>(static_cast<size_t>(n), -1));
    out.unsure.assign(curves, 0);
    std::vector<size_t> live; // the curves with a start
    for (size_t c = 0; c < curves; ++c)
        if (starts[c].strip >= 0 && starts[c].strip < n && starts[c].run >= 0) {
            live.push_back(c);
            out.chosen[c][size_t(starts[c].strip)] = starts[c].run;
        }
    if (live.empty())
        return out;
    int32_t lowest = n, highest = -1;
    for (const size_t c : live) {
        lowest = std::min(lowest, starts[c].strip);
        highest = std::max(highest, starts[c].strip);
    }
    std::vector<Track> tracks(curves);
    // The curve each shared its last merged run with (or none), where it is
    // led after the two part the other way than their slopes say, and
    // whether it is lost where they could not be told apart.
    constexpr size_t kNone = std::numeric_limits<size_t>::max();
    std::vector<size_t> mergedWith(curves);
    std::vector<StripRun> merged(curves); // the last run it shared
    std::vector<std::vector<int32_t>> led(curves);
    std::vector<uint8_t> lost(curves);
    for (const int32_t step : {1, -1}) {
        for (const size_t c : live)
            tracks[c].restart(starts[c].strip, runs[size_t(starts[c].strip)][size_t(starts[c].run)]);
        std::fill(mergedWith.begin(), mergedWith.end(), kNone);
        std::fill(led.begin(), led.end(), std::vector<int32_t>(static_cast<size_t>(n), -1));
        std::fill(lost.begin(), lost.end(), uint8_t(0));
        for (int32_t k = step > 0 ? lowest + 1 : highest - 1; k >= 0 && k < n; k += step) {
            // The curves that have started by this strip, going this way.
            std::vector<size_t> on;
            std::vector<double> expected, limit;
            for (const size_t c : live) {
                if ((k - starts[c].strip) * step <= 0)
                    continue;
                const int32_t skipped = std::abs(k - tracks[c].lastSeen()) - 1;
                if (lost[c]) {
                    if (chooseRun(runs[size_t(k)], tracks[c].predict(k), jump * double(1 + skipped)) >= 0)
                        ++out.unsure[c];
                    continue;
                }
                on.push_back(c);
                const int32_t guide = led[c][size_t(k)];
                expected.push_back(guide >= 0 ? runs[size_t(k)][size_t(guide)].centre : tracks[c].predict(k));
                limit.push_back(jump * double(1 + skipped));
            }
            if (on.empty() || runs[size_t(k)].empty())
                continue;
            Sharing best, rival;
            StripSharing(runs[size_t(k)], expected, limit, kMergeSlack).search(best, rival);
            // Curves that shared a merged run and part here: the way their
            // slopes lead them is right where they cross, but where they
            // touch and turn back it swaps them.
            std::vector<uint8_t> parted(on.size(), 0);
            for (size_t j = 0; j < on.size(); ++j) {
                const size_t c = on[j];
                const auto other = std::find(on.begin(), on.end(), mergedWith[c]);
                if (other == on.end() || *other < c)
                    continue;
                const size_t jo = size_t(other - on.begin()), o = *other;
                // The runs beside the merged run of the strip before.
                std::vector<int32_t> near;
                for (size_t i = 0; i < runs[size_t(k)].size(); ++i) {
                    const StripRun& r = runs[size_t(k)][i];
                    if (r.last >= merged[c].first - kBeside && r.first <= merged[c].last + kBeside)
                        near.push_back(int32_t(i));
                }
                if (near.empty()) {
                    mergedWith[c] = mergedWith[o] = kNone;
                    continue;
                }
                if (near.size() == 1) {
                    merged[c] = merged[o] = runs[size_t(k)][size_t(near[0])];
                    continue;
                }
                const auto centre = [&](int32_t i) { return runs[size_t(k)][size_t(i)].centre; };
                std::sort(near.begin(), near.end(), [&](int32_t x, int32_t y) {
                    return std::fabs(centre(x) - merged[c].centre) < std::fabs(centre(y) - merged[c].centre);
                });
                // The two branches, as the slopes lead the curves onto them.
                int32_t a = near[0], b = near[1];
                if ((centre(a) < centre(b)) != (expected[j] <= expected[jo]))
                    std::swap(a, b);
                const Branches branches = branchesFrom(runs, k, step, a, b, jump, kPartingStrips);
                const Parting way = partingOf(runs, k, step, branches, tracks[c], tracks[o]);
                if (way == Parting::TooSoon)
                    continue;
                mergedWith[c] = mergedWith[o] = kNone;
                if (way == Parting::Undecided) {
                    lost[c] = lost[o] = 1;
                    best.run[j] = best.run[jo] = -1;
                    ++out.unsure[c];
                    ++out.unsure[o];
                    continue;
                }
                // Each along its branch until its own recent points lead it.
                const bool swapped = way == Parting::Swapped;
                best.run[j] = swapped ? b : a;
                best.run[jo] = swapped ? a : b;
                for (size_t m = 0; m < branches.a.size(); ++m) {
                    led[c][size_t(k + step * int32_t(m))] = (swapped ? branches.b : branches.a)[m];
                    led[o][size_t(k + step * int32_t(m))] = (swapped ? branches.a : branches.b)[m];
                }
                parted[j] = parted[jo] = 1;
            }
            for (size_t j = 0; j < on.size(); ++j) {
                const size_t c = on[j];
                const int32_t i = best.run[j];
                if (i < 0)
                    continue;
                const StripRun& r = runs[size_t(k)][size_t(i)];
                tracks[c].seen(k);
                // Another run at about the same cost: a guess.
                bool sure = parted[j] || led[c][size_t(k)] >= 0 ||
                            !(rival.cost <= best.cost + kSureMargin && rival.run[j] >= 0 && rival.run[j] != i);
                bool shared = false;
                for (size_t o = 0; o < on.size(); ++o)
                    if (o != j && best.run[o] == i) {
                        shared = true;
                        mergedWith[c] = on[o];
                        merged[c] = r;
                        // Taller than either curve's own: its centre lies between them.
                        sure &= r.last - r.first + 1 <= std::max(tracks[c].height(), tracks[on[o]].height()) + 2;
                    }
                if (!sure) {
                    ++out.unsure[c];
                    continue;
                }
                out.chosen[c][size_t(k)] = i;
                // A merged run says nothing of the curve's own slope, nor
                // does the run of one of two merged curves before they part.
                if (!shared && mergedWith[c] == kNone)
                    tracks[c].add(k, r);
            }
        }
    }
    return out;
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

namespace {

// The start of following in the plan's runs from a Start point in bitmap
// coordinates (x or y -1: none).
FollowStart startOf(const FollowPlan& plan, StartPoint start, int32_t pictureHeight, double jump)
{
    int32_t startStrip = -1;
    double startRow = 0;
    if (start.x > -1 && start.y > -1) {
        startStrip = static_cast<int32_t>(std::clamp<double>(
            std::floor((start.x - double(plan.area.left)) / double(plan.area.width)), 0, double(plan.area.strips - 1)));
        startRow = double(pictureHeight) - start.y;
    }
    return chooseStart(plan.runs, jump, startStrip, startRow);
}

// `frame`: empty (no columns) when the checks stop the scan.
FollowPlan makePlan(const PixelView& picture, const ScanSettings& settings, const ScanFrame& frame, bool listRemoved,
                    int threads = kMostThreadsPerPicture, const std::vector<CountedPixel>* counted = nullptr)
{
    FollowPlan plan;
    plan.area = frame;
    const int64_t width = frame.width;
    if (plan.area.columns <= 0 || width < 1)
        return plan;
    plan.top = static_cast<int32_t>(frame.top);
    if (settings.Follow.RemoveLines)
        removeLines(plan, countedRuns(picture, settings, plan.area, threads), listRemoved);
    else
        plan.pixels = counted ? *counted : countedPixels(picture, settings, plan.area);

    const int64_t strips = frame.strips;
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
        plan.chosen = followCurve(
            plan.runs, startOf(plan, {settings.Follow.StartX, settings.Follow.StartY}, picture.height, jump), jump);
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

} // namespace

FollowPlan planFollow(const PixelView& picture, const ScanSettings& settings)
{
    // The view asks with the settings as they stand, before Execute's checks:
    // a scan width wider than the area is then cut to it, as the scan cuts
    // it, or the strips would hold none of the area's columns.
    ScanSettings checked = settings;
    checkScan(checked);
    const ScanFrame frame{countedArea(settings), areaTop(picture.height, settings)};
    if (settings.Smooth > 0)
        return makePlan(smoothedFrame(picture, settings, frame).view(), smoothedAlready(checked), frame, true);
    return makePlan(picture, checked, frame, true);
}

std::vector<CountedPixel> pixelsOffLines(const CountedRuns& counted, const ScanFrame& frame)
{
    FollowPlan plan;
    plan.area = frame;
    plan.top = static_cast<int32_t>(frame.top);
    if (frame.columns > 0 && frame.rows > 0)
        removeLines(plan, counted, false);
    return std::move(plan.pixels);
}

namespace {

// The rows of a plan's chosen runs, its counts and its findings, to `sinks`.
int32_t followRows(const PixelView& picture, const ScanSettings& settings, const ScanFrame& frame,
                   const FollowPlan& plan, bool wantSpread, const ScanSinks& sinks)
{
    const int64_t strips = frame.strips;
    const int64_t width = frame.width;
    const ChartMap map(settings);

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
        placeStripPoint(row, static_cast<long double>(p.weight), static_cast<long double>(p.sumColumn),
                        static_cast<long double>(p.sumRow), settings.WeightedX,
                        plan.area.left + static_cast<int64_t>(k) * width, width, picture.height, map);
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
                const double yp = map.realY(static_cast<double>(bitmapYOfRow(px.r, picture.height)));
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
    if (sinks.onFindings)
        sinks.onFindings(findingsOf(plan));
    return number - 1;
}

} // namespace

int32_t runFollowScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks, const std::vector<CountedPixel>* counted)
{
    // The left-out pixels are shown in the window; the scan needs only the
    // kept ones.
    const ScanFrame frame = frameOf(picture, settings, checks);
    return followRows(picture, settings, frame, makePlan(picture, settings, frame, false, sinks.threads, counted),
                      wantSpread, sinks);
}

void runJointFollowScan(const PixelView& picture, const ScanSettings& settings, const std::vector<StartPoint>& starts,
                        const ScanChecks& checks, bool wantSpread, const std::vector<ScanSinks>& sinks)
{
    if (sinks.empty())
        return;
    const ScanFrame frame = frameOf(picture, settings, checks);
    if (settings.Smooth > 0) {
        const SmoothedPicture smoothed = smoothedFrame(picture, settings, frame, sinks[0].threads);
        runJointFollowScan(smoothed.view(), smoothedAlready(settings), starts, checks, wantSpread, sinks);
        return;
    }
    // The runs once for all the curves; each then has its own chosen runs.
    ScanSettings runsOnly = settings;
    runsOnly.Follow.On = false;
    FollowPlan plan = makePlan(picture, runsOnly, frame, false, sinks[0].threads);
    const double jump = maxJumpOf(settings, plan.area.rows);
    std::vector<FollowStart> from;
    for (const StartPoint& s : starts)
        from.push_back(startOf(plan, s, picture.height, jump));
    const JointFollow joint = followCurves(plan.runs, from, jump);
    for (size_t i = 0; i < sinks.size() && i < joint.chosen.size(); ++i) {
        plan.chosen = joint.chosen[i];
        plan.counts.stripsWithoutPoint = static_cast<int32_t>(std::count(plan.chosen.begin(), plan.chosen.end(), -1));
        plan.counts.unsureStrips = joint.unsure[i];
        followRows(picture, settings, frame, plan, wantSpread, sinks[i]);
    }
}

std::string followCountsText(const FollowCounts& c)
{
    std::string text = "Strips with more than one run: " + std::to_string(c.multiRunStrips) +
                       "; strips without a point: " + std::to_string(c.stripsWithoutPoint);
    if (c.unsureStrips > 0)
        text += "; strips left out where curves meet: " + std::to_string(c.unsureStrips);
    return text;
}

} // namespace plotrun
