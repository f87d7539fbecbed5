// The report: grid layout, cells and the output text.
#include "ReferenceScan.h"
#include "Report.h"

#include <gtest/gtest.h>

namespace plotrun::test {
namespace {

struct Example {
    TestPicture picture{640, 480};
    ScanSettings settings;
    OutputFields fields;

    Example()
    {
        for (int x : {60, 61, 62})
            picture.set(x, 480 - 140, 0);
        settings.OriginX = 50;
        settings.OriginY = 40;
        settings.RefX = 250;
        settings.RealRefX = 10;
        settings.RefY = 240;
        settings.RealRefY = 100;
        settings.ScanStartX = 60;
        settings.ScanStartY = 50;
        settings.ScanEndX = 63;
        settings.ScanEndY = 200;
        settings.Threshold = 128;
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

TEST(OutputText, TheWorkedExample)
{
    EXPECT_EQ(Example().text(), "Image width:,640\r\n"
                                "Image height:,480\r\n"
                                "Bits per pixel: ,24\r\n"
                                "Scan width:,1\r\n"
                                "Threshold:,128\r\n"
                                "Weighted Y points\r\n"
                                "\r\n"
                                "Coordinate:,X,Y\r\n"
                                "Origin:,50,40\r\n"
                                "Reference:,250,240\r\n"
                                "Real origin:,0,0\r\n"
                                "Real reference:,10,100\r\n"
                                "Scan start:,60,50\r\n"
                                "Scan end:,63,200\r\n"
                                "\r\n"
                                "X,Y,SDEV\r\n"
                                "0.525,50,0\r\n"
                                "0.575,50,0\r\n"
                                "0.625,50,0\r\n");
}

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
