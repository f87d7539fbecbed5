// The round values of the calibration grid.
#include "GridValues.h"

#include <gtest/gtest.h>

#include <cmath>

namespace plotrun {
namespace {

std::vector<double> reals(const std::vector<GridValue>& g)
{
    std::vector<double> out;
    for (const GridValue& v : g)
        out.push_back(v.real);
    return out;
}

TEST(GridValues, LinearStepsAreOneTwoOrFiveTimesAPowerOfTen)
{
    const AxisMap m(0, 100, 0, 10); // 0 .. 10 over 100 pixels
    EXPECT_EQ(reals(gridValues(m, 0, 100, 10)), (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(reals(gridValues(m, 0, 100, 5)), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(reals(gridValues(m, 0, 100, 2)), (std::vector<double>{0, 5, 10}));
    const AxisMap small(0, 100, -0.013, 0.021);
    for (const GridValue& v : gridValues(small, 0, 100, 8)) {
        const double steps = v.real / 0.005;
        EXPECT_NEAR(steps, std::round(steps), 1e-9) << v.real;
    }
}

TEST(GridValues, EachValueSitsWhereTheCalibrationPutsIt)
{
    const AxisMap m(50, 250, 0, 100);
    for (const GridValue& v : gridValues(m, 0, 480, 12))
        EXPECT_NEAR(m.toReal(v.bitmap), v.real, 1e-9);
}

TEST(GridValues, LogAxesGiveDecadesWithTwoAndFiveWhenThereIsRoom)
{
    const AxisMap m(0, 300, 1, 1000, true); // three decades
    EXPECT_EQ(reals(gridValues(m, 0, 300, 4)), (std::vector<double>{1, 10, 100, 1000}));
    EXPECT_EQ(reals(gridValues(m, 0, 300, 12)), (std::vector<double>{1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}));
    for (const GridValue& v : gridValues(m, 0, 300, 12))
        EXPECT_NEAR(m.toReal(v.bitmap), v.real, 1e-12 * v.real);
}

TEST(GridValues, ManyDecadesAreThinnedOut)
{
    const AxisMap m(0, 100, 1e-50, 1e50, true);
    const std::vector<double> r = reals(gridValues(m, 0, 100, 10));
    ASSERT_GE(r.size(), 5u);
    EXPECT_LE(r.size(), 11u);
    for (double v : r)
        EXPECT_NEAR(std::remainder(std::log10(v), 10.0), 0, 1e-9) << v;
}

TEST(GridValues, NothingForAnAxisThatCannotBeMapped)
{
    EXPECT_TRUE(gridValues(AxisMap(0, 10, 0, 10, true), 0, 100, 10).empty());
    EXPECT_TRUE(gridValues(AxisMap(5, 5, 0, 10), 0, 100, 10).empty());
    EXPECT_TRUE(gridValues(AxisMap(0, 10, 0, 10), 0, 100, 0).empty());
}

// The views over the picture reach the grid through the chart map: each of
// its axes gives the values of that axis's own map, bit for bit.
TEST(GridValues, EachAxisOfTheChartMapGivesTheValuesOfItsAxisMap)
{
    ScanSettings s;
    s.OriginX = 40;
    s.RefX = 560;
    s.RealOriginX = -3;
    s.RealRefX = 17;
    s.OriginY = 30;
    s.RefY = 330;
    s.RealOriginY = 1;
    s.RealRefY = 1000;
    s.LogY = true;
    const ChartMap map(s);
    const auto same = [](const std::vector<GridValue>& a, const std::vector<GridValue>& b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].real != b[i].real || a[i].bitmap != b[i].bitmap)
                return false;
        return true;
    };
    for (const double room : {2.0, 7.0, 12.0}) {
        EXPECT_TRUE(same(gridValues(map, ChartAxis::X, 0, 600, room), gridValues(AxisMap::forX(s), 0, 600, room)));
        EXPECT_TRUE(same(gridValues(map, ChartAxis::Y, 0, 400, room), gridValues(AxisMap::forY(s), 0, 400, room)));
    }
    EXPECT_FALSE(gridValues(map, ChartAxis::Y, 0, 400, 12).empty());
    s.RealOriginY = 0; // no logarithm of 0
    EXPECT_TRUE(gridValues(ChartMap(s), ChartAxis::Y, 0, 400, 12).empty());
    EXPECT_FALSE(gridValues(ChartMap(s), ChartAxis::X, 0, 600, 12).empty());
}

} // namespace
} // namespace plotrun
