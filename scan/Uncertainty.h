#pragma once
// The standard uncertainty of each point's real x and real y, from what the
// scan knows: where the marks may lie, the pixel grid, and how much the points
// scatter about their neighbours. Worked out in the chart's frame, in pixels,
// and carried to real units through the chart map, so that it holds on a
// logarithmic axis and in every calibration kind.
//
// In frame pixels, for a point at fraction t of the way from the origin to
// the reference along an axis:
//   marks     m(t) = sigma_mark * sqrt((1 - t)^2 + t^2), sigma_mark the
//             standard deviation of a click, 1/sqrt(12) (uniform within half a
//             pixel), or the fit's rms residual when more points than the
//             kind needs were fitted and it is larger;
//   grid      g = 1/sqrt(12), the position of a pixel within itself;
//   scatter   s, the rms of the points' second differences over the six
//             strips on each side, divided by sqrt(1.5) (the second
//             difference of independent errors has 1.5 times their variance);
//             for a point without neighbours, its own SDEV in pixels;
//   slope     k, the curve's slope dy/dx in frame pixels, from the points two
//             strips on each side.
//   u_x = sqrt(m(t_x)^2 + g^2)
//   u_y = sqrt(m(t_y)^2 + g^2 + s^2 + (k u_x)^2)
// each then times the size of one frame pixel in real units at the point.

#include "ScanSettings.h"
#include "ScanTypes.h"

#include <string>
#include <string_view>
#include <vector>

namespace plotrun {

// The standard deviation of a position known to within half a pixel.
inline constexpr double kPixelGridSigma = 0.28867513459481287; // 1 / sqrt(12)

struct UncertaintyTerms {
    double marks = kPixelGridSigma; // sigma_mark, in picture pixels
    double grid = kPixelGridSigma;
};
UncertaintyTerms uncertaintyTerms(const ScanSettings& settings);

// Fills ux, uy and scatter of every row, in strip order.
void placeUncertainties(std::vector<ResultRow>& rows, const ScanSettings& settings);

// "U [px]:", "marks", sigma_mark, "pixel grid", g, "scatter (median)", the
// median scatter: the header block's line when an uncertainty is asked for.
std::vector<std::string> uncertaintyHeaderCells(const ScanSettings& settings, double medianScatter,
                                                std::string_view decimalSeparator);

} // namespace plotrun
