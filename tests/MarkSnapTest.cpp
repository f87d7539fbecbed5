// Snapping a mark to a line crossing of a QPainter chart, rotated and in
// perspective: dropped 2 px off, it lands within 0.2 px of the crossing.
#include "WarpedChart.h"

#include "../files/PictureFile.h"
#include "MarkSnap.h"
#include "ScannerRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace plotrun::test {
namespace {

TEST(MarkSnap, aMarkDroppedNearACrossingLandsOnItsCentre)
{
    for (const QTransform& warp : {rotationAboutCentre(0), rotationAboutCentre(1), photoPerspective()}) {
        const WarpedChart chart = drawWarpedChart(warp);
        const QImage pixels = toScanPixels(chart.picture);
        const PixelView view = pixelView(pixels);
        // x axis and its ticks (grid lines above), y axis and its ticks (grid lines to the right).
        for (const auto& [rx, ry] : {std::pair{2.0, 0.0}, std::pair{5.0, 0.0}, std::pair{8.0, 0.0}, std::pair{0.0, 0.3},
                                     std::pair{0.0, 0.7}}) {
            const double tx = chart.bitmapX(rx, ry), ty = chart.bitmapY(rx, ry);
            for (const auto& [dx, dy] : {std::pair{2.0, 0.0}, std::pair{0.0, -2.0}, std::pair{-1.4, 1.4},
                                         std::pair{1.4, -1.4}, std::pair{0.4, 0.3}}) {
                const SnappedMark m = snapToCrossing(view, tx + dx, ty + dy);
                ASSERT_TRUE(m.snapped) << rx << "," << ry << " off by " << dx << "," << dy;
                EXPECT_LT(std::hypot(m.x - tx, m.y - ty), 0.2)
                    << rx << "," << ry << " off by " << dx << "," << dy << ": " << m.x - tx << "," << m.y - ty;
            }
        }
    }
}

TEST(MarkSnap, aMarkAwayFromAnyCrossingStaysWhereItIs)
{
    const WarpedChart chart = drawWarpedChart(rotationAboutCentre(1));
    const QImage pixels = toScanPixels(chart.picture);
    const PixelView view = pixelView(pixels);
    // On paper between grid lines, on the curve, and on the axis between two ticks.
    for (const auto& [rx, ry] : {std::pair{4.5, 0.15}, std::pair{4.5, WarpedChart::curve(4.5)}, std::pair{4.5, 0.0}}) {
        const double x = chart.bitmapX(rx, ry), y = chart.bitmapY(rx, ry);
        const SnappedMark m = snapToCrossing(view, x, y);
        EXPECT_FALSE(m.snapped) << rx << "," << ry;
        EXPECT_EQ(m.x, x);
        EXPECT_EQ(m.y, y);
    }
    // Near the picture's edge nothing is read outside it.
    EXPECT_FALSE(snapToCrossing(view, 2, 2).snapped);
}

// The header's pairs ("Origin:,x,y"), by their names.
std::map<std::string, std::pair<double, double>> headerPairs(const std::string& text)
{
    std::map<std::string, std::pair<double, double>> pairs;
    std::istringstream lines(text);
    std::string line;
    char name[32];
    double x = 0, y = 0;
    while (std::getline(lines, line))
        if (std::sscanf(line.c_str(), "%31[^,],%lf,%lf", name, &x, &y) == 3)
            pairs[name] = {x, y};
    return pairs;
}

TEST(MarkSnap, theScannerSnapsTheMarksItWasGiven)
{
    const WarpedChart chart = drawWarpedChart(rotationAboutCentre(1));
    QTemporaryDir dir;
    const QString path = dir.filePath("rotated.bmp");
    ASSERT_TRUE(chart.picture.save(path));
    const ScanSettings t = chart.settings(CalibrationKind::ThreePoint);
    const auto pair = [](double x, double y) { return QString("%1,%2").arg(x, 0, 'f', 3).arg(y, 0, 'f', 3); };
    // Each mark 1 to 2 px off; the origin a whole pixel, as --origin takes it.
    const QStringList args{path,
                           "--calibration",
                           "three-point",
                           "--origin",
                           pair(std::round(t.OriginX) + 1, std::round(t.OriginY) - 1),
                           "--x1",
                           pair(t.RefX + 1.5, t.Calibration.X1Y - 1),
                           "--y1",
                           pair(t.Calibration.Y1X - 1, t.RefY + 1.5),
                           "--real-ref",
                           "10,1",
                           "--area",
                           pair(t.ScanStartX + 20, t.ScanStartY + 20) + "," + pair(t.ScanEndX - 20, t.ScanEndY - 20),
                           "--header",
                           "--decimal-separator",
                           "."};
    const ScanRun plain = scanner(args);
    const ScanRun snapped = scanner(QStringList(args) << "--snap");
    ASSERT_EQ(plain.code, 0) << plain.err;
    ASSERT_EQ(snapped.code, 0) << snapped.err;
    EXPECT_EQ(plain.out.find("Snapped marks"), std::string::npos);
    EXPECT_NE(snapped.out.find("Snapped marks"), std::string::npos);
    const auto off = headerPairs(plain.out), on = headerPairs(snapped.out);
    const std::pair<const char*, std::pair<double, double>> truth[] = {{"Origin:", {t.OriginX, t.OriginY}},
                                                                       {"X1:", {t.RefX, t.Calibration.X1Y}},
                                                                       {"Y1:", {t.Calibration.Y1X, t.RefY}}};
    for (const auto& [name, at] : truth) {
        ASSERT_TRUE(on.count(name) && off.count(name)) << name;
        EXPECT_GT(std::hypot(off.at(name).first - at.first, off.at(name).second - at.second), 1) << name;
        EXPECT_LT(std::hypot(on.at(name).first - at.first, on.at(name).second - at.second), 0.2) << name;
    }
}

} // namespace
} // namespace plotrun::test
