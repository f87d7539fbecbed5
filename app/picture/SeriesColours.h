#pragma once
// The colour each series of a figure is shown in, the same in the Series
// panel, the counted pixels, the points on the picture and the chart: its
// ink, or for a series weighed by darkness a colour of a small palette,
// the next one for each such series.

#include "ScanSettings.h"

#include <QColor>

#include <cstddef>
#include <vector>

namespace plotrun {

QColor seriesColour(const std::vector<SeriesSettings>& series, size_t index);
// An ink as a colour.
QColor inkColour(uint32_t ink);
// The counted pixels of a series: its colour's hue, light enough to stand
// out from its own ink.
QColor seriesTint(const QColor& colour);

} // namespace plotrun
