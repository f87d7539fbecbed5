#pragma once
// The two records that steer a scan: the Scan settings owned by the main
// window, and the Output field settings that the output fields dialog holds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plotrun {

// Ink mode: a pixel counts by how much of the ink colour it holds, read along
// the line from the paper colour to the ink, instead of by its darkness.
// Colours are held as the pixels are: red in the low byte, blue in the third.
struct InkSettings {
    // In RGB units: above the rounding of anti-aliased edges and mild
    // compression noise, below the distance of a grey grid or another hue.
    static constexpr int32_t kDefaultTolerance = 40;
    static constexpr int32_t kMaxTolerance = 442; // the diagonal of the RGB cube

    bool On = false;
    uint32_t Ink = 0x000000;
    uint32_t Paper = 0xFFFFFF;
    int32_t Tolerance = kDefaultTolerance;

    bool operator==(const InkSettings&) const = default;
};

// Curve following and line removal. Following makes each strip's point from
// one run of counted rows, the one that continues the curve; line removal
// leaves out long straight rows and columns (axes, frame, grid) before that.
struct FollowSettings {
    static constexpr int32_t kDefaultGap = 3;

    bool On = false;
    bool RemoveLines = false;
    int32_t Gap = kDefaultGap; // empty rows that split a strip's rows into runs
    int32_t MaxJump = 0;       // rows a point may move from the last one; 0: a tenth of the area height
    double StartX = -1;        // the start point in bitmap coordinates; -1: not set
    double StartY = -1;

    bool active() const { return On || RemoveLines; }
    bool operator==(const FollowSettings&) const = default;
};

// How the marks map the picture onto the chart. Along the picture, x is
// read from X1's x alone and y from Y1's y alone. With three points, O, X1
// and Y1 are full points and fix an affine map (a rotated or skewed chart);
// with four, the corner C where real x = RealRefX and real y = RealRefY
// joins them and fixes a perspective map (a photographed page). More
// reference points than the kind needs are fitted by least squares.
enum class CalibrationKind : int32_t { Axes, ThreePoint, FourPoint };

// A reference point of its own: where it lies on the picture (bitmap
// coordinates, y upward) and its real values.
struct ReferencePoint {
    double x = 0;
    double y = 0;
    double realX = 0;
    double realY = 0;

    bool operator==(const ReferencePoint&) const = default;
};

// A fit needs a few reference points; thousands are no calibration.
inline constexpr size_t kMostReferencePoints = 1000;

// The calibration beyond the axes-along-the-picture marks. X1 is (RefX, X1Y)
// and Y1 is (Y1X, RefY); in the axes kind X1Y and Y1X are not read.
struct CalibrationSettings {
    CalibrationKind Kind = CalibrationKind::Axes;
    double X1Y = -1;
    double Y1X = -1;
    double CornerX = -1;
    double CornerY = -1;
    std::vector<ReferencePoint> Points;
    bool Snap = false; // marks move to the centre of the line crossing they are dropped near

    bool aligned() const { return Kind == CalibrationKind::Axes; }
    bool operator==(const CalibrationSettings&) const = default;
};

// A figure's series: several curves or sets of markers read in one scan.
// They share the scan settings, the calibration and the area; each has its
// own name, kind, pixel weight and Start point.
enum class SeriesKind : int32_t { Line, Markers };

struct SeriesSettings {
    std::string Name;
    SeriesKind Kind = SeriesKind::Line;
    // Without an ink the series weighs its pixels by darkness, as a plain scan.
    bool HasInk = false;
    uint32_t Ink = 0x000000; // as InkSettings::Ink: red in the low byte
    int32_t Tolerance = InkSettings::kDefaultTolerance;
    double StartX = -1; // bitmap coordinates, y upward; -1: not set
    double StartY = -1;
    // Markers: the area of one marker in pixels; 0 and 0: learned from the
    // marker under the Start point.
    int32_t MinSize = 0;
    int32_t MaxSize = 0;

    bool operator==(const SeriesSettings&) const = default;
};

// Bitmap positions are whole numbers held in doubles; -1 means "not set".
struct ScanSettings {
    bool WeightedX = false;
    int32_t ScanWidth = 1;
    int32_t Threshold = 0;
    double OriginX = -1;
    double OriginY = -1;
    double RefX = -1;
    double RefY = -1;
    double RealOriginX = 0;
    double RealOriginY = 0;
    double RealRefX = -1;
    double RealRefY = -1;
    double ScanStartX = -1;
    double ScanStartY = -1;
    double ScanEndX = -1;
    double ScanEndY = -1;
    bool HasRealOriginX = true;
    bool HasRealOriginY = true;
    bool HasRealRefX = false;
    bool HasRealRefY = false;
    // A logarithmic axis maps bitmap coordinates linearly to log10 of the
    // real value; its real origin and reference are then above 0.
    bool LogX = false;
    bool LogY = false;
    InkSettings Ink;                 // off at the start
    FollowSettings Follow;           // off at the start
    CalibrationSettings Calibration; // axes along the picture at the start
    // Halftoned and dithered pictures: before weighting, each pixel is the
    // average of the pixels within this many pixels of it; 0: off.
    int32_t Smooth = 0;
    // The figure's series (Series.h); none at the start: one curve, read as
    // the settings above say.
    std::vector<SeriesSettings> Series;

    bool operator==(const ScanSettings&) const = default;
};

// The data columns of a result, in the fixed order of the output grid.
// The standard uncertainties of real x and real y come after the first six,
// and the ends of a marker's error bar last, so that the fields before
// them keep their places in every record that lists them.
enum class Field { RealX, RealY, Sdev, SdevY, BitmapX, BitmapY, Ux, Uy, YLow, YHigh };
inline constexpr int kFieldCount = 10;

struct OutputFields {
    std::string delimiter = ",";
    bool scanningParameters = false;
    bool columnNames = false;
    bool realCoordinates = true;
    bool sdev = false;
    bool sdevY = false;
    bool bitmapCoordinates = false;
    bool ux = false; // the standard uncertainty of real x
    bool uy = false; // and of real y
    // A markers series: the real y of the lower and the upper end of the
    // vertical bar through a marker; empty where there is none.
    bool yLow = false;
    bool yHigh = false;
    // The header block records how the numbers were made: the picture's
    // hash, the version, the time and every setting.
    bool provenance = false;
    // With series: the line series side by side, one x column and each
    // series' y columns, instead of one row per point with its series' name.
    bool wide = false;
    // Indexed by Field.
    std::array<std::string, kFieldCount> names{"X",      "Y",    "SDEV", "SDEV/Y", "X [px]",
                                               "Y [px]", "U(X)", "U(Y)", "Y low",  "Y high"};

    bool wantsSpread() const { return sdev || sdevY; }
    bool wantsUncertainty() const { return ux || uy; }
    const std::string& name(Field f) const { return names[static_cast<int>(f)]; }
    bool operator==(const OutputFields&) const = default;
};

// The start delimiter follows the user's decimal separator, so that a
// delimiter never collides with the numbers it separates.
inline std::string startDelimiter(const std::string& decimalSeparator)
{
    if (decimalSeparator == ".")
        return ",";
    if (decimalSeparator == ";")
        return "\t";
    return ";";
}

// A delimiter that would make the numbers of a line read as other numbers:
// empty (they run together), or holding a digit, a sign, E or e, or the
// decimal separator (they read as parts of a number), or a line break (it
// splits the line). The output fields dialog, the scanner's --delimiter and
// the settings file refuse the same set, with this text.
inline constexpr const char* kInvalidDelimiterTitle = "Invalid delimiter!";
inline constexpr const char* kInvalidDelimiterText =
    "The delimiter cannot be empty, and cannot hold a digit, a sign, E, e, the decimal separator or a line break.";

inline bool delimiterIsValid(const std::string& delimiter, const std::string& decimalSeparator)
{
    if (delimiter.empty())
        return false;
    for (const char c : delimiter)
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'E' || c == 'e' || c == '\r' || c == '\n')
            return false;
    return decimalSeparator.empty() || delimiter.find(decimalSeparator) == std::string::npos;
}

} // namespace plotrun
