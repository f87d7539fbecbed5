// Find Series on charts drawn with QPainter: the series it proposes, and the
// scan of them all against the known curves; and the scanner's
// --find-series.
#include "InkChart.h"
#include "PictureJob.h"
#include "ScanCommand.h"
#include "ScannerRun.h"

#include "../files/BmpRows.h"
#include "../files/PictureFile.h"
#include "ColumnScan.h"
#include "InkModel.h"
#include "Series.h"

#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

namespace plotrun::test {
namespace {

uint32_t colourOf(QRgb c) { return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16; }

double colourDistance(uint32_t a, uint32_t b)
{
    return std::sqrt(double((InkModel::red(a) - InkModel::red(b)) * (InkModel::red(a) - InkModel::red(b)) +
                            (InkModel::green(a) - InkModel::green(b)) * (InkModel::green(a) - InkModel::green(b)) +
                            (InkModel::blue(a) - InkModel::blue(b)) * (InkModel::blue(a) - InkModel::blue(b))));
}

std::string seriesTexts(const std::vector<SeriesSettings>& series)
{
    std::string t;
    for (const SeriesSettings& one : series)
        t += seriesSpecText(one) + "\n";
    return t;
}

struct Curve {
    QRgb ink;
    double (*truth)(double);
};
const Curve kCurves[] = {
    {InkChart::kBlue, InkChart::sigmoid}, {InkChart::kRed, InkChart::falling}, {InkChart::kGreen, InkChart::wave}};

// Blue, red and green curves that cross, a grey grid, a black frame, tick
// labels, a title and a legend with a swatch of each colour: one series per
// curve, each on its own curve, and no point from the legend.
TEST(FindSeries, ThreeColouredCurvesAndALegendGiveThreeSeriesScannedInOne)
{
    const QImage chart = InkChart::draw(800, 600, true);
    const QImage pixels = toScanPixels(chart);
    ScanSettings s = InkChart::settings(800, 600, 2);
    s.Series = findSeries(pixelView(pixels), s);
    ASSERT_EQ(s.Series.size(), 3u) << seriesTexts(s.Series);
    std::vector<int> curveOf;
    for (const SeriesSettings& one : s.Series) {
        EXPECT_EQ(one.Kind, SeriesKind::Line);
        EXPECT_TRUE(one.HasInk);
        int nearest = 0;
        for (int c = 1; c < 3; ++c)
            if (colourDistance(one.Ink, colourOf(kCurves[c].ink)) <
                colourDistance(one.Ink, colourOf(kCurves[nearest].ink)))
                nearest = c;
        EXPECT_LT(colourDistance(one.Ink, colourOf(kCurves[nearest].ink)), 30) << colourText(one.Ink);
        curveOf.push_back(nearest);
    }
    EXPECT_EQ(s.Series[0].Name, "Series 1");
    EXPECT_EQ(std::set<int>(curveOf.begin(), curveOf.end()).size(), 3u);

    const ScanChecks checks = checkScan(s);
    std::vector<double> sum2(3, 0);
    std::vector<int> rows(3, 0);
    int legendPoints = 0;
    runColumnScan(pixelView(pixels), s, checks, false, {[&](const ResultRow& r) {
                      const size_t i = size_t(r.series);
                      sum2[i] += std::pow(r.realY - kCurves[curveOf[i]].truth(r.realX), 2);
                      ++rows[i];
                      legendPoints += r.realX > 3.5 && r.realX < 6.5 && r.realY > 0.78 && r.realY < 0.96;
                  }});
    for (size_t i = 0; i < 3; ++i) {
        const double rms = rows[i] ? 100 * std::sqrt(sum2[i] / rows[i]) : 1e9;
        EXPECT_LE(rms, 0.3) << s.Series[i].Name;
        EXPECT_GE(double(rows[i]) / checks.stripCount, 0.95) << s.Series[i].Name;
        RecordProperty("rms_percent_" + std::to_string(i), std::to_string(rms));
    }
    EXPECT_EQ(legendPoints, 0);
}

// A grey curve among the black frame's and the grid's lines and black text
// is a series; the text and the lines are none.
TEST(FindSeries, AGreyCurveIsASeriesTheTextAndLinesAreNone)
{
    QImage chart(800, 600, QImage::Format_RGB32);
    chart.fill(Qt::white);
    QPainter p(&chart);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(InkChart::kGrid), 1));
    for (int i = 1; i < 10; ++i) {
        p.drawLine(QPointF(80 + 68 * i, 40), QPointF(80 + 68 * i, 540));
        p.drawLine(QPointF(80, 40 + 50 * i), QPointF(760, 40 + 50 * i));
    }
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 2));
    p.drawLine(QPointF(100, 400), QPointF(700, 200));
    p.setPen(QPen(Qt::black, 1));
    QFont font = p.font();
    font.setPixelSize(16);
    p.setFont(font);
    p.drawText(QRectF(120, 60, 300, 24), Qt::AlignLeft, "Response of the sample, 2024");
    p.drawRect(QRectF(80.5, 40.5, 680, 500));
    p.end();
    const QImage pixels = toScanPixels(chart);
    const std::vector<SeriesSettings> found = findSeries(pixelView(pixels), InkChart::settings());
    ASSERT_EQ(found.size(), 1u) << seriesTexts(found);
    EXPECT_LT(colourDistance(found[0].Ink, 0x555555), 30);
    // The Start point lies on the line.
    const double lineY = 600 - (400 + (found[0].StartX - 100) * (200 - 400) / 600.0);
    EXPECT_NEAR(found[0].StartY, lineY, 3);
}

// Filled circles of one colour scattered about a trend, beside a curve of
// another and a line of black text: a markers series with its Start point on
// a marker, and a line series.
TEST(FindSeries, ManyAlikeBlobsOfOneColourAreMarkers)
{
    QImage chart(800, 600, QImage::Format_RGB32);
    chart.fill(Qt::white);
    QPainter p(&chart);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(InkChart::kBlue), 2));
    p.drawLine(QPointF(90, 500), QPointF(750, 120));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x7F, 0x0E));
    std::vector<QPointF> centres;
    for (int i = 0; i < 25; ++i) {
        centres.emplace_back(110 + 25.0 * i, 150 + 10.0 * i + ((i * 37) % 11) * 6);
        p.drawEllipse(centres.back(), 5, 5);
    }
    p.setPen(QPen(Qt::black, 1));
    QFont font = p.font();
    font.setPixelSize(16);
    p.setFont(font);
    p.drawText(QRectF(420, 470, 300, 24), Qt::AlignLeft, "Measured in 2024 at 20 C");
    p.end();
    const QImage pixels = toScanPixels(chart);
    const std::vector<SeriesSettings> found = findSeries(pixelView(pixels), InkChart::settings());
    ASSERT_EQ(found.size(), 2u) << seriesTexts(found);
    const auto markers = std::find_if(found.begin(), found.end(),
                                      [](const SeriesSettings& one) { return one.Kind == SeriesKind::Markers; });
    ASSERT_NE(markers, found.end()) << seriesTexts(found);
    EXPECT_LT(colourDistance(markers->Ink, 0x0E7FFF), 30) << colourText(markers->Ink);
    double nearest = 1e9;
    for (const QPointF& c : centres)
        nearest = std::min(nearest, std::hypot(markers->StartX - (c.x() - 0.5), markers->StartY - (600 - c.y() + 0.5)));
    EXPECT_LE(nearest, 1.5);
}

// InkChart's calibration and area as the scanner's flags.
const QStringList kChartFlags{
    "--origin",    "80,60", "--ref",        "760,560", "--real-ref",          "10,1", "--area", "80,60,760,560",
    "--threshold", "128",   "--scan-width", "2",       "--decimal-separator", "."};

// The scanner prints the proposals on standard error, one --series flag a
// line, and scans them all; a picture without any is refused with a clear
// message. Without the flag, nothing of this happens.
TEST(FindSeries, TheScannerPrintsTheSeriesFlagsAndScansThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("three.png");
    const QImage chart = InkChart::draw(800, 600, true);
    ASSERT_TRUE(chart.save(path));
    const QStringList& flags = kChartFlags;
    const ScanRun r = scanner(flags + QStringList{"--find-series", path});
    ASSERT_EQ(r.code, kScanDone) << r.err;
    std::istringstream err(r.err);
    std::string line;
    std::vector<SeriesSettings> printed;
    while (std::getline(err, line)) {
        if (line.rfind("--series '", 0) != 0)
            continue;
        ASSERT_EQ(line.back(), '\'') << line;
        SeriesSettings one;
        EXPECT_EQ(readSeriesSpec(line.substr(10, line.size() - 11), one), "") << line;
        printed.push_back(one);
    }
    const QImage pixels = toScanPixels(QImage(path));
    EXPECT_EQ(printed, findSeries(pixelView(pixels), InkChart::settings(800, 600, 2)));
    ASSERT_EQ(printed.size(), 3u);
    // Every series' points: far more rows than one curve's strips.
    EXPECT_GT(std::count(r.out.begin(), r.out.end(), '\n'), 3 * 340 * 95 / 100);

    // A BMP file's rows are read a few at a time: the same series, the same scan.
    const QString bmp = dir.filePath("three.bmp");
    ASSERT_TRUE(writeFile(bmp, bmpBytes(800, 600, 24, [&](int x, int y) { return chart.pixel(x, y) & 0xFFFFFFu; })));
    const ScanRun fromBmp = scanner(flags + QStringList{"--find-series", bmp});
    EXPECT_EQ(fromBmp.err, r.err);
    EXPECT_EQ(fromBmp.out, r.out);

    // The series are found before the settings are saved, in a batch too
    // (the first picture's): the file scans the same.
    const QString saved = dir.filePath("found.json");
    for (const QStringList& batch : {QStringList{}, QStringList{"-O", dir.filePath("out")}}) {
        EXPECT_EQ(scanner(flags + batch + QStringList{"--find-series", "--save-settings", saved, path}).code,
                  kScanDone);
        EXPECT_EQ(scanner({"--settings", saved, path}).out, r.out);
    }
    const ScanRun both = scanner(flags + QStringList{"--find-series", "--series", "name=a", path});
    EXPECT_EQ(both.code, kScanUsage);
    EXPECT_NE(both.err.find("--find-series finds the series; it cannot be given with --series"), std::string::npos);

    const ScanRun plain = scanner(flags + QStringList{path});
    ASSERT_EQ(plain.code, kScanDone);
    EXPECT_EQ(plain.err.find("--series"), std::string::npos);
    EXPECT_LT(std::count(plain.out.begin(), plain.out.end(), '\n'), 341);

    const QString blank = dir.filePath("blank.png");
    QImage white(800, 600, QImage::Format_RGB32);
    white.fill(Qt::white);
    ASSERT_TRUE(white.save(blank));
    const ScanRun none = scanner(flags + QStringList{"--find-series", blank});
    EXPECT_EQ(none.code, kScanUsage);
    EXPECT_EQ(none.err, "Find Series found no curve or markers of one colour in the scan area.\n");
    EXPECT_EQ(none.out, "");
}

// Rows that cannot be read while Find Series looks at them (the file was
// cut short since it was opened) give the picture's message, as they do
// while they are scanned.
TEST(FindSeries, RowsThatCannotBeReadGiveThePicturesMessage)
{
    struct CutShort : RowFeed {
        PixelView rows(int32_t, int32_t, std::vector<uint8_t>&) const override
        {
            throw BmpReadError("the file was cut short while it was read");
        }
    } feed;
    PixelView view;
    view.width = 800;
    view.height = 600;
    view.endRow = 0;
    view.feed = &feed;
    const ViewScan v =
        scanView(parseArguments(kChartFlags + QStringList{"--find-series", "chart.bmp"}), view, "chart.bmp", nullptr);
    EXPECT_EQ(v.code, kScanFileError);
    EXPECT_EQ(v.messages, "Cannot read picture \"chart.bmp\": the file was cut short while it was read\n");
}

} // namespace
} // namespace plotrun::test
