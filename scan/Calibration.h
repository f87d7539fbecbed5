#pragma once
// The mapping from bitmap to real coordinates, one axis at a time: linear,
// or linear in log10 of the real value on a logarithmic axis.

#include "ScanSettings.h"

#include <cmath>

namespace plotrun {

// Intermediates are held in extended precision and only the result is
// rounded to a double, so every caller gets the same bits.
class AxisMap {
public:
    static AxisMap forX(const ScanSettings& s) { return {s.OriginX, s.RefX, s.RealOriginX, s.RealRefX, s.LogX}; }
    static AxisMap forY(const ScanSettings& s) { return {s.OriginY, s.RefY, s.RealOriginY, s.RealRefY, s.LogY}; }

    AxisMap(double origin, double ref, double realOrigin, double realRef, bool logarithmic = false)
        : origin_(origin), realOrigin_(realOrigin), logarithmic_(logarithmic),
          logOrigin_(logarithmic ? std::log10(static_cast<long double>(realOrigin)) : 0.0L),
          scale_(logarithmic
                     ? (std::log10(static_cast<long double>(realRef)) - logOrigin_) /
                           (static_cast<long double>(ref) - origin)
                     : (static_cast<long double>(realRef) - realOrigin) / (static_cast<long double>(ref) - origin))
    {
    }

    double toReal(double bitmap) const
    {
        const long double d = static_cast<long double>(bitmap) - origin_;
        if (logarithmic_)
            return static_cast<double>(std::pow(10.0L, scale_ * d + logOrigin_));
        return static_cast<double>(scale_ * d + realOrigin_);
    }

    // The way back, from a real value to its fractional bitmap coordinate.
    // A value that the axis cannot hold (0 or below on a logarithmic one)
    // gives a number that is not finite.
    double toBitmap(double real) const
    {
        const long double v = logarithmic_ ? std::log10(static_cast<long double>(real)) - logOrigin_
                                           : static_cast<long double>(real) - realOrigin_;
        return static_cast<double>(v / scale_ + origin_);
    }

    bool logarithmic() const { return logarithmic_; }
    // The reference and the origin differ in both coordinates, and a
    // logarithmic axis has both real values above 0.
    bool usable() const { return std::isfinite(scale_) && scale_ != 0 && (!logarithmic_ || std::isfinite(logOrigin_)); }

private:
    double origin_;
    double realOrigin_;
    bool logarithmic_;
    long double logOrigin_; // log10 of the real origin, on a logarithmic axis
    long double scale_;
};

// The bitmap y of pixel row r (rows counted from the top) in a picture of
// height h: the top row is y = h, the bottom row y = 1.
inline int64_t bitmapYOfRow(int64_t r, int64_t h) { return h - r; }

} // namespace plotrun
