#include "Uncertainty.h"

#include "ChartMap.h"
#include "NumberText.h"

#include <algorithm>
#include <cmath>

namespace plotrun {

namespace {

// How far a real value moves for one frame pixel, at a frame position.
double realPerPixel(double (ChartMap::*real)(double) const, const ChartMap& map, double at)
{
    return std::fabs((map.*real)(at + 0.5) - (map.*real)(at - 0.5));
}

double markTerm(double sigma, double t) { return sigma * std::sqrt((1 - t) * (1 - t) + t * t); }

} // namespace

UncertaintyTerms uncertaintyTerms(const ScanSettings& s)
{
    UncertaintyTerms t;
    const ChartMap map(s);
    if (const ChartFit* fit = map.fit(); fit && fit->overdetermined && fit->problem == FitProblem::None)
        t.marks = std::max(t.marks, fit->rms);
    return t;
}

void placeUncertainties(std::vector<ResultRow>& rows, const ScanSettings& s)
{
    const ChartMap map(s);
    const UncertaintyTerms terms = uncertaintyTerms(s);
    const size_t n = rows.size();
    // Every point in frame pixels, and where the marks lie along each axis.
    std::vector<double> fx(n), fy(n);
    for (size_t i = 0; i < n; ++i) {
        fx[i] = map.bitmapX(rows[i].realX);
        fy[i] = map.bitmapY(rows[i].realY);
    }
    const double ox = map.bitmapX(s.RealOriginX), rx = map.bitmapX(s.RealRefX);
    const double oy = map.bitmapY(s.RealOriginY), ry = map.bitmapY(s.RealRefY);
    // Neighbours are the points of strips nearby: a gap of more than a few
    // strips ends them.
    const double near = 4.0 * std::max(1, s.ScanWidth);
    const auto neighbours = [&](size_t i, size_t j) {
        return std::fabs(fx[j] - fx[i]) <= near * double(j > i ? j - i : i - j);
    };
    for (size_t i = 0; i < n; ++i) {
        ResultRow& row = rows[i];
        double sum2 = 0;
        int count = 0;
        for (size_t j = i > 6 ? i - 6 : 1; j + 1 < n && j <= i + 6; ++j) {
            if (!neighbours(j, j - 1) || !neighbours(j, j + 1))
                continue;
            const double d = fy[j] - 0.5 * (fy[j - 1] + fy[j + 1]);
            sum2 += d * d;
            ++count;
        }
        const double perY = realPerPixel(&ChartMap::realY, map, fy[i]);
        row.scatter = count > 0 ? std::sqrt(sum2 / count / 1.5) : (perY > 0 ? row.sdev / perY : 0);
        size_t a = i, b = i;
        while (a > 0 && i - a < 2 && neighbours(a - 1, a))
            --a;
        while (b + 1 < n && b - i < 2 && neighbours(b, b + 1))
            ++b;
        const double slope = b > a && fx[b] != fx[a] ? (fy[b] - fy[a]) / (fx[b] - fx[a]) : 0;
        const double mx = markTerm(terms.marks, (fx[i] - ox) / (rx - ox));
        const double my = markTerm(terms.marks, (fy[i] - oy) / (ry - oy));
        const double ux = std::sqrt(mx * mx + terms.grid * terms.grid);
        const double uy =
            std::sqrt(my * my + terms.grid * terms.grid + row.scatter * row.scatter + slope * slope * ux * ux);
        row.ux = ux * realPerPixel(&ChartMap::realX, map, fx[i]);
        row.uy = uy * perY;
    }
}

std::vector<std::string> uncertaintyHeaderCells(const ScanSettings& s, double medianScatter, std::string_view sep)
{
    const UncertaintyTerms t = uncertaintyTerms(s);
    return {"U [px]:",
            "marks",
            formatReal(t.marks, sep),
            "pixel grid",
            formatReal(t.grid, sep),
            "scatter (median)",
            formatReal(medianScatter, sep)};
}

} // namespace plotrun
