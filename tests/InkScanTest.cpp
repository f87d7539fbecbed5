// Ink mode: the model on single pixels, the fast scan against the literal
// reference, and the counted mask against what the scan counts.
#include "Calibrated.h"
#include "ColumnScan.h"
#include "CountedPixels.h"
#include "InkModel.h"
#include "ReferenceScan.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <set>

namespace plotrun::test {
namespace {

using C = TestPicture;

InkSettings inkOf(uint32_t ink, uint32_t paper = 0xFFFFFF, int32_t tolerance = InkSettings::kDefaultTolerance)
{
    InkSettings s;
    s.On = true;
    s.Ink = ink;
    s.Paper = paper;
    s.Tolerance = tolerance;
    return s;
}

// A mix of two colours, `share` of the first, rounded per channel.
uint32_t mix(uint32_t a, uint32_t b, double share)
{
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        const double ca = (a >> (8 * i)) & 0xFF, cb = (b >> (8 * i)) & 0xFF;
        out |= uint32_t(std::lround(share * ca + (1 - share) * cb)) << (8 * i);
    }
    return out;
}

TEST(InkModelOnOnePixel, PureInkWeighsFullAndThePaperNeverCounts)
{
    const InkModel m(inkOf(C::rgb(20, 40, 200)));
    EXPECT_EQ(m.weight(C::rgb(20, 40, 200)), 255);
    EXPECT_EQ(m.weight(C::rgb(255, 255, 255)), -1);
    // The paper never counts, whatever it is.
    const InkModel grey(inkOf(C::rgb(0, 0, 0), C::rgb(230, 230, 230)));
    EXPECT_EQ(grey.weight(C::rgb(230, 230, 230)), -1);
    EXPECT_EQ(grey.weight(C::rgb(0, 0, 0)), 255);
}

TEST(InkModelOnOnePixel, AHalfMixWeighsHalf)
{
    const uint32_t ink = C::rgb(20, 40, 200);
    const InkModel m(inkOf(ink));
    const int32_t w = m.weight(mix(ink, 0xFFFFFF, 0.5));
    EXPECT_NEAR(w, 128, 1);
    EXPECT_NEAR(m.weight(mix(ink, 0xFFFFFF, 0.25)), 64, 1);
    // A mix with another paper, and a black ink on white: the darkness.
    const InkModel black(inkOf(0));
    EXPECT_EQ(black.weight(C::rgb(128, 128, 128)), 127);
}

TEST(InkModelOnOnePixel, AGreyUnderAColouredInkIsLeftOut)
{
    const InkModel blue(inkOf(C::rgb(0, 0, 255)));
    EXPECT_EQ(blue.weight(C::rgb(128, 128, 128)), -1);
    EXPECT_EQ(blue.weight(C::rgb(60, 60, 60)), -1);
    // A light grey lies 55 units off the line: counted only with a tolerance that wide.
    EXPECT_EQ(InkModel(inkOf(C::rgb(0, 0, 255), 0xFFFFFF, 54)).weight(C::rgb(200, 200, 200)), -1);
    EXPECT_GE(InkModel(inkOf(C::rgb(0, 0, 255), 0xFFFFFF, 56)).weight(C::rgb(200, 200, 200)), 0);
}

TEST(InkModelOnOnePixel, AnotherHueIsLeftOut)
{
    const InkModel blue(inkOf(C::rgb(0, 0, 255)));
    EXPECT_EQ(blue.weight(C::rgb(255, 0, 0)), -1);
    EXPECT_EQ(blue.weight(mix(C::rgb(255, 0, 0), 0xFFFFFF, 0.5)), -1);
    EXPECT_EQ(blue.weight(C::rgb(0, 160, 0)), -1);
    const InkModel red(inkOf(C::rgb(220, 30, 30)));
    EXPECT_EQ(red.weight(C::rgb(0, 0, 255)), -1);
    EXPECT_EQ(red.weight(C::rgb(220, 30, 30)), 255);
}

TEST(InkModelOnOnePixel, ThePixelBeyondTheInkIsClippedToFull)
{
    // Darker than the ink along the same line.
    const InkModel m(inkOf(C::rgb(128, 128, 128)));
    EXPECT_EQ(m.weight(C::rgb(0, 0, 0)), 255);
    EXPECT_EQ(m.weight(C::rgb(192, 192, 192)), 126); // 255 * 63 / 127
    // Exactly half way, 127.5, rounds up.
    EXPECT_EQ(InkModel(inkOf(C::rgb(1, 255, 255))).weight(C::rgb(128, 255, 255)), 128);
}

TEST(InkModelOnOnePixel, AgreesWithTheLiteralReadingOnEveryKindOfColour)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 200000; ++trial) {
        const InkSettings s = inkOf(rng() & 0xFFFFFF, (rng() % 3) ? 0xFFFFFF : rng() & 0xFFFFFF,
                                    int32_t(rng() % 3 ? rng() % 80 : rng() % 450));
        const uint32_t c = (rng() % 2) ? mix(s.Ink, s.Paper, (rng() % 1001) / 1000.0) : rng() & 0xFFFFFF;
        ASSERT_EQ(InkModel(s).weight(c), inkWeight(c, s)) << std::hex << s.Ink << " " << s.Paper << " " << c;
    }
}

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

bool sameRow(const ResultRow& a, const ResultRow& b, bool spread)
{
    bool same = a.number == b.number && bits(a.bitmapX) == bits(b.bitmapX) && bits(a.bitmapY) == bits(b.bitmapY) &&
                bits(a.realX) == bits(b.realX) && bits(a.realY) == bits(b.realY);
    if (spread)
        same = same && bits(a.sdev) == bits(b.sdev) && a.hasSdevY == b.hasSdevY &&
               (!a.hasSdevY || bits(a.sdevY) == bits(b.sdevY));
    return same;
}

// Paper, ink, their mixes, near misses, other colours and stray top bytes.
TestPicture inkPicture(std::mt19937& rng, int32_t w, int32_t h, const InkSettings& ink)
{
    TestPicture pic(w, h, ink.Paper & 0xFFFFFF);
    std::uniform_int_distribution<uint32_t> byte(0, 255);
    for (auto& p : pic.pixels) {
        switch (rng() % 10) {
        case 0: p = ink.Ink; break;
        case 1:
        case 2: p = mix(ink.Ink, ink.Paper, byte(rng) / 255.0); break;
        case 3: p = mix(ink.Ink, ink.Paper, byte(rng) / 255.0) ^ (rng() & 0x0F0F0F); break; // noise
        case 4: p = C::rgb(byte(rng), byte(rng), byte(rng)); break;
        case 5: {
            const uint32_t g = byte(rng);
            p = C::rgb(g, g, g);
        } break;
        case 6: p = 0xAB000000u | mix(ink.Ink, ink.Paper, byte(rng) / 255.0); break;
        default: break; // paper
        }
    }
    return pic;
}

struct Scan {
    std::vector<ResultRow> rows;
    std::vector<int> progress;
    int32_t scanWidth = 0;
};

Scan engineScan(const TestPicture& pic, ScanSettings s, bool spread)
{
    Scan out;
    const ScanChecks checks = checkScan(s);
    out.scanWidth = s.ScanWidth;
    runColumnScan(
        pic.view(), s, checks, spread,
        {[&](const ResultRow& r) { out.rows.push_back(r); }, [&](int p) { out.progress.push_back(p); }, nullptr});
    return out;
}

ScanSettings randomSettings(std::mt19937& rng, int32_t w, int32_t h)
{
    const int thresholds[] = {-3, 0, 1, 2, 84, 127, 128, 170, 254, 255, 256, 400};
    ScanSettings s;
    s.ScanStartX = std::uniform_int_distribution<int>(-3, w - 1)(rng);
    s.ScanStartY = std::uniform_int_distribution<int>(-3, h - 1)(rng);
    s.ScanEndX = s.ScanStartX + std::uniform_int_distribution<int>(1, w + 4)(rng);
    s.ScanEndY = s.ScanStartY + std::uniform_int_distribution<int>(1, h + 4)(rng);
    s.ScanWidth = std::uniform_int_distribution<int>(1, 9)(rng);
    s.Threshold = thresholds[rng() % 12];
    s.WeightedX = rng() & 1;
    s.OriginX = std::uniform_int_distribution<int>(-1, w - 1)(rng);
    s.OriginY = std::uniform_int_distribution<int>(-1, h - 1)(rng);
    s.RefX = s.OriginX + std::uniform_int_distribution<int>(1, w)(rng);
    s.RefY = s.OriginY + std::uniform_int_distribution<int>(1, h)(rng);
    s.RealOriginX = std::uniform_real_distribution<double>(-100, 100)(rng);
    s.RealOriginY = (rng() % 4 == 0) ? 0 : std::uniform_real_distribution<double>(-1e3, 1e3)(rng);
    s.RealRefX = std::uniform_real_distribution<double>(-1e5, 1e5)(rng);
    s.RealRefY = std::uniform_real_distribution<double>(-1e-3, 1e7)(rng);
    const int32_t tolerances[] = {-1, 0, 1, 5, 40, 40, 100, 442};
    s.Ink = inkOf(rng() & 0xFFFFFF, (rng() % 3) ? 0xFFFFFF : rng() & 0xFFFFFF, tolerances[rng() % 8]);
    if (rng() % 20 == 0)
        s.Ink.Paper = s.Ink.Ink; // no line at all
    return s;
}

TEST(InkScanMatchesReference, OnRandomPicturesAndSettings)
{
    std::mt19937 rng(20260311);
    size_t rowsCompared = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        std::uniform_int_distribution<int> size(2, 70);
        const int32_t w = size(rng), h = size(rng);
        const ScanSettings s = randomSettings(rng, w, h);
        const TestPicture pic = inkPicture(rng, w, h, s.Ink);
        const bool spread = rng() & 1;
        const Scan got = engineScan(pic, s, spread);
        const ReferenceResult want = referenceScan(pic.view(), s, spread);
        const std::string name = "trial " + std::to_string(trial);
        ASSERT_EQ(got.scanWidth, want.scanWidth) << name;
        ASSERT_EQ(got.rows.size(), want.rows.size()) << name;
        for (size_t i = 0; i < want.rows.size(); ++i)
            ASSERT_TRUE(sameRow(got.rows[i], want.rows[i], spread)) << name << " row " << i;
        ASSERT_EQ(got.progress, want.progress) << name;
        rowsCompared += want.rows.size();
    }
    EXPECT_GT(rowsCompared, size_t(3000)); // the ink path was walked, not passed over
}

TEST(InkScanMatchesReference, AcrossBandsOfAWidePicture)
{
    std::mt19937 rng(9);
    const InkSettings ink = inkOf(C::rgb(30, 60, 190));
    TestPicture pic(9001, 6);
    for (int x = 0; x < pic.width; ++x) {
        pic.set(x, int(rng() % 6), mix(ink.Ink, 0xFFFFFF, (rng() % 256) / 255.0));
        pic.set(x, int(rng() % 6), C::rgb(200, 30, 30)); // another curve
    }
    for (int width : {1, 3, 4095, 5000}) {
        ScanSettings s = calibrated(10, 10, 10, 10, {1, 0, 9001, 6});
        s.ScanWidth = width;
        s.Threshold = 60;
        s.WeightedX = width % 2;
        s.Ink = ink;
        const Scan got = engineScan(pic, s, true);
        const ReferenceResult want = referenceScan(pic.view(), s, true);
        ASSERT_EQ(got.rows.size(), want.rows.size()) << width;
        for (size_t i = 0; i < want.rows.size(); ++i)
            ASSERT_TRUE(sameRow(got.rows[i], want.rows[i], true)) << width << " row " << i;
    }
}

// The counted mask of the whole area, as pairs (column, row from the top).
std::set<std::pair<int64_t, int64_t>> maskOf(const TestPicture& pic, const ScanSettings& s, int64_t chunkRows)
{
    std::set<std::pair<int64_t, int64_t>> out;
    const CountedArea a = countedArea(s);
    const int64_t top = int64_t(std::trunc(double(pic.height) - s.ScanEndY));
    std::vector<uint8_t> mask;
    for (int64_t r0 = 0; r0 < a.rows; r0 += chunkRows) {
        const int64_t r1 = std::min(a.rows, r0 + chunkRows);
        mask.assign(size_t((r1 - r0) * a.columns), 7);
        countedMask(pic.view(), s, a, r0, r1, mask.data());
        for (int64_t r = r0; r < r1; ++r)
            for (int64_t c = 0; c < a.columns; ++c)
                if (mask[size_t((r - r0) * a.columns + c)])
                    out.insert({a.left + c, top + r});
    }
    return out;
}

TEST(CountedMask, EqualsWhatTheScanCountsPixelForPixel)
{
    std::mt19937 rng(31);
    for (int trial = 0; trial < 600; ++trial) {
        std::uniform_int_distribution<int> size(2, 60);
        const int32_t w = size(rng), h = size(rng);
        ScanSettings s = randomSettings(rng, w, h);
        s.Ink.On = rng() & 1; // darkness too
        s.Smooth = rng() % 4 == 0 ? int32_t(rng() % 4) + 1 : 0;
        const TestPicture pic = inkPicture(rng, w, h, s.Ink);
        ScanSettings checked = s;
        if (checkScan(checked).stop != ScanStop::None)
            continue;
        const ReferenceResult want = referenceScan(pic.view(), s, false);
        const std::set<std::pair<int64_t, int64_t>> wanted(want.counted.begin(), want.counted.end());
        ASSERT_EQ(maskOf(pic, s, 1 + rng() % 7), wanted) << "trial " << trial;
    }
}

TEST(CountedMask, LeavesOutTheColumnsBeyondTheLastWholeStrip)
{
    TestPicture pic(30, 10, 0);                                 // all black
    ScanSettings s = calibrated(10, 10, 10, 10, {2, 1, 12, 9}); // A = 10, width 3: columns 2 .. 10
    s.ScanWidth = 3;
    s.Threshold = 128;
    const CountedArea a = countedArea(s);
    EXPECT_EQ(a.left, 2);
    EXPECT_EQ(a.columns, 9);
    EXPECT_EQ(a.rows, 8);
    EXPECT_EQ(maskOf(pic, s, 3).size(), size_t(9 * 8));
    s.ScanEndY = s.ScanStartY; // flat: nothing
    EXPECT_EQ(countedArea(s).columns, 0);
}

} // namespace
} // namespace plotrun::test

namespace plotrun::test {
namespace {

TEST(PickInk, TakesTheMostInkLikePixelNearTheClick)
{
    TestPicture pic(9, 9);
    const uint32_t ink = TestPicture::rgb(30, 60, 200);
    pic.set(4, 3, mix(ink, 0xFFFFFF, 0.4)); // anti-aliased edge under the click
    pic.set(4, 4, mix(ink, 0xFFFFFF, 0.7));
    pic.set(5, 5, ink); // the line's core, one pixel off
    pic.set(0, 0, 0);   // black, but too far away
    EXPECT_EQ(mostInkLike(pic.view(), 4, 3, 2, 0xFFFFFF), ink);
    EXPECT_EQ(mostInkLike(pic.view(), 4, 3, 0, 0xFFFFFF), mix(ink, 0xFFFFFF, 0.4));
    EXPECT_EQ(mostInkLike(pic.view(), 40, 40, 2, 0xFFFFFF), 0xFFFFFFu); // outside
}

} // namespace
} // namespace plotrun::test
