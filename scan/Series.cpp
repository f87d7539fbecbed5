#include "Series.h"

#include "ColumnScan.h"
#include "CountedPixels.h"
#include "CurveFollow.h"
#include "InkModel.h"
#include "NumberText.h"
#include "ScanFindings.h"

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

std::string nameSeries(std::vector<SeriesSettings>& series)
{
    for (size_t i = 0; i < series.size(); ++i)
        if (series[i].Name.empty())
            series[i].Name = "Series " + std::to_string(i + 1);
    for (size_t i = 0; i < series.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (series[i].Name == series[j].Name)
                return "two series are named \"" + series[i].Name + "\"";
    return {};
}

std::vector<SeriesSettings> findSeries(const PixelView&, const ScanSettings&) { return {}; }

namespace {

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
    const size_t n = settings.Series.size();
    std::vector<ScanSettings> own(n);
    std::vector<size_t> together;
    for (size_t i = 0; i < n; ++i) {
        own[i] = settingsOfSeries(settings, settings.Series[i]);
        if (readsWithOthers(settings.Series[i], own[i], sinks))
            together.push_back(i);
    }
    // Their counted pixels, read once for all of them.
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
        if (std::find(together.begin(), together.end(), i) != together.end()) {
            rows += runFollowScan(picture, own[i], checks, wantSpread, one, &counted[i]);
            counted[i] = {};
        } else {
            rows += runColumnScan(picture, own[i], checks, wantSpread, one);
        }
    }
    return rows;
}

} // namespace plotrun
