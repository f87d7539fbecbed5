// Rotated, skewed and photographed charts: the fit of the marks, its
// residuals and refusals, and scans in the chart's frame measured against
// the known curve, in per cent of the y range.
#include "ScannerRun.h"
#include "WarpedChart.h"

#include "../files/PictureFile.h"
#include "../files/SettingsFile.h"
#include "ChartMap.h"
#include "ChartScan.h"
#include "ColumnScan.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace plotrun::test {
namespace {

ScanSettings withInk(ScanSettings s)
{
    s.Ink.On = true;
    s.Ink.Ink = 0xC83C1E; // the curve's blue, red in the low byte
    return s;
}

ScanSettings followingWithoutLines(ScanSettings s)
{
    s.Follow.On = s.Follow.RemoveLines = true;
    return s;
}

TEST(ChartFit, ThreeMarksFixARotationExactly)
{
    const WarpedChart chart = drawWarpedChart(rotationAboutCentre(1.5));
    const ChartMap map(chart.settings(CalibrationKind::ThreePoint));
    ASSERT_TRUE(map.usable());
    for (const double x : {0.0, 3.0, 10.0})
        for (const double y : {0.0, 0.4, 1.0}) {
            const ChartPoint real = map.toChart(chart.bitmapX(x, y), chart.bitmapY(x, y));
            EXPECT_NEAR(real.x, x, 1e-9);
            EXPECT_NEAR(real.y, y, 1e-9);
            const ChartPoint back = map.toPicture(x, y);
            EXPECT_NEAR(back.x, chart.bitmapX(x, y), 1e-7);
            EXPECT_NEAR(back.y, chart.bitmapY(x, y), 1e-7);
        }
    EXPECT_LT(map.fit()->rms, 1e-9);
    EXPECT_FALSE(map.fit()->overdetermined);
}

TEST(ChartFit, FourMarksFixAPerspectiveAndLogAxesMapInLog10)
{
    const WarpedChart chart = drawWarpedChart(photoPerspective());
    ScanSettings s = chart.settings(CalibrationKind::FourPoint);
    const ChartMap map(s);
    const ChartPoint mid = map.toChart(chart.bitmapX(5, 0.5), chart.bitmapY(5, 0.5));
    EXPECT_NEAR(mid.x, 5, 1e-7);
    EXPECT_NEAR(mid.y, 0.5, 1e-7);
    // The same marks read as a logarithmic x axis from 1 to 1e10: the
    // middle of the axis is 1e5.
    s.LogX = true;
    s.RealOriginX = 1;
    s.RealRefX = 1e10;
    EXPECT_NEAR(std::log10(ChartMap(s).toChart(chart.bitmapX(5, 0.5), chart.bitmapY(5, 0.5)).x), 5, 1e-7);
}

TEST(ChartFit, AMisplacedPointStandsOutAmongEight)
{
    const WarpedChart chart = drawWarpedChart(rotationAboutCentre(0.8));
    ScanSettings s = chart.settings(CalibrationKind::ThreePoint);
    const double at[][2] = {{2, 0}, {5, 0}, {0, 0.5}, {10, 0.5}, {6, 1}};
    for (const auto& p : at)
        s.Calibration.Points.push_back({chart.bitmapX(p[0], p[1]), chart.bitmapY(p[0], p[1]), p[0], p[1]});
    s.Calibration.Points[3].y += 5; // one grid crossing clicked 5 px off
    const ChartFit fit = fitChart(s);
    ASSERT_EQ(fit.problem, FitProblem::None);
    ASSERT_EQ(fit.marks.size(), 8u);
    EXPECT_TRUE(fit.overdetermined);
    for (const FitMark& m : fit.marks) {
        if (m.kind == FitMark::Kind::Point && m.index == 3)
            EXPECT_GE(m.residual, 4.0);
        else
            EXPECT_LT(m.residual, 1.0);
    }
}

TEST(ChartFit, MarksThatCannotFixTheMapAreRefused)
{
    const WarpedChart chart = drawWarpedChart(rotationAboutCentre(1));
    ScanSettings s = chart.settings(CalibrationKind::ThreePoint);
    ScanSettings inLine = s; // Y1 on the line through O and X1
    inLine.Calibration.Y1X = (s.OriginX + s.RefX) / 2;
    inLine.RefY = (s.OriginY + s.Calibration.X1Y) / 2;
    EXPECT_EQ(stopNotice(checkScan(inLine).stop).text, kCollinearText);
    EXPECT_EQ(calibrationRefusal(inLine), kCollinearText);

    ScanSettings corner = chart.settings(CalibrationKind::FourPoint);
    corner.Calibration.CornerX = s.OriginX + 2 * (s.RefX - s.OriginX); // C on the x axis, past X1
    corner.Calibration.CornerY = s.OriginY + 2 * (s.Calibration.X1Y - s.OriginY);
    EXPECT_EQ(checkScan(corner).stop, ScanStop::UnfixedFit);

    // Axes three degrees apart would make the scan walk twenty times the
    // area's pixels; a degree apart, they are one line.
    for (const double degrees : {3.0, 1.0}) {
        ScanSettings narrow = s;
        const double turn = degrees * 3.14159265358979 / 180;
        narrow.Calibration.Y1X = s.OriginX + 300 * std::cos(turn);
        narrow.RefY = s.OriginY + 300 * std::sin(turn);
        narrow.RefX = s.OriginX + 400;
        narrow.Calibration.X1Y = s.OriginY;
        EXPECT_EQ(checkScan(narrow).stop, degrees > 2 ? ScanStop::StretchedArea : ScanStop::CollinearMarks);
    }

    ScanSettings missing = s;
    missing.Calibration.X1Y = -1;
    EXPECT_NE(calibrationRefusal(missing).find("--x1"), std::string::npos);

    // A strong perspective: C drawn in to 0.7 of the way. The area that
    // reaches three times as far crosses the horizon; half as far again
    // does not.
    for (const double reach : {1.5, 3.0}) {
        ScanSettings folded = chart.settings(CalibrationKind::FourPoint);
        CalibrationSettings& c = folded.Calibration;
        c.CornerX = s.OriginX + 0.7 * (s.RefX - s.OriginX) + 0.7 * (c.Y1X - s.OriginX);
        c.CornerY = s.OriginY + 0.7 * (s.RefY - s.OriginY) + 0.7 * (c.X1Y - s.OriginY);
        folded.ScanEndX = s.OriginX + reach * (c.CornerX - s.OriginX);
        folded.ScanEndY = s.OriginY + reach * (c.CornerY - s.OriginY);
        const ScanStop stop = checkScan(folded).stop;
        if (reach > 2)
            EXPECT_EQ(stop, ScanStop::FoldedArea);
        else
            EXPECT_NE(stop, ScanStop::FoldedArea);
    }
}

// What the axes kind gives on a tilted chart is what this kind mends.
TEST(ChartScanAccuracy, RotatedChartsComeWithinAThousandthOfTheRange)
{
    for (const double degrees : {0.3, 1.0, 2.0}) {
        SCOPED_TRACE(degrees);
        const WarpedChart blue = drawWarpedChart(rotationAboutCentre(degrees));
        const CurveError axes = curveError(blue.picture, withInk(blue.settings(CalibrationKind::Axes)));
        const CurveError ink = curveError(blue.picture, withInk(blue.settings(CalibrationKind::ThreePoint)));
        EXPECT_GT(axes.rmsPercent, 0.25 * degrees / 0.3) << "the axes kind";
        EXPECT_LE(ink.rmsPercent, 0.1) << "worst " << ink.worstPercent;
        EXPECT_GE(ink.pointShare, 0.95);

        const WarpedChart black = drawWarpedChart(rotationAboutCentre(degrees), 0xFF000000);
        const CurveError followed =
            curveError(black.picture, followingWithoutLines(black.settings(CalibrationKind::ThreePoint)));
        EXPECT_LE(followed.rmsPercent, 0.1) << "worst " << followed.worstPercent;
        EXPECT_GE(followed.pointShare, 0.95);
    }
}

// Smoothing reads the picture's box around the turned area, not the
// rectangle that the corners would span on the picture.
TEST(ChartScanAccuracy, ASmoothedTurnedChartKeepsItsCorners)
{
    const WarpedChart chart = drawWarpedChart(rotationAboutCentre(3.0), 0xFF000000);
    ScanSettings s = followingWithoutLines(chart.settings(CalibrationKind::ThreePoint));
    const CurveError sharp = curveError(chart.picture, s);
    s.Smooth = 1;
    const CurveError smoothed = curveError(chart.picture, s);
    EXPECT_LE(smoothed.rmsPercent, 0.15) << "worst " << smoothed.worstPercent;
    EXPECT_GE(smoothed.pointShare, sharp.pointShare - 0.01);
}

TEST(ChartScanAccuracy, APhotographedChartComesWithinOnePointFiveThousandths)
{
    const WarpedChart blue = drawWarpedChart(photoPerspective());
    const CurveError ink = curveError(blue.picture, withInk(blue.settings(CalibrationKind::FourPoint)));
    EXPECT_LE(ink.rmsPercent, 0.15) << "worst " << ink.worstPercent;
    EXPECT_GE(ink.pointShare, 0.95);
    EXPECT_GT(curveError(blue.picture, withInk(blue.settings(CalibrationKind::ThreePoint))).rmsPercent, 0.3);

    const WarpedChart black = drawWarpedChart(photoPerspective(), 0xFF000000);
    const CurveError followed =
        curveError(black.picture, followingWithoutLines(black.settings(CalibrationKind::FourPoint)));
    EXPECT_LE(followed.rmsPercent, 0.15) << "worst " << followed.worstPercent;
    EXPECT_GE(followed.pointShare, 0.95);
}

// On a chart that is not tilted, three points along the picture's rows and
// columns are the axes kind by another way: the same points and spreads to
// rounding, and bitmap positions that lie where the axes kind puts them.
TEST(ChartScan, AnUntiltedThreePointScanIsTheAxesScan)
{
    const WarpedChart chart = drawWarpedChart(QTransform(), 0xFF000000);
    for (const bool follow : {false, true}) {
        ScanSettings axes = chart.settings(CalibrationKind::Axes);
        for (double* v : {&axes.OriginX, &axes.OriginY, &axes.RefX, &axes.RefY, &axes.ScanStartX, &axes.ScanStartY,
                          &axes.ScanEndX, &axes.ScanEndY})
            *v = std::round(*v);
        axes.Calibration.X1Y = axes.OriginY;
        axes.Calibration.Y1X = axes.OriginX;
        axes.Follow.On = axes.Follow.RemoveLines = follow;
        axes.WeightedX = !follow;
        ScanSettings three = axes;
        three.Calibration.Kind = CalibrationKind::ThreePoint;
        const QImage pixels = toScanPixels(chart.picture);
        std::vector<ResultRow> a, b;
        for (auto [s, rows] : {std::pair{axes, &a}, std::pair{three, &b}}) {
            const ScanChecks checks = checkScan(s);
            ASSERT_EQ(checks.stop, ScanStop::None);
            runColumnScan(pixelView(pixels), s, checks, true, {[rows](const ResultRow& r) { rows->push_back(r); }});
        }
        ASSERT_EQ(a.size(), b.size());
        ASSERT_GT(a.size(), 200u);
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_NEAR(a[i].realX, b[i].realX, 1e-9);
            EXPECT_NEAR(a[i].realY, b[i].realY, 1e-9);
            EXPECT_NEAR(a[i].bitmapX, b[i].bitmapX, 1e-7);
            EXPECT_NEAR(a[i].bitmapY, b[i].bitmapY, 1e-7);
            EXPECT_NEAR(a[i].sdev, b[i].sdev, 1e-9);
            EXPECT_EQ(a[i].runCount, b[i].runCount);
        }
    }
}

// --- The scanner

// The flags of a three-point scan of the 1-degree chart, its marks clicked
// to the nearest pixel.
QStringList threePointFlags(const WarpedChart& c, const QString& picture)
{
    const auto at = [](double x, double y) { return QString("%1,%2").arg(std::lround(x)).arg(std::lround(y)); };
    const ScanSettings s = c.settings(CalibrationKind::ThreePoint);
    return {"--calibration",
            "three-point",
            "--origin",
            at(s.OriginX, s.OriginY),
            "--x1",
            at(s.RefX, s.Calibration.X1Y),
            "--y1",
            at(s.Calibration.Y1X, s.RefY),
            "--real-ref",
            "10,1",
            "--area",
            at(s.ScanStartX, s.ScanStartY) + "," + at(s.ScanEndX, s.ScanEndY),
            "--ink",
            "#1e3cc8",
            "--scan-width",
            "3",
            "--decimal-separator",
            ".",
            picture};
}

double rmsPercentOf(const std::string& out)
{
    std::istringstream lines(out);
    std::string line;
    double sum2 = 0;
    int n = 0;
    while (std::getline(lines, line)) {
        double x = 0, y = 0;
        if (std::sscanf(line.c_str(), "%lf,%lf", &x, &y) != 2)
            continue;
        sum2 += std::pow(y - WarpedChart::curve(x), 2);
        ++n;
    }
    return n > 200 ? 100 * std::sqrt(sum2 / n) : 1e9;
}

TEST(ChartScanner, ScansARotatedChartAndKeepsItsCalibrationInTheSettingsFile)
{
    QTemporaryDir dir;
    const WarpedChart chart = drawWarpedChart(rotationAboutCentre(1));
    const QString picture = dir.filePath("tilted.png");
    ASSERT_TRUE(chart.picture.save(picture));
    const QStringList flags = threePointFlags(chart, picture);
    const ScanRun plain = scanner(flags);
    ASSERT_EQ(plain.code, kScanDone) << plain.err;
    EXPECT_LE(rmsPercentOf(plain.out), 0.15);
    EXPECT_EQ(plain.err, "");
    // Following without the ink, the scan says that it saw the grid's
    // lines, slanted as they are on the picture.
    QStringList darkness = flags;
    darkness.remove(darkness.indexOf("--ink"), 2);
    EXPECT_NE(scanner(darkness + QStringList{"--follow"}).err.find("run across the scan area"), std::string::npos);

    ScanRun withHeader = scanner(QStringList{"--header"} + flags);
    std::erase(withHeader.out, '\r');
    EXPECT_NE(withHeader.out.find("\nCalibration:,three-point,rms residual [px],0\n"), std::string::npos)
        << withHeader.out;
    EXPECT_NE(withHeader.out.find("\nX1:,"), std::string::npos);
    EXPECT_EQ(withHeader.out.find("Corner:"), std::string::npos);

    // Snapped marks turn the map: every row the area might need is read,
    // also from a BMP read while it is scanned.
    const QString bmp = dir.filePath("tilted.bmp");
    ASSERT_TRUE(chart.picture.convertToFormat(QImage::Format_RGB888).save(bmp));
    QStringList snapped = flags;
    snapped.last() = bmp;
    const ScanRun snap = scanner(snapped + QStringList{"--snap"});
    EXPECT_EQ(snap.code, kScanDone) << snap.err;
    EXPECT_LE(rmsPercentOf(snap.out), 0.15);

    // The file keeps the kind and the full points, and gives the same scan.
    const QString settings = dir.filePath("tilted.json");
    ASSERT_EQ(scanner(QStringList{"--save-settings", settings} + flags).code, kScanDone);
    const ScanRun again = scanner({"--settings", settings, picture});
    EXPECT_EQ(again.out, plain.out) << again.err;
    const SavedSettings saved = readSettingsFile(settings);
    EXPECT_EQ(saved.record.Calibration.Kind, CalibrationKind::ThreePoint);

    // An extra point, misplaced: the fit's rms says so in the header.
    ScanRun fitted = scanner(QStringList{"--header", "--point", "500,100=5,0"} + flags);
    std::erase(fitted.out, '\r');
    ASSERT_EQ(fitted.code, kScanDone) << fitted.err;
    EXPECT_NE(fitted.out.find("Point:,500,100,5,0\n"), std::string::npos);
    EXPECT_EQ(fitted.out.find("rms residual [px],0\n"), std::string::npos);
}

TEST(ChartScanner, RefusesMarksThatCannotMakeTheMap)
{
    QTemporaryDir dir;
    const WarpedChart chart = drawWarpedChart(rotationAboutCentre(1));
    const QString picture = dir.filePath("tilted.png");
    ASSERT_TRUE(chart.picture.save(picture));
    const QStringList flags = threePointFlags(chart, picture);
    const auto refused = [&](QStringList args, const std::string& message) {
        const ScanRun r = scanner(args);
        EXPECT_EQ(r.code, kScanUsage) << args.join(' ').toStdString();
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    };
    refused(QStringList{"--ref", "800,400"} + flags, "--ref cannot be given with --x1 or --y1");
    QStringList inLine = flags;
    inLine[inLine.indexOf("--x1") + 1] = "835,96";
    inLine[inLine.indexOf("--y1") + 1] = "470,91"; // halfway from O to X1
    refused(inLine, kCollinearText);
    QStringList four = flags;
    four[1] = "four-point";
    refused(four, "needs the corner C (--corner)");
    refused({"--origin", "50,40", "--ref", "250,240", "--point", "1,2=3,4", picture}, "go with --calibration");
    refused(QStringList{"--calibration", "tilted"} + flags.mid(2), "--calibration takes axes|three-point|four-point");
    // The kind from the flag reaches the checks, which judge X1's y too.
    QStringList high = flags;
    high[high.indexOf("--x1") + 1] = "835,1000000";
    refused(high, "X1");
    QStringList many = flags;
    for (int i = 0; i < 1001; ++i)
        many << "--point" << QString("%1,100=5,0.5").arg(100 + i % 500);
    refused(many, "--point is given more than 1000 times");
}

} // namespace
} // namespace plotrun::test
