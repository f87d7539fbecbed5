// Smoothing: the copy that the scan reads, against the mean read literally,
// however many threads share it; and a copy too large for the memory is
// refused before a pixel is read.
#include "ColumnScan.h"
#include "ReferenceScan.h"
#include "Smoothing.h"

#include <gtest/gtest.h>

#include <random>

namespace plotrun::test {
namespace {

TEST(Smoothing, SharedAmongThreadsEqualsTheMeanReadLiterally)
{
    // Large enough for four shares of rows; the area reaches beyond the
    // picture on the left and at the top.
    std::mt19937 rng(23);
    TestPicture pic(3000, 3000);
    for (uint32_t& p : pic.pixels)
        p = rng() % 3 == 0 ? rng() & 0xFFFFFF : 0xFFFFFF;
    const int64_t top = -4, rows = 2990, left = -2, columns = 2995;
    for (const int32_t radius : {1, 4}) {
        const SmoothedPicture alone(pic.view(), radius, top, rows, left, columns, 1);
        const SmoothedPicture shared(pic.view(), radius, top, rows, left, columns, 4);
        for (int64_t r = 0; r < top + rows; ++r)
            for (int64_t x = 0; x < left + columns; ++x)
                ASSERT_EQ(shared.view().colourAt(x, r), alone.view().colourAt(x, r)) << x << "," << r;
        for (int i = 0; i < 3000; ++i) {
            const int64_t x = rng() % (left + columns), r = rng() % (top + rows);
            ASSERT_EQ(alone.view().colourAt(x, r), smoothedColour(pic.view(), x, r, radius))
                << "radius " << radius << " at " << x << "," << r;
        }
        EXPECT_EQ(alone.view().colourAt(5, top + rows), PixelView::kOutsidePixel); // below the area's rows
    }
}

TEST(Smoothing, ACopyLargerThanTheFreeMemoryIsRefusedBeforeAPixelIsRead)
{
    // A view that claims 200000 x 200000 pixels and holds none.
    PixelView huge;
    huge.width = huge.height = 200000;
    huge.stride = huge.width;
    ScanSettings s;
    s.RefX = s.RefY = 10;
    s.ScanEndX = s.ScanEndY = 200000;
    s.Smooth = 2;
    const ScanChecks checks = checkScan(s);
    try {
        runColumnScan(huge, s, checks, false, {});
        ADD_FAILURE() << "no refusal";
    } catch (const SmoothingMemoryError& e) {
        const std::string text = e.what();
        // 152588 MB for the copy, and a little for each thread's sums.
        EXPECT_EQ(text.rfind("Smoothing needs 1526", 0), 0u) << text;
        EXPECT_NE(text.find(" MB of memory for its copy of the scan area, more than is free ("), std::string::npos)
            << text;
        EXPECT_NE(text.find(" MB). Choose a smaller area or radius."), std::string::npos) << text;
    }
}

} // namespace
} // namespace plotrun::test
