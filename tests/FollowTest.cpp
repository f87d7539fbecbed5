// Curve following and line removal: run splitting and the choice of runs on
// hand-made strips, charts drawn with QPainter against their known curves,
// and the scanner's flags.
#include "BmpFile.h"
#include "ScanCommand.h"
#include "ScannerRun.h"
#include "WorkedExample.h"

#include "../files/PictureFile.h"
#include "ColumnScan.h"
#include "CurveFollow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

namespace plotrun::test {
namespace {

// --- Runs and choices on hand-made strips

std::vector<int64_t> strip(int rows, std::initializer_list<std::pair<int, int64_t>> counted)
{
    std::vector<int64_t> w(size_t(rows), -1);
    for (const auto& [row, weight] : counted)
        w[size_t(row)] = weight;
    return w;
}

TEST(StripRuns, AGapOfAtLeastGEmptyRowsSplitsRuns)
{
    // Rows 2, 3 and 5 (one empty row between): one run; row 9 after three
    // empty rows: a second run with gap 3, the same run with gap 4.
    const auto w = strip(12, {{2, 10}, {3, 10}, {5, 20}, {9, 5}});
    const auto three = splitRuns(w, 100, 3);
    ASSERT_EQ(three.size(), 2u);
    EXPECT_EQ(three[0].first, 102);
    EXPECT_EQ(three[0].last, 105);
    EXPECT_EQ(three[0].weight, 40);
    EXPECT_DOUBLE_EQ(three[0].centre, (102.0 * 10 + 103 * 10 + 105 * 20) / 40);
    EXPECT_EQ(three[1].first, 109);
    EXPECT_DOUBLE_EQ(three[1].centre, 109);
    EXPECT_EQ(splitRuns(w, 100, 4).size(), 1u);
    EXPECT_EQ(splitRuns(w, 100, 1).size(), 3u);
    EXPECT_TRUE(splitRuns(strip(5, {}), 0, 3).empty());
}

TEST(StripRuns, AZeroWeightRunCentresOnItsMiddle)
{
    const auto runs = splitRuns(strip(10, {{4, 0}, {6, 0}}), 0, 3);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_DOUBLE_EQ(runs[0].centre, 5);
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
    for (int i = 1; i < 10; ++i) {
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
        p.drawLine(QPointF(x, c.bottom - 6), QPointF(x, c.bottom + 6));
        p.drawLine(QPointF(c.left - 6, y), QPointF(c.left + 6, y));
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
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 2));
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
    ScanSettings s;
    s.OriginX = s.OriginY = 0;
    s.RefX = width;
    s.RefY = height;
    s.RealRefX = width;
    s.RealRefY = height;
    s.HasRealRefX = s.HasRealRefY = true;
    s.ScanStartX = 0;
    s.ScanStartY = 0;
    s.ScanEndX = width;
    s.ScanEndY = height;
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

int main(int argc, char** argv)
{
    // Fonts for the tick labels need a platform; none is shown.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
