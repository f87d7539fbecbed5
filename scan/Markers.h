#pragma once
// A markers series: one point per marker, not one per strip. The counted
// pixels (after line removal when it is on) form connected blobs; blobs of a
// marker's size and shape are markers, each with its weighted centre as its
// point, and a vertical bar of the series' colour through a marker gives its
// two ends.

#include "PixelView.h"
#include "ScanSettings.h"
#include "ScanTypes.h"

#include <cstdint>
#include <vector>

namespace plotrun {

// A marker found on the picture: its weighted centre (column, and row from
// the top, in picture pixels), its area with its holes filled, and the ends
// of the vertical bar through it (rows; the bar's end as painted, half a
// pixel beyond the centre of its outermost row).
struct Marker {
    double x = 0;
    double row = 0;
    int64_t area = 0;
    bool hasBar = false;
    double barTop = 0;
    double barBottom = 0;
};

// The markers of one series in the scan's area, in x order. `settings` are
// the settings of that series alone (settingsOfSeries), checked by checkScan.
std::vector<Marker> findMarkers(const PixelView& picture, const ScanSettings& settings, const SeriesSettings& series,
                                const ScanChecks& checks, int threads = kMostThreadsPerPicture);

// The scan of a markers series for runSeriesScan: a row for each marker,
// numbered in x order, with the real x and y of its centre and, where a bar
// runs through it, the real y of the bar's ends.
int32_t runMarkerScan(const PixelView& picture, const ScanSettings& settings, const SeriesSettings& series,
                      const ScanChecks& checks, const ScanSinks& sinks);

} // namespace plotrun
