#include "ScanTypes.h"

#include "ChartScan.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace plotrun {

namespace {

// Settings hold whole numbers in doubles; out-of-range values are clamped so
// that the conversion is always defined.
int32_t truncToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v); // toward zero
}

int32_t clampToInt32(int64_t v)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

} // namespace

namespace {

// The width check and the height check of an area `width` pixels wide and
// `height` high: when the area is narrower than one strip, ScanWidth is cut
// to its width.
ScanChecks checkWidthAndHeight(ScanSettings& s, int64_t width, int64_t height)
{
    ScanChecks c;
    c.areaWidth = clampToInt32(width);
    if (width < 1) {
        // Cutting ScanWidth to a width below 1 would leave it unusable for
        // every later scan, so such an area is refused instead.
        c.stop = ScanStop::NarrowArea;
        return c;
    }
    c.stripCount = s.ScanWidth >= 1 ? clampToInt32(width / s.ScanWidth) : 0;
    if (c.stripCount < 1) {
        s.ScanWidth = c.areaWidth;
        c.stripCount = 1;
        c.widthResized = true;
    }
    c.scanHeight = clampToInt32(height);
    if (c.scanHeight < 1)
        c.stop = ScanStop::FlatArea;
    return c;
}

// The checks in the chart's frame, where the area is the rectangle that its
// corners span: the map first, then the width and the height.
ScanChecks checkFrameScan(ScanSettings& s)
{
    const FrameArea a = frameAreaOf(s, ChartMap(s));
    if (a.stop != ScanStop::None) {
        ScanChecks c;
        c.stop = a.stop;
        return c;
    }
    const auto whole = [](double v) { return static_cast<int64_t>(std::clamp(v, 0.0, 2.0e9)); };
    return checkWidthAndHeight(s, whole(a.right - a.left), whole(a.top - a.bottom));
}

} // namespace

ScanChecks checkScan(ScanSettings& s)
{
    if (!s.Calibration.aligned())
        return checkFrameScan(s);
    ScanChecks c = checkWidthAndHeight(s, static_cast<int64_t>(truncToInt32(s.ScanEndX)) - truncToInt32(s.ScanStartX),
                                       static_cast<int64_t>(truncToInt32(s.ScanEndY)) - truncToInt32(s.ScanStartY));
    if (c.stop != ScanStop::None)
        return c;
    if (s.RefX == s.OriginX)
        c.stop = ScanStop::SameOriginX;
    else if (s.RefY == s.OriginY)
        c.stop = ScanStop::SameOriginY;
    return c;
}

CountedArea countedArea(ScanSettings settings)
{
    const ScanChecks c = checkScan(settings);
    if (c.stop == ScanStop::NarrowArea || c.stop == ScanStop::FlatArea || settings.ScanWidth < 1)
        return {};
    return areaOf(settings, c);
}

CountedArea areaOf(const ScanSettings& settings, const ScanChecks& checks)
{
    CountedArea a;
    a.left = truncToInt32(settings.ScanStartX);
    a.width = settings.ScanWidth;
    a.strips = checks.stripCount;
    a.columns = a.strips * a.width;
    a.rows = checks.scanHeight;
    return a;
}

int64_t areaTop(int32_t pictureHeight, const ScanSettings& settings)
{
    return truncToInt32(static_cast<double>(pictureHeight) - settings.ScanEndY);
}

} // namespace plotrun
