#pragma once
// A chart drawn through a warp, as a tilted scan or a photographed page
// shows it: grid, frame, ticks, labels and a known curve, painted with
// anti-aliasing straight through a QTransform (a rotation, a shear, or a
// perspective from QTransform::quadToQuad). The marks that a user would
// click, on the true axis points, come with it.

#include "ScanSettings.h"

#include <QColor>
#include <QImage>
#include <QTransform>

#include <cmath>

namespace plotrun::test {

struct WarpedChart {
    // Real x runs 0 to 10 along the x axis, real y 0 to 1 up the y axis.
    static double curve(double x) { return 0.09 + 0.81 / (1 + std::exp(-1.3 * (x - 5))); }

    QImage picture;
    QTransform warp;
    // Where a real point lies on the picture, in bitmap coordinates.
    double bitmapX(double realX, double realY) const;
    double bitmapY(double realX, double realY) const;

    // O, X1 and Y1 on the true axis points (and C in four-point), the
    // frame's corners as the area, the references at 10 and 1.
    ScanSettings settings(CalibrationKind kind, int scanWidth = 3) const;
};

// The chart on a picture of width x height, warped by `warp` (about the
// picture's centre), with the curve in `ink`.
WarpedChart drawWarpedChart(const QTransform& warp, QRgb ink = 0xFF1E3CC8, int width = 900, int height = 650);
QTransform rotationAboutCentre(double degrees, int width = 900, int height = 650);
// A mild phone-photo perspective: the top edge drawn in, the sides leaning.
QTransform photoPerspective(int width = 900, int height = 650);

// The rms of (scanned y - curve(x)) over the rows, as a per cent of the y
// range, and the share of the strips that gave a point.
struct CurveError {
    double rmsPercent = 0;
    double worstPercent = 0;
    double pointShare = 0;
};
CurveError curveError(const QImage& picture, ScanSettings settings);

} // namespace plotrun::test
