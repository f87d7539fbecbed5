#include "Series.h"

#include "ColumnScan.h"

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

int32_t runSeriesScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks)
{
    int32_t rows = 0;
    for (size_t i = 0; i < settings.Series.size(); ++i) {
        ScanSinks one = sinks;
        one.onRow = [&sinks, i](const ResultRow& r) {
            ResultRow tagged = r;
            tagged.series = static_cast<int32_t>(i);
            if (sinks.onRow)
                sinks.onRow(tagged);
        };
        rows += runColumnScan(picture, settingsOfSeries(settings, settings.Series[i]), checks, wantSpread, one);
    }
    return rows;
}

} // namespace plotrun
