#include "Series.h"

#include "ColumnScan.h"
#include "CurveFollow.h"
#include "InkModel.h"
#include "Markers.h"
#include "NumberText.h"
#include "ScanFindings.h"
#include "Uncertainty.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace plotrun {

ScanSettings settingsOfSeries(const ScanSettings& shared, const SeriesSettings& series)
{
    ScanSettings s = shared;
    s.Series.clear();
    s.Ink.On = series.HasInk;
    if (series.HasInk) {
        s.Ink.Ink = series.Ink;
        s.Ink.Tolerance = series.Tolerance;
    }
    // A Start point names the curve among the others: it is followed from there.
    if (series.StartX >= 0 && series.StartY >= 0) {
        s.Follow.On = true;
        s.Follow.StartX = series.StartX;
        s.Follow.StartY = series.StartY;
    }
    return s;
}

namespace {

std::string_view trimmed(std::string_view t)
{
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    return t;
}

// "A:B", each read by `read`.
template <typename T, typename Read>
bool readPair(std::string_view text, Read read, T& a, T& b)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::optional<T> first = read(text.substr(0, colon));
    const std::optional<T> second = read(text.substr(colon + 1));
    if (!first || !second)
        return false;
    a = *first;
    b = *second;
    return true;
}

std::optional<double> bitmapNumber(std::string_view t)
{
    const std::optional<double> v = readBitmap(t, ".");
    if (!v || *v < 0 || !std::isfinite(*v))
        return std::nullopt;
    return v;
}

std::string numberText(double v) { return std::to_string(static_cast<long long>(v)); }

} // namespace

std::string readSeriesSpec(std::string_view spec, SeriesSettings& series)
{
    SeriesSettings s;
    std::vector<std::string> seen;
    while (!spec.empty()) {
        const size_t semi = spec.find(';');
        const std::string_view pair = trimmed(spec.substr(0, semi));
        spec = semi == std::string_view::npos ? std::string_view() : spec.substr(semi + 1);
        if (pair.empty())
            continue;
        const size_t eq = pair.find('=');
        const std::string key(trimmed(pair.substr(0, eq)));
        if (eq == std::string_view::npos)
            return "the series key \"" + key + "\" has no value";
        const std::string_view value = trimmed(pair.substr(eq + 1));
        for (const std::string& k : seen)
            if (k == key)
                return "the series key \"" + key + "\" is given twice";
        seen.push_back(key);
        const std::string bad = "cannot read the series key \"" + key + "\": \"" + std::string(value) + "\"";
        if (key == "name") {
            if (value.empty())
                return bad;
            s.Name = std::string(value);
        } else if (key == "kind") {
            if (value == "line")
                s.Kind = SeriesKind::Line;
            else if (value == "markers")
                s.Kind = SeriesKind::Markers;
            else
                return bad + " (line or markers)";
        } else if (key == "ink") {
            const std::optional<uint32_t> c = readColour(value);
            if (!c)
                return bad + " (#rrggbb)";
            s.HasInk = true;
            s.Ink = *c;
        } else if (key == "tolerance") {
            const std::optional<int32_t> t = readWhole(value);
            if (!t || *t < 0 || *t > InkSettings::kMaxTolerance)
                return bad + " (0 to " + std::to_string(InkSettings::kMaxTolerance) + ")";
            s.Tolerance = *t;
        } else if (key == "start") {
            if (!readPair(value, bitmapNumber, s.StartX, s.StartY))
                return bad + " (X:Y)";
        } else if (key == "size") {
            if (!readPair(value, readWhole, s.MinSize, s.MaxSize) || s.MinSize < 1 || s.MaxSize < s.MinSize)
                return bad + " (MIN:MAX, 1 <= MIN <= MAX)";
        } else {
            return "unknown series key \"" + key + "\" (name, kind, ink, tolerance, start or size)";
        }
    }
    series = s;
    return {};
}

std::string seriesSpecText(const SeriesSettings& series)
{
    std::string t;
    const auto add = [&t](const std::string& pair) { t += (t.empty() ? "" : ";") + pair; };
    if (!series.Name.empty())
        add("name=" + series.Name);
    if (series.Kind == SeriesKind::Markers)
        add("kind=markers");
    if (series.HasInk)
        add("ink=" + colourText(series.Ink));
    if (series.HasInk && series.Tolerance != InkSettings::kDefaultTolerance)
        add("tolerance=" + std::to_string(series.Tolerance));
    if (series.StartX >= 0 && series.StartY >= 0)
        add("start=" + numberText(series.StartX) + ":" + numberText(series.StartY));
    if (series.MinSize > 0)
        add("size=" + std::to_string(series.MinSize) + ":" + std::to_string(series.MaxSize));
    return t;
}

namespace {

bool sameWeight(const SeriesSettings& a, const SeriesSettings& b)
{
    return a.HasInk == b.HasInk && (!a.HasInk || (a.Ink == b.Ink && a.Tolerance == b.Tolerance));
}

// A line with a Start point: one of the curves that are followed together
// when others share its weight.
bool followedTogether(const SeriesSettings& s) { return s.Kind == SeriesKind::Line && s.StartX >= 0 && s.StartY >= 0; }

// What a series scanned in a group leaves for its turn in the output.
struct HeldScan {
    std::vector<ResultRow> rows;
    std::optional<FollowCounts> counts;
    std::optional<ScanFindings> findings;
};

// The series of `members`, one weight, followed together; each one's rows
// held for its turn.
std::vector<HeldScan> scanTogether(const PixelView& picture, const ScanSettings& settings,
                                   const std::vector<size_t>& members, const ScanChecks& checks, bool wantSpread,
                                   const ScanSinks& sinks)
{
    std::vector<HeldScan> held(members.size());
    std::vector<StartPoint> starts;
    std::vector<ScanSinks> each(members.size());
    for (size_t m = 0; m < members.size(); ++m) {
        const SeriesSettings& one = settings.Series[members[m]];
        starts.push_back({one.StartX, one.StartY});
        ScanSinks& s = each[m];
        s.threads = sinks.threads;
        if (m == 0)
            s.onProgress = sinks.onProgress;
        s.onRow = [&held, m](const ResultRow& r) { held[m].rows.push_back(r); };
        s.onFollowCounts = [&held, m](const FollowCounts& c) { held[m].counts = c; };
        s.onFindings = [&held, m](const ScanFindings& f) { held[m].findings = f; };
    }
    const ScanSettings first = settingsOfSeries(settings, settings.Series[members.front()]);
    runJointFollowScan(picture, first, starts, checks, wantSpread || sinks.uncertainty, each);
    for (size_t m = 0; m < members.size(); ++m) {
        std::vector<ResultRow>& rows = held[m].rows;
        if (sinks.uncertainty)
            placeUncertainties(rows, first);
        for (ResultRow& r : rows) {
            r.series = static_cast<int32_t>(members[m]);
            if (!wantSpread) {
                r.sdev = 0;
                r.hasSdevY = false;
                r.sdevY = 0;
            }
        }
    }
    return held;
}

} // namespace

int32_t runSeriesScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks)
{
    // Lines of one weight, each with its Start point, are followed together
    // (CurveFollow's followCurves), so that where they cross each keeps to
    // its own; in the other calibration kinds each is followed alone.
    const size_t n = settings.Series.size();
    std::vector<std::vector<size_t>> groups;
    std::vector<int32_t> groupOf(n, -1);
    for (size_t i = 0; i < n && settings.Calibration.aligned(); ++i) {
        if (!followedTogether(settings.Series[i]))
            continue;
        for (size_t g = 0; g < groups.size() && groupOf[i] < 0; ++g)
            if (sameWeight(settings.Series[groups[g].front()], settings.Series[i])) {
                groups[g].push_back(i);
                groupOf[i] = static_cast<int32_t>(g);
            }
        if (groupOf[i] < 0) {
            groupOf[i] = static_cast<int32_t>(groups.size());
            groups.push_back({i});
        }
    }
    std::vector<std::vector<HeldScan>> held(groups.size());
    int32_t rows = 0;
    for (size_t i = 0; i < n; ++i) {
        const int32_t g = groupOf[i];
        if (g >= 0 && groups[size_t(g)].size() > 1) {
            std::vector<size_t>& members = groups[size_t(g)];
            if (held[size_t(g)].empty())
                held[size_t(g)] = scanTogether(picture, settings, members, checks, wantSpread, sinks);
            const size_t m = size_t(std::find(members.begin(), members.end(), i) - members.begin());
            const HeldScan& h = held[size_t(g)][m];
            for (const ResultRow& r : h.rows)
                if (sinks.onRow)
                    sinks.onRow(r);
            if (h.counts && sinks.onFollowCounts)
                sinks.onFollowCounts(*h.counts);
            if (h.findings && sinks.onFindings)
                sinks.onFindings(*h.findings);
            rows += static_cast<int32_t>(h.rows.size());
            continue;
        }
        ScanSinks one = sinks;
        one.onRow = [&sinks, i](const ResultRow& r) {
            ResultRow tagged = r;
            tagged.series = static_cast<int32_t>(i);
            if (sinks.onRow)
                sinks.onRow(tagged);
        };
        const SeriesSettings& series = settings.Series[i];
        if (series.Kind == SeriesKind::Markers)
            rows += runMarkerScan(picture, settingsOfSeries(settings, series), series, checks, one);
        else
            rows += runColumnScan(picture, settingsOfSeries(settings, series), checks, wantSpread, one);
    }
    return rows;
}

} // namespace plotrun
