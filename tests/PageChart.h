#pragma once
// A chart as papers print it, written as a PDF (two pages, the chart on the
// second, after a page of text) and as an SVG drawing with QPainter: a black
// frame, a black grid, ticks, tick labels and a title, and one black curve
// that is a known function. Positions are in points (72 to the inch), so a
// page rendered at any resolution can be judged against the function.

#include "ScanSettings.h"

#include <QString>

namespace plotrun::test {

struct PageChart {
    // The page, 6 x 4.5 inches, and the plot frame on it, in points from the
    // top left corner; multiples of 6 points are whole pixels at 300 dpi.
    static constexpr double kWidth = 432, kHeight = 324;
    static constexpr double kLeft = 72, kRight = 396, kTop = 36, kBottom = 288;

    // Real x runs 0 to 10 across the frame, real y 0 to 1 up it.
    static double curve(double x);
    // The curve as the scan of a page rendered at `dpi` sees it: a pixel's
    // position is its left or lower edge, half a pixel off the line through
    // its centre that the painter drew.
    static double seenAt(double x, int dpi);

    static bool writePdf(const QString& path);
    static bool writeSvg(const QString& path);

    // The frame's corners as the marks, the area a point beyond the frame,
    // following and line removal on, for the page rendered at `dpi`.
    static ScanSettings settings(int dpi, int scanWidth);
};

} // namespace plotrun::test
