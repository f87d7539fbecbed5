#include "ScanFindings.h"

#include "CurveFollow.h"
#include "Series.h"

namespace plotrun {

std::string scanAdvice(const ScanFindings& f, const ScanSettings& shared, AdviceFor where)
{
    const SeriesSettings* series = f.series >= 0 && static_cast<size_t>(f.series) < shared.Series.size()
                                       ? &shared.Series[size_t(f.series)]
                                       : nullptr;
    const ScanSettings s = series ? settingsOfSeries(shared, *series) : shared;
    // More than a tenth: a strip here and there holds a tick or a label.
    const bool runs = !s.Follow.On && 10 * int64_t(f.multiRunStrips) > int64_t(f.strips);
    const int64_t lineCount = int64_t(f.rowLines) + f.columnLines;
    const bool lines = !s.Follow.RemoveLines && lineCount > 0;
    if (!runs && !lines)
        return {};
    const std::string pixels = s.Ink.On ? "pixels of the ink" : "dark pixels";
    const std::string across = lineCount == 1 ? "a line runs across the scan area"
                                              : std::to_string(lineCount) + " lines run across the scan area";
    std::string text;
    if (runs) {
        text = std::to_string(f.multiRunStrips) + " of " + std::to_string(f.strips) +
               " strips held more than one run of " + pixels;
        if (lines)
            text += ", and " + across + ": the points may lie between curves or on the lines.";
        else
            text += ": the points may lie between curves.";
    } else {
        text = lineCount == 1 ? "A line of " + pixels +
                                    " runs across the scan area, like an axis or a grid line: the points are pulled "
                                    "towards it."
                              : std::to_string(lineCount) + " lines of " + pixels +
                                    " run across the scan area, like axes or grid lines: the points are pulled "
                                    "towards them.";
    }
    const bool window = where == AdviceFor::Window;
    if (series) {
        // A series is followed from its Start point, and its ink is part of it.
        std::string steps;
        if (runs)
            steps = window ? "Give it a Start point on its curve" : "Add start=X:Y on its curve to its --series value";
        if (lines)
            steps += runs ? (window ? ", and turn on Leave out axis and grid lines in Scan > Options"
                                    : ", and --remove-lines")
                          : (window ? "Turn on Leave out axis and grid lines in Scan > Options" : "Add --remove-lines");
        if (!s.Ink.On)
            steps += window ? ", or give it its curve's colour as its ink"
                            : ", or give it its curve's colour as ink=#rrggbb";
        if (text.rfind("A ", 0) == 0)
            text[0] = 'a';
        return "In the series \"" + series->Name + "\", " + text + " " + steps + ".";
    }
    std::string turnOn;
    if (runs)
        turnOn = window ? "Follow one curve" : "--follow";
    if (lines)
        turnOn += std::string(runs ? " and " : "") + (window ? "Leave out axis and grid lines" : "--remove-lines");
    text += window ? " Turn on " + turnOn + " in Scan > Options" : " Add " + turnOn;
    if (!s.Ink.On)
        text += window ? ", or count only the curve's colour with Ink mode and Pick from picture"
                       : ", or count only the curve's colour with --ink COLOUR";
    return text + ".";
}

int32_t linesAmong(const std::vector<int32_t>& counts, int64_t size)
{
    if (size < kShortestLine)
        return 0;
    int32_t lines = 0;
    bool inLine = false;
    for (const int32_t n : counts) {
        const bool line = n > 0 && spansMost(n, size);
        lines += line && !inLine;
        inLine = line;
    }
    return lines;
}

ScanFindings findingsOf(const FollowPlan& plan)
{
    ScanFindings f;
    f.strips = plan.counts.strips;
    f.multiRunStrips = plan.counts.multiRunStrips;
    std::vector<int32_t> rows(static_cast<size_t>(std::max<int64_t>(plan.area.rows, 0)), 0);
    std::vector<int32_t> columns(static_cast<size_t>(std::max<int64_t>(plan.area.columns, 0)), 0);
    for (const CountedPixel& p : plan.pixels)
        if (p.w > 0) {
            ++rows[static_cast<size_t>(p.r - plan.top)];
            ++columns[static_cast<size_t>(p.x - plan.area.left)];
        }
    f.rowLines = linesAmong(rows, plan.area.columns);
    f.columnLines = linesAmong(columns, plan.area.rows);
    return f;
}

} // namespace plotrun
