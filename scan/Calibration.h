#pragma once
// The linear mapping from bitmap to real coordinates, one axis at a time.

#include "ScanSettings.h"

namespace plotrun {

// Intermediates are held in extended precision and only the result is
// rounded to a double, so every caller gets the same bits.
class AxisMap {
public:
    static AxisMap forX(const ScanSettings& s) { return {s.OriginX, s.RefX, s.RealOriginX, s.RealRefX}; }
    static AxisMap forY(const ScanSettings& s) { return {s.OriginY, s.RefY, s.RealOriginY, s.RealRefY}; }

    AxisMap(double origin, double ref, double realOrigin, double realRef)
        : origin_(origin), realOrigin_(realOrigin),
          scale_((static_cast<long double>(realRef) - realOrigin) / (static_cast<long double>(ref) - origin))
    {
    }

    double toReal(double bitmap) const
    {
        const long double d = static_cast<long double>(bitmap) - origin_;
        return static_cast<double>(scale_ * d + realOrigin_);
    }

private:
    double origin_;
    double realOrigin_;
    long double scale_;
};

// The bitmap y of pixel row r (rows counted from the top) in a picture of
// height h: the top row is y = h, the bottom row y = 1.
inline int64_t bitmapYOfRow(int64_t r, int64_t h) { return h - r; }

} // namespace plotrun
