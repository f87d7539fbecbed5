// The report: grid layout, cells and the output text.
#include "ReferenceScan.h"
#include "Report.h"
#include "WorkedExample.h"

#include <gtest/gtest.h>

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
        const GridLayout layout = layoutGrid(fields);
        std::vector<std::vector<std::string>> rows;
        ScanSettings s = settings;
        const ScanChecks checks = checkScan(s);
        runColumnScan(picture.view(), s, checks, fields.wantsSpread(),
                      {[&](const ResultRow& r) { rows.push_back(rowCells(layout, r, sep)); }, nullptr});
        const auto header = headerBlock({"640", 480, "24", weightedBox}, s, fields.delimiter, sep);
        const auto names = headerCells(layout, fields);
        return joinLines(outputLines(fields.scanningParameters ? &header : nullptr,
                                     fields.columnNames ? &names : nullptr, rows, fields.delimiter));
    }
};

TEST(OutputText, TheWorkedExample) { EXPECT_EQ(Example().text(), kWorkedExampleText); }

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

TEST(StartDelimiter, FollowsTheDecimalSeparator)
{
    EXPECT_EQ(startDelimiter("."), ",");
    EXPECT_EQ(startDelimiter(","), ";");
    EXPECT_EQ(startDelimiter(";"), "\t");
    EXPECT_EQ(startDelimiter(""), ";");
}

} // namespace
} // namespace plotrun::test
