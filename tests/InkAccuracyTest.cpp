// Ink mode on charts as users bring them, and the scanner's ink flags: the
// points against the known curves, in per cent of the y axis range.
#include "InkChart.h"
#include "ScanCommand.h"
#include "ScannerRun.h"
#include "WorkedExample.h"
#include "BmpFile.h"

#include "../files/PictureFile.h"
#include "ColumnScan.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

namespace plotrun::test {
namespace {

struct Accuracy {
    double rmsPercent = 0; // of the y range (0 to 1)
    double worstPercent = 0;
    double stripShare = 0; // strips that gave a point
    size_t rows = 0;
};

Accuracy measure(const QImage& chart, ScanSettings s, const std::function<double(double)>& truth)
{
    const QImage pixels = toScanPixels(chart);
    const ScanChecks checks = checkScan(s);
    double sum2 = 0, worst = 0;
    size_t rows = 0;
    runColumnScan(pixelView(pixels), s, checks, false,
                  {[&](const ResultRow& r) {
                       const double e = r.realY - truth(r.realX);
                       sum2 += e * e;
                       worst = std::max(worst, std::fabs(e));
                       ++rows;
                   },
                   nullptr, nullptr});
    Accuracy a;
    a.rows = rows;
    a.rmsPercent = rows ? 100 * std::sqrt(sum2 / double(rows)) : 1e9;
    a.worstPercent = 100 * worst;
    a.stripShare = double(rows) / checks.stripCount;
    ::testing::Test::RecordProperty("rms_percent", std::to_string(a.rmsPercent));
    ::testing::Test::RecordProperty("strip_share", std::to_string(a.stripShare));
    return a;
}

ScanSettings withInk(ScanSettings s, QRgb ink)
{
    s.Ink.On = true;
    s.Ink.Ink = uint32_t(qRed(ink)) | uint32_t(qGreen(ink)) << 8 | uint32_t(qBlue(ink)) << 16;
    return s;
}

TEST(InkAccuracy, DarknessIsPulledOffTheCurveByTheGridAndTheOtherCurve)
{
    // What a new user sees without ink mode: the grid, the frame, the title
    // and the red line are averaged into the blue curve's points.
    const Accuracy a = measure(InkChart::draw(), InkChart::settings(), InkChart::sigmoid);
    EXPECT_GT(a.rmsPercent, 3.0) << a.rmsPercent;
}

TEST(InkAccuracy, TheCurvesColourGivesItsPoints)
{
    const Accuracy a = measure(InkChart::draw(), withInk(InkChart::settings(), InkChart::kBlue), InkChart::sigmoid);
    EXPECT_LE(a.rmsPercent, 0.3) << "worst " << a.worstPercent << " %";
    EXPECT_GE(a.stripShare, 0.95);
}

TEST(InkAccuracy, EachOfTwoCrossingCurvesIsPickedInTurn)
{
    const QImage chart = InkChart::draw();
    const struct {
        QRgb ink;
        double (*truth)(double);
        const char* name;
    } curves[] = {{InkChart::kBlue, InkChart::sigmoid, "blue sigmoid"},
                  {InkChart::kRed, InkChart::falling, "red line"}};
    for (const auto& c : curves) {
        const Accuracy a = measure(chart, withInk(InkChart::settings(), c.ink), c.truth);
        EXPECT_LE(a.rmsPercent, 0.3) << c.name << ", worst " << a.worstPercent << " %";
        EXPECT_GE(a.stripShare, 0.95) << c.name;
    }
}

TEST(InkAccuracy, HoldsOnALargeChartAndAOneColumnScanWidth)
{
    const QImage chart = InkChart::draw(2400, 1600);
    for (int width : {1, 7}) {
        const Accuracy a =
            measure(chart, withInk(InkChart::settings(2400, 1600, width), InkChart::kRed), InkChart::falling);
        EXPECT_LE(a.rmsPercent, 0.3) << width;
        EXPECT_GE(a.stripShare, 0.95) << width;
    }
}

// --- The scanner's ink flags

using InkFlags = WorkedExampleChart;

TEST_F(InkFlags, WithoutInkTheOutputIsTheOldOneByteForByte)
{
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{chart()});
    EXPECT_EQ(r.code, kScanDone);
    EXPECT_EQ(r.out, kWorkedExampleText);
    EXPECT_EQ(r.out.find("Ink:"), std::string::npos);
}

TEST_F(InkFlags, InkAddsOneHeaderLineAndWeighsByInk)
{
    // Black ink on white paper weighs as darkness does: the same numbers.
    for (const QString& black : {QString("0,0,0"), QString("#000000")}) {
        const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"--ink", black, chart()});
        ASSERT_EQ(r.code, kScanDone) << r.err;
        std::string want = kWorkedExampleText;
        want.insert(want.find("Weighted Y points"), "Ink:,#000000,#ffffff,40\r\n");
        EXPECT_EQ(r.out, want);
    }
    const ScanRun other = scanner(
        kWorkedExampleArgs + QStringList{"--ink", "#ff0000", "--paper", "250,250,250", "--ink-tolerance=12", chart()});
    ASSERT_EQ(other.code, kScanDone) << other.err;
    EXPECT_NE(other.out.find("Ink:,#ff0000,#fafafa,12\r\n"), std::string::npos);
    EXPECT_EQ(other.out.substr(other.out.find("X,Y,SDEV")), "X,Y,SDEV\r\n"); // black is no red: no points
}

TEST_F(InkFlags, BadInkValuesAreRefused)
{
    const QString path = chart();
    for (const QStringList& args : {QStringList{"--ink", "1,2", path}, QStringList{"--ink", "#12345", path},
                                    QStringList{"--ink", "256,0,0", path}, QStringList{"--ink", "red", path},
                                    QStringList{"--paper", "0,0,0", path}, QStringList{"--ink-tolerance", "5", path}}) {
        const ScanRun r = scanner(kWorkedExampleArgs + args);
        EXPECT_EQ(r.code, kScanUsage) << args.join(' ').toStdString();
        EXPECT_NE(r.err.find("plotrun-scan: "), std::string::npos) << args.join(' ').toStdString();
    }
    const ScanRun tolerance =
        scanner(kWorkedExampleArgs + QStringList{"--ink", "0,0,0", "--ink-tolerance", "500", path});
    EXPECT_EQ(tolerance.code, kScanUsage);
    EXPECT_EQ(tolerance.err, "Ink tolerance must be between 0 and 442\n");
    const ScanRun same = scanner(kWorkedExampleArgs + QStringList{"--ink", "#ffffff", path});
    EXPECT_EQ(same.code, kScanUsage);
    EXPECT_EQ(same.err, "Ink and paper must be of different colours\n");
    const ScanRun help = scanner({"--help"});
    EXPECT_NE(help.out.find("--ink-tolerance N"), std::string::npos);
}

} // namespace
} // namespace plotrun::test
