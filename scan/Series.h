#pragma once
// Scanning a figure's series (SeriesSettings in ScanSettings.h) in one scan.

#include "PixelView.h"
#include "ScanSettings.h"
#include "ScanTypes.h"

#include <cstdint>

namespace plotrun {

// The settings that scan one series alone: its ink (or darkness) and its
// Start point in place of the shared ones, with no series list.
ScanSettings settingsOfSeries(const ScanSettings& shared, const SeriesSettings& series);

// The scan of every series, one after the other, for runColumnScan: each
// row carries its series' index.
int32_t runSeriesScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks);

} // namespace plotrun
