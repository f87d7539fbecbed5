// The same picture scans the same, bit for bit, whether its pixels are held
// as 32-bit pixels (red low or blue low), as the 24-bit rows of a BMP file (top down or bottom up,
// with their padding), or read through a feed a few rows at a time; and a
// large band shared among threads gives what one thread gives. The counted
// pixels, as a list or as runs, are the same too; smoothing alike.
#include "ColumnScan.h"
#include "CurveFollow.h"
#include "MarkSnap.h"
#include "ReferenceScan.h"
#include "Threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

namespace plotrun::test {
namespace {

// The picture as an uncompressed 24-bit BMP file holds its rows: blue first,
// each row padded to four bytes, the bottom row first unless top down.
struct Bgr24Rows {
    int32_t width = 0, height = 0;
    std::ptrdiff_t rowBytes = 0;
    bool topDown = false;
    std::vector<uint8_t> bytes;

    Bgr24Rows(const TestPicture& pic, bool topDownRows)
        : width(pic.width), height(pic.height), rowBytes((pic.width * 3 + 3) / 4 * 4), topDown(topDownRows),
          bytes(size_t(rowBytes) * pic.height, 0xA5) // padding that no scan may read
    {
        for (int32_t r = 0; r < height; ++r)
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t c = pic.pixels[size_t(r) * width + x];
                uint8_t* p = fileRow(r) + 3 * x;
                p[0] = uint8_t(c >> 16);
                p[1] = uint8_t(c >> 8);
                p[2] = uint8_t(c);
            }
    }

    uint8_t* fileRow(int32_t r) { return bytes.data() + (topDown ? r : height - 1 - r) * rowBytes; }
    const uint8_t* fileRow(int32_t r) const { return bytes.data() + (topDown ? r : height - 1 - r) * rowBytes; }

    PixelView view() const
    {
        PixelView v;
        v.width = width;
        v.height = height;
        v.layout = PixelLayout::Bgr24;
        v.bytes = fileRow(0);
        v.rowBytes = topDown ? rowBytes : -rowBytes;
        return v;
    }
};

// Hands out the rows of a Bgr24Rows a few at a time, as a file would.
class MemoryFeed : public RowFeed {
public:
    MemoryFeed(const Bgr24Rows& rows, int32_t chunk, int32_t failAt = -1) : rows_(rows), chunk_(chunk), failAt_(failAt)
    {
    }

    PixelView rows(int32_t first, int32_t end, std::vector<uint8_t>& buffer) const override
    {
        if (first < 0 || first >= end || end > rows_.height)
            throw std::logic_error("rows " + std::to_string(first) + " to " + std::to_string(end) + " asked for");
        if (failAt_ >= 0 && first + chunk_ > failAt_)
            throw std::runtime_error("the file was cut short");
        const int32_t n = std::min(chunk_, end - first);
        // Copied, as read from a file: the view points into the buffer only.
        buffer.assign(size_t(n) * rows_.rowBytes, 0);
        for (int32_t i = 0; i < n; ++i)
            std::copy_n(rows_.fileRow(first + i), rows_.rowBytes, buffer.data() + i * rows_.rowBytes);
        PixelView v = rows_.view();
        v.bytes = buffer.data();
        v.rowBytes = rows_.rowBytes;
        v.firstRow = first;
        v.endRow = first + n;
        return v;
    }

    PixelView view() const
    {
        PixelView v;
        v.width = rows_.width;
        v.height = rows_.height;
        v.layout = PixelLayout::Bgr24;
        v.endRow = 0;
        v.feed = this;
        return v;
    }

private:
    const Bgr24Rows& rows_;
    int32_t chunk_, failAt_;
};

struct Scan {
    std::vector<ResultRow> rows;
    std::vector<int> progress;
};

Scan engineScan(const PixelView& view, ScanSettings s, bool spread, int threads = kMostThreadsPerPicture)
{
    Scan out;
    const ScanChecks checks = checkScan(s);
    if (checks.stop != ScanStop::None)
        return out;
    runColumnScan(view, s, checks, spread,
                  {[&](const ResultRow& r) { out.rows.push_back(r); }, [&](int p) { out.progress.push_back(p); },
                   nullptr, threads});
    return out;
}

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

void expectSameScan(const Scan& got, const Scan& want, const std::string& what)
{
    ASSERT_EQ(got.rows.size(), want.rows.size()) << what;
    for (size_t i = 0; i < want.rows.size(); ++i) {
        const ResultRow &a = got.rows[i], &b = want.rows[i];
        ASSERT_TRUE(a.number == b.number && bits(a.bitmapX) == bits(b.bitmapX) && bits(a.bitmapY) == bits(b.bitmapY) &&
                    bits(a.realX) == bits(b.realX) && bits(a.realY) == bits(b.realY) && bits(a.sdev) == bits(b.sdev) &&
                    a.hasSdevY == b.hasSdevY && bits(a.sdevY) == bits(b.sdevY) && a.runCount == b.runCount)
            << what << " row " << i;
    }
    ASSERT_EQ(got.progress, want.progress) << what;
}

TestPicture randomPicture(std::mt19937& rng, int32_t w, int32_t h, uint32_t ink, uint32_t paper)
{
    TestPicture pic(w, h, paper);
    std::uniform_int_distribution<uint32_t> byte(0, 255);
    for (auto& p : pic.pixels) {
        switch (rng() % 12) {
        case 0: p = 0; break;
        case 1: p = ink; break;
        case 2: p = TestPicture::rgb(byte(rng), byte(rng), byte(rng)); break;
        case 3: {
            const uint32_t g = byte(rng);
            p = TestPicture::rgb(g, g, g);
        } break;
        case 4: p = 0xFFFFFF; break;
        default: break; // paper
        }
    }
    return pic;
}

ScanSettings randomSettings(std::mt19937& rng, int32_t w, int32_t h)
{
    const int thresholds[] = {-3, 0, 1, 2, 84, 128, 170, 255, 256};
    ScanSettings s;
    s.ScanStartX = std::uniform_int_distribution<int>(-3, w - 1)(rng);
    s.ScanStartY = std::uniform_int_distribution<int>(-3, h - 1)(rng);
    s.ScanEndX = s.ScanStartX + std::uniform_int_distribution<int>(1, w + 4)(rng);
    s.ScanEndY = s.ScanStartY + std::uniform_int_distribution<int>(1, h + 4)(rng);
    s.ScanWidth = std::uniform_int_distribution<int>(1, 9)(rng);
    s.Threshold = thresholds[rng() % 9];
    s.WeightedX = rng() & 1;
    s.OriginX = 0;
    s.OriginY = 0;
    s.RefX = w;
    s.RefY = h;
    s.RealRefX = 10;
    s.RealRefY = std::uniform_real_distribution<double>(-1e3, 1e3)(rng);
    s.RealOriginY = (rng() % 3 == 0) ? 0 : std::uniform_real_distribution<double>(-50, 50)(rng);
    if (rng() % 3 == 0) {
        s.Ink.On = true;
        s.Ink.Ink = rng() & 0xFFFFFF;
        s.Ink.Paper = (rng() % 2) ? 0xFFFFFF : rng() & 0xFFFFFF;
        s.Ink.Tolerance = int32_t(rng() % 120);
    }
    if (rng() % 5 == 0) {
        s.Follow.On = rng() & 1;
        s.Follow.RemoveLines = !s.Follow.On || (rng() & 1);
    }
    if (rng() % 4 == 0)
        s.Smooth = int32_t(rng() % 5) + 1;
    return s;
}

// The whole picture as the area, one real unit across each axis.
ScanSettings wholePicture(int32_t w, int32_t h)
{
    ScanSettings s;
    s.OriginX = 0;
    s.OriginY = 0;
    s.RefX = w;
    s.RefY = h;
    s.RealRefX = 1;
    s.RealRefY = 1;
    s.ScanEndX = w;
    s.ScanEndY = h;
    s.ScanWidth = 1;
    s.Threshold = 128;
    return s;
}

// A picture as a Python array of H x W x 3 bytes holds it: red first.
struct RedFirst {
    std::vector<uint8_t> bytes;
    PixelView view;

    explicit RedFirst(const TestPicture& pic) : bytes(pic.pixels.size() * 3), view(pic.view())
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t(pic.pixels[i / 3] >> (8 * (i % 3)));
        view.pixels = nullptr;
        view.layout = PixelLayout::Rgb24;
        view.bytes = bytes.data();
        view.rowBytes = 3 * std::ptrdiff_t(pic.width);
    }
};

TEST(PixelLayouts, ScanTheSameOnRandomPicturesAndSettings)
{
    std::mt19937 rng(20261208);
    size_t rowsCompared = 0;
    for (int trial = 0; trial < 900; ++trial) {
        std::uniform_int_distribution<int> size(2, 70);
        const int32_t w = size(rng), h = size(rng);
        const ScanSettings s = randomSettings(rng, w, h);
        const TestPicture pic = randomPicture(rng, w, h, s.Ink.Ink, s.Ink.On ? s.Ink.Paper : 0xFFFFFF);
        const bool spread = rng() & 1;
        const std::string name = "trial " + std::to_string(trial);

        const Scan want = engineScan(pic.view(), s, spread);
        ScanSettings checked = s;
        if (!s.Follow.active() && checkScan(checked).stop == ScanStop::None) {
            const ReferenceResult literal = referenceScan(pic.view(), s, spread);
            expectSameScan(want, {literal.rows, literal.progress}, name + " against the literal scan");
        }
        // As Qt holds an opaque picture: blue in the low byte.
        std::vector<uint32_t> bgrx(pic.pixels.size());
        std::transform(pic.pixels.begin(), pic.pixels.end(), bgrx.begin(),
                       [](uint32_t c) { return PixelView::swapRedBlue(c) | 0xFF000000u; });
        PixelView qt = pic.view();
        qt.pixels = bgrx.data();
        qt.layout = PixelLayout::Bgrx32;
        expectSameScan(engineScan(qt, s, spread), want, name + " blue low");
        const RedFirst array(pic);
        expectSameScan(engineScan(array.view, s, spread), want, name + " red first");
        for (const bool topDown : {false, true}) {
            const Bgr24Rows rows(pic, topDown);
            expectSameScan(engineScan(rows.view(), s, spread), want, name + " in place");
            const int32_t chunk = int32_t(rng() % 5) + 1;
            const MemoryFeed feed(rows, chunk);
            expectSameScan(engineScan(feed.view(), s, spread), want,
                           name + " fed " + std::to_string(chunk) + " rows at a time");
        }
        rowsCompared += want.rows.size();
    }
    EXPECT_GT(rowsCompared, size_t(2000));
}

// In ink mode a block of the paper's colour is passed over at once; a block
// of its mirror, red and blue swapped, is no paper and counts.
TEST(PixelLayouts, RedFirstRowsTellThePaperFromItsMirror)
{
    ScanSettings s = wholePicture(64, 6);
    s.Ink.On = true;
    s.Ink.Ink = 0;
    s.Ink.Paper = TestPicture::rgb(250, 240, 120);
    s.Ink.Tolerance = InkSettings::kMaxTolerance;
    s.Threshold = 1;
    const TestPicture pic(64, 6, PixelView::swapRedBlue(s.Ink.Paper));
    const Scan want = engineScan(pic.view(), s, true);
    ASSERT_EQ(want.rows.size(), size_t(64));
    EXPECT_TRUE(std::isfinite(want.rows[0].realY));
    expectSameScan(engineScan(RedFirst(pic).view, s, true), want, "the paper's mirror");
}

// The runs that line removal reads: the counted pixels, each run of them
// spelt out, must be countedPixels' list itself.
std::vector<CountedPixel> spelt(const CountedRuns& runs)
{
    std::vector<CountedPixel> out;
    size_t pixel = 0;
    for (size_t i = 0; i + 1 < runs.rowRun.size(); ++i)
        for (size_t k = runs.rowRun[i]; k < runs.rowRun[i + 1]; ++k)
            for (int32_t x = runs.runs[k].x; x < runs.runs[k].x + runs.runs[k].n; ++x)
                out.push_back({x, runs.top + int32_t(i), runs.weights[pixel++]});
    EXPECT_EQ(pixel, runs.weights.size());
    return out;
}

void expectSamePixels(const std::vector<CountedPixel>& got, const std::vector<CountedPixel>& want,
                      const std::string& name)
{
    ASSERT_EQ(got.size(), want.size()) << name;
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_TRUE(got[i].x == want[i].x && got[i].r == want[i].r && got[i].w == want[i].w) << name << " " << i;
}

// The counted pixels view and line removal count the pixels that the scan
// counts, in every layout; line removal's runs spell out the same list.
TEST(PixelLayouts, CountTheSamePixelsAndRunsInEveryLayout)
{
    std::mt19937 rng(47);
    for (int trial = 0; trial < 300; ++trial) {
        const int32_t w = int32_t(rng() % 60) + 2, h = int32_t(rng() % 60) + 2;
        ScanSettings s = randomSettings(rng, w, h);
        const TestPicture pic = randomPicture(rng, w, h, s.Ink.Ink, s.Ink.On ? s.Ink.Paper : 0xFFFFFF);
        const CountedArea area = countedArea(s);
        const auto want = countedPixels(pic.view(), s, area);
        const Bgr24Rows rows(pic, rng() & 1);
        const MemoryFeed feed(rows, 3);
        for (const PixelView& v : {pic.view(), rows.view(), feed.view()}) {
            expectSamePixels(countedPixels(v, s, area), want, "pixels, trial " + std::to_string(trial));
            const CountedRuns got = countedRuns(v, s, area);
            ASSERT_EQ(got.rowRun.size(), size_t(area.rows + (area.columns > 0 ? 1 : 0))) << trial;
            expectSamePixels(spelt(got), want, "runs, trial " + std::to_string(trial));
        }
    }
    // Large enough to be read by a few threads, each a run of rows: dark
    // everywhere, nowhere, in the upper half, or in a few pixels; the area
    // reaching beyond the picture.
    for (const int pattern : {0, 1, 2, 3}) {
        TestPicture pic(2100, 2100);
        for (size_t i = 0; i < pic.pixels.size(); ++i) {
            const bool dark =
                pattern == 0 || (pattern == 2 && i < pic.pixels.size() / 2) || (pattern == 3 && rng() % 100 == 0);
            pic.pixels[i] = dark ? TestPicture::rgb(rng() % 120, rng() % 120, rng() % 120) : 0xFFFFFFu;
        }
        ScanSettings s = wholePicture(2100, 2100);
        s.ScanStartX = 5;
        s.ScanStartY = -7;
        s.ScanEndX = 2098;
        s.ScanEndY = 2111;
        s.ScanWidth = 2;
        const CountedArea area = countedArea(s);
        const auto want = countedPixels(pic.view(), s, area);
        for (const int limit : {1, 4}) {
            expectSamePixels(spelt(countedRuns(pic.view(), s, area, limit)), want,
                             "pattern " + std::to_string(pattern) + ", " + std::to_string(limit) + " threads at most");
        }
    }
}

// Snapping reads the rows around each mark from a feed that hands them out
// one at a time as from one that holds the picture whole.
TEST(PixelLayouts, MarksSnapAlikeFromAFeedOfSingleRows)
{
    TestPicture pic(80, 60);
    for (int32_t r = 0; r < 60; ++r)
        for (int32_t x = 0; x < 80; ++x) {
            const bool line = r == 40 || r == 41 || x == 20 || x == 21 || (x == 60 && r >= 36 && r < 46);
            pic.pixels[size_t(r) * 80 + size_t(x)] = line ? 0x000000u : 0xFFFFFFu;
        }
    ScanSettings s = wholePicture(80, 60);
    s.OriginX = 18; // two pixels off the crossing of the axes, at bitmap y 19.5
    s.OriginY = 17;
    s.RefX = 62; // beside the tick on the x axis
    s.RefY = 17;
    ScanSettings whole = s;
    const int moved = snapMarks(pic.view(), whole);
    ASSERT_GT(moved, 0);
    const Bgr24Rows rows(pic, false);
    const MemoryFeed feed(rows, 1);
    ScanSettings fed = s;
    EXPECT_EQ(snapMarks(feed.view(), fed), moved);
    EXPECT_EQ(fed, whole);
}

TEST(PixelLayouts, ALargeBandSharedAmongThreadsEqualsTheLiteralScan)
{
    // Large enough for the first pass to be shared among threads, with the
    // dark pixels few enough to be kept, then too many to be kept.
    // The third picture is dark in its lower half only: the first run of
    // rows is kept and the second read anew.
    std::mt19937 rng(5);
    for (const auto& [top, bottom] : {std::pair{3, 3}, std::pair{400, 400}, std::pair{3, 400}}) {
        TestPicture pic(2100, 2100);
        for (size_t i = 0; i < pic.pixels.size(); ++i)
            if (int(rng() % 1000) < (i < pic.pixels.size() / 2 ? top : bottom))
                pic.pixels[i] = TestPicture::rgb(rng() % 200, rng() % 200, rng() % 200);
        ScanSettings s = wholePicture(2100, 2100);
        s.RealRefY = 7;
        s.RealOriginY = -2;
        s.ScanStartX = 3;
        s.ScanStartY = 1;
        s.ScanEndX = 2099;
        s.ScanWidth = 3;
        s.Threshold = 100;
        s.WeightedX = true;
        const ReferenceResult want = referenceScan(pic.view(), s, true);
        // Alone, and shared among as many threads as the machine allows.
        for (const int limit : {1, 4}) {
            const Scan got = engineScan(pic.view(), s, true, limit);
            expectSameScan(got, {want.rows, want.progress},
                           std::to_string(top) + " and " + std::to_string(bottom) + " per mille dark, " +
                               std::to_string(limit) + " threads at most");
        }
    }
}

// The rows of a MemoryFeed, with the threads that asked for them.
class ThreadCountingFeed : public MemoryFeed {
public:
    using MemoryFeed::MemoryFeed;

    PixelView rows(int32_t first, int32_t end, std::vector<uint8_t>& buffer) const override
    {
        {
            const std::lock_guard lock(mutex_);
            threads_.insert(std::this_thread::get_id());
        }
        return MemoryFeed::rows(first, end, buffer);
    }
    size_t threads() const { return threads_.size(); }

private:
    mutable std::mutex mutex_;
    mutable std::set<std::thread::id> threads_;
};

// A batch gives each picture its share of the cores through the scan call:
// the picture's rows are read by no more threads than that.
TEST(PixelLayouts, TheThreadLimitOfTheScanCallCapsTheThreadsThatReadThePicture)
{
    std::mt19937 rng(8);
    TestPicture pic(2100, 2100);
    for (uint32_t& p : pic.pixels)
        if (rng() % 100 == 0)
            p = 0;
    const Bgr24Rows rows(pic, false);
    ScanSettings s = wholePicture(2100, 2100);
    s.Threshold = 100;
    // The band holds about two shares of pixels.
    for (const int limit : {1, 2, 4}) {
        const ThreadCountingFeed feed(rows, 64);
        engineScan(feed.view(), s, false, limit);
        EXPECT_EQ(feed.threads(), size_t(std::min(2, threadsPerPicture(limit)))) << limit << " threads at most";
    }
    EXPECT_EQ(threadsPerPicture(1), 1);
    EXPECT_EQ(threadsPerPicture(0), 1);
    EXPECT_LE(threadsPerPicture(1000), kMostThreadsPerPicture);
}

TEST(PixelLayouts, ARowThatCannotBeReadStopsTheScanWithTheFeedsError)
{
    TestPicture pic(40, 300);
    for (int32_t x = 0; x < 40; ++x)
        pic.set(x, 150, 0);
    const Bgr24Rows rows(pic, false);
    const ScanSettings s = wholePicture(40, 300);
    for (const int32_t failAt : {0, 10, 299}) {
        const MemoryFeed feed(rows, 4, failAt);
        EXPECT_THROW(engineScan(feed.view(), s, true), std::runtime_error) << failAt;
    }
}

} // namespace
} // namespace plotrun::test
