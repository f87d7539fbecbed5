#pragma once
// Find Axes: the calibration that the picture's own axes, ticks and labels
// give. The axis lines are the longest straight runs (slightly rotated or
// sheared pictures allowed), the ticks are short runs across them at a
// regular step, each placed by the darkness-weighted centre as the scan
// places a point, and each tick's value is the label nearest it on the outer
// side, read by a reader that the caller hands in (the engine reads no
// text). A robust fit of tick positions to values, over every pair of ticks
// and then by least squares over those that agree, gives each axis its
// scale, linear or logarithmic; labels that disagree are misreads.

#include "PixelView.h"
#include "ScanSettings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plotrun {

// The ink of one label, cut out of the picture: darkness 0 (paper) to 255,
// rows top to bottom, upright as it is read.
struct LabelImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> darkness;
};

// Reads the text of a label; empty when it reads nothing.
using LabelReading = std::function<std::string(const LabelImage&)>;

// The number a label's text stands for: "-2.5", "0,5", "1e-3", "1E3",
// "10^3", "2x10^3". False when it is none of these.
bool labelValue(const std::string& text, double& value);

struct FoundTick {
    double x = 0; // where the tick meets the axis, in bitmap coordinates
    double y = 0;
    std::string text; // the label as read; empty: no label found
    bool valued = false;
    double value = 0;
    bool inlier = false;  // took part in the fit
    bool misread = false; // a value that the fit puts elsewhere
    double residual = 0;  // picture pixels from where the fit puts the value
    // The label's box in bitmap coordinates (left, bottom, right, top).
    double labelLeft = 0, labelBottom = 0, labelRight = 0, labelTop = 0;
};

struct FoundAxis {
    bool sure = false;
    std::string problem; // why it could not be read, when not sure
    bool logarithmic = false;
    // The axis line's two ends in bitmap coordinates.
    double startX = 0, startY = 0, endX = 0, endY = 0;
    std::vector<FoundTick> ticks;
    double rms = 0; // the inliers' residuals, in picture pixels
    int inliers = 0;
    // value (its log10 on a logarithmic axis) = offset + slope * u, where u
    // is the picture column of a point of the x axis, or the pixel row
    // (from the top) of a point of the y axis.
    double offset = 0, slope = 0;
    // The axis line's centre in pixel coordinates: the row (x axis) or the
    // column (y axis) is across + turn * u.
    double across = 0, turn = 0;
};

struct FoundAxes {
    bool linesFound = false; // the two axis lines; without them nothing else is
    std::string problem;     // why nothing or only the area was found
    FoundAxis x, y;
    double angleDegrees = 0; // the x axis's turn from the picture's rows, counterclockwise
    bool turned = false;     // rotated or sheared enough to need the three-point kind
    // The area inside the frame or the axes, in bitmap coordinates.
    double areaStartX = -1, areaStartY = -1, areaEndX = -1, areaEndY = -1;

    bool sure() const { return linesFound && x.sure && y.sure; }
    // What the user is told when it is not sure: which axis and why.
    std::string doubt() const;
};

// Only the lines and the area when `read` is empty.
FoundAxes findAxes(const PixelView& picture, const LabelReading& read);

// The found calibration as the scanner's flags and their values, in pairs:
// "--origin", "102,87", ... (with --calibration three-point when turned,
// --log-x and --log-y on logarithmic axes). Empty when not sure.
std::vector<std::string> calibrationFlags(const FoundAxes& found, int32_t pictureHeight);
// "--area" and its value, when the lines were found.
std::vector<std::string> areaFlags(const FoundAxes& found);

// The calibration the flags give, over `settings`.
void applyFoundCalibration(const FoundAxes& found, int32_t pictureHeight, ScanSettings& settings);
// The same in the three-point kind, with every tick that agrees with the fit
// as a further reference point, so that each one's residual shows: what the
// window proposes.
void applyFoundReferences(const FoundAxes& found, int32_t pictureHeight, ScanSettings& settings);

} // namespace plotrun
