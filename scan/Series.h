#pragma once
// Scanning a figure's series (SeriesSettings in ScanSettings.h) in one scan.

#include "PixelView.h"
#include "ScanSettings.h"
#include "ScanTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plotrun {

// The settings that scan one series alone: its ink (or darkness) and its
// Start point in place of the shared ones, with no series list.
ScanSettings settingsOfSeries(const ScanSettings& shared, const SeriesSettings& series);

// A series as the scanner's --series takes it: key=value pairs joined by
// ';', from name, kind (line or markers), ink (#rrggbb or R,G,B), tolerance,
// start (X:Y, bitmap coordinates) and size (MIN:MAX, a marker's area in
// pixels). Returns "" and fills `series`, or a message that names the key
// it could not read.
std::string readSeriesSpec(std::string_view spec, SeriesSettings& series);
// The spec that reads back as this series; the keys left at their start
// values are left out.
std::string seriesSpecText(const SeriesSettings& series);

// A figure has a few series; hundreds are no figure.
inline constexpr size_t kMostSeries = 64;

// Names the series without a name "Series N" by their place (from 1).
// Returns "", or a message when two series have one name: their rows could
// not be told apart.
std::string nameSeries(std::vector<SeriesSettings>& series);

// The series proposed for the scan area (SeriesFinder.cpp): one per colour
// of curve or marker, with its ink, a tolerance and a Start point on that
// colour's longest run (or its most typical marker), named "Series 1" and on
// from the top; the paper, lines across the area and text are no series.
std::vector<SeriesSettings> findSeries(const PixelView& picture, const ScanSettings& settings);

// The scan of every series, one after the other, for runColumnScan: each
// row carries its series' index.
int32_t runSeriesScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks);

// What a scan of series says of those that gave no row: a line for each,
// "<name>: no markers found" for markers, "<name>: no points" for a line;
// empty when every series has rows. `rowsOfEach` counts each series' rows.
std::string seriesWithoutRows(const std::vector<SeriesSettings>& series, const std::vector<int64_t>& rowsOfEach);

} // namespace plotrun
