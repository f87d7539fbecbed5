#include "Series.h"

#include "ColumnScan.h"
#include "CountedPixels.h"
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

std::string seriesNameProblem(std::string_view name, std::string_view delimiter)
{
    const std::string quoted = "the name \"" + std::string(name) + "\"";
    if (name.empty())
        return "a series needs a name";
    size_t characters = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto at = [&](size_t k) { return k < name.size() ? static_cast<unsigned char>(name[k]) : 0u; };
        const unsigned c = at(i);
        // C0 controls and DEL; C1 controls (U+0080 to U+009F); the line and
        // paragraph separators U+2028 and U+2029. The message leaves the
        // name out: it would break the message's line too.
        if (c < 0x20 || c == 0x7F || (c == 0xC2 && at(i + 1) >= 0x80 && at(i + 1) <= 0x9F) ||
            (c == 0xE2 && at(i + 1) == 0x80 && (at(i + 2) == 0xA8 || at(i + 2) == 0xA9)))
            return "a series name cannot hold a control character or a line break";
        // A lead byte starts a character; one of four bytes is two UTF-16 units.
        characters += (c & 0xC0) != 0x80;
        characters += c >= 0xF0;
    }
    if (name.front() == ' ' || name.back() == ' ')
        return quoted + " starts or ends with a space";
    if (name.find(';') != std::string_view::npos)
        return quoted + " holds a ';'";
    if (!delimiter.empty() && name.find(delimiter) != std::string_view::npos)
        return quoted + " holds the delimiter \"" + std::string(delimiter) + "\"";
    if (characters > kLongestSeriesName)
        return quoted + " has more than " + std::to_string(kLongestSeriesName) + " characters";
    return {};
}

std::string automaticSeriesName(size_t place, std::string_view delimiter)
{
    const std::string number = std::to_string(place);
    for (const std::string& name : {"Series " + number, "Series_" + number})
        if (seriesNameProblem(name, delimiter).empty())
            return name;
    return number;
}

std::string freeSeriesName(const std::vector<SeriesSettings>& series, std::string_view delimiter)
{
    for (size_t n = series.size() + 1;; ++n) {
        const std::string name = automaticSeriesName(n, delimiter);
        if (std::none_of(series.begin(), series.end(), [&](const SeriesSettings& s) { return s.Name == name; }))
            return name;
    }
}

std::string nameSeries(std::vector<SeriesSettings>& series, std::string_view delimiter)
{
    for (size_t i = 0; i < series.size(); ++i)
        if (series[i].Name.empty())
            series[i].Name = automaticSeriesName(i + 1, delimiter);
    for (const SeriesSettings& s : series)
        if (std::string problem = seriesNameProblem(s.Name, delimiter); !problem.empty())
            return problem;
    for (size_t i = 0; i < series.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (series[i].Name == series[j].Name)
                return "two series are named \"" + series[i].Name + "\"";
    return {};
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

// A series that is followed from its Start, without line removal or
// smoothing, in the axes kind: its counted pixels are all its plan needs,
// and the series of such a figure read the area for them together.
bool readsWithOthers(const SeriesSettings& series, const ScanSettings& one, const ScanSinks& sinks)
{
    return series.Kind == SeriesKind::Line && one.Follow.On && !one.Follow.RemoveLines && one.Smooth == 0 &&
           one.Calibration.aligned() && !sinks.uncertainty;
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
    const auto joint = [&](size_t i) { return groupOf[i] >= 0 && groups[size_t(groupOf[i])].size() > 1; };

    // The other lines followed from their Start read the area once for all
    // of them.
    std::vector<ScanSettings> own(n);
    std::vector<size_t> together;
    for (size_t i = 0; i < n; ++i) {
        own[i] = settingsOfSeries(settings, settings.Series[i]);
        if (!joint(i) && readsWithOthers(settings.Series[i], own[i], sinks))
            together.push_back(i);
    }
    std::vector<std::vector<CountedPixel>> counted(n);
    if (together.size() > 1) {
        std::vector<ScanSettings> each;
        for (const size_t i : together)
            each.push_back(own[i]);
        std::vector<std::vector<CountedPixel>> read =
            countedPixelsOfEach(picture, each, frameOf(picture, settings, checks));
        for (size_t k = 0; k < together.size(); ++k)
            counted[together[k]] = std::move(read[k]);
    } else {
        together.clear();
    }

    std::vector<std::vector<HeldScan>> held(groups.size());
    int32_t rows = 0;
    for (size_t i = 0; i < n; ++i) {
        ScanSinks one = sinks;
        one.onRow = [&sinks, i](const ResultRow& r) {
            ResultRow tagged = r;
            tagged.series = static_cast<int32_t>(i);
            if (sinks.onRow)
                sinks.onRow(tagged);
        };
        if (sinks.onFollowCounts)
            one.onFollowCounts = [&sinks, i](const FollowCounts& c) {
                FollowCounts tagged = c;
                tagged.series = static_cast<int32_t>(i);
                sinks.onFollowCounts(tagged);
            };
        if (sinks.onFindings)
            one.onFindings = [&sinks, i](const ScanFindings& f) {
                ScanFindings tagged = f;
                tagged.series = static_cast<int32_t>(i);
                sinks.onFindings(tagged);
            };
        const SeriesSettings& series = settings.Series[i];
        if (joint(i)) {
            const size_t g = size_t(groupOf[i]);
            std::vector<size_t>& members = groups[g];
            if (held[g].empty())
                held[g] = scanTogether(picture, settings, members, checks, wantSpread, sinks);
            const size_t m = size_t(std::find(members.begin(), members.end(), i) - members.begin());
            const HeldScan& h = held[g][m];
            for (const ResultRow& r : h.rows)
                one.onRow(r);
            if (h.counts && one.onFollowCounts)
                one.onFollowCounts(*h.counts);
            if (h.findings && one.onFindings)
                one.onFindings(*h.findings);
            rows += static_cast<int32_t>(h.rows.size());
        } else if (series.Kind == SeriesKind::Markers) {
            rows += runMarkerScan(picture, own[i], series, checks, one);
        } else if (std::find(together.begin(), together.end(), i) != together.end()) {
            rows += runFollowScan(picture, own[i], checks, wantSpread, one, &counted[i]);
            counted[i] = {};
        } else {
            rows += runColumnScan(picture, own[i], checks, wantSpread, one);
        }
    }
    return rows;
}

std::string seriesWithoutRows(const std::vector<SeriesSettings>& series, const std::vector<int64_t>& rowsOfEach)
{
    std::string text;
    for (size_t i = 0; i < series.size() && i < rowsOfEach.size(); ++i)
        if (rowsOfEach[i] == 0)
            text += (text.empty() ? "" : "\n") + series[i].Name +
                    (series[i].Kind == SeriesKind::Markers ? ": no markers found" : ": no points");
    return text;
}

} // namespace plotrun
