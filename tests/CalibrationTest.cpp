// The mapping from bitmap to real coordinates.
#include "Calibration.h"
#include "WorkedExample.h"

#include <gtest/gtest.h>

namespace plotrun {
namespace {

// Origin at bitmap (50, 40) with real (0, 0), X1 at x 250 with real 10, Y1 at
// y 240 with real 100.
ScanSettings workedExample() { return test::workedExampleSettings(); }

TEST(Calibration, MapsTheWorkedExample)
{
    const ScanSettings s = workedExample();
    EXPECT_EQ(AxisMap::forX(s).toReal(150), 5);
    EXPECT_EQ(AxisMap::forY(s).toReal(140), 50);
    EXPECT_EQ(AxisMap::forX(s).toReal(50), 0);
}

TEST(Calibration, TheOriginMapsExactlyAndTheLineExtrapolates)
{
    ScanSettings s = workedExample();
    s.RealOriginX = 0.1;
    s.RealRefX = 0.7;
    EXPECT_EQ(AxisMap::forX(s).toReal(50), 0.1);
    EXPECT_DOUBLE_EQ(AxisMap::forX(s).toReal(250), 0.7);
    EXPECT_DOUBLE_EQ(AxisMap::forX(s).toReal(450), 1.3);
    EXPECT_DOUBLE_EQ(AxisMap::forX(s).toReal(-150), -0.5);
}

TEST(Calibration, AnAxisRunningTheOtherWayDecreases)
{
    ScanSettings s = workedExample();
    s.RealOriginX = 10;
    s.RealRefX = 0;
    EXPECT_EQ(AxisMap::forX(s).toReal(150), 5);
    EXPECT_LT(AxisMap::forX(s).toReal(200), AxisMap::forX(s).toReal(150));
}

TEST(Calibration, ExtendedPrecisionDiffersFromPlainDoubles)
{
    // 0.1 * 3 in doubles is 0.30000000000000004; through the extended
    // intermediates the scale times the distance rounds to 0.3.
    const AxisMap m(0, 10, 0, 1);
    EXPECT_EQ(m.toReal(3), 0.3);
}

TEST(Calibration, RowsCountFromTheTop)
{
    EXPECT_EQ(bitmapYOfRow(0, 480), 480);
    EXPECT_EQ(bitmapYOfRow(479, 480), 1);
}

} // namespace
} // namespace plotrun
