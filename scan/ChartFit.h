#pragma once
// The calibration of a rotated, skewed or photographed chart: the map from
// the picture into the chart's frame, fitted to the marks.
//
// The frame is the picture as it would be with the chart's axes along its
// rows and columns: O stays where it is, X1 lies |O X1| pixels from it along
// the frame's x and Y1 |O Y1| pixels along its y. A pixel of the frame is
// about a pixel of the picture near the axes, so that a scan width, a gap or
// a jump in pixels means what it means on the picture. From the frame to
// real values is the axes kind's own map, linear or in log10.

#include "ScanSettings.h"

#include <array>
#include <vector>

namespace plotrun {

struct FramePoint {
    double x = 0;
    double y = 0;
};

// A plane projective map, in extended precision: (x, y) goes to
// (m0 x + m1 y + m2, m3 x + m4 y + m5) / (m6 x + m7 y + m8).
class Projective {
public:
    static Projective identity() { return Projective({1, 0, 0, 0, 1, 0, 0, 0, 1}); }
    explicit Projective(const std::array<long double, 9>& m) : m_(m) {}

    FramePoint apply(long double x, long double y) const
    {
        const long double w = weight(x, y);
        return {static_cast<double>((m_[0] * x + m_[1] * y + m_[2]) / w),
                static_cast<double>((m_[3] * x + m_[4] * y + m_[5]) / w)};
    }
    // The denominator: above 0 on the side of the horizon where the marks
    // lie, 0 on the horizon itself. 1 everywhere for an affine map.
    long double weight(long double x, long double y) const { return m_[6] * x + m_[7] * y + m_[8]; }
    bool affine() const { return m_[6] == 0 && m_[7] == 0; }
    Projective inverse() const;
    Projective after(const Projective& first) const; // this map applied to the result of `first`
    long double determinant() const;
    const std::array<long double, 9>& m() const { return m_; }

private:
    std::array<long double, 9> m_;
};

enum class FitProblem {
    None,
    Collinear, // O, X1 and Y1 lie on one line
    Unfixed,   // the points cannot fix the map
};

// A mark that took part in the fit, and how far, in picture pixels, the
// fitted map puts its real values from where it lies.
struct FitMark {
    enum class Kind { Origin, X1, Y1, Corner, Point };
    Kind kind = Kind::Origin;
    int index = 0; // among the reference points, for a Point
    FramePoint picture;
    double residual = 0;
};

struct ChartFit {
    FitProblem problem = FitProblem::None;
    Projective toFrame = Projective::identity();
    Projective toPicture = Projective::identity();
    // The frame's reference positions: the frame's x of X1 and y of Y1.
    double frameRefX = 0;
    double frameRefY = 0;
    std::vector<FitMark> marks;
    double rms = 0; // the residuals' root mean square, in picture pixels
    // More points took part than the kind needs, so that the residuals say
    // how well the marks agree.
    bool overdetermined = false;
};

// The fit of a kind other than the axes kind. The frame's x of a real x is
// frameOfReal(...) below; a point whose real value an axis cannot hold (0 or
// below on a logarithmic one) leaves the map unfixed.
ChartFit fitChart(const ScanSettings& settings);

// The name of a kind as the scanner's flag and the settings file spell it,
// and the kind of such a name (false when there is none).
const char* calibrationKindName(CalibrationKind kind);
bool calibrationKindOf(const std::string& name, CalibrationKind& kind);

} // namespace plotrun
