// A figure's series in one scan: the output layouts, the scanner's --series
// and --wide, the settings file's series list, and the points of three
// coloured curves against the known functions.
#include "InkChart.h"
#include "ScannerRun.h"

#include "../files/SettingsFile.h"
#include "ColumnScan.h"
#include "ScanReport.h"
#include "Series.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>
#include <map>
#include <sstream>

namespace plotrun::test {
namespace {

// --- The layouts

ResultRow row(int32_t series, double x, double y, double sdev)
{
    ResultRow r;
    r.series = series;
    r.realX = x;
    r.realY = y;
    r.bitmapX = 10 * x;
    r.bitmapY = 10 * y;
    r.sdev = sdev;
    return r;
}

// Two line series that share strips 2 and 3, and one set of markers.
std::string reportText(bool wide, ScanReport::Keep keep)
{
    OutputFields f;
    f.sdev = true;
    f.columnNames = true;
    f.wide = wide;
    ScanSettings s;
    s.Series = {{.Name = "a"}, {.Name = "b"}, {.Name = "m", .Kind = SeriesKind::Markers}};
    ScanReport report(f, ".", keep);
    for (const ResultRow& r : {row(0, 1, 10, 0.5), row(0, 2, 20, 0.5), row(0, 3, 30, 0.5), row(1, 2, 21, 0.25),
                               row(1, 3, 31, 0.25), row(1, 4, 41, 0.25), row(2, 5, 6, 0)})
        report.addRow(r);
    return report.text({}, s);
}

TEST(SeriesReport, LongRowsStartWithTheSeriesAndWideLinesJoinTheLineSeriesByStrip)
{
    for (const auto keep : {ScanReport::Keep::Cells, ScanReport::Keep::TextOnly}) {
        EXPECT_EQ(reportText(false, keep), "Series,X,Y,SDEV\r\n"
                                           "a,1,10,0.5\r\na,2,20,0.5\r\na,3,30,0.5\r\n"
                                           "b,2,21,0.25\r\nb,3,31,0.25\r\nb,4,41,0.25\r\n"
                                           "m,5,6,0\r\n");
        // Empty fields where a series has no point; the markers after, in long form.
        EXPECT_EQ(reportText(true, keep), "X,a,a SDEV,b,b SDEV\r\n"
                                          "1,10,0.5,,\r\n2,20,0.5,21,0.25\r\n3,30,0.5,31,0.25\r\n4,,,41,0.25\r\n"
                                          "Series,X,Y,SDEV\r\nm,5,6,0\r\n");
    }
}

// Y low and Y high have a value only where a bar goes through a marker: the
// other rows leave their cells empty in the text as in the grid, with
// series, long or wide, and without.
TEST(SeriesReport, YLowAndYHighWithoutABarStayEmpty)
{
    OutputFields f;
    f.yLow = f.yHigh = true;
    ScanSettings s;
    s.Series = {{.Name = "a"}, {.Name = "m", .Kind = SeriesKind::Markers}};
    ResultRow marker = row(1, 1, 6, 0);
    marker.hasBar = true;
    marker.yLow = 5;
    marker.yHigh = 7;
    for (const auto keep : {ScanReport::Keep::Cells, ScanReport::Keep::TextOnly}) {
        for (const bool wide : {false, true}) {
            f.wide = wide;
            ScanReport report(f, ".", keep);
            report.addRow(row(0, 1, 10, 0));
            report.addRow(marker);
            EXPECT_EQ(report.text({}, s), std::string(wide ? "1,10,,\r\n" : "a,1,10,,\r\n") + "m,1,6,5,7\r\n");
        }
        ScanReport plain(f, ".", keep);
        plain.addRow(row(-1, 2, 20, 0));
        EXPECT_EQ(plain.text({}, ScanSettings{}), "2,20,,\r\n");
    }
}

// --- Series read together

// Each series of a scan gives, to the bit, the rows its scan alone gives,
// whether its counted pixels were read with the others' or alone: random
// pictures of a few colours on white paper, in a 32-bit and a 24-bit layout.
TEST(SeriesReadTogether, EachSeriesGivesToTheBitWhatItsScanAloneGives)
{
    std::mt19937 rng(20261208);
    const auto pick = [&rng](int n) { return int(rng() % unsigned(n)); };
    const uint32_t colours[] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0x000000, 0xB4771F, 0x0E7FFF,
                                0x2CA02C, 0x8080FF, 0xD0D0D0, 0xFEFFFF, 0x404040, 0x2C60A0};
    int together = 0;
    for (int round = 0; round < 300; ++round) {
        const int32_t w = 20 + pick(60), h = 16 + pick(40);
        std::vector<uint32_t> pixels(size_t(w) * h);
        for (uint32_t& p : pixels)
            p = pick(3) ? 0xFFFFFF : colours[pick(12)];
        std::vector<uint8_t> bytes;
        for (const uint32_t p : pixels)
            bytes.insert(bytes.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        PixelView view{w, h, w, pixels.data()};
        if (round % 2) {
            view = PixelView{
                .width = w, .height = h, .layout = PixelLayout::Bgr24, .bytes = bytes.data(), .rowBytes = 3 * w};
        }
        ScanSettings s;
        s.OriginX = 0;
        s.OriginY = 0;
        s.RefX = w;
        s.RefY = h;
        s.RealRefX = s.RealRefY = 1;
        s.ScanStartX = pick(w / 2);
        s.ScanEndX = w - pick(w / 3);
        s.ScanStartY = pick(h / 2);
        s.ScanEndY = h - pick(h / 3);
        s.ScanWidth = 1 + pick(4);
        s.Threshold = pick(10) ? 1 + pick(255) : 0;
        s.WeightedX = pick(2);
        s.Ink.Paper = pick(8) ? 0xFFFFFF : 0xFEFFFF;
        s.Follow.Gap = 1 + pick(3);
        // Each series of a weight of its own: lines of one weight are
        // followed together, and where they cross no longer as alone.
        for (int k = 0, n = 2 + pick(3), first = pick(9); k < n; ++k) {
            SeriesSettings& series = s.Series.emplace_back();
            series.HasInk = k > 0 || pick(4) != 0;
            series.Ink = colours[3 + (first + k) % 9];
            series.Tolerance = pick(120);
            if (pick(5)) {
                series.StartX = s.ScanStartX + pick(int(s.ScanEndX - s.ScanStartX));
                series.StartY = s.ScanStartY + pick(int(s.ScanEndY - s.ScanStartY));
            }
        }
        const bool spread = pick(2);
        ScanSettings checked = s;
        const ScanChecks checks = checkScan(checked);
        std::vector<std::vector<ResultRow>> got(s.Series.size());
        runColumnScan(view, checked, checks, spread,
                      {[&](const ResultRow& r) { got[size_t(r.series)].push_back(r); }, nullptr, nullptr});
        int followed = 0;
        for (size_t i = 0; i < s.Series.size(); ++i) {
            const ScanSettings alone = settingsOfSeries(checked, s.Series[i]);
            followed += alone.Follow.On;
            std::vector<ResultRow> want;
            runColumnScan(view, alone, checks, spread,
                          {[&](const ResultRow& r) { want.push_back(r); }, nullptr, nullptr});
            ASSERT_EQ(got[i].size(), want.size()) << "round " << round << ", series " << i;
            const auto fields = [](const ResultRow& r) {
                return std::tuple(r.number, r.bitmapX, r.bitmapY, r.realX, r.realY, r.sdev, r.hasSdevY, r.sdevY,
                                  r.runCount);
            };
            for (size_t k = 0; k < want.size(); ++k) {
                EXPECT_EQ(got[i][k].series, int32_t(i));
                ASSERT_EQ(fields(got[i][k]), fields(want[k])) << "round " << round << ", series " << i << ", row " << k;
            }
        }
        together += followed > 1;
    }
    EXPECT_GE(together, 100);
}

// --- The scanner's flags on the worked example's short line

using SeriesFlags = WorkedExampleChart;

std::string withSeriesLines(std::string text, const std::string& lines)
{
    text.insert(text.find("\r\n\r\nX,Y,SDEV") + 2, lines);
    return text;
}

TEST_F(SeriesFlags, WithoutSeriesTheOutputIsTheOldOneByteForByteWideOrNot)
{
    for (const QStringList& more : {QStringList{}, QStringList{"--wide"}}) {
        const ScanRun r = scanner(kWorkedExampleArgs + more + QStringList{chart()});
        EXPECT_EQ(r.code, kScanDone);
        EXPECT_EQ(r.out, kWorkedExampleText);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(SeriesFlags, EachRowNamesItsSeriesTheHeaderListsThemAndTheSettingsFileKeepsThem)
{
    const QString file = dir.filePath("series.json");
    const QStringList series{"--series", "name=short line", "--series", "start=61:140;ink=#000000;tolerance=20"};
    const ScanRun r = scanner(kWorkedExampleArgs + series + QStringList{"--save-settings", file, chart()});
    ASSERT_EQ(r.code, kScanDone) << r.err;
    // The first series weighs by darkness as the plain scan does: its rows
    // are the plain scan's.
    std::string want =
        withSeriesLines(kWorkedExampleText, "Series:,name=short line\r\nSeries:,name=Series 2;ink=#000000;tolerance=20;"
                                            "start=61:140\r\n");
    const std::string rows = "X,Y,SDEV\r\n0.525,50,0\r\n0.575,50,0\r\n0.625,50,0\r\n";
    // The second series, on its own ink from its Start, finds the same line.
    want.replace(want.find(rows), rows.size(),
                 "Series,X,Y,SDEV\r\nshort line,0.525,50,0\r\nshort line,0.575,50,0\r\nshort line,0.625,50,0\r\n"
                 "Series 2,0.525,50,0\r\nSeries 2,0.575,50,0\r\nSeries 2,0.625,50,0\r\n");
    EXPECT_EQ(r.out, want);

    // The file gives the same scan, and flags' series replace its own.
    const ScanRun again = scanner({"--settings", file, chart()});
    EXPECT_EQ(again.out, r.out) << again.err;
    const ScanRun replaced = scanner({"--settings", file, "--series", "name=one", chart()});
    EXPECT_EQ(replaced.out.find("Series 2"), std::string::npos);
    EXPECT_NE(replaced.out.find("one,0.525,50,0\r\n"), std::string::npos);
}

// A series that gives no point is told by name on standard error; the
// others' rows are written and the scan is done, as a plain scan without
// points is.
TEST_F(SeriesFlags, ASeriesWithoutPointsIsToldByName)
{
    const ScanRun r =
        scanner(kWorkedExampleArgs + QStringList{"--series", "name=line", "--series", "name=red;ink=#ff0000",
                                                 "--series", "name=dots;kind=markers", chart()});
    EXPECT_EQ(r.code, kScanDone);
    EXPECT_NE(r.out.find("line,0.525,50,0\r\n"), std::string::npos);
    EXPECT_EQ(r.err, "red: no points\ndots: no markers found\n");
}

TEST_F(SeriesFlags, ASpecThatCannotBeReadIsBadUsageThatNamesTheKey)
{
    const struct {
        QStringList args;
        std::string says;
    } cases[] = {
        {{"--series", "tolerance=999"}, "--series: cannot read the series key \"tolerance\": \"999\" (0 to 442)"},
        {{"--series", "colour=#ff0000"}, "unknown series key \"colour\""},
        {{"--series", "start=61"}, "the series key \"start\""},
        {{"--series", "name=a", "--series", "name=a"}, "two series are named \"a\""},
        {{"--series", "name=a,b"}, "the name \"a,b\" holds the delimiter \",\""},
        {{"--series", "name=a\nb;ink=#202080"}, "a series name cannot hold a control character or a line break"},
        {{"--series", "name=" + QString(41, 'x')}, "has more than 40 characters"},
        {{"--series", "start=20:20"}, "The series \"Series 1\" starts at 20,20, outside the scan area 60,50,63,200."},
    };
    for (const auto& c : cases) {
        const ScanRun r = scanner(kWorkedExampleArgs + c.args + QStringList{chart()});
        EXPECT_EQ(r.code, kScanUsage) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// With a blank for the delimiter, the series without a name, of the flags
// or of a settings file, are named without one.
TEST_F(SeriesFlags, AutomaticNamesNeverHoldTheDelimiter)
{
    const QString file = dir.filePath("series.json");
    const QStringList unnamed = kWorkedExampleArgs + QStringList{"--series", "tolerance=20"};
    const ScanRun comma = scanner(unnamed + QStringList{"--save-settings", file, chart()});
    ASSERT_EQ(comma.code, kScanDone) << comma.err;
    EXPECT_NE(comma.out.find("\r\nSeries 1,0.525,50,0\r\n"), std::string::npos) << comma.out;
    for (const QStringList& args : {unnamed, QStringList{"--settings", file}}) {
        const ScanRun blank = scanner(args + QStringList{"--delimiter", " ", chart()});
        ASSERT_EQ(blank.code, kScanDone) << blank.err;
        EXPECT_NE(blank.out.find("\r\nSeries_1 0.525 50 0\r\n"), std::string::npos) << blank.out;
    }
}

TEST(SeriesSettingsFile, TheListRoundTripsAndABadEntryIsRefusedByItsKey)
{
    SavedSettings s;
    s.record = workedExampleSettings();
    s.pictureWidth = 640;
    s.pictureHeight = 480;
    s.record.Series = {
        {.Name = "control", .HasInk = true, .Ink = 0xB4771F, .Tolerance = 30, .StartX = 61, .StartY = 140},
        {.Name = "dots", .Kind = SeriesKind::Markers, .MinSize = 9, .MaxSize = 40}};
    const QByteArray json = settingsToJson(s);
    EXPECT_EQ(settingsFromJson(json), s);
    EXPECT_NE(json.indexOf("\"series\": ["), -1) << json.toStdString();
    s.record.Series.clear();
    EXPECT_EQ(settingsToJson(s).indexOf("series"), -1); // written only when there are series

    const struct {
        const char* from;
        const char* to;
        std::string says;
    } bad[] = {
        {"\"tolerance\": 30", "\"tolerance\": -1", "the key \"series.0.tolerance\" must be from 0 to 442"},
        {"\"tolerance\": 30", "\"colour\": 30", "the key \"series.0.colour\" is not a key of a settings file"},
        {"\"kind\": \"markers\"", "\"kind\": \"dots\"", "the key \"series.1.kind\" must be line or markers"},
        {"\"max\": 40", "\"max\": 4", "the key \"series.1.size\" must have 1 <= min <= max"},
        {"\"name\": \"dots\"", "\"name\": \"control\"", "the key \"series\": two series are named \"control\""},
        {"\"ink\": \"#1f77b4\"", "\"ink\": \"blue\"", "the key \"series.0.ink\" must be a colour"},
        // A name stands in the first cell of its rows.
        {"\"name\": \"dots\"", "\"name\": \"a,b\"",
         "the key \"series.1.name\": the name \"a,b\" holds the delimiter \",\""},
        {"\"name\": \"dots\"", "\"name\": \"a\\nb\"", "the key \"series.1.name\": a series name cannot hold a control"},
    };
    s.record.Series = {
        {.Name = "control", .HasInk = true, .Ink = 0xB4771F, .Tolerance = 30, .StartX = 61, .StartY = 140},
        {.Name = "dots", .Kind = SeriesKind::Markers, .MinSize = 9, .MaxSize = 40}};
    for (const auto& b : bad) {
        QByteArray changed = settingsToJson(s);
        ASSERT_NE(changed.indexOf(b.from), -1) << b.from;
        changed.replace(b.from, b.to);
        try {
            settingsFromJson(changed);
            ADD_FAILURE() << b.to;
        } catch (const SettingsFileError& e) {
            EXPECT_NE(std::string(e.what()).find(b.says), std::string::npos) << e.what();
        }
    }
}

// --- Three coloured curves and a legend

struct Curve {
    const char* name;
    QRgb colour;
    double (*f)(double);
};
const Curve kCurves[] = {
    {"control", 0xFF1F77B4, [](double x) { return 0.5 + 0.3 * std::sin(0.6 * x); }},
    {"treated", 0xFFFF7F0E, [](double x) { return 0.15 + 0.06 * x; }},
    {"placebo", 0xFF2CA02C, [](double x) { return 0.05 + 0.8 * std::exp(-0.15 * x); }},
};
constexpr int kWidth = 1000, kHeight = 700;

// InkChart's frame, grid and labels, with these three curves and a legend
// of their swatches in the lower right corner, clear of the curves.
QImage threeCurves()
{
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    img.fill(Qt::white);
    const double left = kWidth / 10, top = kHeight / 15, right = kWidth - kWidth / 20, bottom = kHeight - kHeight / 10;
    const auto px = [&](double x) { return left + x / 10 * (right - left); };
    const auto py = [&](double y) { return bottom - y * (bottom - top) + 0.5; };
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(InkChart::kGrid), 1));
    for (int i = 1; i < 10; ++i) {
        p.drawLine(QPointF(px(i), top), QPointF(px(i), bottom));
        p.drawLine(QPointF(left, py(i / 10.0)), QPointF(right, py(i / 10.0)));
    }
    QFont font = p.font();
    font.setPixelSize(16);
    p.setFont(font);
    p.setPen(Qt::black);
    for (int i = 0; i <= 10; ++i) {
        p.drawText(QRectF(px(i) - 20, bottom + 4, 40, 18), Qt::AlignHCenter | Qt::AlignTop, QString::number(i));
        p.drawText(QRectF(left - 44, py(i / 10.0) - 9, 40, 18), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(i / 10.0));
    }
    const QPen pen(Qt::black, 2.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (const Curve& c : kCurves) {
        QPainterPath path;
        path.moveTo(px(0), py(c.f(0)));
        for (int i = 1; i <= 400; ++i)
            path.lineTo(px(i / 40.0), py(c.f(i / 40.0)));
        p.setPen(QPen(QColor(c.colour), pen.widthF(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
    }
    const QRectF legend(px(7.3), py(0.14), px(9.8) - px(7.3), py(0.015) - py(0.14));
    p.setPen(QPen(QColor(InkChart::kGrid), 1));
    p.setBrush(Qt::white);
    p.drawRect(legend);
    for (int i = 0; i < 3; ++i) {
        const double y = legend.top() + 14 + 22 * i;
        p.setPen(QPen(QColor(kCurves[i].colour), pen.widthF()));
        p.drawLine(QPointF(legend.left() + 8, y), QPointF(legend.left() + 48, y));
        p.setPen(Qt::black);
        p.drawText(QRectF(legend.left() + 56, y - 9, 120, 18), Qt::AlignLeft | Qt::AlignVCenter, kCurves[i].name);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(left, top, right - left, bottom - top));
    return img;
}

QStringList calibrationFlags()
{
    const ScanSettings s = InkChart::settings(kWidth, kHeight, 4);
    const auto pair = [](double a, double b) { return QString("%1,%2").arg(a).arg(b); };
    return {"--origin",
            pair(s.OriginX, s.OriginY),
            "--ref",
            pair(s.RefX, s.RefY),
            "--real-ref",
            "10,1",
            "--area",
            pair(s.ScanStartX, s.ScanStartY) + "," + pair(s.ScanEndX, s.ScanEndY),
            "--scan-width",
            "4",
            "--decimal-separator",
            "."};
}

// The --series value of a curve: its ink, and a Start on it at x = 5.
QString seriesOf(const Curve& c)
{
    const ScanSettings s = InkChart::settings(kWidth, kHeight, 4);
    const double x = s.OriginX + 0.5 * (s.RefX - s.OriginX), y = s.OriginY + c.f(5) * (s.RefY - s.OriginY);
    return QString("name=%1;ink=#%2;start=%3:%4")
        .arg(c.name)
        .arg(c.colour & 0xFFFFFF, 6, 16, QChar('0'))
        .arg(std::lround(x))
        .arg(std::lround(y));
}

TEST(SeriesAccuracy, ThreeColouredCurvesWithALegendGiveEachItsOwnPointsInOneScan)
{
    QTemporaryDir dir;
    const QString picture = dir.filePath("three.png");
    ASSERT_TRUE(threeCurves().save(picture));
    QStringList args = calibrationFlags();
    for (const Curve& c : kCurves)
        args << "--series" << seriesOf(c);
    const ScanRun r = scanner(args + QStringList{picture});
    ASSERT_EQ(r.code, kScanDone) << r.err;
    EXPECT_EQ(r.err.find("In the series"), std::string::npos) << r.err;
    for (const Curve& c : kCurves) // following's counts, for each series by name
        EXPECT_NE(r.err.find(std::string(c.name) + ": Strips with more than one run: "), std::string::npos) << r.err;

    // Each line: the series' name, real x, real y.
    std::map<std::string, std::vector<Point>> rows;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t comma = line.find(',');
        Point p{};
        ASSERT_EQ(std::sscanf(line.c_str() + comma + 1, "%lf,%lf", &p.x, &p.y), 2) << line;
        rows[line.substr(0, comma)].push_back(p);
    }
    ASSERT_EQ(rows.size(), 3u);
    const double strips = 850 / 4;
    for (const Curve& c : kCurves) {
        const std::vector<Point>& points = rows[c.name];
        double sum2 = 0, worst = 0;
        for (const Point& p : points) {
            const double e = p.y - c.f(p.x);
            sum2 += e * e;
            worst = std::max(worst, std::fabs(e));
        }
        const double rms = 100 * std::sqrt(sum2 / double(points.size()));
        RecordProperty(std::string(c.name) + "_rms_percent", std::to_string(rms));
        EXPECT_LE(rms, 0.3) << c.name << ", worst " << 100 * worst << " %";
        // No point on the legend's swatch, far below every curve there.
        EXPECT_LE(100 * worst, 2.0) << c.name;
        EXPECT_GE(double(points.size()) / strips, 0.95) << c.name;
    }

    // Wide: one x column and a y column for each, on as many lines as strips
    // with a point of any series.
    const ScanRun wide = scanner(args + QStringList{"--wide", "--column-names", picture});
    ASSERT_EQ(wide.code, kScanDone) << wide.err;
    EXPECT_EQ(wide.out.substr(0, wide.out.find('\n')), "X,control,treated,placebo\r");
    const auto lineCount = std::count(wide.out.begin(), wide.out.end(), '\n') - 1;
    EXPECT_GE(lineCount, long(rows["control"].size()));
    EXPECT_LE(lineCount, long(strips));

    // A series by darkness alone takes in the grid, the frame and every
    // curve, and the scan says so of that series.
    const ScanRun dark = scanner(calibrationFlags() + QStringList{"--series", "name=all", picture});
    ASSERT_EQ(dark.code, kScanDone) << dark.err;
    EXPECT_NE(dark.err.find("In the series \"all\", "), std::string::npos) << dark.err;
    EXPECT_NE(dark.err.find("Add start=X:Y on its curve to its --series value"), std::string::npos) << dark.err;
}

} // namespace
} // namespace plotrun::test
