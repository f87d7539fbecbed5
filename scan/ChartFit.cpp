#include "ChartFit.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace plotrun {

using LD = long double;

Projective Projective::after(const Projective& first) const
{
    std::array<LD, 9> r{};
    const auto& a = m_;
    const auto& b = first.m_;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    return Projective(r);
}

LD Projective::determinant() const
{
    const auto& m = m_;
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
}

Projective Projective::inverse() const
{
    const auto& m = m_;
    const LD d = determinant();
    std::array<LD, 9> r = {m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
                           m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
                           m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
    for (LD& v : r)
        v /= d;
    return Projective(r);
}

namespace {

struct Correspondence {
    FitMark mark;
    LD fx = 0; // where its real values lie in the frame
    LD fy = 0;
    LD weight = 1; // in the robust fit
};

// Solves the n x n system a x = b (a row-major) by elimination with partial
// pivoting; nothing when a pivot is negligible against the matrix's scale.
std::optional<std::vector<LD>> solve(std::vector<LD> a, std::vector<LD> b)
{
    const size_t n = b.size();
    LD scale = 0;
    for (const LD v : a)
        scale = std::max(scale, std::fabs(v));
    if (!(scale > 0))
        return std::nullopt;
    for (size_t c = 0; c < n; ++c) {
        size_t p = c;
        for (size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r * n + c]) > std::fabs(a[p * n + c]))
                p = r;
        if (!(std::fabs(a[p * n + c]) > scale * 1e-13L))
            return std::nullopt;
        if (p != c) {
            for (size_t k = 0; k < n; ++k)
                std::swap(a[p * n + k], a[c * n + k]);
            std::swap(b[p], b[c]);
        }
        for (size_t r = c + 1; r < n; ++r) {
            const LD f = a[r * n + c] / a[c * n + c];
            for (size_t k = c; k < n; ++k)
                a[r * n + k] -= f * a[c * n + k];
            b[r] -= f * b[c];
        }
    }
    std::vector<LD> x(n);
    for (size_t i = n; i-- > 0;) {
        LD v = b[i];
        for (size_t k = i + 1; k < n; ++k)
            v -= a[i * n + k] * x[k];
        x[i] = v / a[i * n + i];
    }
    return x;
}

// Least squares through the normal equations: rows of `design` (n each)
// against `target`.
std::optional<std::vector<LD>> leastSquares(const std::vector<std::vector<LD>>& design, const std::vector<LD>& target,
                                            size_t n, const std::vector<LD>& weight)
{
    std::vector<LD> ata(n * n, 0), atb(n, 0);
    for (size_t r = 0; r < design.size(); ++r)
        for (size_t i = 0; i < n; ++i) {
            atb[i] += weight[r] * design[r][i] * target[r];
            for (size_t j = 0; j < n; ++j)
                ata[i * n + j] += weight[r] * design[r][i] * design[r][j];
        }
    return solve(std::move(ata), std::move(atb));
}

// Moves a point set's centroid to 0 and its mean distance from it to
// sqrt(2), so that the equations are well scaled whatever the picture size.
Projective normalising(const std::vector<Correspondence>& c, bool frame)
{
    LD cx = 0, cy = 0;
    for (const Correspondence& p : c) {
        cx += frame ? p.fx : p.mark.picture.x;
        cy += frame ? p.fy : p.mark.picture.y;
    }
    cx /= static_cast<LD>(c.size());
    cy /= static_cast<LD>(c.size());
    LD spread = 0;
    for (const Correspondence& p : c)
        spread += std::hypot((frame ? p.fx : p.mark.picture.x) - cx, (frame ? p.fy : p.mark.picture.y) - cy);
    spread /= static_cast<LD>(c.size());
    const LD s = spread > 0 ? std::sqrt(2.0L) / spread : 1;
    return Projective({s, 0, -s * cx, 0, s, -s * cy, 0, 0, 1});
}

std::optional<Projective> fitAffine(const std::vector<Correspondence>& c)
{
    const Projective np = normalising(c, false);
    std::vector<std::vector<LD>> design;
    std::vector<LD> tx, ty;
    for (const Correspondence& p : c) {
        const auto& m = np.m();
        design.push_back({m[0] * p.mark.picture.x + m[2], m[4] * p.mark.picture.y + m[5], 1});
        tx.push_back(p.fx);
        ty.push_back(p.fy);
    }
    std::vector<LD> w;
    for (const Correspondence& p : c)
        w.push_back(p.weight);
    const auto a = leastSquares(design, tx, 3, w);
    const auto b = leastSquares(design, ty, 3, w);
    if (!a || !b)
        return std::nullopt;
    return Projective({(*a)[0], (*a)[1], (*a)[2], (*b)[0], (*b)[1], (*b)[2], 0, 0, 1}).after(np);
}

std::optional<Projective> fitPerspective(const std::vector<Correspondence>& c)
{
    const Projective np = normalising(c, false);
    const Projective nf = normalising(c, true);
    std::vector<std::vector<LD>> design;
    std::vector<LD> target;
    for (const Correspondence& p : c) {
        const auto& a = np.m();
        const auto& b = nf.m();
        const LD x = a[0] * p.mark.picture.x + a[2], y = a[4] * p.mark.picture.y + a[5];
        const LD u = b[0] * p.fx + b[2], v = b[4] * p.fy + b[5];
        design.push_back({x, y, 1, 0, 0, 0, -u * x, -u * y});
        target.push_back(u);
        design.push_back({0, 0, 0, x, y, 1, -v * x, -v * y});
        target.push_back(v);
    }
    std::vector<LD> w;
    for (const Correspondence& p : c)
        w.insert(w.end(), 2, p.weight);
    const auto h = leastSquares(design, target, 8, w);
    if (!h)
        return std::nullopt;
    const Projective hn({(*h)[0], (*h)[1], (*h)[2], (*h)[3], (*h)[4], (*h)[5], (*h)[6], (*h)[7], 1});
    return nf.inverse().after(hn.after(np));
}

// Where a real value lies along the frame's axis: linear in the value, or
// in its log10.
LD frameOf(double real, double realOrigin, double realRef, bool logarithmic, LD origin, LD length)
{
    if (logarithmic) {
        const LD lo = std::log10(static_cast<LD>(realOrigin));
        return origin + length * (std::log10(static_cast<LD>(real)) - lo) / (std::log10(static_cast<LD>(realRef)) - lo);
    }
    return origin + length * (static_cast<LD>(real) - realOrigin) / (static_cast<LD>(realRef) - realOrigin);
}

// How far, in picture pixels, a map puts a point's real values from where
// the point lies; infinite beyond the horizon.
LD residualOf(const Projective& toFrame, const Correspondence& p)
{
    const Projective back = toFrame.inverse();
    if (!(back.weight(p.fx, p.fy) * toFrame.weight(p.mark.picture.x, p.mark.picture.y) > 0))
        return HUGE_VALL;
    const FramePoint q = back.apply(p.fx, p.fy);
    return std::hypot(static_cast<LD>(q.x) - p.mark.picture.x, static_cast<LD>(q.y) - p.mark.picture.y);
}

// One misplaced mark among many should show as that mark's residual, not
// pull every other mark off by a share of it: the least squares are
// reweighted (Tukey's biweight, about a scale from the residuals' median and
// never below half a pixel, the precision of a click) until they settle.
// Where the weights leave too few points to fix the map, the plain fit
// stands.
std::optional<Projective> robustly(Projective map, std::vector<Correspondence> c, bool perspective)
{
    constexpr LD kLeastScale = 0.5L, kCut = 4.685L;
    for (int round = 0; round < 20; ++round) {
        std::vector<LD> r;
        for (const Correspondence& p : c)
            r.push_back(residualOf(map, p));
        std::vector<LD> sorted = r;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
        const LD scale = std::max(kLeastScale, 1.4826L * sorted[sorted.size() / 2]);
        for (size_t i = 0; i < c.size(); ++i) {
            const LD u = r[i] / (kCut * scale);
            c[i].weight = u < 1 ? (1 - u * u) * (1 - u * u) : 0;
        }
        const std::optional<Projective> next = perspective ? fitPerspective(c) : fitAffine(c);
        if (!next || !(std::fabs(next->determinant()) > 0) || !std::isfinite(next->determinant()))
            return map;
        map = *next;
    }
    return map;
}

LD signedLength(LD dx, LD dy, LD along) { return (along < 0 ? -1 : 1) * std::hypot(dx, dy); }

} // namespace

ChartFit fitChart(const ScanSettings& s)
{
    ChartFit fit;
    const CalibrationSettings& cal = s.Calibration;
    const LD ox = s.OriginX, oy = s.OriginY;
    const FramePoint o{s.OriginX, s.OriginY}, x1{s.RefX, cal.X1Y}, y1{cal.Y1X, s.RefY};
    const LD ax = static_cast<LD>(x1.x) - ox, ay = static_cast<LD>(x1.y) - oy;
    const LD bx = static_cast<LD>(y1.x) - ox, by = static_cast<LD>(y1.y) - oy;
    const LD lx = signedLength(ax, ay, ax), ly = signedLength(bx, by, by);
    // Axes less than about a degree apart cannot be told from one line.
    if (!(std::fabs(ax * by - ay * bx) > 0.02L * std::fabs(lx * ly))) {
        fit.problem = FitProblem::Collinear;
        return fit;
    }
    fit.frameRefX = static_cast<double>(ox + lx);
    fit.frameRefY = static_cast<double>(oy + ly);

    using K = FitMark::Kind;
    std::vector<Correspondence> c = {
        {{K::Origin, 0, o}, ox, oy}, {{K::X1, 0, x1}, ox + lx, oy}, {{K::Y1, 0, y1}, ox, oy + ly}};
    const bool perspective = cal.Kind == CalibrationKind::FourPoint;
    if (perspective)
        c.push_back({{K::Corner, 0, {cal.CornerX, cal.CornerY}}, ox + lx, oy + ly});
    for (size_t i = 0; i < cal.Points.size(); ++i) {
        const ReferencePoint& p = cal.Points[i];
        c.push_back({{K::Point, static_cast<int>(i), {p.x, p.y}},
                     frameOf(p.realX, s.RealOriginX, s.RealRefX, s.LogX, ox, lx),
                     frameOf(p.realY, s.RealOriginY, s.RealRefY, s.LogY, oy, ly)});
    }
    for (const Correspondence& p : c)
        if (!std::isfinite(p.fx) || !std::isfinite(p.fy) || !std::isfinite(p.mark.picture.x) ||
            !std::isfinite(p.mark.picture.y)) {
            fit.problem = FitProblem::Unfixed;
            return fit;
        }
    fit.overdetermined = c.size() > (perspective ? 4u : 3u);

    std::optional<Projective> map = perspective ? fitPerspective(c) : fitAffine(c);
    if (!map || !(std::fabs(map->determinant()) > 0) || !std::isfinite(map->determinant())) {
        fit.problem = FitProblem::Unfixed;
        return fit;
    }
    if (fit.overdetermined)
        map = robustly(*map, c, perspective);
    // The marks' side of the horizon has the positive weight.
    std::array<LD, 9> m = map->m();
    const LD w = map->weight(ox, oy);
    if (!(w != 0)) {
        fit.problem = FitProblem::Unfixed;
        return fit;
    }
    for (LD& v : m)
        v /= w;
    fit.toFrame = Projective(m);
    fit.toPicture = fit.toFrame.inverse();

    LD squares = 0;
    for (const Correspondence& p : c) {
        FitMark mark = p.mark;
        const LD back = fit.toPicture.weight(p.fx, p.fy);
        if (back > 0) {
            const FramePoint q = fit.toPicture.apply(p.fx, p.fy);
            mark.residual = static_cast<double>(
                std::hypot(static_cast<LD>(q.x) - p.mark.picture.x, static_cast<LD>(q.y) - p.mark.picture.y));
        } else {
            // Beyond the horizon: the fit cannot hold this point at all.
            mark.residual = HUGE_VAL;
        }
        squares += static_cast<LD>(mark.residual) * mark.residual;
        fit.marks.push_back(mark);
    }
    fit.rms = static_cast<double>(std::sqrt(squares / static_cast<LD>(c.size())));
    if (!std::isfinite(fit.rms))
        fit.problem = FitProblem::Unfixed;
    return fit;
}

const char* calibrationKindName(CalibrationKind kind)
{
    switch (kind) {
    case CalibrationKind::Axes: return "axes";
    case CalibrationKind::ThreePoint: return "three-point";
    case CalibrationKind::FourPoint: return "four-point";
    }
    return "axes";
}

bool calibrationKindOf(const std::string& name, CalibrationKind& kind)
{
    for (const CalibrationKind k : {CalibrationKind::Axes, CalibrationKind::ThreePoint, CalibrationKind::FourPoint})
        if (name == calibrationKindName(k)) {
            kind = k;
            return true;
        }
    return false;
}

} // namespace plotrun
