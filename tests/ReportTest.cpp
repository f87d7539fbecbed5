// The report: grid layout, cells and the output text.
#include "ReferenceScan.h"
#include "Report.h"
#include "ScanReport.h"
#include "WorkedExample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <random>

namespace plotrun::test {
namespace {

struct Example {
    TestPicture picture{640, 480};
    ScanSettings settings;
    OutputFields fields;

    Example()
    {
        for (int row = 0; row < 480; ++row)
            for (int x = 0; x < 640; ++x)
                picture.set(x, row, workedExamplePixel(x, row));
        settings = workedExampleSettings();
        fields.delimiter = ",";
        fields.sdev = true;
        fields.scanningParameters = true;
        fields.columnNames = true;
    }

    std::string text(std::string_view sep = ".", bool weightedBox = false)
    {
        ScanReport report(fields, std::string(sep));
        ScanSettings s = settings;
        const ScanChecks checks = checkScan(s);
        runColumnScan(picture.view(), s, checks, fields.wantsSpread(),
                      {[&](const ResultRow& r) { report.addRow(r); }, nullptr, nullptr});
        return report.text({"640", 480, "24", weightedBox}, s);
    }

    // The same text put together from the cell functions, row by row.
    std::string textFromCells(std::string_view sep = ".")
    {
        const GridLayout layout = layoutGrid(fields);
        std::vector<std::vector<std::string>> rows;
        ScanSettings s = settings;
        const ScanChecks checks = checkScan(s);
        runColumnScan(picture.view(), s, checks, fields.wantsSpread(),
                      {[&](const ResultRow& r) { rows.push_back(rowCells(layout, r, sep)); }, nullptr, nullptr});
        const auto header = headerBlock({"640", 480, "24", false}, s, fields.delimiter, sep);
        const auto names = headerCells(layout, fields);
        return joinLines(outputLines(fields.scanningParameters ? &header : nullptr,
                                     fields.columnNames ? &names : nullptr, rows, fields.delimiter));
    }
};

TEST(OutputText, TheWorkedExample) { EXPECT_EQ(Example().text(), kWorkedExampleText); }

TEST(OutputText, TheCellFunctionsGiveTheSameText) { EXPECT_EQ(Example().textFromCells(), kWorkedExampleText); }

TEST(OutputText, WeightedXLineOnlyWithTheBoxChecked)
{
    Example e;
    const std::string text = e.text(".", true);
    EXPECT_NE(text.find("Threshold:,128\r\nWeighted X points\r\nWeighted Y points\r\n\r\n"), std::string::npos);
}

TEST(OutputText, DelimitersAreUsedExactlyAsTyped)
{
    Example e;
    e.fields.sdev = false;
    e.fields.scanningParameters = false;
    e.fields.columnNames = false;
    EXPECT_EQ(e.text(), "0.525,50\r\n0.575,50\r\n0.625,50\r\n");
    e.fields.delimiter = " ; ";
    EXPECT_EQ(e.text().substr(0, 13), "0.525 ; 50\r\n0");
    e.fields.delimiter = "";
    EXPECT_EQ(e.text().substr(0, 9), "0.52550\r\n");
    e.fields.delimiter = " ; ";
    e.fields.scanningParameters = true;
    EXPECT_EQ(e.text().substr(0, 20), "Image width: ; 640\r\n");
}

TEST(OutputText, ADecimalCommaWhateverTheDelimiter)
{
    Example e;
    e.fields.delimiter = ";";
    e.fields.scanningParameters = false;
    e.fields.columnNames = false;
    EXPECT_EQ(e.text(",").substr(0, 10), "0,525;50;0");
}

TEST(OutputText, NoRowsLeavesOnlyTheIncludedBlocks)
{
    Example e;
    e.picture = TestPicture(640, 480);
    e.fields.scanningParameters = false;
    EXPECT_EQ(e.text(), "X,Y,SDEV\r\n");
    e.fields.columnNames = false;
    EXPECT_EQ(e.text(), "");
}

TEST(GridLayout, FieldsKeepTheirFixedOrder)
{
    OutputFields all;
    all.sdev = all.sdevY = all.bitmapCoordinates = true;
    const GridLayout g = layoutGrid(all);
    EXPECT_EQ(g.gridCols(), 7);
    EXPECT_EQ(headerCells(g, all), (std::vector<std::string>{"X", "Y", "SDEV", "SDEV/Y", "X [px]", "Y [px]"}));

    OutputFields some;
    some.realCoordinates = false;
    some.sdev = some.bitmapCoordinates = true;
    const GridLayout h = layoutGrid(some);
    EXPECT_EQ(h.columnOf(Field::Sdev), 1);
    EXPECT_EQ(h.columnOf(Field::BitmapX), 2);
    EXPECT_EQ(h.columnOf(Field::BitmapY), 3);
    EXPECT_EQ(h.columnOf(Field::RealX), -1);
}

TEST(GridCells, AnAbsentSdevPerYLeavesAnEmptyField)
{
    OutputFields f;
    f.sdev = f.sdevY = true;
    const GridLayout g = layoutGrid(f);
    ResultRow r;
    r.realX = 5;
    r.realY = 0;
    r.sdev = 0.5;
    EXPECT_EQ(joinCells(rowCells(g, r, "."), ","), "5,0,0.5,");
    r.hasSdevY = true;
    r.sdevY = -0.0;
    EXPECT_EQ(joinCells(rowCells(g, r, "."), ","), "5,0,0.5,0");
}

TEST(ScanReport, GivesTheGridRowByRowAsTheScanRuns)
{
    OutputFields f;
    f.bitmapCoordinates = true;
    f.delimiter = ";";
    f.names[static_cast<int>(Field::RealX)] = "t";
    ScanReport report(f, ",");
    EXPECT_EQ(report.gridCols(), 5);
    EXPECT_EQ(report.layout().columnOf(Field::BitmapY), 4);
    EXPECT_EQ(report.columnNames(), (std::vector<std::string>{"t", "Y", "X [px]", "Y [px]"}));
    ResultRow r;
    r.number = 1;
    r.realX = 2.5;
    r.realY = -1;
    r.bitmapX = 3;
    r.bitmapY = 4.25;
    EXPECT_EQ(report.addRow(r), (std::vector<std::string>{"2,5", "-1", "3", "4,25"}));
    r.number = 2;
    EXPECT_EQ(report.addRow(r).size(), 4u);
    EXPECT_EQ(report.rowCount(), 2u);
    EXPECT_FALSE(report.hasNonFinite());
    EXPECT_EQ(report.text({"10", 10, "24", false}, ScanSettings{}), "2,5;-1;3;4,25\r\n2,5;-1;3;4,25\r\n");
}

TEST(ScanReport, NeverWritesANumberThatIsNotFinite)
{
    OutputFields f;
    f.sdev = f.sdevY = true;
    ScanReport report(f, ".");
    ResultRow r;
    r.number = 1;
    r.realX = 1;
    r.realY = 2;
    r.sdev = 0.5;
    report.addRow(r); // SDEV/Y absent: no value, nothing wrong
    r.number = 2;
    r.sdev = std::numeric_limits<double>::infinity();
    r.hasSdevY = true;
    r.sdevY = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(report.addRow(r), (std::vector<std::string>{"1", "2", "", ""}));
    r.number = 3;
    r.realY = -std::numeric_limits<double>::infinity();
    report.addRow(r);
    EXPECT_TRUE(report.hasNonFinite());
    EXPECT_EQ(report.firstNonFiniteRow(), 2);
    const std::string text = report.text({"10", 10, "24", false}, ScanSettings{});
    EXPECT_EQ(text.find("INF"), std::string::npos);
    EXPECT_EQ(text.find("NAN"), std::string::npos);
    EXPECT_EQ(notFiniteNotice(2).title, "Number out of range!");
    EXPECT_NE(notFiniteNotice(2).text.find("row 2."), std::string::npos);
}

TEST(ScanReport, AnUnwrittenValueCountsOnlyWhereTheChartPlotsIt)
{
    ResultRow r;
    r.realX = std::numeric_limits<double>::infinity();
    OutputFields bitmapOnly;
    bitmapOnly.realCoordinates = false;
    bitmapOnly.bitmapCoordinates = true;
    EXPECT_TRUE(rowIsFinite(layoutGrid(bitmapOnly), r));
    OutputFields sdevOnly; // the chart plots SDEV against the real x
    sdevOnly.realCoordinates = false;
    sdevOnly.sdev = true;
    EXPECT_FALSE(rowIsFinite(layoutGrid(sdevOnly), r));
}

TEST(ScanReport, ASpreadBeyondTheDoubleRangeIsCaught)
{
    // 1E300 units a pixel: every point is finite, but the squares of the
    // spread's distances are not.
    TestPicture pic(4, 40);
    pic.set(1, 10, 0);
    pic.set(1, 30, 0);
    ScanSettings s = workedExampleSettings();
    s.OriginX = s.OriginY = 0;
    s.RefX = s.RefY = 1;
    s.RealRefX = s.RealRefY = 1e300;
    s.ScanStartX = 0;
    s.ScanEndX = 4;
    s.ScanStartY = 0;
    s.ScanEndY = 40;
    OutputFields f;
    f.sdev = true;
    ScanReport report(f, ".");
    const ScanChecks checks = checkScan(s);
    runColumnScan(pic.view(), s, checks, true, {[&](const ResultRow& row) { report.addRow(row); }, nullptr, nullptr});
    ASSERT_EQ(report.rowCount(), 1u);
    EXPECT_TRUE(report.hasNonFinite());
    EXPECT_EQ(report.rows()[0][0], "1.5E300");
    EXPECT_EQ(report.rows()[0][2], "");
}

TEST(ScanReport, KeepingOnlyTheTextWritesTheSameBytesAsKeepingTheCells)
{
    // Every field set, separators and delimiters, values of every size and
    // sign, and rows with values that are not finite or absent.
    std::mt19937 rng(11);
    const double specials[] = {0.0,
                               -0.0,
                               0.5,
                               -1e-300,
                               123456789012345678.0,
                               1e-5,
                               std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::max()};
    const auto value = [&] {
        if (rng() % 4 == 0)
            return specials[rng() % std::size(specials)];
        const double v = std::ldexp(double(rng()) / 4294967296.0, int(rng() % 120) - 60);
        return rng() % 2 ? -v : v;
    };
    for (int trial = 0; trial < 200; ++trial) {
        OutputFields f;
        f.realCoordinates = rng() % 3 != 0;
        f.bitmapCoordinates = rng() % 2 == 0;
        f.sdev = rng() % 2 == 0;
        f.sdevY = rng() % 2 == 0;
        f.scanningParameters = rng() % 2 == 0;
        f.columnNames = rng() % 2 == 0;
        f.delimiter = std::vector<std::string>{",", ";", "\t", " | "}[rng() % 4];
        const std::string sep = rng() % 2 ? "." : ",";
        ScanReport cells(f, sep), text(f, sep, ScanReport::Keep::TextOnly);
        const int rows = int(rng() % 40);
        for (int i = 0; i < rows; ++i) {
            ResultRow r;
            r.number = rng() % 5 ? i + 1 : 0;
            r.realX = value();
            r.realY = value();
            r.sdev = value();
            r.hasSdevY = rng() % 2 == 0;
            r.sdevY = value();
            r.bitmapX = value();
            r.bitmapY = value();
            cells.addRow(r);
            text.addRow(r);
        }
        const PictureFacts picture{"640", 480, "24", false};
        ScanSettings s = workedExampleSettings();
        ASSERT_EQ(text.text(picture, s), cells.text(picture, s)) << trial;
        ASSERT_EQ(text.lines(picture, s), cells.lines(picture, s)) << trial;
        ASSERT_EQ(text.rowCount(), cells.rowCount()) << trial;
        ASSERT_EQ(text.firstNonFiniteRow(), cells.firstNonFiniteRow()) << trial;
        ASSERT_TRUE(text.rows().empty());
    }
}

TEST(StartDelimiter, FollowsTheDecimalSeparator)
{
    EXPECT_EQ(startDelimiter("."), ",");
    EXPECT_EQ(startDelimiter(","), ";");
    EXPECT_EQ(startDelimiter(";"), "\t");
    EXPECT_EQ(startDelimiter(""), ";");
}

TEST(OutputText, ALogarithmicAxisIsNamedInTheHeaderOnlyWhenItIsOne)
{
    Example linear;
    EXPECT_EQ(linear.text(), kWorkedExampleText); // both axes linear: as before, byte for byte

    Example logY;
    logY.settings.LogY = true;
    logY.settings.RealOriginY = 1;
    logY.settings.RealRefY = 100;
    const std::string y = logY.text();
    EXPECT_NE(y.find("Scan end:,63,200\r\nY axis:,logarithmic\r\n\r\nX,Y,SDEV\r\n"), std::string::npos) << y;
    EXPECT_EQ(y.find("X axis:"), std::string::npos);
    // Bitmap y 140 is half way from the origin (1) to Y1 (100): 10.
    EXPECT_NE(y.find("\r\n0.525,10,0\r\n"), std::string::npos) << y;

    Example both = logY;
    both.settings.LogX = true;
    both.settings.RealOriginX = 1;
    both.fields.delimiter = ";";
    const std::string xy = both.text();
    EXPECT_NE(xy.find("Scan end:;63;200\r\nX axis:;logarithmic\r\nY axis:;logarithmic\r\n\r\n"), std::string::npos)
        << xy;
}

} // namespace
} // namespace plotrun::test
