#include "AxisFinder.h"

#include "NumberText.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace plotrun {

namespace {

// The least-squares line v = offset + slope u through the points (u, v),
// those marked in `use` alone when it is given; false when the u do not
// spread.
bool fitStraightLine(const std::vector<double>& u, const std::vector<double>& v, const std::vector<bool>* use,
                     double& offset, double& slope)
{
    double n = 0, su = 0, sv = 0, suu = 0, suv = 0;
    for (size_t k = 0; k < u.size(); ++k)
        if (!use || (*use)[k]) {
            ++n;
            su += u[k];
            sv += v[k];
            suu += u[k] * u[k];
            suv += u[k] * v[k];
        }
    const double det = n * suu - su * su;
    if (det <= 0)
        return false;
    slope = (n * suv - su * sv) / det;
    offset = (sv - slope * su) / n;
    return true;
}

constexpr double kPi = 3.14159265358979323846;
// Darkness from which a pixel is ink of a line or a glyph: black and dark
// lines, not a light grey grid.
constexpr int kLineInk = 128;
constexpr int kGlyphInk = 80;
// The largest turn of a picture that is looked for, in degrees.
constexpr double kMostTurn = 3.0;
// How far from the fit a tick's value may put it and still agree, in pixels.
constexpr double kAgreement = 1.5;
// A turn that moves an axis's end by less than this many pixels is left to
// the axes kind.
constexpr double kTurnPixels = 0.2;

// The picture's darkness, 255 minus the luminance, one byte a pixel.
struct Darkness {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> d;

    int at(int64_t c, int64_t r) const
    {
        if (c < 0 || r < 0 || c >= width || r >= height)
            return 0;
        return d[size_t(r) * size_t(width) + size_t(c)];
    }
    // Between pixels, by the four around.
    double bilinear(double c, double r) const
    {
        const double fc = std::floor(c), fr = std::floor(r);
        const double tc = c - fc, tr = r - fr;
        const auto ic = int64_t(fc), ir = int64_t(fr);
        return (1 - tr) * ((1 - tc) * at(ic, ir) + tc * at(ic + 1, ir)) +
               tr * ((1 - tc) * at(ic, ir + 1) + tc * at(ic + 1, ir + 1));
    }
};

Darkness darknessOf(const PixelView& p)
{
    Darkness k;
    k.width = p.width;
    k.height = p.height;
    k.d.resize(size_t(p.width) * size_t(p.height));
    for (int32_t r = 0; r < p.height; ++r)
        for (int32_t c = 0; c < p.width; ++c) {
            const uint32_t v = p.colourAt(c, r);
            const uint32_t lum = v == PixelView::kOutsidePixel
                                     ? 255
                                     : ((v & 0xFF) * 299 + ((v >> 8) & 0xFF) * 587 + (v >> 16) * 114) / 1000;
            k.d[size_t(r) * size_t(p.width) + size_t(c)] = uint8_t(255 - lum);
        }
    return k;
}

// A line about along the rows (across = row, along = column) or the columns
// (across = column, along = row): across = a + b * along, its centre.
struct Line {
    bool rows = true;
    double a = 0, b = 0;
    double from = 0, to = 0; // its extent along
    double thickness = 2;

    double across(double along) const { return a + b * along; }
    // A point `out` pixels from the line, away from the chart: below the x
    // axis, left of the y axis.
    void point(double along, double out, double& c, double& r) const
    {
        if (rows) {
            c = along;
            r = across(along) + out;
        } else {
            r = along;
            c = across(along) - out;
        }
    }
};

// The long straight runs about along the rows (or the columns) at a common
// turn: the turn that piles the most ink into one row of the sheared
// picture, then each pile of at least half the largest.
struct LineSet {
    double slope = 0;
    std::vector<Line> lines;
};

LineSet longLines(const Darkness& k, bool rows)
{
    const int32_t alongSize = rows ? k.width : k.height;
    const int32_t acrossSize = rows ? k.height : k.width;
    std::vector<std::pair<int32_t, int32_t>> ink; // (along, across)
    for (int32_t r = 0; r < k.height; ++r)
        for (int32_t c = 0; c < k.width; ++c)
            if (k.d[size_t(r) * size_t(k.width) + size_t(c)] >= kLineInk)
                ink.emplace_back(rows ? c : r, rows ? r : c);
    LineSet set;
    if (ink.empty())
        return set;
    const int32_t margin = int32_t(std::ceil(alongSize * std::tan(kMostTurn * kPi / 180))) + 2;
    std::vector<int32_t> pile(size_t(acrossSize + 2 * margin + 2));
    const auto piled = [&](double slope) {
        std::fill(pile.begin(), pile.end(), 0);
        for (const auto& [al, ac] : ink) {
            const auto bin = int64_t(std::lround(ac - slope * al)) + margin;
            if (bin >= 0 && bin < int64_t(pile.size()))
                ++pile[size_t(bin)];
        }
        return *std::max_element(pile.begin(), pile.end());
    };
    double best = 0;
    int32_t bestPile = -1;
    const auto tryTurn = [&](double degrees) {
        const double slope = std::tan(degrees * kPi / 180);
        const int32_t n = piled(slope);
        if (n > bestPile) {
            bestPile = n;
            best = slope;
        }
    };
    for (double t = -kMostTurn; t <= kMostTurn + 1e-9; t += 0.1)
        tryTurn(t);
    const double coarse = std::atan(best) * 180 / kPi;
    for (double t = coarse - 0.1; t <= coarse + 0.1 + 1e-9; t += 0.01)
        tryTurn(t);
    piled(best);
    set.slope = best;
    // Piles of neighbouring rows belong to one line.
    std::vector<int32_t> sum(pile.size());
    for (size_t i = 0; i < pile.size(); ++i)
        sum[i] = pile[i] + (i > 0 ? pile[i - 1] : 0) + (i + 1 < pile.size() ? pile[i + 1] : 0);
    // A line along the picture's edge is a border around it, no measure for
    // the chart's own lines; it stays one of them when long enough.
    int32_t top = 0;
    for (size_t i = 0; i < sum.size(); ++i) {
        const int64_t across = int64_t(i) - margin;
        if (across >= 2 && across <= acrossSize - 3)
            top = std::max(top, sum[i]);
    }
    if (top == 0)
        top = *std::max_element(sum.begin(), sum.end());
    for (size_t i = 0; i < sum.size(); ++i) {
        if (sum[i] < top / 2 || sum[i] < alongSize / 8)
            continue;
        const bool peak = (i == 0 || sum[i] > sum[i - 1]) && (i + 1 == sum.size() || sum[i] >= sum[i + 1]);
        if (!peak)
            continue;
        Line l;
        l.rows = rows;
        l.a = double(i) - margin;
        l.b = best;
        set.lines.push_back(l);
    }
    return set;
}

// The line's centre to a fraction of a pixel, its extent and thickness: the
// darkness-weighted centre across it at each step along, fitted by least
// squares, leaving out the steps where a tick or a curve pulls the centre.
bool refine(const Darkness& k, Line& l)
{
    const int32_t alongSize = l.rows ? k.width : k.height;
    const auto dark = [&](int32_t along, int32_t across) { return l.rows ? k.at(along, across) : k.at(across, along); };
    // The extent: the longest run of steps with ink on the line, across gaps
    // of a few steps.
    int32_t runStart = -1, bestStart = 0, bestEnd = -1, lastInk = -100;
    for (int32_t s = 0; s < alongSize; ++s) {
        const auto at = int32_t(std::lround(l.across(s)));
        const bool inked = std::max({dark(s, at - 1), dark(s, at), dark(s, at + 1)}) >= kLineInk;
        if (!inked)
            continue;
        if (s - lastInk > 4)
            runStart = s;
        lastInk = s;
        if (s - runStart > bestEnd - bestStart) {
            bestStart = runStart;
            bestEnd = s;
        }
    }
    if (bestEnd - bestStart < alongSize / 8)
        return false;
    l.from = bestStart;
    l.to = bestEnd;
    std::vector<double> along, centre, weight;
    for (int round = 0; round < 2; ++round) {
        along.clear();
        centre.clear();
        weight.clear();
        for (int32_t s = bestStart; s <= bestEnd; ++s) {
            const double guess = l.across(s);
            const auto at = int32_t(std::lround(guess));
            double sw = 0, swx = 0;
            for (int32_t d = -3; d <= 3; ++d) {
                const int v = dark(s, at + d);
                sw += v;
                swx += v * double(at + d);
            }
            if (sw < 255)
                continue;
            const double c = swx / sw;
            if (round == 1 && std::fabs(c - guess) > 0.5)
                continue;
            along.push_back(s);
            centre.push_back(c);
            weight.push_back(sw);
        }
        if (along.size() < 10)
            return false;
        if (!fitStraightLine(along, centre, nullptr, l.a, l.b))
            return false;
    }
    std::vector<double> w = weight;
    std::nth_element(w.begin(), w.begin() + long(w.size() / 2), w.end());
    l.thickness = w[w.size() / 2] / 255;
    return true;
}

// --- Ticks

struct Tick {
    double along = 0;
    double strength = 0;
};

// The darkness beside the line, `near` to `far` pixels out (or in, when
// negative), at each step along it.
std::vector<double> besideProfile(const Darkness& k, const Line& l, double near, double far)
{
    const int32_t alongSize = l.rows ? k.width : k.height;
    std::vector<double> p(size_t(alongSize), 0.0);
    const double step = far > near ? 1 : -1;
    for (int32_t s = 0; s < alongSize; ++s)
        for (double o = near; step * (far - o) >= 0; o += step) {
            double c, r;
            l.point(s, o, c, r);
            p[size_t(s)] += k.at(std::lround(c), std::lround(r));
        }
    return p;
}

// The peaks of a profile, each at its darkness-weighted centre.
std::vector<Tick> peaks(const std::vector<double>& p, double from, double to)
{
    std::vector<Tick> out;
    const auto n = int32_t(p.size());
    const double floor = 150;
    for (int32_t i = std::max<int32_t>(2, int32_t(from) - 8); i < std::min<int32_t>(n - 2, int32_t(to) + 9); ++i) {
        if (p[size_t(i)] < floor)
            continue;
        bool top = true;
        for (int32_t d = -3; d <= 3 && top; ++d)
            if (d != 0 && i + d >= 0 && i + d < n)
                top = d < 0 ? p[size_t(i)] > p[size_t(i + d)] : p[size_t(i)] >= p[size_t(i + d)];
        if (!top)
            continue;
        double base = p[size_t(i)];
        for (int32_t d = -3; d <= 3; ++d)
            if (i + d >= 0 && i + d < n)
                base = std::min(base, p[size_t(i + d)]);
        double sw = 0, swx = 0;
        for (int32_t d = -2; d <= 2; ++d)
            if (i + d >= 0 && i + d < n) {
                const double w = p[size_t(i + d)] - base;
                sw += w;
                swx += w * (i + d);
            }
        if (sw > 0)
            out.push_back({swx / sw, p[size_t(i)] - base});
    }
    return out;
}

// The ticks at a regular step: the step and first tick that the most
// peaks agree with, those peaks, and the step.
std::vector<Tick> regular(const std::vector<Tick>& found, double& step)
{
    step = 0;
    if (found.size() < 3)
        return {};
    // Weak peaks beside strong ticks are noise; a light grid among the
    // frame's own lines is not.
    std::vector<double> strength;
    for (const Tick& t : found)
        strength.push_back(t.strength);
    std::nth_element(strength.begin(), strength.begin() + long(strength.size() / 2), strength.end());
    const double typical = strength[strength.size() / 2];
    std::vector<Tick> p;
    for (const Tick& t : found)
        if (t.strength >= 0.3 * typical)
            p.push_back(t);
    size_t bestCount = 0;
    double bestStep = 0, bestAnchor = 0;
    for (size_t i = 0; i + 1 < p.size(); ++i) {
        const double s = p[i + 1].along - p[i].along;
        if (s < 5)
            continue;
        const double tol = std::max(1.0, 0.04 * s);
        for (const Tick& anchor : p) {
            size_t count = 0;
            for (const Tick& t : p) {
                const double k = std::round((t.along - anchor.along) / s);
                if (std::fabs(t.along - anchor.along - k * s) <= tol)
                    ++count;
            }
            if (count > bestCount || (count == bestCount && s > bestStep)) {
                bestCount = count;
                bestStep = s;
                bestAnchor = anchor.along;
            }
        }
    }
    if (bestCount < 3)
        return {};
    std::vector<Tick> out;
    const double tol = std::max(1.0, 0.04 * bestStep);
    for (const Tick& t : p) {
        const double k = std::round((t.along - bestAnchor) / bestStep);
        if (std::fabs(t.along - bestAnchor - k * bestStep) <= tol)
            out.push_back(t);
    }
    step = bestStep;
    return out;
}

// --- Labels

// The strip beside an axis where its labels lie, upright: for the x axis its
// columns run along the axis and its rows outward; for the y axis its rows
// run along the axis and its columns inward, so that text reads left to
// right in both.
struct Zone {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> d;
    const Line* line = nullptr;
    double alongStart = 0, outStart = 0, outEnd = 0;

    int at(int32_t i, int32_t j) const { return d[size_t(j) * size_t(width) + size_t(i)]; }
    // Where zone pixel (i, j) lies on the axis: along it and out from it.
    double along(double i, double j) const { return alongStart + (line->rows ? i : j); }
    double out(double i, double j) const { return line->rows ? outStart + j : outEnd - i; }
};

Zone labelZone(const Darkness& k, const Line& l, double alongFrom, double alongTo, double outFrom, double outTo)
{
    Zone z;
    z.line = &l;
    z.alongStart = std::floor(alongFrom);
    z.outStart = outFrom;
    z.outEnd = outTo;
    const auto along = int32_t(std::ceil(alongTo) - z.alongStart) + 1;
    const auto out = int32_t(std::ceil(outTo - outFrom)) + 1;
    z.width = l.rows ? along : out;
    z.height = l.rows ? out : along;
    z.d.resize(size_t(z.width) * size_t(z.height));
    for (int32_t j = 0; j < z.height; ++j)
        for (int32_t i = 0; i < z.width; ++i) {
            double c, r;
            l.point(z.along(i, j), z.out(i, j), c, r);
            z.d[size_t(j) * size_t(z.width) + size_t(i)] = uint8_t(k.at(std::lround(c), std::lround(r)));
        }
    return z;
}

struct Box {
    int32_t left = 0, top = 0, right = -1, bottom = -1; // inclusive
    int32_t width() const { return right - left + 1; }
    int32_t height() const { return bottom - top + 1; }
    void add(const Box& b)
    {
        if (right < left) {
            *this = b;
            return;
        }
        left = std::min(left, b.left);
        top = std::min(top, b.top);
        right = std::max(right, b.right);
        bottom = std::max(bottom, b.bottom);
    }
};

struct Glyph {
    Box box;
    int32_t label = -1; // its component number in the zone
};

struct Word {
    Box box;
    std::vector<int32_t> glyphs;
};

// The zone's pieces of ink (8-connected), each a glyph or a part of one;
// `owner` gets each ink pixel's glyph.
std::vector<Glyph> glyphsOf(const Zone& z, std::vector<int32_t>& owner)
{
    owner.assign(z.d.size(), -1);
    std::vector<Glyph> out;
    std::vector<int32_t> stack;
    for (int32_t j = 0; j < z.height; ++j)
        for (int32_t i = 0; i < z.width; ++i) {
            const size_t at = size_t(j) * size_t(z.width) + size_t(i);
            if (z.d[at] < kGlyphInk || owner[at] >= 0)
                continue;
            Glyph g;
            g.label = int32_t(out.size());
            g.box = {i, j, i, j};
            owner[at] = g.label;
            stack.assign(1, int32_t(at));
            while (!stack.empty()) {
                const int32_t p = stack.back();
                stack.pop_back();
                const int32_t pi = p % z.width, pj = p / z.width;
                g.box.add({pi, pj, pi, pj});
                for (int32_t dj = -1; dj <= 1; ++dj)
                    for (int32_t di = -1; di <= 1; ++di) {
                        const int32_t ni = pi + di, nj = pj + dj;
                        if (ni < 0 || nj < 0 || ni >= z.width || nj >= z.height)
                            continue;
                        const size_t n = size_t(nj) * size_t(z.width) + size_t(ni);
                        if (z.d[n] >= kGlyphInk && owner[n] < 0) {
                            owner[n] = g.label;
                            stack.push_back(int32_t(n));
                        }
                    }
            }
            out.push_back(g);
        }
    return out;
}

// Glyphs side by side on a line of text, close enough to be one number.
std::vector<Word> wordsOf(const std::vector<Glyph>& glyphs)
{
    std::vector<int32_t> order;
    for (size_t g = 0; g < glyphs.size(); ++g) {
        const Box& b = glyphs[g].box;
        // Lines and curves are no glyphs.
        if (b.height() <= 60 && b.width() <= 60 && (b.height() >= 2 || b.width() >= 2))
            order.push_back(int32_t(g));
    }
    std::sort(order.begin(), order.end(),
              [&](int32_t a, int32_t b) { return glyphs[a].box.left < glyphs[b].box.left; });
    std::vector<Word> words;
    for (const int32_t g : order) {
        const Box& b = glyphs[g].box;
        Word* into = nullptr;
        for (Word& w : words) {
            const double h = std::max(w.box.height(), b.height());
            const bool beside = b.left - w.box.right <= std::max(4.0, 0.75 * h);
            const bool level = b.top <= w.box.bottom + 1 && b.bottom >= w.box.top - 1;
            if (beside && level && b.left >= w.box.left) {
                into = &w;
                break;
            }
        }
        if (!into) {
            words.push_back({b, {g}});
            continue;
        }
        into->box.add(b);
        into->glyphs.push_back(g);
    }
    return words;
}

// The word's own ink, cut out: the faint edges around it, but no other
// piece of ink.
LabelImage cutOut(const Zone& z, const std::vector<int32_t>& owner, const std::vector<int32_t>& glyphs, const Box& box)
{
    LabelImage img;
    img.width = box.width() + 2;
    img.height = box.height() + 2;
    img.darkness.assign(size_t(img.width) * size_t(img.height), 0);
    for (int32_t j = box.top - 1; j <= box.bottom + 1; ++j)
        for (int32_t i = box.left - 1; i <= box.right + 1; ++i) {
            if (i < 0 || j < 0 || i >= z.width || j >= z.height)
                continue;
            const size_t at = size_t(j) * size_t(z.width) + size_t(i);
            const bool own = owner[at] < 0 || std::find(glyphs.begin(), glyphs.end(), owner[at]) != glyphs.end();
            if (own)
                img.darkness[size_t(j - box.top + 1) * size_t(img.width) + size_t(i - box.left + 1)] = z.d[at];
        }
    return img;
}

// Glyphs read as one line of text. A thin short dash first is a minus,
// which the reader easily takes for nothing or a point when it is small.
std::string readGlyphs(const Zone& z, const std::vector<int32_t>& owner, const std::vector<Glyph>& all,
                       const std::vector<int32_t>& glyphs, const Box& box, const LabelReading& read)
{
    std::string text = read(cutOut(z, owner, glyphs, box));
    const auto first = std::min_element(glyphs.begin(), glyphs.end(), [&](int32_t a, int32_t b) {
        return all[size_t(a)].box.left < all[size_t(b)].box.left;
    });
    if (glyphs.size() < 2 || first == glyphs.end())
        return text;
    const Box& d = all[size_t(*first)].box;
    const bool dash = d.width() >= 2 * d.height() && d.height() <= std::max(2.0, 0.2 * box.height()) &&
                      d.top > box.top + 0.2 * box.height() && d.bottom < box.bottom - 0.2 * box.height();
    if (!dash || (!text.empty() && text[0] == '-'))
        return text;
    if (!text.empty() && (text[0] == '.' || text[0] == ','))
        text.erase(0, 1);
    return "-" + text;
}

// A word read: "10" with a small raised number after it is 10 to that
// power, as on logarithmic axes; any other word is read whole.
std::string readWord(const Zone& z, const std::vector<int32_t>& owner, const std::vector<Glyph>& glyphs, const Word& w,
                     const LabelReading& read)
{
    int32_t baseHeight = 0;
    for (const int32_t g : w.glyphs)
        if (glyphs[g].box.bottom >= w.box.bottom - 1)
            baseHeight = std::max(baseHeight, glyphs[g].box.height());
    std::vector<int32_t> base, raised;
    Box baseBox, raisedBox;
    for (const int32_t g : w.glyphs) {
        const Box& b = glyphs[g].box;
        if (baseHeight >= 6 && b.bottom < w.box.bottom - 0.35 * baseHeight) {
            raised.push_back(g);
            raisedBox.add(b);
        } else {
            base.push_back(g);
            baseBox.add(b);
        }
    }
    const bool power = !raised.empty() && !base.empty() && raisedBox.left > baseBox.right - 1;
    if (!power)
        return readGlyphs(z, owner, glyphs, w.glyphs, w.box, read);
    const std::string b = readGlyphs(z, owner, glyphs, base, baseBox, read);
    const std::string e = readGlyphs(z, owner, glyphs, raised, raisedBox, read);
    if (b.empty() || e.empty())
        return b + e;
    return b + "^" + e;
}

// Where a label of the zone lies on the picture, in pixel coordinates.
void zoneCorners(const Zone& z, const Box& b, double& left, double& top, double& right, double& bottom)
{
    left = top = 1e300;
    right = bottom = -1e300;
    for (const double i : {double(b.left), double(b.right)})
        for (const double j : {double(b.top), double(b.bottom)}) {
            double c, r;
            z.line->point(z.along(i, j), z.out(i, j), c, r);
            left = std::min(left, c);
            right = std::max(right, c);
            top = std::min(top, r);
            bottom = std::max(bottom, r);
        }
}

// --- The fit

struct AxisFit {
    bool ok = false;
    bool logarithmic = false;
    double offset = 0, slope = 0; // value (or log10) = offset + slope * u
    std::vector<bool> inlier;
    double rms = 0;
    int count = 0;
};

// Every pair of ticks proposes a scale; the one that the most ticks agree
// with (then the smallest squared misfit) is fitted again by least squares
// over those ticks.
AxisFit robustFit(const std::vector<double>& u, const std::vector<double>& value, bool logarithmic)
{
    AxisFit best;
    best.logarithmic = logarithmic;
    std::vector<double> v(value.size());
    std::vector<bool> usable(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        usable[i] = !logarithmic || value[i] > 0;
        v[i] = logarithmic ? (value[i] > 0 ? std::log10(value[i]) : 0) : value[i];
    }
    const auto agree = [&](double offset, double slope, std::vector<bool>& in, double& misfit) {
        int n = 0;
        misfit = 0;
        for (size_t k = 0; k < v.size(); ++k) {
            const double r = usable[k] ? (v[k] - offset) / slope - u[k] : 1e300;
            in[k] = std::fabs(r) <= kAgreement;
            if (in[k]) {
                ++n;
                misfit += r * r;
            }
        }
        return n;
    };
    std::vector<bool> in(v.size());
    double bestMisfit = 0;
    for (size_t i = 0; i < v.size(); ++i)
        for (size_t j = i + 1; j < v.size(); ++j) {
            if (!usable[i] || !usable[j] || v[i] == v[j] || std::fabs(u[i] - u[j]) < 3)
                continue;
            const double slope = (v[j] - v[i]) / (u[j] - u[i]);
            const double offset = v[i] - slope * u[i];
            double misfit = 0;
            const int n = agree(offset, slope, in, misfit);
            if (n > best.count || (n == best.count && misfit < bestMisfit)) {
                best.count = n;
                bestMisfit = misfit;
                best.offset = offset;
                best.slope = slope;
                best.inlier = in;
            }
        }
    if (best.count < 2)
        return best;
    for (int round = 0; round < 2; ++round) {
        if (!fitStraightLine(u, v, &best.inlier, best.offset, best.slope))
            return best;
        double misfit = 0;
        best.count = agree(best.offset, best.slope, best.inlier, misfit);
        best.rms = best.count ? std::sqrt(misfit / best.count) : 0;
    }
    best.ok = best.count >= 3;
    return best;
}

// --- One axis

const char* axisName(bool rows) { return rows ? "x" : "y"; }

// The ticks beside a line at a regular step: outside, then inside, then
// grid lines further in. Empty when there are fewer than three.
std::vector<Tick> ticksBeside(const Darkness& k, const Line& l, double& step)
{
    const double half = l.thickness / 2;
    struct Side {
        double near, far;
    };
    const Side sides[] = {{half + 1.5, half + 4.5}, {-half - 1.5, -half - 4.5}, {-half - 12, -half - 20}};
    std::vector<Tick> ticks;
    step = 0;
    for (const Side& s : sides) {
        ticks = regular(peaks(besideProfile(k, l, s.near, s.far), l.from, l.to), step);
        if (ticks.size() >= 3)
            return ticks;
    }
    return {};
}

FoundAxis readAxis(const Darkness& k, const Line& l, const std::vector<Tick>& ticks, double step,
                   const LabelReading& read)
{
    FoundAxis axis;
    const std::string name = axisName(l.rows);
    const double half = l.thickness / 2;
    if (ticks.size() < 3) {
        axis.problem = "no ticks or grid lines at a regular step along the " + name + " axis";
        return axis;
    }
    // How far the ticks reach outward: the labels lie beyond them.
    std::vector<double> reach;
    for (const Tick& t : ticks) {
        double o = half + 1;
        for (; o < half + 25; o += 1) {
            double c, r;
            l.point(t.along, o, c, r);
            if (std::max({k.bilinear(c, r), k.bilinear(c - (l.rows ? 1 : 0), r - (l.rows ? 0 : 1)),
                          k.bilinear(c + (l.rows ? 1 : 0), r + (l.rows ? 0 : 1))}) < 60)
                break;
        }
        reach.push_back(o);
    }
    std::nth_element(reach.begin(), reach.begin() + long(reach.size() / 2), reach.end());
    const double labelsFrom = reach[reach.size() / 2] + 1;
    const double labelsTo = labelsFrom + (l.rows ? 60 : 160);

    std::vector<FoundTick> found;
    std::vector<double> u, values;
    std::vector<size_t> valuedTick;
    const Zone z = labelZone(k, l, ticks.front().along - step, ticks.back().along + step, labelsFrom, labelsTo);
    std::vector<int32_t> owner;
    const std::vector<Glyph> glyphs = glyphsOf(z, owner);
    const std::vector<Word> words = read ? wordsOf(glyphs) : std::vector<Word>{};
    std::vector<int32_t> wordTick(words.size(), -1);
    // Each word goes to the tick nearest its middle, and each tick keeps the
    // word nearest the axis.
    std::vector<int32_t> tickWord(ticks.size(), -1);
    const auto outOf = [&](const Word& w) { return l.rows ? w.box.top : z.width - 1 - w.box.right; };
    for (size_t wi = 0; wi < words.size(); ++wi) {
        const Box& b = words[wi].box;
        const double middle = z.along((b.left + b.right) / 2.0, (b.top + b.bottom) / 2.0);
        size_t nearest = 0;
        for (size_t t = 1; t < ticks.size(); ++t)
            if (std::fabs(ticks[t].along - middle) < std::fabs(ticks[nearest].along - middle))
                nearest = t;
        // A label lies across its tick's line, centred on it.
        const double first = z.along(b.left, b.top) - 2, last = z.along(b.right, b.bottom) + 2;
        const double tickAt = ticks[nearest].along;
        if (std::fabs(tickAt - middle) > 0.3 * step || tickAt < first || tickAt > last || outOf(words[wi]) > 40)
            continue;
        int32_t& held = tickWord[nearest];
        if (held < 0 || outOf(words[wi]) < outOf(words[size_t(held)]))
            held = int32_t(wi);
    }
    for (size_t t = 0; t < ticks.size(); ++t) {
        FoundTick ft;
        double c, r;
        l.point(ticks[t].along, 0, c, r);
        ft.x = c;
        ft.y = r; // pixel rows for now; bitmap y below
        if (tickWord[t] >= 0) {
            const Word& w = words[size_t(tickWord[t])];
            ft.text = readWord(z, owner, glyphs, w, read);
            ft.valued = labelValue(ft.text, ft.value);
            zoneCorners(z, w.box, ft.labelLeft, ft.labelTop, ft.labelRight, ft.labelBottom);
            if (ft.valued) {
                u.push_back(l.rows ? c : r);
                values.push_back(ft.value);
                valuedTick.push_back(found.size());
            }
        }
        found.push_back(ft);
    }
    axis.ticks = found;
    if (!read)
        return axis;
    if (values.size() < 3) {
        axis.problem = "fewer than three labels of the " + name + " axis could be read as numbers";
        return axis;
    }
    const AxisFit linear = robustFit(u, values, false);
    const AxisFit logarithmic = robustFit(u, values, true);
    const AxisFit& fit = logarithmic.count > linear.count ? logarithmic : linear;
    if (!fit.ok) {
        axis.problem = "the labels of the " + name + " axis do not step evenly, nor by factors";
        return axis;
    }
    axis.logarithmic = fit.logarithmic;
    axis.offset = fit.offset;
    axis.slope = fit.slope;
    axis.rms = fit.rms;
    axis.inliers = fit.count;
    for (size_t i = 0; i < valuedTick.size(); ++i) {
        FoundTick& t = axis.ticks[valuedTick[i]];
        t.inlier = fit.inlier[i];
        const double v = fit.logarithmic ? (values[i] > 0 ? std::log10(values[i]) : NAN) : values[i];
        t.residual = std::isfinite(v) ? (v - fit.offset) / fit.slope - u[i] : NAN;
        t.misread = !t.inlier;
    }
    // Half the labels read may disagree at most: beyond that the fit is a
    // guess among misreads.
    if (fit.count < 3 || 2 * fit.count < int(values.size()) + 1) {
        axis.problem = "the labels of the " + name + " axis disagree: only " + std::to_string(fit.count) + " of " +
                       std::to_string(values.size()) + " fit one scale";
        return axis;
    }
    axis.sure = true;
    return axis;
}

// Where two lines, one about along the rows and one along the columns, meet.
void crossing(const Line& h, const Line& v, double& c, double& r)
{
    // r = h.a + h.b c, c = v.a + v.b r
    c = (v.a + v.b * h.a) / (1 - v.b * h.b);
    r = h.a + h.b * c;
}

} // namespace

bool labelValue(const std::string& raw, double& value)
{
    std::string t;
    for (const char ch : raw)
        if (!std::isspace(static_cast<unsigned char>(ch)))
            t += ch;
    if (t.empty())
        return false;
    // A decimal comma, when there is no point and it is no thousands' separator.
    if (t.find('.') == std::string::npos) {
        const size_t comma = t.find(',');
        if (comma != std::string::npos) {
            const size_t digitsAfter = t.size() - comma - 1;
            if (digitsAfter == 3 && t.find(',', comma + 1) == std::string::npos && comma > 0 && t[0] != '0')
                t.erase(comma, 1);
            else
                t[comma] = '.';
        }
    }
    // "e3": a mantissa of 1 is what the reader loses most often, a narrow
    // stroke before the e; the fit judges the guess like any reading.
    if (t[0] == 'e' || t[0] == 'E')
        t = "1" + t;
    const auto plain = [](const std::string& s, double& v) {
        const std::optional<double> r = readReal(s, ".");
        if (r)
            v = *r;
        return r.has_value() && std::isfinite(v);
    };
    const size_t caret = t.find('^');
    if (caret != std::string::npos) {
        // "10^3", or "2x10^3".
        std::string base = t.substr(0, caret);
        double mantissa = 1, exponent = 0;
        const size_t times = base.find_first_of("xX");
        if (times != std::string::npos) {
            if (!plain(base.substr(0, times), mantissa))
                return false;
            base = base.substr(times + 1);
        }
        std::string sign;
        if (!base.empty() && base[0] == '-' && times == std::string::npos) {
            sign = "-";
            base = base.substr(1);
        }
        if (base != "10" || !plain(t.substr(caret + 1), exponent) || exponent != std::trunc(exponent))
            return false;
        value = (sign.empty() ? 1 : -1) * mantissa * std::pow(10.0, exponent);
        return std::isfinite(value);
    }
    if (t.find_first_of("xX") != std::string::npos)
        return false;
    return plain(t, value);
}

std::string FoundAxes::doubt() const
{
    if (!linesFound)
        return problem;
    std::string text;
    for (const FoundAxis* a : {&x, &y})
        if (!a->sure)
            text += (text.empty() ? "" : "; ") + a->problem;
    return text;
}

FoundAxes findAxes(const PixelView& picture, const LabelReading& read)
{
    FoundAxes found;
    if (picture.width < 20 || picture.height < 20) {
        found.problem = "the picture is too small to hold axes";
        return found;
    }
    const Darkness k = darknessOf(picture);
    LineSet rows = longLines(k, true), columns = longLines(k, false);
    const auto keep = [&](LineSet& set) {
        std::vector<Line> kept;
        for (Line& l : set.lines)
            if (refine(k, l))
                kept.push_back(l);
        set.lines = kept;
    };
    keep(rows);
    keep(columns);
    if (rows.lines.empty() || columns.lines.empty()) {
        found.problem = rows.lines.empty() ? "no long straight line along the x axis was found"
                                           : "no long straight line along the y axis was found";
        return found;
    }
    // The x axis is the lowest long line with ticks or grid lines at a
    // regular step beside it, the y axis the leftmost: the frame's, or the
    // axes themselves, not a border around the picture or the figure. When
    // no line has ticks, the lowest and the leftmost.
    const auto middleOf = [](const Line& l) { return l.across((l.from + l.to) / 2); };
    struct Axis {
        Line line;
        std::vector<Tick> ticks;
        double step = 0;
    };
    const auto axisOf = [&](std::vector<Line> lines, bool lowest) {
        std::sort(lines.begin(), lines.end(), [&](const Line& a, const Line& b) {
            return lowest ? middleOf(a) > middleOf(b) : middleOf(a) < middleOf(b);
        });
        Axis a;
        for (const Line& l : lines) {
            a.ticks = ticksBeside(k, l, a.step);
            if (!a.ticks.empty()) {
                a.line = l;
                return a;
            }
        }
        a.line = lines.front();
        return a;
    };
    const Axis xAxis = axisOf(rows.lines, true), yAxis = axisOf(columns.lines, false);
    const Line& xLine = xAxis.line;
    const Line& yLine = yAxis.line;
    found.linesFound = true;
    const int32_t h = picture.height;
    found.x.startX = xLine.from;
    found.x.startY = h - xLine.across(xLine.from);
    found.x.endX = xLine.to;
    found.x.endY = h - xLine.across(xLine.to);
    found.y.startX = yLine.across(yLine.to);
    found.y.startY = h - yLine.to;
    found.y.endX = yLine.across(yLine.from);
    found.y.endY = h - yLine.from;
    found.angleDegrees = -std::atan(xLine.b) * 180 / kPi;
    found.turned = std::fabs(xLine.b) * (xLine.to - xLine.from) > kTurnPixels ||
                   std::fabs(yLine.b) * (yLine.to - yLine.from) > kTurnPixels;

    // The area: inside the frame, or within the axes' reach where they cross
    // inside the chart.
    double oc, orow;
    crossing(xLine, yLine, oc, orow);
    const double inset = std::max(xLine.thickness, yLine.thickness) / 2 + 3;
    const double left = oc - xLine.from < 12 ? oc + inset : xLine.from + inset;
    const double right = xLine.to - inset;
    const double bottomRow = yLine.to - orow < 12 ? orow - inset : yLine.to - inset;
    const double topRow = yLine.from + inset;
    // Its corners along the axes' own directions, so that on a turned
    // picture the area is the chart's rectangle.
    const auto corner = [&](double c, double r, double& bx, double& by) {
        const double alpha = c - oc, beta = r - orow;
        bx = std::round(oc + alpha + beta * yLine.b);
        by = h - std::round(orow + alpha * xLine.b + beta);
    };
    corner(left, bottomRow, found.areaStartX, found.areaStartY);
    corner(right, topRow, found.areaEndX, found.areaEndY);

    found.x = [&] {
        FoundAxis a = readAxis(k, xLine, xAxis.ticks, xAxis.step, read);
        a.startX = found.x.startX, a.startY = found.x.startY, a.endX = found.x.endX, a.endY = found.x.endY;
        return a;
    }();
    found.y = [&] {
        FoundAxis a = readAxis(k, yLine, yAxis.ticks, yAxis.step, read);
        a.startX = found.y.startX, a.startY = found.y.startY, a.endX = found.y.endX, a.endY = found.y.endY;
        return a;
    }();
    for (FoundAxis* a : {&found.x, &found.y})
        for (FoundTick& t : a->ticks) {
            t.y = h - t.y;
            t.labelTop = h - t.labelTop;
            t.labelBottom = h - t.labelBottom;
        }
    found.x.across = xLine.a;
    found.x.turn = xLine.b;
    found.y.across = yLine.a;
    found.y.turn = yLine.b;
    if (!read)
        found.problem = "the labels were not read";
    return found;
}

namespace {

// The two full points and the origin of a found calibration, in pixel
// coordinates, with their real values: the outermost ticks that agree with
// the fit, where the fit puts their values.
struct FoundMarks {
    double oc = 0, orow = 0, xc = 0, xrow = 0, yc = 0, yrow = 0;
    double realOriginX = 0, realOriginY = 0, realRefX = 0, realRefY = 0;
};

double fittedU(const FoundAxis& a, double value)
{
    return ((a.logarithmic ? std::log10(value) : value) - a.offset) / a.slope;
}

double valueAt(const FoundAxis& a, double u)
{
    const double v = a.offset + a.slope * u;
    return a.logarithmic ? std::pow(10.0, v) : v;
}

// The values of the ticks that agree with the fit, lowest and highest.
void valueRange(const FoundAxis& a, double& low, double& high)
{
    low = 1e300;
    high = -1e300;
    for (const FoundTick& t : a.ticks)
        if (t.inlier) {
            low = std::min(low, t.value);
            high = std::max(high, t.value);
        }
}

FoundMarks foundMarks(const FoundAxes& f)
{
    Line xl, yl;
    xl.a = f.x.across;
    xl.b = f.x.turn;
    yl.rows = false;
    yl.a = f.y.across;
    yl.b = f.y.turn;
    double oc, orow;
    crossing(xl, yl, oc, orow);
    FoundMarks m;
    valueRange(f.x, m.realOriginX, m.realRefX);
    valueRange(f.y, m.realOriginY, m.realRefY);
    // p = O + alpha (1, xl.b) + beta (yl.b, 1): the x axis's column of p is
    // O's plus alpha, the y axis's row of p O's plus beta.
    const double a0 = fittedU(f.x, m.realOriginX) - oc, a1 = fittedU(f.x, m.realRefX) - oc;
    const double b0 = fittedU(f.y, m.realOriginY) - orow, b1 = fittedU(f.y, m.realRefY) - orow;
    const auto at = [&](double alpha, double beta, double& c, double& r) {
        c = oc + alpha + beta * yl.b;
        r = orow + alpha * xl.b + beta;
    };
    at(a0, b0, m.oc, m.orow);
    at(a1, b0, m.xc, m.xrow);
    at(a0, b1, m.yc, m.yrow);
    return m;
}

} // namespace

void applyFoundCalibration(const FoundAxes& f, int32_t h, ScanSettings& s)
{
    const FoundMarks m = foundMarks(f);
    s.LogX = f.x.logarithmic;
    s.LogY = f.y.logarithmic;
    s.HasRealOriginX = s.HasRealOriginY = s.HasRealRefX = s.HasRealRefY = true;
    s.Calibration.Points.clear();
    if (f.turned) {
        s.Calibration.Kind = CalibrationKind::ThreePoint;
        s.OriginX = m.oc;
        s.OriginY = h - m.orow;
        s.RefX = m.xc;
        s.Calibration.X1Y = h - m.xrow;
        s.Calibration.Y1X = m.yc;
        s.RefY = h - m.yrow;
        s.RealOriginX = m.realOriginX;
        s.RealOriginY = m.realOriginY;
        s.RealRefX = m.realRefX;
        s.RealRefY = m.realRefY;
        return;
    }
    // Along the picture the marks are whole pixels; the real values are
    // the fit's at them.
    s.Calibration.Kind = CalibrationKind::Axes;
    s.OriginX = std::round(m.oc);
    s.RefX = std::round(m.xc);
    const double originRow = std::round(m.orow), refRow = std::round(m.yrow);
    s.OriginY = h - originRow;
    s.RefY = h - refRow;
    s.RealOriginX = valueAt(f.x, s.OriginX);
    s.RealRefX = valueAt(f.x, s.RefX);
    s.RealOriginY = valueAt(f.y, originRow);
    s.RealRefY = valueAt(f.y, refRow);
}

void applyFoundReferences(const FoundAxes& f, int32_t h, ScanSettings& s)
{
    applyFoundCalibration(f, h, s);
    if (s.Calibration.Kind == CalibrationKind::Axes) {
        s.Calibration.Kind = CalibrationKind::ThreePoint;
        s.Calibration.X1Y = s.OriginY;
        s.Calibration.Y1X = s.OriginX;
    }
    Line xl, yl;
    xl.a = f.x.across;
    xl.b = f.x.turn;
    yl.rows = false;
    yl.a = f.y.across;
    yl.b = f.y.turn;
    double oc, orow;
    crossing(xl, yl, oc, orow);
    for (const FoundAxis* a : {&f.x, &f.y})
        for (const FoundTick& t : a->ticks) {
            if (!t.inlier || s.Calibration.Points.size() >= kMostReferencePoints)
                continue;
            // The tick along the axes' own directions from where they cross.
            const double dc = t.x - oc, dr = (h - t.y) - orow;
            const double alpha = (dc - yl.b * dr) / (1 - xl.b * yl.b), beta = dr - alpha * xl.b;
            const bool onX = a == &f.x;
            s.Calibration.Points.push_back(
                {t.x, t.y, onX ? t.value : valueAt(f.x, oc + alpha), onX ? valueAt(f.y, orow + beta) : t.value});
        }
}

std::vector<std::string> calibrationFlags(const FoundAxes& f, int32_t h)
{
    if (!f.sure())
        return {};
    ScanSettings s;
    applyFoundCalibration(f, h, s);
    const auto pair = [](double a, double b) { return formatReal(a, ".") + "," + formatReal(b, "."); };
    std::vector<std::string> flags;
    if (f.turned)
        flags = {"--calibration", "three-point",
                 "--origin",      pair(s.OriginX, s.OriginY),
                 "--x1",          pair(s.RefX, s.Calibration.X1Y),
                 "--y1",          pair(s.Calibration.Y1X, s.RefY)};
    else
        flags = {"--origin", pair(s.OriginX, s.OriginY), "--ref", pair(s.RefX, s.RefY)};
    flags.insert(flags.end(),
                 {"--real-origin", pair(s.RealOriginX, s.RealOriginY), "--real-ref", pair(s.RealRefX, s.RealRefY)});
    if (s.LogX)
        flags.push_back("--log-x");
    if (s.LogY)
        flags.push_back("--log-y");
    return flags;
}

std::vector<std::string> areaFlags(const FoundAxes& f)
{
    if (!f.linesFound)
        return {};
    const auto n = [](double v) { return formatReal(v, "."); };
    return {"--area", n(f.areaStartX) + "," + n(f.areaStartY) + "," + n(f.areaEndX) + "," + n(f.areaEndY)};
}

} // namespace plotrun
