// The mapping from bitmap to real coordinates.
#include "Calibration.h"
#include "WorkedExample.h"

#include <cmath>

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

namespace plotrun {
namespace {

// Bitmap 100 is 1, bitmap 400 is 1000: 100 pixels a decade.
const AxisMap kLogMap(100, 400, 1, 1000, true);

TEST(LogCalibration, MapsBitmapCoordinatesToDecades)
{
    EXPECT_DOUBLE_EQ(kLogMap.toReal(100), 1);
    EXPECT_DOUBLE_EQ(kLogMap.toReal(200), 10);
    EXPECT_DOUBLE_EQ(kLogMap.toReal(250), std::sqrt(1000.0));
    EXPECT_DOUBLE_EQ(kLogMap.toReal(400), 1000);
    EXPECT_DOUBLE_EQ(kLogMap.toReal(0), 0.1); // extrapolated below the origin
    EXPECT_TRUE(kLogMap.logarithmic());
}

TEST(LogCalibration, ADecreasingLogAxisWorksToo)
{
    const AxisMap m(0, 50, 1e5, 1e-5, true); // ten decades down
    EXPECT_DOUBLE_EQ(m.toReal(25), 1);
    EXPECT_LT(m.toReal(30), m.toReal(29));
}

TEST(LogCalibration, BitmapToRealToBitmapComesBackOnBothScales)
{
    const AxisMap linear(50, 250, -3, 7.5);
    for (const AxisMap& m : {linear, kLogMap, AxisMap(3, 97, 2e-7, 5e9, true)}) {
        for (double b = -20; b <= 500; b += 0.75) {
            const double back = m.toBitmap(m.toReal(b));
            EXPECT_NEAR(back, b, 1e-9 * (1 + std::abs(b))) << "at " << b;
        }
    }
}

TEST(LogCalibration, RealToBitmapToRealComesBackOnBothScales)
{
    for (double v : {1e-3, 0.5, 1.0, 2.0, 37.5, 999.0, 1e6}) {
        EXPECT_NEAR(kLogMap.toReal(kLogMap.toBitmap(v)), v, v * 1e-12) << v;
        const AxisMap linear(50, 250, -3, 7.5);
        EXPECT_NEAR(linear.toReal(linear.toBitmap(v)), v, 1e-9 * v) << v;
    }
}

TEST(LogCalibration, RealValuesOfZeroOrBelowMakeNoUsableLogAxis)
{
    EXPECT_TRUE(kLogMap.usable());
    EXPECT_FALSE(AxisMap(0, 10, 0, 10, true).usable());
    EXPECT_FALSE(AxisMap(0, 10, 1, -10, true).usable());
    EXPECT_FALSE(AxisMap(0, 10, -1, 10, true).usable());
    EXPECT_TRUE(AxisMap(0, 10, 0, 10).usable()); // linear: 0 is a value like any
    EXPECT_FALSE(AxisMap(5, 5, 0, 10).usable()); // no distance between the marks
    EXPECT_FALSE(std::isfinite(kLogMap.toBitmap(0)));
}

TEST(LogCalibration, TheLinearMapIsTheSameWithTheLogFlagOff)
{
    const AxisMap a(50, 250, 0.1, 0.7), b(50, 250, 0.1, 0.7, false);
    for (double x = -100; x < 600; x += 1.25)
        EXPECT_EQ(a.toReal(x), b.toReal(x));
}

} // namespace
} // namespace plotrun
