#include "ReferenceScan.h"

#include "ChartMap.h"
#include "ChartScan.h"

#include <algorithm>
#include <cmath>

namespace plotrun::test {

namespace {

double realOf(double v, double origin, double ref, double realOrigin, double realRef, bool logarithmic)
{
    if (logarithmic) {
        // Linear in log10 of the real value.
        const long double lo = std::log10(static_cast<long double>(realOrigin));
        const long double a = std::log10(static_cast<long double>(realRef)) - lo;
        const long double b = static_cast<long double>(ref) - origin;
        const long double s = a / b;
        const long double d = static_cast<long double>(v) - origin;
        return static_cast<double>(std::pow(10.0L, s * d + lo));
    }
    const long double a = static_cast<long double>(realRef) - realOrigin;
    const long double b = static_cast<long double>(ref) - origin;
    const long double s = a / b;
    const long double d = static_cast<long double>(v) - origin;
    return static_cast<double>(s * d + realOrigin);
}

uint32_t pixelColour(const PixelView& p, int64_t x, int64_t r)
{
    if (x < 0 || r < 0 || x >= p.width || r >= p.height)
        return 0xFFFFFFFFu;
    return p.pixels[r * p.stride + x] & 0xFFFFFFu;
}

// With smoothing, each channel is the rounded mean over the pixels of the
// picture whose centres lie within the radius of this one's.
uint32_t seenColour(const PixelView& p, int64_t x, int64_t r, int32_t radius)
{
    const uint32_t c = pixelColour(p, x, r);
    if (radius < 1 || c == 0xFFFFFFFFu)
        return c;
    uint32_t sum[3] = {0, 0, 0}, n = 0;
    for (int64_t dy = -radius; dy <= radius; ++dy)
        for (int64_t dx = -radius; dx <= radius; ++dx) {
            const uint32_t d = pixelColour(p, x + dx, r + dy);
            if (dx * dx + dy * dy > int64_t(radius) * radius || d == 0xFFFFFFFFu)
                continue;
            for (int i = 0; i < 3; ++i)
                sum[i] += (d >> (8 * i)) & 0xFF;
            ++n;
        }
    uint32_t mean = 0;
    for (int i = 0; i < 3; ++i)
        mean |= (sum[i] + n / 2) / n << (8 * i);
    return mean;
}

// -1 when the pixel is white (skipped); otherwise its darkness.
int darkness(uint32_t c)
{
    if (c == 0xFFFFFFu)
        return -1;
    const int red = c & 0xFF, green = (c >> 8) & 0xFF, blue = (c >> 16) & 0xFF;
    return ((255 - red) + (255 - green) + (255 - blue)) / 3;
}

// Ink mode, read literally: the pixel's colour minus the paper, projected
// onto the line from paper to ink. The share of ink is that projection over
// the line's length squared, clipped to 0..1, and W = round(255 * share). The
// pixel's squared distance from the line is |v|^2 - (v.d)^2 / |d|^2. -1 when
// the pixel does not count at any threshold: the paper itself, no colour at
// all (outside the picture), or farther from the line than the tolerance.
int literalInkWeight(uint32_t c, const InkSettings& ink)
{
    if (c == 0xFFFFFFFFu || c == (ink.Paper & 0xFFFFFFu))
        return -1;
    const auto channel = [](uint32_t v, int i) { return double((v >> (8 * i)) & 0xFF); };
    double vd = 0, vv = 0, dd = 0;
    for (int i = 0; i < 3; ++i) {
        const double v = channel(c, i) - channel(ink.Paper, i);
        const double d = channel(ink.Ink, i) - channel(ink.Paper, i);
        vd += v * d;
        vv += v * v;
        dd += d * d;
    }
    if (dd == 0)
        return -1;
    const double distance2 = vv - vd * vd / dd;
    if (ink.Tolerance < 0 || distance2 > double(ink.Tolerance) * ink.Tolerance)
        return -1;
    const double share = std::clamp(vd / dd, 0.0, 1.0);
    return static_cast<int>(std::floor(255 * share + 0.5));
}

// The weight that enters the sums: the darkness, or in ink mode the ink
// weight; -1 when the pixel is skipped.
int weightOf(uint32_t c, const ScanSettings& s) { return s.Ink.On ? literalInkWeight(c, s.Ink) : darkness(c); }

double add(double sum, long double v) { return static_cast<double>(static_cast<long double>(sum) + v); }

} // namespace

int inkWeight(uint32_t colour, const InkSettings& ink) { return literalInkWeight(colour, ink); }

uint32_t smoothedColour(const PixelView& picture, int64_t x, int64_t r, int32_t radius)
{
    return seenColour(picture, x, r, radius);
}

ReferenceResult referenceScan(const PixelView& pic, ScanSettings s, bool wantSpread)
{
    ReferenceResult out;
    const int64_t H = pic.height;
    const int64_t x0 = static_cast<int64_t>(std::trunc(s.ScanStartX));
    const int64_t A = static_cast<int64_t>(std::trunc(s.ScanEndX)) - static_cast<int64_t>(std::trunc(s.ScanStartX));
    int64_t stripCount = A / s.ScanWidth;
    if (stripCount < 1) {
        s.ScanWidth = static_cast<int32_t>(A);
        stripCount = 1;
    }
    out.scanWidth = s.ScanWidth;
    const int64_t scanHeight =
        static_cast<int64_t>(std::trunc(s.ScanEndY)) - static_cast<int64_t>(std::trunc(s.ScanStartY));
    const int64_t t = static_cast<int64_t>(std::trunc(static_cast<double>(H) - s.ScanEndY));
    const int64_t sw = s.ScanWidth;

    int32_t gridRow = 1;
    for (int64_t k = 0; k < stripCount; ++k) {
        const int64_t xs = x0 + k * sw;
        int64_t n = 0;
        double sd = 0, sdr = 0, sdx = 0;
        bool ink = false;
        if (!s.WeightedX)
            sdx = static_cast<double>(xs) + static_cast<double>(sw) * 0.5;
        for (int64_t r = t; r < t + scanHeight; ++r) {
            for (int64_t x = xs; x < xs + sw; ++x) {
                const int d = weightOf(seenColour(pic, x, r, s.Smooth), s);
                if (d < 0 || d < s.Threshold)
                    continue;
                out.counted.push_back({x, r});
                ++n;
                sd = add(sd, d);
                sdr = add(sdr, static_cast<long double>(d * r));
                if (s.WeightedX)
                    sdx = add(sdx, static_cast<long double>(d * x));
                if (d > 0)
                    ink = true;
            }
        }
        if (ink) {
            ResultRow row;
            row.bitmapX = s.WeightedX ? static_cast<double>(static_cast<long double>(sdx) / sd) : sdx;
            row.bitmapY = static_cast<double>(static_cast<long double>(H) - static_cast<long double>(sdr) / sd);
            row.realX = realOf(row.bitmapX, s.OriginX, s.RefX, s.RealOriginX, s.RealRefX, s.LogX);
            row.realY = realOf(row.bitmapY, s.OriginY, s.RefY, s.RealOriginY, s.RealRefY, s.LogY);
            row.number = gridRow;
            if (n > 0 && wantSpread) {
                // Each dark pixel's real y about the point, weighted by its darkness.
                double q = 0;
                for (int64_t r = t; r < t + scanHeight; ++r) {
                    for (int64_t x = xs; x < xs + sw; ++x) {
                        const int d = weightOf(seenColour(pic, x, r, s.Smooth), s);
                        if (d < 0 || d < s.Threshold)
                            continue;
                        const double yp =
                            realOf(static_cast<double>(H - r), s.OriginY, s.RefY, s.RealOriginY, s.RealRefY, s.LogY);
                        const double v = static_cast<double>(static_cast<long double>(yp) - row.realY);
                        q = add(q, static_cast<long double>(d) * v * v);
                    }
                }
                row.sdev = static_cast<double>(std::sqrt(static_cast<long double>(q) / static_cast<long double>(sd)));
                if (row.realY != 0) {
                    row.hasSdevY = true;
                    row.sdevY = static_cast<double>(static_cast<long double>(row.sdev) / row.realY);
                }
            }
            out.rows.push_back(row);
            ++gridRow;
        }
        out.progress.push_back(static_cast<int>((100 * k) / stripCount));
    }
    return out;
}

ReferenceResult referenceChartScan(const PixelView& pic, ScanSettings s, bool wantSpread)
{
    ReferenceResult out;
    const ScanChecks checks = checkScan(s);
    out.scanWidth = s.ScanWidth;
    const ChartMap map(s);
    const FrameArea area = frameAreaOf(s, map);
    const auto& m = map.fit()->toFrame.m();
    double c[9];
    for (int i = 0; i < 9; ++i)
        c[i] = static_cast<double>(m[static_cast<size_t>(i)]);
    const int64_t strips = checks.stripCount, width = s.ScanWidth;
    struct Sums {
        int64_t sd = 0;
        long double sdy = 0, sdx = 0, q = 0;
    };
    std::vector<Sums> total(static_cast<size_t>(strips));
    std::vector<ResultRow> rows(static_cast<size_t>(strips));
    // Once for the sums, once more for the spread about each strip's point.
    for (const bool spreadPass : {false, true}) {
        if (spreadPass && !wantSpread)
            break;
        for (int64_t top = 0; top < pic.height; top += kBlockRows) {
            std::vector<Sums> block(static_cast<size_t>(strips));
            for (int64_t r = top; r < std::min<int64_t>(top + kBlockRows, pic.height); ++r)
                for (int64_t x = 0; x < pic.width; ++x) {
                    const int d = weightOf(pixelColour(pic, x, r), s);
                    if (d <= 0 || d < s.Threshold)
                        continue;
                    const double bx = static_cast<double>(x), by = static_cast<double>(pic.height - r);
                    double fx = c[0] * bx + c[1] * by + c[2], fy = c[3] * bx + c[4] * by + c[5];
                    if (!map.fit()->toFrame.affine()) {
                        const double w = c[6] * bx + c[7] * by + c[8];
                        if (!(w > 0))
                            continue;
                        fx /= w;
                        fy /= w;
                    }
                    const double u = (fx - area.left) / static_cast<double>(width);
                    if (!(fy <= area.top && fy > area.top - checks.scanHeight) || !(u >= 0 && u < double(strips)))
                        continue;
                    const size_t k = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(u), strips - 1));
                    Sums& a = block[k];
                    if (spreadPass) {
                        if (rows[k].number == 0)
                            continue;
                        const double v = static_cast<double>(static_cast<long double>(map.realY(fy)) - rows[k].realY);
                        a.q += static_cast<long double>(d) * v * v;
                        continue;
                    }
                    out.counted.push_back({x, r});
                    a.sd += d;
                    a.sdy += static_cast<long double>(d) * fy;
                    a.sdx += static_cast<long double>(d) * fx;
                }
            for (size_t k = 0; k < block.size(); ++k) {
                total[k].sd += block[k].sd;
                total[k].sdy += block[k].sdy;
                total[k].sdx += block[k].sdx;
                total[k].q += block[k].q;
            }
        }
        if (spreadPass)
            break;
        for (size_t k = 0; k < rows.size(); ++k) {
            if (total[k].sd == 0)
                continue;
            const long double sd = static_cast<long double>(total[k].sd);
            const double fx = s.WeightedX ? static_cast<double>(total[k].sdx / sd)
                                          : area.left + static_cast<double>(static_cast<int64_t>(k) * width) +
                                                static_cast<double>(width) * 0.5;
            const double fy = static_cast<double>(total[k].sdy / sd);
            const ChartPoint p = map.fromFrame(fx, fy);
            rows[k] = {1, p.x, p.y, map.realX(fx), map.realY(fy)};
        }
    }
    int32_t number = 1;
    for (size_t k = 0; k < rows.size(); ++k) {
        ResultRow& row = rows[k];
        if (row.number != 0) {
            if (wantSpread) {
                row.sdev = static_cast<double>(std::sqrt(total[k].q / static_cast<long double>(total[k].sd)));
                if (row.realY != 0) {
                    row.hasSdevY = true;
                    row.sdevY = static_cast<double>(static_cast<long double>(row.sdev) / row.realY);
                }
            }
            row.number = number++;
            out.rows.push_back(row);
        }
        out.progress.push_back(static_cast<int>((100 * static_cast<int64_t>(k)) / strips));
    }
    return out;
}

} // namespace plotrun::test
