#include "MarkSnap.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace plotrun {

namespace {

// Darkness of a pixel as the scan counts it, in 0..255, as a real number;
// a pixel that is not held counts as paper.
double darknessAt(const PixelView& p, int64_t column, int64_t row)
{
    const uint32_t c = p.colourAt(column, row);
    if (c == PixelView::kOutsidePixel)
        return 0;
    return ((255.0 - (c & 0xFF)) + (255.0 - ((c >> 8) & 0xFF)) + (255.0 - ((c >> 16) & 0xFF))) / 3;
}

// A pixel belongs to a line from this darkness on: a grey grid line counts,
// paper and the faint rim of anti-aliasing do not.
constexpr double kInk = 40;

// One line's centre in one cross-section (a column for a line along the
// rows, a row for a line along the columns): the darkness-weighted centre of
// the run of ink nearest the point, and the run's length.
struct Section {
    double at = 0;     // the cross-section's own position (column or row)
    double centre = 0; // the line's centre in it
    int length = 0;
};

// `value(i, k)` is the darkness at position k of cross-section i.
template <class Value>
std::vector<Section> sections(int lo, int hi, int from, int to, double near, Value value)
{
    std::vector<Section> out;
    for (int i = lo; i <= hi; ++i) {
        int best = -1, bestEnd = -1;
        double bestDistance = HUGE_VAL;
        for (int k = from; k <= to;) {
            if (value(i, k) < kInk) {
                ++k;
                continue;
            }
            const int start = k;
            while (k <= to && value(i, k) >= kInk)
                ++k;
            const double distance = std::fabs((start + k - 1) / 2.0 - near);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = start;
                bestEnd = k - 1;
            }
        }
        if (best < 0 || best == from || bestEnd == to) // a run cut by the window's edge is no cross-section
            continue;
        // The run and the anti-aliased pixel on either side of it.
        double sum = 0, weighted = 0;
        for (int k = best - 1; k <= bestEnd + 1; ++k) {
            const double d = value(i, k);
            sum += d;
            weighted += d * k;
        }
        out.push_back({double(i), weighted / sum, bestEnd - best + 1});
    }
    return out;
}

// A line through the sections of the typical length (a section where the
// other line crosses is longer): centre = a + b * at, fitted by least
// squares. False when too few sections are left.
bool fitLine(std::vector<Section> s, double& a, double& b)
{
    if (s.size() < 3)
        return false;
    std::vector<int> lengths;
    for (const Section& x : s)
        lengths.push_back(x.length);
    std::nth_element(lengths.begin(), lengths.begin() + lengths.size() / 2, lengths.end());
    const int typical = lengths[lengths.size() / 2];
    std::erase_if(s, [typical](const Section& x) { return x.length > typical + 1; });
    if (s.size() < 3)
        return false;
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Section& x : s) {
        n += 1;
        sx += x.at;
        sy += x.centre;
        sxx += x.at * x.at;
        sxy += x.at * x.centre;
    }
    const double det = n * sxx - sx * sx;
    if (!(std::fabs(det) > 0))
        return false;
    b = (n * sxy - sx * sy) / det;
    a = (sy - b * sx) / n;
    // Only lines about along the rows and the columns make such a crossing.
    return std::fabs(b) < 0.5;
}

} // namespace

SnappedMark snapToCrossing(const PixelView& p, double x, double y, int32_t radius)
{
    SnappedMark m{false, x, y};
    if (!std::isfinite(x) || !std::isfinite(y) || radius < 2)
        return m;
    // Columns have bitmap x; row r has bitmap y height - r.
    const double row = p.height - y;
    const int c0 = int(std::lround(x)), r0 = int(std::lround(row));
    const int left = c0 - radius, right = c0 + radius, top = r0 - radius, bottom = r0 + radius;
    if (left < 1 || top < 1 || right >= p.width - 1 || bottom >= p.height - 1 || !p.holds(top - 1) ||
        !p.holds(bottom + 1))
        return m;
    // The line along the rows: its centre row in each column; the line
    // along the columns: its centre column in each row.
    double a = 0, b = 0, e = 0, f = 0;
    const bool rowsLine = fitLine(
        sections(left, right, top, bottom, row, [&](int column, int r) { return darknessAt(p, column, r); }), a, b);
    const bool columnsLine = fitLine(
        sections(top, bottom, left, right, x, [&](int r, int column) { return darknessAt(p, column, r); }), e, f);
    if (!rowsLine || !columnsLine)
        return m;
    // row = a + b column, column = e + f row.
    const double det = 1 - b * f;
    const double column = (e + f * a) / det;
    const double crossingRow = a + b * column;
    if (!std::isfinite(column) || !std::isfinite(crossingRow) || std::fabs(column - x) > radius ||
        std::fabs(crossingRow - row) > radius)
        return m;
    return {true, column, p.height - crossingRow};
}

namespace {

// The points that the marks are snapped at, with where each snapped number goes.
struct MarkPoint {
    double x, y;
    double* snappedX; // null: the number stays
    double* snappedY;
};

std::vector<MarkPoint> markPoints(ScanSettings& s)
{
    CalibrationSettings& c = s.Calibration;
    std::vector<MarkPoint> marks{{s.OriginX, s.OriginY, &s.OriginX, &s.OriginY}};
    if (c.aligned()) {
        marks.push_back({s.RefX, s.OriginY, &s.RefX, nullptr});
        marks.push_back({s.OriginX, s.RefY, nullptr, &s.RefY});
        return marks;
    }
    marks.push_back({s.RefX, c.X1Y, &s.RefX, &c.X1Y});
    marks.push_back({c.Y1X, s.RefY, &c.Y1X, &s.RefY});
    if (c.Kind == CalibrationKind::FourPoint)
        marks.push_back({c.CornerX, c.CornerY, &c.CornerX, &c.CornerY});
    return marks;
}

} // namespace

int snapMarks(const PixelView& picture, ScanSettings& settings)
{
    int moved = 0;
    std::vector<uint8_t> buffer;
    for (const MarkPoint& m : markPoints(settings)) {
        if (m.x < 0 || m.y < 0)
            continue;
        // Rows read while they are scanned are read here for the mark alone.
        PixelView rows = picture;
        if (picture.feed) {
            ScanSettings alone;
            alone.OriginX = m.x;
            alone.OriginY = m.y;
            const RowSpan span = rowsReadBySnap(picture.height, alone);
            try {
                rows = heldRows(picture, span.first, span.end, buffer);
            } catch (const std::runtime_error&) {
                continue; // the scan that follows tells that the rows cannot be read
            }
        }
        const SnappedMark s = snapToCrossing(rows, m.x, m.y);
        if (!s.snapped)
            continue;
        if (m.snappedX)
            *m.snappedX = s.x;
        if (m.snappedY)
            *m.snappedY = s.y;
        ++moved;
    }
    return moved;
}

RowSpan rowsReadBySnap(int32_t height, const ScanSettings& settings)
{
    ScanSettings s = settings;
    double top = HUGE_VAL, bottom = -HUGE_VAL;
    for (const MarkPoint& m : markPoints(s))
        if (m.x >= 0 && m.y >= 0) {
            top = std::min(top, height - m.y);
            bottom = std::max(bottom, height - m.y);
        }
    if (top > bottom)
        return {};
    // The window's rows and the one on either side of it.
    const auto clamp = [height](double r) { return int32_t(std::clamp(r, 0.0, double(height))); };
    return {clamp(std::floor(top) - kSnapRadius - 2), clamp(std::ceil(bottom) + kSnapRadius + 3)};
}

} // namespace plotrun
