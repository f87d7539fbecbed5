#pragma once
// Round real values along an axis, for a grid drawn over the picture to
// check the calibration against the chart's own grid.

#include "Calibration.h"
#include "ChartMap.h"

#include <vector>

namespace plotrun {

struct GridValue {
    double real = 0;   // the round value
    double bitmap = 0; // where the calibration puts it, fractional
};

// The round values between the real values of the bitmap coordinates `from`
// and `to`, at most about `room` of them (the lines that fit side by side):
// steps of 1, 2 or 5 x 10^k on a linear axis; on a logarithmic one the
// decades (every n-th when they are many), with 2 and 5 between them when
// there is room for those too. Empty when the axis is not usable.
std::vector<GridValue> gridValues(const AxisMap& map, double from, double to, double room);

// The same along one axis of the chart map: from bitmap x `from` to `to`,
// or from bitmap y `from` to `to`.
enum class ChartAxis { X, Y };
std::vector<GridValue> gridValues(const ChartMap& map, ChartAxis axis, double from, double to, double room);

} // namespace plotrun
