// Curve following and line removal: run splitting and the choice of runs on
// hand-made strips, charts drawn with QPainter against their known curves,
// line removal on random pictures against a plain walk across every line,
// what a scan says it saw, and the scanner's flags.
#include "Calibrated.h"
#include "BmpFile.h"
#include "ScanCommand.h"
#include "ScannerRun.h"
#include "WorkedExample.h"

#include "../files/PictureFile.h"
#include "ColumnScan.h"
#include "CurveFollow.h"
#include "ScanFindings.h"
#include "ScanReport.h"
#include "Series.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <tuple>
#include <sstream>

namespace plotrun::test {
namespace {

// --- Runs and choices on hand-made strips

// The runs that a scan forms in one strip one column wide: pixels of the
// given darkness at the given rows (from the top) of a picture 3 x 12.
std::vector<StripRun> runsOf(std::initializer_list<std::pair<int, int>> dark, int32_t gap)
{
    std::vector<uint32_t> pixels(3 * 12, 0xFFFFFFFFu);
    for (const auto& [row, darkness] : dark) {
        const uint32_t grey = uint32_t(255 - darkness);
        pixels[size_t(row * 3)] = 0xFF000000u | grey << 16 | grey << 8 | grey;
    }
    const PixelView view{3, 12, 3, pixels.data()};
    ScanSettings s = calibrated(3, 12, 1, 1, {0, 0, 1, 12});
    s.Threshold = 1;
    s.Follow.Gap = gap;
    const FollowPlan plan = planFollow(view, s);
    return plan.runs.size() == 1 ? plan.runs[0] : std::vector<StripRun>{};
}

TEST(StripRuns, AGapOfAtLeastGEmptyRowsSplitsRuns)
{
    // Rows 2, 3 and 5 (one empty row between): one run; row 9 after three
    // empty rows: a second run with gap 3, the same run with gap 4.
    const auto dark = {std::pair{2, 10}, std::pair{3, 10}, std::pair{5, 20}, std::pair{9, 5}};
    const auto three = runsOf(dark, 3);
    ASSERT_EQ(three.size(), 2u);
    EXPECT_EQ(three[0].first, 2);
    EXPECT_EQ(three[0].last, 5);
    EXPECT_EQ(three[0].weight, 40);
    EXPECT_EQ(three[0].pixels, 3);
    EXPECT_DOUBLE_EQ(three[0].centre, (2.0 * 10 + 3 * 10 + 5 * 20) / 40);
    EXPECT_EQ(three[1].first, 9);
    EXPECT_DOUBLE_EQ(three[1].centre, 9);
    EXPECT_EQ(runsOf(dark, 4).size(), 1u);
    EXPECT_EQ(runsOf(dark, 1).size(), 3u);
    EXPECT_TRUE(runsOf({}, 3).empty());
}

StripRun run(double centre, int64_t weight)
{
    StripRun r;
    r.first = r.last = int32_t(centre);
    r.centre = centre;
    r.weight = weight;
    r.pixels = 1;
    return r;
}

TEST(RunChoice, NearestCentreWinsATieGoesToTheHeavierAndFarRunsAreLeftOut)
{
    const std::vector<StripRun> runs{run(10, 5), run(30, 50), run(50, 9)};
    EXPECT_EQ(chooseRun(runs, 12, 100), 0);
    EXPECT_EQ(chooseRun(runs, 40, 100), 1); // 10 from both: the heavier
    EXPECT_EQ(chooseRun(runs, 47, 100), 2);
    EXPECT_EQ(chooseRun(runs, 80, 20), -1);
    EXPECT_EQ(chooseRun({}, 0, 100), -1);
}

TEST(RunChoice, TheStartIsAClearRunNearTheMiddleNotTheFirstStrip)
{
    // Strip 0 holds a heavy tick mark; strips 1 to 5 one curve run each;
    // strip 3 also a label.
    std::vector<std::vector<StripRun>> runs{{run(90, 500), run(20, 10)}, {run(21, 10)}, {run(22, 10)},
                                            {run(23, 10), run(60, 80)},  {run(24, 10)}, {run(25, 10)}};
    const FollowStart s = chooseStart(runs, 10, -1, 0);
    EXPECT_TRUE(s.strip == 2 || s.strip == 4) << s.strip;
    EXPECT_EQ(s.run, 0);
    const std::vector<int32_t> chosen = followCurve(runs, s, 10);
    EXPECT_EQ(chosen, (std::vector<int32_t>{1, 0, 0, 0, 0, 0}));
    // A start point near the label starts there.
    const FollowStart label = chooseStart(runs, 10, 3, 58);
    EXPECT_EQ(label.strip, 3);
    EXPECT_EQ(label.run, 1);
}

TEST(RunChoice, AFarRunLeavesAGapAndTheLimitWidensPerSkippedStrip)
{
    // The curve at 20, then two strips with only a run 25 rows away, then
    // the curve again at 41 and 55.
    std::vector<std::vector<StripRun>> runs{{run(20, 10)}, {run(45, 10)}, {}, {run(41, 10)}, {run(55, 10)}};
    const std::vector<int32_t> chosen = followCurve(runs, {0, 0}, 10);
    // Strip 1: 25 > 10, no point. Strip 2: empty. Strip 3: 21 <= 30, found.
    EXPECT_EQ(chosen, (std::vector<int32_t>{0, -1, -1, 0, -1}));
}

// --- Charts drawn with QPainter

struct Chart {
    int width = 800, height = 600;
    int left = 80, top = 40, right = 760, bottom = 540; // the plot frame
    double px(double x) const { return left + x / 10 * (right - left); }
    // Half a pixel down: row r holds the painter's y from r to r + 1.
    double py(double y) const { return bottom - y * (bottom - top) + 0.5; }
};

struct Style {
    Qt::PenStyle pen = Qt::SolidLine;
    std::vector<std::function<double(double)>> curves;
    bool lines = true;           // the frame, the grid and the ticks; the labels are drawn either way
    std::vector<QString> legend; // the curves' names, in a box at the top left
};

// Black on white: frame, major grid, ticks in and out, tick labels, title.
QImage drawChart(const Chart& c, const Style& style)
{
    QImage img(c.width, c.height, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(QPen(Qt::black, 1));
    for (int i = 1; i < 10 && style.lines; ++i) {
        const double x = std::floor(c.px(i)) + 0.5;
        const double y = std::floor(c.py(i / 10.0));
        p.drawLine(QPointF(x, c.top), QPointF(x, c.bottom));
        p.drawLine(QPointF(c.left, y + 0.5), QPointF(c.right, y + 0.5));
    }
    QFont font = p.font();
    font.setPixelSize(15);
    p.setFont(font);
    for (int i = 0; i <= 10; ++i) {
        const double x = std::floor(c.px(i)) + 0.5, y = std::floor(c.py(i / 10.0)) + 0.5;
        if (style.lines) {
            p.drawLine(QPointF(x, c.bottom - 6), QPointF(x, c.bottom + 6));
            p.drawLine(QPointF(c.left - 6, y), QPointF(c.left + 6, y));
        }
        p.drawText(QRectF(c.px(i) - 20, c.bottom + 8, 40, 16), Qt::AlignHCenter | Qt::AlignTop, QString::number(i));
        p.drawText(QRectF(c.left - 50, c.py(i / 10.0) - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(i / 10.0));
    }
    for (const auto& fn : style.curves) {
        QPainterPath path;
        for (int i = 0; i <= 800; ++i) {
            const double x = i / 80.0;
            const QPointF at(c.px(x), c.py(fn(x)));
            if (i == 0)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        p.setPen(QPen(Qt::black, 2, style.pen, Qt::FlatCap, Qt::RoundJoin));
        p.drawPath(path);
    }
    for (size_t i = 0; i < style.legend.size(); ++i) {
        const double y = c.top + 22 + 20 * double(i);
        p.setPen(QPen(Qt::black, 2, style.pen));
        p.drawLine(QPointF(c.left + 14, y), QPointF(c.left + 44, y));
        p.drawText(QRectF(c.left + 50, y - 8, 90, 16), Qt::AlignLeft | Qt::AlignVCenter, style.legend[i]);
    }
    if (!style.legend.empty()) {
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(QRectF(c.left + 6.5, c.top + 8.5, 140, 20 * double(style.legend.size()) + 8));
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 2));
    if (style.lines)
        p.drawRect(QRect(c.left, c.top, c.right - c.left, c.bottom - c.top));
    return img;
}

// The frame's corners as the references, the area `outside` pixels beyond
// the frame on every side, the start threshold.
ScanSettings chartSettings(const Chart& c, int outside = 4, int scanWidth = 1)
{
    ScanSettings s;
    s.OriginX = c.left;
    s.OriginY = c.height - c.bottom;
    s.RefX = c.right;
    s.RefY = c.height - c.top;
    s.RealRefX = 10;
    s.RealRefY = 1;
    s.HasRealRefX = s.HasRealRefY = true;
    s.ScanStartX = c.left - outside;
    s.ScanEndX = c.right + outside;
    s.ScanStartY = c.height - c.bottom - outside;
    s.ScanEndY = c.height - c.top + outside;
    s.ScanWidth = scanWidth;
    s.Threshold = 128;
    s.Follow.On = true;
    s.Follow.RemoveLines = true;
    return s;
}

struct Result {
    std::vector<ResultRow> rows;
    int32_t strips = 0;
    FollowCounts counts;
    double rmsPercent(const std::function<double(double)>& truth) const
    {
        double sum2 = 0;
        for (const ResultRow& r : rows)
            sum2 += std::pow(r.realY - truth(r.realX), 2);
        return rows.empty() ? 1e9 : 100 * std::sqrt(sum2 / double(rows.size()));
    }
    double share() const { return double(rows.size()) / strips; }
};

Result scan(const QImage& chart, ScanSettings s)
{
    const QImage pixels = toScanPixels(chart);
    const ScanChecks checks = checkScan(s);
    Result out;
    out.strips = checks.stripCount;
    runColumnScan(
        pixelView(pixels), s, checks, false,
        {[&](const ResultRow& r) { out.rows.push_back(r); }, nullptr, [&](const FollowCounts& c) { out.counts = c; }});
    return out;
}

double wave(double x) { return 0.5 + 0.3 * std::sin(0.7 * x) + 0.01 * x; }
double low(double x) { return 0.27 + 0.1 * std::sin(0.5 * x); }
double high(double x) { return 0.72 + 0.12 * std::cos(0.6 * x); }

TEST(FollowAccuracy, ABlackCurveAmongABlackFrameGridTicksAndLabels)
{
    const Chart c;
    const QImage chart = drawChart(c, {Qt::SolidLine, {wave}});
    // Without following, the frame and the grid are averaged into the points.
    ScanSettings plain = chartSettings(c);
    plain.Follow = {};
    EXPECT_GT(scan(chart, plain).rmsPercent(wave), 5.0);
    for (int width : {1, 4}) {
        const Result r = scan(chart, chartSettings(c, 4, width));
        EXPECT_LE(r.rmsPercent(wave), 0.5) << width;
        EXPECT_GE(r.share(), 0.95) << width;
        RecordProperty("rms_percent_" + std::to_string(width), std::to_string(r.rmsPercent(wave)));
    }
}

TEST(FollowAccuracy, TwoBlackCurvesEachFromItsStartPoint)
{
    const Chart c;
    const QImage chart = drawChart(c, {Qt::SolidLine, {low, high}});
    for (const auto& fn : {low, high}) {
        ScanSettings s = chartSettings(c);
        s.Follow.StartX = std::round(c.px(3));
        s.Follow.StartY = std::round(c.height - c.py(fn(3)));
        const Result r = scan(chart, s);
        EXPECT_LE(r.rmsPercent(fn), 0.3);
        EXPECT_GE(r.share(), 0.95);
        EXPECT_GT(r.counts.multiRunStrips, r.strips / 2);
    }
}

TEST(FollowAccuracy, ADashedCurveLeavesItsGapsEmptyAndNeverJumpsToTheGrid)
{
    const Chart c;
    const QImage chart = drawChart(c, {Qt::DashLine, {wave}});
    const Result r = scan(chart, chartSettings(c));
    ASSERT_FALSE(r.rows.empty());
    for (const ResultRow& row : r.rows)
        EXPECT_LT(std::fabs(row.realY - wave(row.realX)), 0.01) << row.realX;
    EXPECT_LE(r.share(), 0.85); // the gaps give no points
    EXPECT_GE(r.share(), 0.4);
    EXPECT_GT(r.counts.stripsWithoutPoint, r.strips / 10);
}

double flatOnGrid(double x)
{
    if (x < 3)
        return 0.5 - 0.025 * (3 - x) * (3 - x);
    if (x <= 6)
        return 0.5;
    return 0.5 + 0.025 * (x - 6) * (x - 6);
}

TEST(FollowAccuracy, ACurveFlatAlongAGridLineLosesNoPointOutsideTheFlatPart)
{
    const Chart c;
    const QImage chart = drawChart(c, {Qt::SolidLine, {flatOnGrid}});
    const Result r = scan(chart, chartSettings(c));
    std::vector<bool> have(size_t(c.right - c.left + 10), false);
    for (const ResultRow& row : r.rows) {
        EXPECT_LT(std::fabs(row.realY - flatOnGrid(row.realX)), 0.01) << row.realX;
        have[size_t(row.bitmapX - (c.left - 4))] = true;
    }
    int lost = 0;
    for (int x = c.left + 2; x < c.right - 2; ++x) {
        const double real = (x + 0.5 - c.left) * 10 / (c.right - c.left);
        const bool flat = real > 3 - 0.4 && real < 6 + 0.4;
        if (!flat && !have[size_t(x - (c.left - 4))]) {
            ++lost;
            ADD_FAILURE() << "lost " << real;
        }
    }
    EXPECT_EQ(lost, 0);
}

// Wide strips on a steep curve: from one strip to the next the point moves
// 1.8 rows per column times the width, 108 rows, beyond a tenth of the area
// height (100 rows) but within twice the width (120).
TEST(FollowAccuracy, AWideStripFollowsASteepCurveWithTheAutomaticJump)
{
    const int width = 640, height = 1000;
    const auto rowAt = [](double x) { return 995 - 1.8 * (x - 40); }; // rows from the top
    QImage chart(width, height, QImage::Format_RGB32);
    chart.fill(Qt::white);
    {
        QPainter p(&chart);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 3));
        p.drawLine(QPointF(40, rowAt(40)), QPointF(590, rowAt(590)));
    }
    ScanSettings s = calibrated(width, height, width, height, {0, 0, double(width), double(height)});
    s.ScanWidth = 60;
    s.Threshold = 128;
    s.WeightedX = true; // a strip that holds only an end of the line has its point on it
    s.Follow.On = true;
    ASSERT_EQ(maxJumpOf(s, height), 120);

    const Result automatic = scan(chart, s);
    EXPECT_EQ(automatic.counts.stripsWithoutPoint, 0);
    EXPECT_EQ(automatic.rows.size(), 10u);
    for (const ResultRow& row : automatic.rows)
        EXPECT_LT(std::fabs((height - row.realY) - rowAt(row.realX)), 3.0) << row.realX;

    // A tenth of the area height alone, the automatic jump before: the curve
    // is lost beyond the start.
    s.Follow.MaxJump = height / 10;
    const Result tenth = scan(chart, s);
    EXPECT_LE(tenth.rows.size(), 2u);
    EXPECT_GE(tenth.counts.stripsWithoutPoint, 8);
}

TEST(FollowAccuracy, LineRemovalAloneLeavesTheFrameAndGridOut)
{
    const Chart c;
    const QImage chart = drawChart(c, {Qt::SolidLine, {wave}});
    ScanSettings s = chartSettings(c);
    s.Follow.On = false;
    const Result r = scan(chart, s);
    // Ticks and labels inside the area still pull some points, but the
    // frame and the grid no longer do.
    EXPECT_LE(r.rmsPercent(wave), 3.0);
    EXPECT_GE(r.share(), 0.9);
}

// One series on each of `curves`, from its Start point at x = `from`, of a
// chart drawn with them; the scan of them all and each series' rows.
struct Together {
    Result all;
    std::vector<Result> each;
    ScanSettings settings;
};
Together followTogether(const Chart& c, const QImage& chart, const std::vector<std::function<double(double)>>& curves,
                        double from)
{
    Together t;
    t.settings = chartSettings(c);
    t.settings.Follow.On = false;
    for (const auto& fn : curves) {
        SeriesSettings one;
        one.StartX = std::round(c.px(from));
        one.StartY = std::round(c.height - c.py(fn(from)));
        t.settings.Series.push_back(one);
    }
    t.all = scan(chart, t.settings);
    t.each.resize(curves.size());
    for (const ResultRow& r : t.all.rows)
        t.each[size_t(r.series)].rows.push_back(r);
    for (Result& r : t.each)
        r.strips = t.all.strips;
    return t;
}

// Two black curves that cross at x = 5 at `degrees` on the picture, one
// series each from its Start point at x = 1.5, followed together: each keeps
// to its own curve through the crossing, where each alone is led onto the
// other.
TEST(FollowAccuracy, BlackCurvesThatCrossKeepToTheirOwnSide)
{
    const Chart c;
    const double pixelSlopeOfReal = 10.0 / (c.right - c.left) * (c.bottom - c.top) / 1.0;
    for (const double degrees : {15.0, 40.0}) {
        // Around a slope of 6 degrees, each bending a little away from the other.
        const double pi = std::acos(-1.0);
        const double up = std::tan((6 + degrees / 2) * pi / 180) / pixelSlopeOfReal;
        const double down = std::tan((6 - degrees / 2) * pi / 180) / pixelSlopeOfReal;
        const std::function<double(double)> curves[] = {
            [=](double x) { return 0.5 + up * (x - 5) + 0.002 * (x - 5) * (x - 5); },
            [=](double x) { return 0.5 + down * (x - 5) - 0.002 * (x - 5) * (x - 5); }};
        const QImage chart = drawChart(c, {Qt::SolidLine, {curves[0], curves[1]}, true, {"rising", "flat"}});
        const auto [all, each, s] = followTogether(c, chart, {curves[0], curves[1]}, 1.5);
        std::vector<Result> alone(2);
        for (size_t i = 0; i < 2; ++i) {
            alone[i].strips = all.strips;
            const double rms = each[i].rmsPercent(curves[i]);
            EXPECT_LE(rms, 0.3) << degrees << " " << i;
            EXPECT_GE(each[i].share(), 0.9) << degrees << " " << i;
            RecordProperty("rms_percent_" + std::to_string(int(degrees)) + "_" + std::to_string(i),
                           std::to_string(rms));
            alone[i] = scan(chart, settingsOfSeries(s, s.Series[i]));
        }
        // Where the curves' runs merge, the strips that could go either way
        // are left out, and the counts say how many.
        EXPECT_GT(all.counts.unsureStrips, 0) << degrees;
        EXPECT_NE(followCountsText(all.counts).find("; strips left out where curves meet: "), std::string::npos);
        // Followed one at a time, from the same Start points, one of them
        // swaps at the crossing.
        EXPECT_GT(std::max(alone[0].rmsPercent(curves[0]), alone[1].rmsPercent(curves[1])), 2.0) << degrees;
    }
}

// Black curves that meet with one slope, followed together from Start points
// at x = 1.5: two that touch and turn back, one inside the other's bend, and
// two that cross flat at a bend of each. Going straight on along their slopes
// past the merged run, as at a steeper crossing, swaps the first two pairs;
// the last looks much like a touch, and only the curves' bends tell them.
TEST(FollowAccuracy, BlackCurvesThatTouchKeepToTheirOwnSide)
{
    const Chart c;
    const auto pair = [](double a, double b, int power) -> std::vector<std::function<double(double)>> {
        return {[=](double x) { return 0.5 + a * std::pow(x - 5, power); },
                [=](double x) { return 0.5 + b * std::pow(x - 5, power); }};
    };
    for (const auto& [name, curves] :
         {std::pair{"touch", pair(0.013, -0.013, 2)}, std::pair{"inside", pair(0.015, 0.006, 2)},
          std::pair{"flat crossing", pair(0.003, -0.003, 3)}}) {
        const QImage chart = drawChart(c, {Qt::SolidLine, curves, true, {"a", "b"}});
        const Together t = followTogether(c, chart, curves, 1.5);
        for (size_t i = 0; i < 2; ++i) {
            const double rms = t.each[i].rmsPercent(curves[i]);
            EXPECT_LE(rms, 0.3) << name << " " << i;
            EXPECT_GE(t.each[i].share(), 0.8) << name << " " << i;
            RecordProperty(std::string("rms_percent_") + name + "_" + std::to_string(i), std::to_string(rms));
        }
    }
}

// --- What a scan says it saw

// The plain scan notes its findings from the pixels it sums: the runs of its
// strips as following forms them, whichever band and thread a strip's rows
// fell to, and the frame's and the grid's lines; not one of its rows changes.
// Following and line removal take them from their plan.
TEST(ScanFindings, ThePlainScanSeesTheRunsFollowingSeesAndEveryLineWithoutChangingARow)
{
    // Wider than a band of 4096 columns, and the first band large enough to
    // be shared among threads.
    const Chart c{4400, 1200, 100, 50, 4300, 1150};
    const auto same = [](const ResultRow& a, const ResultRow& b) {
        return std::tie(a.number, a.bitmapX, a.bitmapY, a.realX, a.realY, a.sdev, a.hasSdevY, a.sdevY) ==
               std::tie(b.number, b.bitmapX, b.bitmapY, b.realX, b.realY, b.sdev, b.hasSdevY, b.sdevY);
    };
    for (const bool lines : {true, false}) {
        const QImage pixels = toScanPixels(drawChart(c, {Qt::SolidLine, {wave}, lines}));
        ScanSettings s = chartSettings(c);
        s.Follow = {};
        const ScanChecks checks = checkScan(s);
        const int32_t runs = planFollow(pixelView(pixels), s).counts.multiRunStrips;
        EXPECT_TRUE(lines ? runs > checks.stripCount * 9 / 10 : runs == 0) << runs;
        for (const int threads : {1, 4})
            for (const bool spread : {false, true}) {
                std::vector<ResultRow> plain, noted;
                ScanFindings f;
                runColumnScan(pixelView(pixels), s, checks, spread,
                              {[&](const ResultRow& r) { plain.push_back(r); }, nullptr, nullptr, threads});
                runColumnScan(pixelView(pixels), s, checks, spread,
                              {[&](const ResultRow& r) { noted.push_back(r); }, nullptr, nullptr, threads,
                               [&](const ScanFindings& seen) { f = seen; }});
                ASSERT_EQ(noted.size(), plain.size());
                EXPECT_TRUE(std::equal(plain.begin(), plain.end(), noted.begin(), same)) << threads << spread;
                EXPECT_EQ(f.strips, checks.stripCount);
                EXPECT_EQ(f.multiRunStrips, runs) << lines << threads << spread;
                // The grid's nine and the frame's sides.
                EXPECT_EQ(f.rowLines, lines ? 11 : 0) << lines << threads;
                EXPECT_EQ(f.columnLines, lines ? 11 : 0) << lines << threads;
            }
        s.Follow.On = true;
        for (const bool removeLines : {false, true}) {
            s.Follow.RemoveLines = removeLines;
            ScanFindings f;
            runColumnScan(pixelView(pixels), s, checks, false,
                          {nullptr, nullptr, nullptr, 1, [&](const ScanFindings& seen) { f = seen; }});
            EXPECT_EQ(f.multiRunStrips, planFollow(pixelView(pixels), s).counts.multiRunStrips);
            EXPECT_EQ(f.rowLines + f.columnLines, lines && !removeLines ? 22 : 0) << lines << removeLines;
        }
    }
}

// The sentence names what is off to turn on; it says nothing when a tenth of
// the strips or fewer held several runs and no line was seen, nor of runs
// while following, nor of lines while they are left out.
TEST(ScanFindings, TheSentenceSaysWhatWasSeenAndNamesWhatToTurnOn)
{
    const ScanFindings runs{100, 11, 0, 0}, tenth{100, 10, 0, 0}, line{100, 0, 1, 0}, all{100, 90, 3, 2};
    ScanSettings off, follow, ink;
    follow.Follow.On = true;
    ink.Ink.On = true;
    EXPECT_EQ(scanAdvice(all, off, AdviceFor::Window),
              "90 of 100 strips held more than one run of dark pixels, and 5 lines run across the scan area: the "
              "points may lie between curves or on the lines. Turn on Follow one curve and Leave out axis and grid "
              "lines in Scan > Options, or count only the curve's colour with Ink mode and Pick from picture.");
    EXPECT_EQ(scanAdvice(all, off, AdviceFor::Scanner),
              "90 of 100 strips held more than one run of dark pixels, and 5 lines run across the scan area: the "
              "points may lie between curves or on the lines. Add --follow and --remove-lines, or count only the "
              "curve's colour with --ink COLOUR.");
    EXPECT_EQ(scanAdvice(line, follow, AdviceFor::Scanner),
              "A line of dark pixels runs across the scan area, like an axis or a grid line: the points are pulled "
              "towards it. Add --remove-lines, or count only the curve's colour with --ink COLOUR.");
    EXPECT_EQ(scanAdvice(runs, ink, AdviceFor::Window),
              "11 of 100 strips held more than one run of pixels of the ink: the points may lie between curves. "
              "Turn on Follow one curve in Scan > Options.");
    EXPECT_EQ(scanAdvice(tenth, off, AdviceFor::Scanner), "");
    EXPECT_EQ(scanAdvice(runs, follow, AdviceFor::Scanner), "");
    follow.Follow.RemoveLines = true;
    EXPECT_EQ(scanAdvice(all, follow, AdviceFor::Window), "");
}

// --- Line removal against the walk across the line

// Line removal as it was first written, kept to check the engine against: a
// pixel of a line walks across the whole thickness of the line, both ways, to
// see whether counted pixels of no line lie just beyond it. It is plainly
// right and plainly slow on thick lines.
struct Removal {
    std::vector<CountedPixel> kept;
    std::vector<CountedPixel> removed;
    int64_t crossings = 0; // pixels of a line that were kept
};

Removal removalByWalking(const CountedArea& area, int64_t top, const std::vector<CountedPixel>& all)
{
    const int64_t columns = area.columns, rows = area.rows, left = area.left;
    constexpr uint8_t kRowLine = 1, kColumnLine = 2;
    std::vector<uint8_t> flags(all.size(), 0);
    const auto longRun = [](int64_t n, int64_t size) { return 10 * n >= 9 * size; };
    std::vector<size_t> rowStart(static_cast<size_t>(rows + 1), all.size());
    for (size_t i = all.size(); i-- > 0;)
        rowStart[size_t(all[i].r - top)] = i;
    for (int64_t i = rows; i-- > 0;)
        rowStart[size_t(i)] = std::min(rowStart[size_t(i)], rowStart[size_t(i + 1)]);
    for (size_t i = 0; i < all.size();) {
        size_t e = i + 1;
        while (e < all.size() && all[e].r == all[i].r && all[e].x == all[e - 1].x + 1)
            ++e;
        if (longRun(int64_t(e - i), columns))
            std::fill(flags.begin() + std::ptrdiff_t(i), flags.begin() + std::ptrdiff_t(e), kRowLine);
        i = e;
    }
    std::vector<int32_t> runStart(static_cast<size_t>(columns), 0);
    std::vector<int32_t> lastRow(static_cast<size_t>(columns), std::numeric_limits<int32_t>::min());
    std::vector<std::vector<std::pair<int32_t, int32_t>>> lineSpans(static_cast<size_t>(columns));
    const auto closeColumn = [&](size_t c) {
        if (lastRow[c] != std::numeric_limits<int32_t>::min() && longRun(lastRow[c] - runStart[c] + 1, rows))
            lineSpans[c].push_back({runStart[c], lastRow[c]});
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
    for (size_t i = 0; i < all.size(); ++i)
        for (const auto& [a, b] : lineSpans[size_t(all[i].x - left)])
            if (all[i].r >= a && all[i].r <= b)
                flags[i] |= kColumnLine;

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
        const auto near = [&](int64_t x0, int64_t r0) {
            return plain(x0, r0) || plain(x0 - dr, r0 - dx) || plain(x0 + dr, r0 + dx);
        };
        return near(xa, ra) && near(xb, rb);
    };
    Removal out;
    for (size_t i = 0; i < all.size(); ++i) {
        const CountedPixel& p = all[i];
        bool keep = true;
        if ((flags[i] & kRowLine) && !crossed(p.x, p.r, kRowLine, 0, 1))
            keep = false;
        if ((flags[i] & kColumnLine) && !crossed(p.x, p.r, kColumnLine, 1, 0))
            keep = false;
        (keep ? out.kept : out.removed).push_back(p);
        out.crossings += keep && flags[i] != 0;
    }
    return out;
}

// A picture held as the scan reads it, with a few drawing tools.
struct Canvas {
    int width, height;
    std::vector<uint32_t> pixels;
    Canvas(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h), 0xFFFFFFu) {}
    PixelView view() const { return {width, height, width, pixels.data()}; }
    void set(int64_t x, int64_t r, uint32_t colour)
    {
        if (x >= 0 && x < width && r >= 0 && r < height)
            pixels[size_t(r) * size_t(width) + size_t(x)] = colour;
    }
    void block(int64_t x0, int64_t r0, int64_t x1, int64_t r1, uint32_t colour)
    {
        for (int64_t r = r0; r < r1; ++r)
            for (int64_t x = x0; x < x1; ++x)
                set(x, r, colour);
    }
};

// Lines, most long enough to count as lines, some a few pixels short, some
// with holes; blocks; curves across them; stray dots; dark and light greys.
Canvas randomChart(std::mt19937& rng)
{
    const auto pick = [&](int64_t lo, int64_t hi) { return lo + int64_t(rng() % uint32_t(hi - lo + 1)); };
    Canvas c(int(pick(3, 70)), int(pick(3, 60)));
    const auto ink = [&] { return pick(0, 5) == 0 ? uint32_t(pick(100, 160)) * 0x010101u : 0u; };
    const auto line = [&](bool across) {
        const int64_t length = across ? c.width : c.height, side = across ? c.height : c.width;
        const int64_t start = pick(-2, length / 8), end = length - pick(-2, length / 8);
        const int64_t at = pick(0, side - 1), thickness = pick(1, std::max<int64_t>(1, side / 4));
        const uint32_t colour = ink();
        for (int64_t t = at; t < at + thickness; ++t)
            for (int64_t s = start; s < end; ++s)
                across ? c.set(s, t, colour) : c.set(t, s, colour);
        for (int64_t holes = pick(0, 2) ? 0 : pick(1, 4); holes > 0; --holes)
            across ? c.set(pick(0, length), pick(at, at + thickness), 0xFFFFFFu)
                   : c.set(pick(at, at + thickness), pick(0, length), 0xFFFFFFu);
    };
    for (int64_t n = pick(0, 3); n > 0; --n)
        line(true);
    for (int64_t n = pick(0, 3); n > 0; --n)
        line(false);
    for (int64_t n = pick(0, 2); n > 0; --n) {
        const int64_t x = pick(-5, c.width), r = pick(-5, c.height);
        c.block(x, r, x + pick(1, c.width), r + pick(1, c.height), ink());
    }
    for (int64_t n = pick(0, 3); n > 0; --n) {
        const double base = double(pick(0, c.height)), amplitude = double(pick(0, c.height / 2));
        const double wave = 0.05 * double(pick(1, 10)), thickness = double(pick(1, 3));
        const bool steep = pick(0, 3) == 0;
        for (int64_t x = 0; x < (steep ? c.height : c.width); ++x) {
            const double y = base + amplitude * std::sin(wave * double(x));
            for (int64_t t = 0; t < thickness; ++t)
                steep ? c.set(int64_t(y) + t - c.height / 2 + c.width / 2, x, 0) : c.set(x, int64_t(y) + t, 0);
        }
    }
    for (int64_t n = pick(0, 20); n > 0; --n)
        c.set(pick(0, c.width - 1), pick(0, c.height - 1), pick(0, 1) ? 0u : 0xFFFFFFu);
    if (pick(0, 20) == 0)
        c.block(0, 0, c.width, c.height, 0);
    return c;
}

// The area, checked: mostly the whole picture, at times a smaller rectangle
// or one reaching beyond it, in strips of one to four columns.
ScanSettings randomArea(std::mt19937& rng, const Canvas& c)
{
    const auto pick = [&](int64_t lo, int64_t hi) { return lo + int64_t(rng() % uint32_t(hi - lo + 1)); };
    ScanSettings s = calibrated(c.width, c.height, 1, 1, {0, 0, double(c.width), double(c.height)});
    if (pick(0, 2) == 0) {
        s.ScanStartX = double(pick(-3, c.width / 2));
        s.ScanEndX = double(pick(c.width / 2 + 1, c.width + 3));
        s.ScanStartY = double(pick(-3, c.height / 2));
        s.ScanEndY = double(pick(c.height / 2 + 1, c.height + 3));
    }
    s.ScanWidth = int32_t(pick(0, 3) == 0 ? pick(2, 4) : 1);
    s.Threshold = int32_t(pick(0, 3) == 0 ? pick(1, 200) : 128);
    if (pick(0, 4) == 0) {
        s.Ink.On = true;
        s.Ink.Tolerance = int32_t(pick(0, 1) ? InkSettings::kMaxTolerance : InkSettings::kDefaultTolerance);
    }
    s.Follow.RemoveLines = true;
    s.Follow.On = pick(0, 1) == 0;
    checkScan(s); // as the scan does: a strip wider than the area is cut to it
    return s;
}

bool samePixels(const std::vector<CountedPixel>& a, const std::vector<CountedPixel>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const CountedPixel& p, const CountedPixel& q) {
        return p.x == q.x && p.r == q.r && p.w == q.w;
    });
}

TEST(LineRemoval, KeepsAndLeavesOutTheSamePixelsAsTheWalkAcrossEveryLine)
{
    int64_t kept = 0, removed = 0, crossings = 0;
    for (uint32_t seed = 1; seed <= 3000; ++seed) {
        std::mt19937 rng(seed);
        const Canvas c = randomChart(rng);
        const ScanSettings s = randomArea(rng, c);
        const FollowPlan plan = planFollow(c.view(), s);
        const CountedArea area = countedArea(s);
        const std::vector<CountedPixel> all = countedPixels(c.view(), s, area);
        const Removal want = removalByWalking(area, plan.top, all);
        ASSERT_TRUE(samePixels(plan.pixels, want.kept)) << "seed " << seed;
        ASSERT_TRUE(samePixels(plan.removed, want.removed)) << "seed " << seed;
        kept += int64_t(want.kept.size());
        removed += int64_t(want.removed.size());
        crossings += want.crossings;
    }
    // The pictures left out lines, kept curves, and kept where curves cross
    // lines, all of them many times over.
    EXPECT_GT(removed, 100000);
    EXPECT_GT(kept, 100000);
    EXPECT_GT(crossings, 10000);
    RecordProperty("kept", std::to_string(kept));
    RecordProperty("removed", std::to_string(removed));
    RecordProperty("crossings", std::to_string(crossings));
}

// Two columns of a million and a half rows, all dark, and two rows of as
// many columns: every row and every column is a line, as thick or as long as
// the area, and nothing beyond it is counted, so every pixel is left out.
// Walking across the line from each of its pixels would take 4.5 * 10^12
// steps on each of them, hours, well past any test timeout; the answer is
// found once for each stretch across a line instead.
TEST(LineRemoval, AnAllDarkAreaIsLeftOutWholeHoweverThickItsLines)
{
    constexpr int kLong = 1'500'000;
    for (const bool tall : {true, false}) {
        Canvas c(tall ? 2 : kLong, tall ? kLong : 2);
        std::fill(c.pixels.begin(), c.pixels.end(), 0u);
        ScanSettings s;
        s.RefX = c.width;
        s.RefY = c.height;
        s.RealRefX = s.RealRefY = 1;
        s.ScanStartX = s.ScanStartY = 0;
        s.ScanEndX = c.width;
        s.ScanEndY = c.height;
        s.ScanWidth = 1;
        s.Threshold = 128;
        s.Follow.RemoveLines = true;
        checkScan(s);
        const FollowPlan plan = planFollow(c.view(), s);
        EXPECT_TRUE(plan.pixels.empty()) << tall;
        ASSERT_EQ(plan.removed.size(), size_t(2) * kLong) << tall;
        EXPECT_EQ(plan.removed.front().x, 0);
        EXPECT_EQ(plan.removed.front().r, 0);
        EXPECT_EQ(plan.removed.back().x, c.width - 1);
        EXPECT_EQ(plan.removed.back().r, c.height - 1);
        EXPECT_EQ(plan.counts.stripsWithoutPoint, c.width) << tall;
    }
}

// The counted-pixels view plans before Execute's checks have run: a scan
// width wider than the area is cut to the area's width, as the scan cuts it,
// not left to index strips that do not exist.
TEST(FollowPlan, AScanWidthWiderThanTheAreaIsCutAsTheScanCutsIt)
{
    std::vector<uint32_t> pixels(40 * 30, 0xFFFFFFFFu);
    for (int x = 0; x < 40; ++x)
        pixels[size_t(15 * 40 + x)] = 0xFF000000u;
    const PixelView view{40, 30, 40, pixels.data()};
    ScanSettings s = calibrated(30, 30, 30, 30, {5, 5, 25, 25});
    s.ScanWidth = 50;
    for (const bool removeLines : {false, true}) {
        s.Follow.On = true;
        s.Follow.RemoveLines = removeLines;
        const FollowPlan plan = planFollow(view, s);
        ScanSettings cut = s;
        cut.ScanWidth = 20;
        const FollowPlan want = planFollow(view, cut);
        ASSERT_EQ(plan.runs.size(), 1u) << removeLines;
        EXPECT_EQ(plan.runs.size(), want.runs.size());
        EXPECT_EQ(plan.pixels.size(), want.pixels.size());
        EXPECT_EQ(plan.chosen, want.chosen);
    }
}

// --- The scanner's flags

using FollowFlags = WorkedExampleChart;

TEST_F(FollowFlags, WithBothOffTheOutputIsTheOldOneByteForByte)
{
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{chart()});
    EXPECT_EQ(r.code, kScanDone);
    EXPECT_EQ(r.out, kWorkedExampleText);
    EXPECT_EQ(r.err, "");
}

TEST_F(FollowFlags, EachOptionAddsAHeaderLineAndTheCountsGoToStandardError)
{
    // One short line per strip: following gives the same numbers.
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"--follow", "--gap", "2", chart()});
    ASSERT_EQ(r.code, kScanDone) << r.err;
    std::string want = kWorkedExampleText;
    want.insert(want.find("Weighted Y points"), "Follow one curve:,gap,2,max jump,15\r\n");
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.err, "Strips with more than one run: 0; strips without a point: 0\n");

    const ScanRun both = scanner(kWorkedExampleArgs +
                                 QStringList{"--follow", "--remove-lines", "--start=61,140", "--max-jump=7", chart()});
    ASSERT_EQ(both.code, kScanDone) << both.err;
    EXPECT_NE(both.out.find("Follow one curve:,gap,3,max jump,7,start,61,140\r\nLeave out axis and grid lines\r\n"),
              std::string::npos)
        << both.out;
    // The area is three columns wide: the short line crosses all of it and
    // is left out as a line.
    EXPECT_EQ(both.err, "Strips with more than one run: 0; strips without a point: 3\n");
}

// The default scan of a chart with a frame and a grid tells on standard
// error, in one line, what it saw and which flags to add; standard output is
// the scan's text as ever. With both flags, or on a clean chart, it says
// nothing of the kind.
TEST_F(FollowFlags, TheDefaultScanOfAGriddedChartSaysWhatToAdd)
{
    const Chart c;
    // chartSettings(c) as flags, the threshold left at its start value.
    const QStringList flags{
        "--origin", "80,60", "--ref", "760,560", "--real-ref", "10,1", "--area", "76,56,764,564", "--decimal-separator",
        "."};
    const auto scanned = [&](bool lines) {
        const QImage chart = drawChart(c, {Qt::SolidLine, {wave}, lines});
        const QString path = dir.filePath(lines ? "gridded.png" : "clean.png");
        EXPECT_TRUE(chart.save(path));
        // The engine's rows, without asking what it saw, as the text.
        ScanSettings s = chartSettings(c);
        s.Follow = {};
        const QImage pixels = toScanPixels(chart);
        ScanReport report(OutputFields{}, ".", ScanReport::Keep::TextOnly);
        runColumnScan(pixelView(pixels), s, checkScan(s), false, {[&](const ResultRow& r) { report.addRow(r); }});
        return std::pair{path, report.text({}, s)};
    };
    const auto [gridded, griddedText] = scanned(true);
    const ScanRun r = scanner(flags + QStringList{gridded});
    ASSERT_EQ(r.code, kScanDone) << r.err;
    EXPECT_EQ(r.out, griddedText);
    EXPECT_NE(r.err.find(" strips held more than one run of dark pixels, and 22 lines run across the scan area: the "
                         "points may lie between curves or on the lines. Add --follow and --remove-lines, or count "
                         "only the curve's colour with --ink COLOUR.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    const ScanRun both = scanner(flags + QStringList{"--follow", "--remove-lines", gridded});
    EXPECT_EQ(both.err.find("Add --"), std::string::npos) << both.err;

    const auto [clean, cleanText] = scanned(false);
    const ScanRun plain = scanner(flags + QStringList{clean});
    EXPECT_EQ(plain.out, cleanText);
    EXPECT_EQ(plain.err, "");
}

TEST_F(FollowFlags, BadValuesAreRefused)
{
    const QString path = chart();
    for (const QStringList& args :
         {QStringList{"--follow", "--gap", "0", path}, QStringList{"--follow", "--max-jump", "x", path},
          QStringList{"--follow", "--start", "1", path}, QStringList{"--follow", "--start", "-1,4", path},
          QStringList{"--start", "1,2", path}, QStringList{"--gap", "2", path}}) {
        const ScanRun r = scanner(kWorkedExampleArgs + args);
        EXPECT_EQ(r.code, kScanUsage) << args.join(' ').toStdString();
        EXPECT_NE(r.err.find("plotrun-scan: "), std::string::npos) << args.join(' ').toStdString();
    }
    EXPECT_NE(scanner({"--help"}).out.find("--remove-lines"), std::string::npos);

    // A Start outside the area would only take the edge strip's nearest run.
    for (const char* start : {"1000,2000", "59,100", "61,201", "64,100"}) {
        const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"--follow", "--start", start, path});
        EXPECT_EQ(r.code, kScanUsage) << start;
        EXPECT_NE(r.err.find(std::string("--start ") + start + " lies outside the scan area 60,50,63,200."),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out, "");
    }
    for (const char* start : {"60,50", "63,200", "61,140"})
        EXPECT_EQ(scanner(kWorkedExampleArgs + QStringList{"--follow", "--start", start, path}).code, kScanDone)
            << start;
    // Without a settings file there is nothing to scale.
    const ScanRun scale = scanner(kWorkedExampleArgs + QStringList{"--scale-with-picture", path});
    EXPECT_EQ(scale.code, kScanUsage);
    EXPECT_EQ(scale.err, "plotrun-scan: --scale-with-picture goes with --settings\nTry 'plotrun-scan --help'.\n");
}

} // namespace
} // namespace plotrun::test
