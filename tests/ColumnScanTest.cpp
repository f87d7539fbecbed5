// The column scan: the fast engine against the literal reference, and the
// cases that pin the arithmetic down.
#include "ColumnScan.h"
#include "ReferenceScan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <sstream>

namespace plotrun::test {
namespace {

struct EngineResult {
    std::vector<ResultRow> rows;
    std::vector<int> progress;
    ScanChecks checks;
    int32_t scanWidth = 0;
};

EngineResult scan(const TestPicture& pic, ScanSettings s, bool spread, int threads = kMostThreadsPerPicture)
{
    EngineResult out;
    out.checks = checkScan(s);
    out.scanWidth = s.ScanWidth;
    runColumnScan(pic.view(), s, out.checks, spread,
                  {[&](const ResultRow& r) { out.rows.push_back(r); }, [&](int p) { out.progress.push_back(p); },
                   nullptr, threads});
    return out;
}

// One unit a pixel on both axes, origin at bitmap (0, 0).
ScanSettings unitSettings(double x1, double y1, double x2, double y2, int width = 1)
{
    ScanSettings s;
    s.OriginX = 0;
    s.OriginY = 0;
    s.RefX = 10;
    s.RefY = 10;
    s.RealOriginX = 0;
    s.RealOriginY = 0;
    s.RealRefX = 10;
    s.RealRefY = 10;
    s.ScanStartX = x1;
    s.ScanStartY = y1;
    s.ScanEndX = x2;
    s.ScanEndY = y2;
    s.ScanWidth = width;
    s.Threshold = 128;
    return s;
}

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

std::string describe(const ResultRow& r)
{
    std::ostringstream o;
    o.precision(17);
    o << "#" << r.number << " bx=" << r.bitmapX << " by=" << r.bitmapY << " rx=" << r.realX << " ry=" << r.realY
      << " sdev=" << r.sdev << " sdevy=" << (r.hasSdevY ? std::to_string(r.sdevY) : "-");
    return o.str();
}

bool sameRow(const ResultRow& a, const ResultRow& b, bool spread)
{
    bool same = a.number == b.number && bits(a.bitmapX) == bits(b.bitmapX) && bits(a.bitmapY) == bits(b.bitmapY) &&
                bits(a.realX) == bits(b.realX) && bits(a.realY) == bits(b.realY);
    if (spread)
        same = same && bits(a.sdev) == bits(b.sdev) && a.hasSdevY == b.hasSdevY &&
               (!a.hasSdevY || bits(a.sdevY) == bits(b.sdevY));
    return same;
}

TestPicture randomPicture(std::mt19937& rng, int32_t w, int32_t h)
{
    TestPicture pic(w, h);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<uint32_t> byte(0, 255);
    for (auto& p : pic.pixels) {
        switch (kind(rng)) {
        case 0: p = 0; break; // black
        case 1: p = TestPicture::rgb(byte(rng), byte(rng), byte(rng)); break;
        case 2: {
            const uint32_t g = byte(rng);
            p = TestPicture::rgb(g, g, g);
        } break;
        case 3: p = TestPicture::rgb(254, 255, 255); break;                         // near white: darkness 0
        case 4: p = 0xAB000000u | TestPicture::rgb(byte(rng), 0, byte(rng)); break; // stray top byte
        default: p = 0xFFFFFF; break;
        }
    }
    return pic;
}

TEST(ColumnScanMatchesReference, OnRandomPicturesAndSettings)
{
    std::mt19937 rng(20261207);
    const int thresholds[] = {-3, 0, 1, 2, 84, 127, 128, 170, 254, 255, 256, 400};
    for (int trial = 0; trial < 1500; ++trial) {
        std::uniform_int_distribution<int> size(2, 60);
        const int32_t w = size(rng), h = size(rng);
        const TestPicture pic = randomPicture(rng, w, h);

        std::uniform_int_distribution<int> startX(-3, w - 1), startY(-3, h - 1);
        ScanSettings s;
        s.ScanStartX = startX(rng);
        s.ScanStartY = startY(rng);
        // Ends may reach beyond the picture.
        s.ScanEndX = s.ScanStartX + std::uniform_int_distribution<int>(1, w + 4)(rng);
        s.ScanEndY = s.ScanStartY + std::uniform_int_distribution<int>(1, h + 4)(rng);
        s.ScanWidth = std::uniform_int_distribution<int>(1, 9)(rng);
        s.Threshold = thresholds[std::uniform_int_distribution<int>(0, 11)(rng)];
        s.WeightedX = rng() & 1;
        s.OriginX = std::uniform_int_distribution<int>(-1, w - 1)(rng);
        s.OriginY = std::uniform_int_distribution<int>(-1, h - 1)(rng);
        s.RefX = s.OriginX + std::uniform_int_distribution<int>(1, w)(rng);
        s.RefY = s.OriginY + std::uniform_int_distribution<int>(1, h)(rng);
        s.RealOriginX = std::uniform_real_distribution<double>(-100, 100)(rng);
        s.RealOriginY = (rng() % 4 == 0) ? 0 : std::uniform_real_distribution<double>(-1e3, 1e3)(rng);
        s.RealRefX = std::uniform_real_distribution<double>(-1e5, 1e5)(rng);
        s.RealRefY = std::uniform_real_distribution<double>(-1e-3, 1e7)(rng);
        // Smoothing in one trial of four.
        s.Smooth = rng() % 4 == 0 ? std::uniform_int_distribution<int>(1, 6)(rng) : 0;
        const bool spread = rng() & 1;

        ScanSettings forEngine = s;
        const EngineResult got = scan(pic, forEngine, spread);
        const ReferenceResult want = referenceScan(pic.view(), s, spread);
        const std::string name = "trial " + std::to_string(trial);
        ASSERT_EQ(got.scanWidth, want.scanWidth) << name;
        ASSERT_EQ(got.rows.size(), want.rows.size()) << name;
        for (size_t i = 0; i < want.rows.size(); ++i)
            ASSERT_TRUE(sameRow(got.rows[i], want.rows[i], spread))
                << name << "\n got  " << describe(got.rows[i]) << "\n want " << describe(want.rows[i]);
        ASSERT_EQ(got.progress, want.progress) << name;
    }
}

// Turned, sheared and photographed calibrations, with every pixel mapped
// into the chart's frame; tall pictures cross blocks of rows, and the thread
// count changes no bit.
TEST(ColumnScanMatchesReference, InTheChartsFrame)
{
    std::mt19937 rng(20261208);
    std::uniform_real_distribution<double> unit(0, 1);
    int scanned = 0;
    for (int trial = 0; trial < 600; ++trial) {
        const int32_t w = std::uniform_int_distribution<int>(8, 70)(rng);
        const int32_t h = trial % 10 == 0 ? std::uniform_int_distribution<int>(250, 700)(rng)
                                          : std::uniform_int_distribution<int>(8, 70)(rng);
        const TestPicture pic = randomPicture(rng, w, h);
        ScanSettings s;
        CalibrationSettings& c = s.Calibration;
        c.Kind = rng() & 1 ? CalibrationKind::ThreePoint : CalibrationKind::FourPoint;
        const double turn = (unit(rng) - 0.5) * 0.6, shear = (unit(rng) - 0.5) * 0.3;
        const double lx = (0.3 + 0.6 * unit(rng)) * w, ly = (0.3 + 0.6 * unit(rng)) * h;
        s.OriginX = unit(rng) * w * 0.3;
        s.OriginY = unit(rng) * h * 0.3;
        s.RefX = s.OriginX + lx * std::cos(turn);
        c.X1Y = s.OriginY + lx * std::sin(turn);
        c.Y1X = s.OriginX - ly * std::sin(turn + shear);
        s.RefY = s.OriginY + ly * std::cos(turn + shear);
        c.CornerX = s.RefX + c.Y1X - s.OriginX + (unit(rng) - 0.5) * 0.2 * lx;
        c.CornerY = c.X1Y + s.RefY - s.OriginY + (unit(rng) - 0.5) * 0.2 * ly;
        s.LogY = rng() % 4 == 0;
        s.RealOriginX = std::uniform_real_distribution<double>(-100, 100)(rng);
        s.RealRefX = s.RealOriginX + std::uniform_real_distribution<double>(1, 1e4)(rng);
        s.RealOriginY = s.LogY ? 0.1 : std::uniform_real_distribution<double>(-1e3, 1e3)(rng);
        s.RealRefY = s.LogY ? 1e3 : std::uniform_real_distribution<double>(-1e-3, 1e7)(rng);
        s.ScanStartX = unit(rng) * w;
        s.ScanStartY = unit(rng) * h;
        s.ScanEndX = unit(rng) * (w + 6) - 3;
        s.ScanEndY = unit(rng) * (h + 6) - 3;
        s.ScanWidth = std::uniform_int_distribution<int>(1, 5)(rng);
        s.Threshold = std::uniform_int_distribution<int>(0, 200)(rng);
        s.WeightedX = rng() & 1;
        if (rng() % 3 == 0) {
            s.Ink.On = true;
            s.Ink.Ink = TestPicture::rgb(30, 60, 200);
            s.Ink.Tolerance = 120;
        }
        const bool spread = rng() & 1;
        ScanSettings checked = s;
        if (checkScan(checked).stop != ScanStop::None)
            continue;
        ++scanned;
        const ReferenceResult want = referenceChartScan(pic.view(), s, spread);
        for (const int threads : {1, 3}) {
            const EngineResult got = scan(pic, s, spread, threads);
            const std::string name = "trial " + std::to_string(trial) + ", threads " + std::to_string(threads);
            ASSERT_EQ(got.scanWidth, want.scanWidth) << name;
            ASSERT_EQ(got.rows.size(), want.rows.size()) << name;
            for (size_t i = 0; i < want.rows.size(); ++i)
                ASSERT_TRUE(sameRow(got.rows[i], want.rows[i], spread))
                    << name << "\n got  " << describe(got.rows[i]) << "\n want " << describe(want.rows[i]);
            ASSERT_EQ(got.progress, want.progress) << name;
        }
    }
    EXPECT_GT(scanned, 300);
}

TEST(ColumnScanMatchesReference, OnLogarithmicAxes)
{
    std::mt19937 rng(1310);
    for (int trial = 0; trial < 400; ++trial) {
        std::uniform_int_distribution<int> size(2, 50);
        const int32_t w = size(rng), h = size(rng);
        const TestPicture pic = randomPicture(rng, w, h);
        ScanSettings s = unitSettings(0, 0, w, h, std::uniform_int_distribution<int>(1, 4)(rng));
        s.Threshold = 100;
        s.WeightedX = rng() & 1;
        s.LogX = rng() & 1;
        s.LogY = !s.LogX || (rng() & 1);
        s.OriginX = std::uniform_int_distribution<int>(0, w - 1)(rng);
        s.OriginY = std::uniform_int_distribution<int>(0, h - 1)(rng);
        s.RefX = s.OriginX + std::uniform_int_distribution<int>(1, w)(rng);
        s.RefY = s.OriginY + std::uniform_int_distribution<int>(1, h)(rng);
        std::uniform_real_distribution<double> exponent(-6, 6);
        s.RealOriginX = std::pow(10.0, exponent(rng));
        s.RealRefX = std::pow(10.0, exponent(rng));
        s.RealOriginY = std::pow(10.0, exponent(rng));
        s.RealRefY = std::pow(10.0, exponent(rng));
        const bool spread = rng() & 1;

        const EngineResult got = scan(pic, s, spread);
        const ReferenceResult want = referenceScan(pic.view(), s, spread);
        const std::string name = "log trial " + std::to_string(trial);
        ASSERT_EQ(got.rows.size(), want.rows.size()) << name;
        for (size_t i = 0; i < want.rows.size(); ++i)
            ASSERT_TRUE(sameRow(got.rows[i], want.rows[i], spread))
                << name << "\n got  " << describe(got.rows[i]) << "\n want " << describe(want.rows[i]);
    }
}

TEST(Spread, OnALogarithmicYAxisIsInRealUnits)
{
    // Two black rows at bitmap y 10 and 30 of a strip; the y axis has 1 at
    // y 0 and 10 at y 20. The point is at y 20 (real 10); the rows are at
    // real sqrt(10) and sqrt(1000), so SDEV is the spread of those about 10.
    TestPicture pic(4, 40);
    for (int x = 0; x < 4; ++x) {
        pic.set(x, 40 - 10, 0);
        pic.set(x, 40 - 30, 0);
    }
    ScanSettings s = unitSettings(0, 0, 1, 40);
    s.RefY = 20;
    s.RealOriginY = 1;
    s.RealRefY = 10;
    s.LogY = true;
    const EngineResult got = scan(pic, s, true);
    ASSERT_EQ(got.rows.size(), 1u);
    EXPECT_DOUBLE_EQ(got.rows[0].realY, 10);
    const double lo = std::sqrt(10.0) - 10, hi = std::sqrt(1000.0) - 10;
    EXPECT_NEAR(got.rows[0].sdev, std::sqrt((lo * lo + hi * hi) / 2), 1e-9);
    EXPECT_NEAR(got.rows[0].sdevY, got.rows[0].sdev / 10, 1e-12);
}

TEST(ColumnScanMatchesReference, AcrossBandsOfAWidePicture)
{
    // Wider than one band of columns, with strips that straddle band edges.
    std::mt19937 rng(7);
    for (int width : {1, 3, 7, 4095, 5000}) {
        TestPicture pic(9001, 5);
        for (int x = 0; x < pic.width; ++x)
            pic.set(x, int(rng() % 5), TestPicture::rgb(rng() % 120, rng() % 120, rng() % 120));
        ScanSettings s = unitSettings(1, 0, 9001, 5, width);
        s.WeightedX = width % 2;
        const EngineResult got = scan(pic, s, true);
        const ReferenceResult want = referenceScan(pic.view(), s, true);
        ASSERT_EQ(got.rows.size(), want.rows.size()) << "width " << width;
        for (size_t i = 0; i < want.rows.size(); ++i)
            ASSERT_TRUE(sameRow(got.rows[i], want.rows[i], true)) << "width " << width << " row " << i;
        ASSERT_EQ(got.progress, want.progress);
    }
}

TEST(ColumnScanMatchesReference, WhenMostPixelsAreDarkOrFew)
{
    // The spread pass reuses the first pass's dark pixels while they are few
    // and reads the picture again when they are many; both must agree.
    std::mt19937 rng(11);
    for (int darkShare : {2, 50, 100}) {
        TestPicture pic(70, 50);
        for (auto& p : pic.pixels)
            if (int(rng() % 100) < darkShare)
                p = TestPicture::rgb(rng() % 100, rng() % 100, rng() % 100);
        ScanSettings s = unitSettings(0, 0, 70, 50, 3);
        s.RealOriginY = 3;
        const EngineResult got = scan(pic, s, true);
        const ReferenceResult want = referenceScan(pic.view(), s, true);
        ASSERT_EQ(got.rows.size(), want.rows.size()) << darkShare;
        for (size_t i = 0; i < want.rows.size(); ++i)
            ASSERT_TRUE(sameRow(got.rows[i], want.rows[i], true)) << darkShare << "% dark, row " << i;
    }
}

TEST(StripLayout, LeavesTheColumnsBeyondTheLastWholeStripUnscanned)
{
    // A = 10, width 3: strips cover x0 .. x0 + 8.
    TestPicture pic(30, 10);
    for (int x = 5; x <= 15; ++x)
        pic.set(x, 4, 0);
    const EngineResult r = scan(pic, unitSettings(5, 0, 15, 10, 3), false);
    EXPECT_EQ(r.checks.stripCount, 3);
    ASSERT_EQ(r.rows.size(), 3u);
    EXPECT_EQ(r.rows[2].bitmapX, 11 + 1.5);

    TestPicture onlyBeyond(30, 10);
    onlyBeyond.set(14, 4, 0);
    onlyBeyond.set(15, 4, 0);
    EXPECT_TRUE(scan(onlyBeyond, unitSettings(5, 0, 15, 10, 3), false).rows.empty());
}

TEST(WidthCheck, CutsTheScanWidthToTheAreaAndGoesOn)
{
    TestPicture pic(20, 10);
    pic.set(7, 2, 0);
    ScanSettings s = unitSettings(5, 0, 10, 10, 8);
    const ScanChecks c = checkScan(s);
    EXPECT_TRUE(c.widthResized);
    EXPECT_EQ(s.ScanWidth, 5);
    EXPECT_EQ(c.stripCount, 1);
    EXPECT_EQ(widthResizedNotice(c.areaWidth).title, "Scan width out of range!");
    EXPECT_EQ(widthResizedNotice(c.areaWidth).text, "Scan width is too large!\nIt is now resized to 5");
    const EngineResult r = scan(pic, unitSettings(5, 0, 10, 10, 8), false);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0].bitmapX, 5 + 2.5);
}

TEST(HeightCheck, StopsAFlatAreaBeforeAnyPixelIsRead)
{
    ScanSettings s = unitSettings(0, 5.9, 10, 5.2);
    const ScanChecks c = checkScan(s);
    EXPECT_EQ(c.stop, ScanStop::FlatArea);
    EXPECT_EQ(stopNotice(c.stop).title, "Scan aborted!");
    EXPECT_EQ(stopNotice(c.stop).text, "Scan height is too small!\n");
    TestPicture pic(20, 10, 0);
    EXPECT_EQ(runColumnScan(pic.view(), s, c, true, {}), 0);
}

TEST(HeightCheck, FollowsTheWidthMessageInOneRun)
{
    ScanSettings s = unitSettings(5, 3, 8, 3, 9);
    const ScanChecks c = checkScan(s);
    EXPECT_TRUE(c.widthResized);
    EXPECT_EQ(c.stop, ScanStop::FlatArea);
}

TEST(ScanRefusal, AnAreaNarrowerThanOnePixelKeepsTheScanWidth)
{
    ScanSettings s = unitSettings(4, 0, 4.7, 10, 2);
    const ScanChecks c = checkScan(s);
    EXPECT_EQ(c.stop, ScanStop::NarrowArea);
    EXPECT_EQ(s.ScanWidth, 2);
    EXPECT_EQ(stopNotice(c.stop).text, "Scan area is less than one pixel wide!\n");
    ScanSettings removed; // a removed area: every value -1
    EXPECT_EQ(checkScan(removed).stop, ScanStop::NarrowArea);
}

TEST(ScanRefusal, AReferenceOnTheOriginNeverDividesByZero)
{
    ScanSettings s = unitSettings(0, 0, 10, 10);
    s.RefX = s.OriginX;
    EXPECT_EQ(checkScan(s).stop, ScanStop::SameOriginX);
    EXPECT_EQ(stopNotice(ScanStop::SameOriginX).text, "Reference X cannot be same as origin X\n");
    s = unitSettings(0, 0, 10, 10);
    s.RefY = s.OriginY;
    EXPECT_EQ(checkScan(s).stop, ScanStop::SameOriginY);
}

TEST(PointPosition, UnweightedXIsTheStripMiddleAndWeightedXTheColumn)
{
    TestPicture pic(40, 10);
    pic.set(20, 3, 0);
    ScanSettings s = unitSettings(20, 0, 21, 10);
    EXPECT_EQ(scan(pic, s, false).rows.at(0).bitmapX, 20.5);
    s.WeightedX = true;
    EXPECT_EQ(scan(pic, s, false).rows.at(0).bitmapX, 20);
}

TEST(PointPosition, AOnePixelLineGivesItsRowAndNoSpread)
{
    TestPicture pic(30, 50);
    for (int x = 0; x < 30; ++x)
        pic.set(x, 17, 0);
    const EngineResult r = scan(pic, unitSettings(0, 0, 30, 50, 4), true);
    ASSERT_EQ(r.rows.size(), 7u);
    for (const ResultRow& row : r.rows) {
        EXPECT_EQ(row.bitmapY, 50 - 17);
        EXPECT_EQ(row.sdev, 0);
    }
}

TEST(Spread, TwoEqualLinesGiveTheirMiddleAndHalfTheirDistance)
{
    TestPicture pic(10, 100);
    pic.set(3, 10, 0);
    pic.set(3, 20, 0);
    const EngineResult r = scan(pic, unitSettings(3, 0, 4, 100), true);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0].bitmapY, 100 - 15);
    EXPECT_DOUBLE_EQ(r.rows[0].sdev, 5);
    ASSERT_TRUE(r.rows[0].hasSdevY);
    EXPECT_DOUBLE_EQ(r.rows[0].sdevY, 5.0 / 85);
}

// The darkness-weighted spread of two rows `apart` units apart, of darkness a and b.
double spreadOfTwo(double a, double b, double apart) { return apart * std::sqrt(a * b) / (a + b); }

TEST(Spread, ABlackAndAGreyPixelGiveTheirWeightedSpread)
{
    // Darkness 255 and 127 (grey 128), ten rows apart: the spread lies
    // between them, nearer the black one's weight.
    TestPicture pic(10, 100);
    pic.set(3, 30, 0);
    pic.set(3, 40, TestPicture::rgb(128, 128, 128));
    ScanSettings s = unitSettings(3, 0, 4, 100);
    s.Threshold = 1;
    const EngineResult r = scan(pic, s, true);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_NEAR(r.rows[0].sdev, spreadOfTwo(255, 127, 10), 1e-12);
    EXPECT_LT(r.rows[0].sdev, 5);
}

// A thin anti-aliased horizontal line: two rows of partial darkness.
TestPicture antiAliasedLine()
{
    TestPicture pic(20, 60);
    for (int x = 0; x < 20; ++x) {
        pic.set(x, 25, TestPicture::rgb(55, 55, 55));    // darkness 200
        pic.set(x, 26, TestPicture::rgb(195, 195, 195)); // darkness 60
    }
    return pic;
}

TEST(Spread, DoesNotChangeWhenTheRealYScaleIsShifted)
{
    const TestPicture pic = antiAliasedLine();
    ScanSettings s = unitSettings(0, 0, 20, 60, 4);
    s.RealRefY = 0.1; // a hundredth of a unit a pixel
    s.Threshold = 50;
    const EngineResult near = scan(pic, s, true);
    s.RealOriginY += 1000;
    s.RealRefY += 1000;
    const EngineResult shifted = scan(pic, s, true);
    ASSERT_EQ(near.rows.size(), 5u);
    ASSERT_EQ(shifted.rows.size(), 5u);
    for (size_t i = 0; i < near.rows.size(); ++i) {
        EXPECT_NEAR(near.rows[i].sdev, spreadOfTwo(200, 60, 0.01), 1e-15) << i;
        EXPECT_NEAR(shifted.rows[i].sdev, near.rows[i].sdev, 1e-12) << i;
        EXPECT_NEAR(shifted.rows[i].realY - near.rows[i].realY, 1000, 1e-9) << i;
    }
}

TEST(Spread, PixelsOfDarknessZeroCarryNoWeight)
{
    // With a threshold of 0, near-white pixels and those outside the
    // picture count as dark, but leave the spread as it was.
    TestPicture pic(6, 20);
    pic.set(2, 5, 0);
    pic.set(2, 9, TestPicture::rgb(100, 100, 100));
    for (int row = 10; row < 20; ++row)
        pic.set(2, row, TestPicture::rgb(254, 255, 255));
    ScanSettings s = unitSettings(2, 0, 3, 25);
    s.Threshold = 1;
    const EngineResult inked = scan(pic, s, true);
    s.Threshold = 0;
    const EngineResult all = scan(pic, s, true);
    ASSERT_EQ(inked.rows.size(), 1u);
    ASSERT_EQ(all.rows.size(), 1u);
    EXPECT_EQ(all.rows[0].bitmapY, inked.rows[0].bitmapY);
    EXPECT_NEAR(all.rows[0].sdev, spreadOfTwo(255, 155, 4), 1e-12);
    EXPECT_EQ(all.rows[0].sdev, inked.rows[0].sdev);
}

TEST(Spread, APointAtRealYZeroHasNoSdevPerY)
{
    TestPicture pic(10, 10);
    pic.set(2, 10 - 4, 0); // bitmap y 4, the origin's row
    ScanSettings s = unitSettings(2, 0, 3, 10);
    s.OriginY = 4;
    s.RefY = 8;
    const EngineResult r = scan(pic, s, true);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0].realY, 0);
    EXPECT_EQ(r.rows[0].sdev, 0);
    EXPECT_FALSE(r.rows[0].hasSdevY);
}

TEST(DarkTest, ADarknessEqualToTheThresholdCounts)
{
    // Grey 128 has darkness 127.
    TestPicture pic(4, 4);
    pic.set(1, 1, TestPicture::rgb(128, 128, 128));
    ScanSettings s = unitSettings(1, 0, 2, 4);
    s.Threshold = 127;
    EXPECT_EQ(scan(pic, s, false).rows.size(), 1u);
    s.Threshold = 128;
    EXPECT_TRUE(scan(pic, s, false).rows.empty());
    pic.set(1, 1, TestPicture::rgb(255, 0, 0)); // pure red: 170
    s.Threshold = 170;
    EXPECT_EQ(scan(pic, s, false).rows.size(), 1u);
}

TEST(DarkTest, WhiteAndNearWhiteAreNeverDark)
{
    TestPicture pic(4, 4);
    pic.set(1, 1, TestPicture::rgb(254, 255, 255));
    ScanSettings s = unitSettings(0, 0, 4, 4);
    s.Threshold = 1;
    EXPECT_TRUE(scan(pic, s, false).rows.empty());
}

TEST(DarkTest, AThresholdOfZeroCountsEmptyPixelsButMakesNoPoint)
{
    // Near-white and outside pixels enter N but add nothing; a strip with
    // only those gives no row, and they leave the spread of one that has ink.
    TestPicture pic(4, 4);
    pic.set(0, 0, TestPicture::rgb(254, 255, 255));
    pic.set(2, 1, 0);
    ScanSettings s = unitSettings(0, 0, 4, 6);
    s.Threshold = 0;
    const EngineResult r = scan(pic, s, true);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0].bitmapX, 2.5);
    EXPECT_EQ(r.rows[0].sdev, 0);
    s.Threshold = 256;
    EXPECT_TRUE(scan(pic, s, false).rows.empty());
}

TEST(Progress, CountsTheFinishedStripsInWholePerCent)
{
    TestPicture pic(210, 3);
    const EngineResult r = scan(pic, unitSettings(0, 0, 200, 3), false);
    ASSERT_EQ(r.progress.size(), 200u);
    EXPECT_EQ(r.progress[0], 0);
    EXPECT_EQ(r.progress[1], 0);
    EXPECT_EQ(r.progress[2], 1);
    EXPECT_EQ(r.progress[3], 1);
    EXPECT_EQ(r.progress[199], 99);
    EXPECT_EQ(progressText(42), "Scanning: 42 %");
}

TEST(PixelColour, OutsideThePictureAnswersNoColour)
{
    const TestPicture pic(3, 2, 0x12345678);
    EXPECT_EQ(pic.view().colourAt(-1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pic.view().colourAt(3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pic.view().colourAt(0, 2), 0xFFFFFFFFu);
    EXPECT_EQ(pic.view().colourAt(2, 1), 0x345678u);
}

} // namespace
} // namespace plotrun::test
