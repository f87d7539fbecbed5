#pragma once
// A chart as users bring them: drawn with QPainter, anti-aliased, with a grey
// grid, a black frame, tick labels, a title inside the plot, and two curves
// of different colours that cross. The curves are known functions, so a scan
// can be judged against them.

#include "ScanSettings.h"

#include <QColor>
#include <QImage>

#include <cmath>
#include <functional>

namespace plotrun::test {

struct InkChart {
    // Real x runs 0 to 10 across the plot, real y 0 to 1 up it.
    static double sigmoid(double x) { return 0.09 + 0.81 / (1 + std::exp(-1.3 * (x - 5))); }
    static double falling(double x) { return 0.86 - 0.07 * x; }
    static constexpr QRgb kBlue = 0xFF1E3CC8; // the sigmoid
    static constexpr QRgb kRed = 0xFFD22828;  // the falling line, drawn over it
    static constexpr QRgb kGrid = 0xFFAAAAAA;
    // With `third`, a green wave as well, and a legend of the three in a box
    // at the top of the plot, real x 3.5 to 6.5 and y 0.78 to 0.96.
    static double wave(double x) { return 0.3 + 0.25 * std::sin(0.6 * x); }
    static constexpr QRgb kGreen = 0xFF2CA02C;

    // A chart of width x height pixels; the plot frame leaves margins of a
    // tenth of the size.
    static QImage draw(int width = 800, int height = 600, bool third = false);

    // The origin at the frame's lower left corner, the references at its
    // right and upper edges, and the whole frame as the scan area.
    static ScanSettings settings(int width = 800, int height = 600, int scanWidth = 4);
};

} // namespace plotrun::test
