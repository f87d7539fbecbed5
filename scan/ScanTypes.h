#pragma once
// What the column scan, curve following and the counted pixels share: the
// checks and the frame of a scan, its result rows and where they go. The
// scan itself is written down, pixel by pixel, in tests/ReferenceScan.cpp,
// which the engine must equal to the bit.

#include "PixelView.h"
#include "ScanSettings.h"
#include "Threads.h"

#include <cstdint>
#include <functional>

namespace plotrun {

struct ScanFindings;

struct ResultRow {
    int32_t number = 0;
    double bitmapX = 0;
    double bitmapY = 0;
    double realX = 0;
    double realY = 0;
    double sdev = 0; // only when the spread was asked for
    bool hasSdevY = false;
    double sdevY = 0;
    int32_t runCount = 0; // curve following: the runs the strip held; 0 without following
    // The standard uncertainties of real x and real y, when asked for, and
    // the scatter of the points about their neighbours (frame pixels) that
    // went into them.
    double ux = 0;
    double uy = 0;
    double scatter = 0;
    int32_t series = -1; // the index of its series in ScanSettings::Series; -1 without series
    // A marker with a vertical bar through it: the real y of the bar's ends.
    bool hasBar = false;
    double yLow = 0;
    double yHigh = 0;
};

// Why a scan does not go ahead.
enum class ScanStop {
    None,
    NarrowArea,  // the area is less than one pixel column wide
    FlatArea,    // the height check: less than one pixel row high
    SameOriginX, // RefX equals OriginX: the x mapping has no scale
    SameOriginY, // RefY equals OriginY
    // The kinds other than the axes kind:
    CollinearMarks, // O, X1 and Y1 lie on one line
    UnfixedFit,     // the points cannot fix the map
    FoldedArea,     // the area crosses the horizon of a perspective map
    StretchedArea,  // the map stretches the area far beyond its pixels
};

struct ScanChecks {
    int32_t areaWidth = 0;  // A = trunc(ScanEndX) - trunc(ScanStartX)
    int32_t stripCount = 0; // A div ScanWidth, at least 1 once the checks pass
    int32_t scanHeight = 0; // trunc(ScanEndY) - trunc(ScanStartY)
    bool widthResized = false;
    ScanStop stop = ScanStop::None;
};

// The width check and the height check, before any pixel is read. When the
// area is narrower than one strip, ScanWidth is cut to the area's width in
// the settings (it stays so for later scans).
ScanChecks checkScan(ScanSettings& settings);

// What a scan with following or line removal found.
struct FollowCounts {
    int32_t strips = 0;
    int32_t multiRunStrips = 0;     // strips that held more than one run
    int32_t stripsWithoutPoint = 0; // strips that gave no point
    int32_t unsureStrips = 0;       // of those, strips left out where curves followed together meet
    int32_t series = -1;            // the index of the series scanned, in ScanSettings::Series; -1 without series
};

struct ScanSinks {
    std::function<void(const ResultRow&)> onRow;
    // The per cent done after each strip: (100 * k) div StripCount.
    std::function<void(int)> onProgress;
    // Curve following and line removal only: called once at the end.
    std::function<void(const FollowCounts&)> onFollowCounts;
    // The most threads this picture's scan may use; a front end that scans
    // several pictures at once gives each its share of the cores.
    int threads = kMostThreadsPerPicture;
    // What the scan saw of its counted pixels (ScanFindings.h): called once
    // at the end. The plain scan notes it only when this is set.
    std::function<void(const ScanFindings&)> onFindings = nullptr;
    // The standard uncertainties: the rows are then held until the scan is
    // done, since each point's comes from its neighbours too.
    bool uncertainty = false;
};

// The pixels that a scan walks: the columns of its whole strips and its rows,
// in picture pixels. Empty (no columns) when the width or height check would
// stop the scan.
struct CountedArea {
    int64_t left = 0;    // the area's first column
    int64_t columns = 0; // strips x width: the columns beyond the last whole strip are not read
    int64_t rows = 0;    // ScanHeight
    int64_t width = 0;   // ScanWidth, as the width check leaves it
    int64_t strips = 0;
};
// The area in a picture: with its first row, counted from the top.
struct ScanFrame : CountedArea {
    int64_t top = 0;
};

// Every pass, the counted pixels' views and the loader take the area from
// these alone, so that they all walk the same pixels.
CountedArea countedArea(ScanSettings settings);
// The area of a scan that passed checkScan, and the settings as it left them.
CountedArea areaOf(const ScanSettings& settings, const ScanChecks& checks);
// The area's first row in a picture of this height, counted from the top.
int64_t areaTop(int32_t pictureHeight, const ScanSettings& settings);
inline ScanFrame frameOf(int32_t pictureHeight, const ScanSettings& settings, const ScanChecks& checks)
{
    return {areaOf(settings, checks), areaTop(pictureHeight, settings)};
}
inline ScanFrame frameOf(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks)
{
    return frameOf(picture.height, settings, checks);
}

} // namespace plotrun
