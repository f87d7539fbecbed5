// Find Axes on charts painted in several styles from a known curve: the
// proposed calibration against the curve, misread labels, and the scanner's
// --find-axes and --find-area.

#include "AxesChart.h"
#include "AxisFinder.h"
#include "LabelReader.h"
#include "PictureFile.h"
#include "ScannerRun.h"
#include "SettingsFile.h"

#include <gtest/gtest.h>

namespace plotrun::test {

namespace {

struct Finding {
    FoundAxes found;
    ScanSettings settings;
};

Finding find(const AxesChart& chart)
{
    const QImage pixels = toScanPixels(chart.picture);
    LabelReader reader;
    EXPECT_TRUE(reader.ready()) << reader.problem();
    Finding f;
    f.found = findAxes(pixelView(pixels), reader.reading());
    if (f.found.sure())
        applyFoundCalibration(f.found, chart.picture.height(), f.settings);
    return f;
}

std::string ticksText(const FoundAxis& a)
{
    std::string s;
    for (const FoundTick& t : a.ticks)
        s += " [" + t.text + (t.misread ? "!" : "") + "]";
    return s;
}

AxesStyle style(std::string name, QString family, double points, ChartAxis x, ChartAxis y)
{
    AxesStyle s;
    s.name = std::move(name);
    s.family = std::move(family);
    s.points = points;
    s.x = std::move(x);
    s.y = std::move(y);
    return s;
}

std::vector<AxesStyle> chartStyles()
{
    const QString sans = "DejaVu Sans", serif = "DejaVu Serif", mono = "DejaVu Sans Mono";
    std::vector<AxesStyle> s;
    s.push_back(style("sans10_grid", sans, 10, linearAxis(-10, 10, 2), linearAxis(0, 1, 0.2)));
    s.back().grid = true;
    s.push_back(style("serif12", serif, 12, linearAxis(-10, 10, 5), linearAxis(0, 100, 20)));
    s.push_back(style("mono8_grid_turned", mono, 8, linearAxis(0, 10, 1), linearAxis(-1, 1, 0.5)));
    s.back().grid = true;
    s.back().degrees = 1;
    s.push_back(style("sans14_zero", sans, 14, linearAxis(-10, 10, 5), linearAxis(-10, 10, 5)));
    s.back().crossAtZero = true;
    s.push_back(style("serif9_zero_turned", serif, 9, linearAxis(-10, 10, 2), linearAxis(-10, 10, 2)));
    s.back().crossAtZero = true;
    s.back().degrees = 1;
    s.push_back(style("sans10_log_plain", sans, 10, logAxis(-3, 3, LabelForm::Plain), linearAxis(0, 1, 0.25)));
    s.back().grid = true;
    s.push_back(style("serif11_log_e_turned", serif, 11, logAxis(-3, 3, LabelForm::EForm), linearAxis(0, 50, 10)));
    s.back().degrees = 1;
    s.push_back(
        style("sans12_power_grid", sans, 12, logAxis(-2, 3, LabelForm::Power), logAxis(0, 4, LabelForm::Power)));
    s.back().grid = true;
    s.push_back(style("mono10_power_turned", mono, 10, logAxis(-3, 2, LabelForm::Power), linearAxis(0, 1, 0.2)));
    s.back().degrees = 1;
    s.push_back(style("sans9_grid_only", sans, 9, linearAxis(0, 10, 2), linearAxis(0, 1, 0.2)));
    s.back().grid = true;
    s.back().ticks = false;
    s.push_back(style("serif14_log_y", serif, 14, linearAxis(0, 100, 25), logAxis(-3, 3, LabelForm::Plain)));
    s.push_back(style("mono12_comma", mono, 12, linearAxis(0, 2.5, 0.5, LabelForm::Comma),
                      linearAxis(0, 1, 0.2, LabelForm::Comma)));
    s.push_back(style("sans8_e_y_turned", sans, 8, linearAxis(-10, 10, 5), logAxis(-3, 3, LabelForm::EForm)));
    s.back().degrees = 1;
    s.push_back(style("serif10_zero_grid", serif, 10, linearAxis(-5, 5, 1), linearAxis(-10, 10, 5)));
    s.back().crossAtZero = true;
    s.back().grid = true;
    return s;
}

} // namespace

// At least 90 % of the styles are read within 0.1 % of the axis range; the
// rest say that they are unsure, and none is more than 0.5 % off unsaid.
TEST(FindAxesAccuracy, ChartsInEveryStyleAreCalibratedFromTheirOwnAxes)
{
    const std::vector<AxesStyle> styles = chartStyles();
    int close = 0;
    for (const AxesStyle& s : styles) {
        const AxesChart chart = drawAxesChart(s);
        const Finding f = find(chart);
        const double error = f.found.sure() ? chart.worstCurveError(f.settings) : -1;
        std::printf("%-24s sure %d err %.4f %% turned %d logx %d logy %d %s | x%s | y%s\n", s.name.c_str(),
                    f.found.sure(), error, f.found.turned, f.found.x.logarithmic, f.found.y.logarithmic,
                    f.found.doubt().c_str(), ticksText(f.found.x).c_str(), ticksText(f.found.y).c_str());
        if (!f.found.sure())
            continue;
        EXPECT_LT(error, 0.5) << s.name;
        close += error < 0.1;
    }
    EXPECT_GE(close, int(std::ceil(0.9 * double(styles.size()))));
}

// Charts as a user's plotting tool draws them at screen resolution: more
// curves from the y axis, markers and a legend in the frame, a light grid,
// and the dark line that the renderer leaves along the picture's left and
// top edges, which is no axis; in three sizes, with ticks inward, without
// the grid, and on a page where the edge line is longer than the frame.
TEST(FindAxesAccuracy, PlottingToolChartsAreCalibratedBesideTheirEdgeLines)
{
    AxesStyle plotted = style("plotted", "DejaVu Sans", 10.5, linearAxis(0, 10, 1), linearAxis(-1.5, 1.5, 0.5));
    plotted.grid = plotted.legend = plotted.edgeLines = true;
    plotted.gridColour = QColor(0xDD, 0xDD, 0xDD);
    AxesStyle inward = plotted, plain = plotted, page = plotted;
    inward.inwardTicks = true;
    plain.grid = false;
    page.spaceBelow = 2000;
    const std::tuple<AxesStyle, int, int> charts[] = {{plotted, 800, 600}, {plotted, 700, 500}, {plotted, 1000, 750},
                                                      {inward, 800, 600},  {plain, 800, 600},   {page, 800, 600}};
    for (const auto& [s, width, height] : charts) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << " inward " << s.inwardTicks << " grid " << s.grid
                                        << " below " << s.spaceBelow);
        const AxesChart chart = drawAxesChart(s, width, height);
        const Finding f = find(chart);
        ASSERT_TRUE(f.found.sure()) << f.found.doubt() << " | x" << ticksText(f.found.x) << " | y"
                                    << ticksText(f.found.y);
        EXPECT_LT(chart.worstCurveError(f.settings), 0.1);
    }
}

// The forms in which tick labels write numbers, and texts that are none.
TEST(FindAxesLabels, LabelTextsReadAsNumbers)
{
    const std::pair<const char*, double> numbers[] = {{"-2.5", -2.5},  {"0,5", 0.5},  {"1,000", 1000}, {"1e-3", 1e-3},
                                                      {"1E3", 1e3},    {"10^3", 1e3}, {"10^-2", 0.01}, {"2x10^3", 2000},
                                                      {"-10^2", -100}, {"e3", 1e3}};
    for (const auto& [text, value] : numbers) {
        double v = 0;
        EXPECT_TRUE(labelValue(text, v)) << text;
        EXPECT_DOUBLE_EQ(v, value) << text;
    }
    for (const char* text : {"", "-", "1.2.3", "10^2.5", "5^3", "x", "12x", "1e"}) {
        double v = 0;
        EXPECT_FALSE(labelValue(text, v)) << text;
    }
}

// Pictures that hold no chart give a reason, never a calibration.
TEST(FindAxesAccuracy, PicturesWithoutAChartSayWhy)
{
    QImage noise(300, 200, QImage::Format_RGB32), black = noise, stripes = noise, tiny(20, 20, QImage::Format_RGB32);
    black.fill(Qt::black);
    tiny.fill(Qt::white);
    uint32_t seed = 7;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            noise.setPixel(x, y, (seed >> 24) < 60 ? 0xFF000000u : 0xFFFFFFFFu);
            stripes.setPixel(x, y, (x % 9 == 0 || y % 7 == 0) ? 0xFF000000u : 0xFFFFFFFFu);
        }
    LabelReader reader;
    for (const QImage& picture : {noise, black, stripes, tiny}) {
        const QImage pixels = toScanPixels(picture);
        const FoundAxes found = findAxes(pixelView(pixels), reader.reading());
        EXPECT_FALSE(found.sure());
        EXPECT_FALSE(found.doubt().empty());
        EXPECT_TRUE(calibrationFlags(found, picture.height()).empty());
    }
}

// A tick labelled "8" where "6" belongs is reported as misread, and the
// fit over the other ticks is as good as without it.
TEST(FindAxesAccuracy, AMisreadLabelIsReportedAndLeftOutOfTheFit)
{
    AxesStyle s = chartStyles().front();
    s.wrongLabels[6] = "8";
    const AxesChart chart = drawAxesChart(s);
    const Finding f = find(chart);
    ASSERT_TRUE(f.found.sure()) << f.found.doubt();
    int misread = 0;
    for (const FoundTick& t : f.found.x.ticks)
        if (t.misread) {
            ++misread;
            EXPECT_EQ(t.text, "8");
            EXPECT_NEAR(t.residual, 2 * (chart.picture.width() - 120) / 20.0, 2.0);
        }
    EXPECT_EQ(misread, 1) << ticksText(f.found.x);
    EXPECT_LT(chart.worstCurveError(f.settings), 0.1);
}

class FindAxesScanner : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString save(const AxesChart& chart, const QString& name = "chart.png")
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(chart.picture.save(path));
        return path;
    }
};

// --find-axes=print prints the flags and does not scan; --find-axes scans
// with them, as those flags given by hand would.
TEST_F(FindAxesScanner, PrintedFlagsGiveTheScanThatFindAxesMakes)
{
    AxesStyle s = chartStyles()[6]; // turned, logarithmic x
    const QString path = save(drawAxesChart(s));
    const ScanRun printed = scanner({"--find-axes=print", "--find-area", path});
    ASSERT_EQ(printed.code, 0) << printed.err;
    EXPECT_EQ(printed.out, "");
    const std::string line = printed.err.substr(0, printed.err.find('\n'));
    EXPECT_EQ(line.rfind("--calibration three-point --origin ", 0), 0u) << line;
    EXPECT_NE(line.find("--log-x"), std::string::npos);
    EXPECT_NE(line.find("--area "), std::string::npos);
    const QStringList flags = QString::fromStdString(line).split(' ');
    const ScanRun byHand = scanner(flags + QStringList{"--threshold", "100", "--decimal-separator", ".", path});
    ASSERT_EQ(byHand.code, 0) << byHand.err;
    const ScanRun found =
        scanner({"--find-axes", "--find-area", "--threshold", "100", "--decimal-separator", ".", path});
    ASSERT_EQ(found.code, 0) << found.err;
    EXPECT_EQ(found.out, byHand.out);
    EXPECT_EQ(found.err, line + "\n");
    // Without an area, --find-axes takes the one that --find-area finds.
    const ScanRun areaFound = scanner({"--find-axes", "--threshold", "100", "--decimal-separator", ".", path});
    EXPECT_EQ(areaFound.code, 0) << areaFound.err;
    EXPECT_EQ(areaFound.err, found.err);
    EXPECT_EQ(areaFound.out, found.out);
    EXPECT_GT(points(found.out).size(), 100u);
    // The scan follows the curve, to 0.5 % of the y range but at a few strips
    // (the scan of a turned 2-pixel line adds its own error to the map's).
    const AxesChart chart = drawAxesChart(s);
    const std::vector<Point> scanned = points(found.out);
    const auto onCurve = std::count_if(scanned.begin(), scanned.end(),
                                       [&](const Point& p) { return std::fabs(p.y - chart.curve(p.x)) < 0.25; });
    EXPECT_GT(double(onCurve), 0.95 * double(scanned.size()));
}

// An axis without labels cannot be read: the scanner says which and why,
// exits 2 and scans nothing.
TEST_F(FindAxesScanner, AnAxisThatCannotBeReadEndsTheRunWithExitTwo)
{
    AxesStyle s = chartStyles().front();
    s.points = 1; // labels too small to read
    const QString path = save(drawAxesChart(s));
    const ScanRun r = scanner({"--find-axes", "--area", "100,100,200,200", path});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot read the axes of \"chart.png\" with confidence: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("x axis"), std::string::npos) << r.err;
    EXPECT_EQ(scanner({"--find-axes", "--origin", "1,1", path}).code, 2);
    // A settings file's reference points would join the ticks' fit.
    SavedSettings file;
    file.record.Calibration.Kind = CalibrationKind::ThreePoint;
    file.record.Calibration.Points = {{10, 20, 1, 2}};
    file.record.ScanStartX = file.record.ScanStartY = 100;
    file.record.ScanEndX = file.record.ScanEndY = 200;
    file.record.Threshold = 100;
    file.record.OriginX = file.record.OriginY = file.record.Calibration.X1Y = file.record.Calibration.Y1X = 50;
    file.record.RefX = file.record.RefY = 300;
    file.record.RealRefX = file.record.RealRefY = 1;
    file.record.HasRealRefX = file.record.HasRealRefY = true;
    file.pictureWidth = 600;
    file.pictureHeight = 450;
    const QString settings = dir.filePath("points.json");
    ASSERT_TRUE(writeSettingsFile(settings, file).isEmpty());
    const ScanRun over = scanner({"--find-axes", "--settings", settings, path});
    EXPECT_EQ(over.code, 2);
    EXPECT_NE(over.err.find("reference points"), std::string::npos) << over.err;
    EXPECT_EQ(scanner({"--find-axes=yes", path}).code, 2);
}

// Without --find-axes and --find-area the scanner's output is as it was.
TEST_F(FindAxesScanner, OffTheScanIsAsBefore)
{
    const QString path = dir.filePath("example.bmp");
    ASSERT_TRUE(writeFile(path, bmpBytes(640, 480, 24, workedExamplePixel, {})));
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{path});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kWorkedExampleText);
    EXPECT_EQ(r.err, "");
}

} // namespace plotrun::test
