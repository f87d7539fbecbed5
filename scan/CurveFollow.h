#pragma once
// Curve following and line removal: a strip's counted rows fall into runs,
// and one run, the one that continues the curve, makes the strip's point.
// Long straight rows and columns (axes, frame, grid lines) can be left out
// before the runs are formed.

#include "CountedPixels.h"
#include "PixelView.h"
#include "ScanSettings.h"
#include "ScanTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plotrun {

// Rows of one strip that belong together: counted rows with fewer than the
// gap of empty rows between them. Rows are picture rows from the top.
struct StripRun {
    int32_t first = 0;
    int32_t last = 0;
    int64_t weight = 0;    // the sum of the weights of its pixels
    double centre = 0;     // the weighted mean row; the middle row when the weight is 0
    int64_t sumRow = 0;    // weight x row, summed
    int64_t sumColumn = 0; // weight x column, summed
    int64_t pixels = 0;
};

// The run whose centre lies nearest `row`, a tie going to the larger weight;
// -1 when there is none within `limit` rows.
int32_t chooseRun(const std::vector<StripRun>& runs, double row, double limit);

// Where following starts: a strip and one of its runs; strip -1 when no
// strip holds a run.
struct FollowStart {
    int32_t strip = -1;
    int32_t run = -1;
};

// With a start point (strip and row; strip -1 for none): the run nearest it,
// in its strip or the nearest strip that holds runs. Without: a strip whose
// ink is one run that continues, within `jump` rows, into the strips on both
// sides, the one nearest the middle; failing that, the heaviest run of the
// strip nearest the middle that holds any.
FollowStart chooseStart(const std::vector<std::vector<StripRun>>& runs, double jump, int32_t startStrip,
                        double startRow);

// The chosen run of each strip (-1: no point), following from `start` to
// the right and to the left. A run farther than `jump` rows from the last
// point leaves the strip without a point; the limit widens by `jump` for
// each strip skipped.
std::vector<int32_t> followCurve(const std::vector<std::vector<StripRun>>& runs, FollowStart start, double jump);

// Several curves of one weight followed together, as curves of one colour
// that cross need it: in each strip the runs are shared out among the curves
// at once, at the least total distance from where each curve's own recent
// slope puts it, not by the nearest run one curve at a time. Where curves
// meet, one merged run may go to several of them; its point is kept only
// while the run is no taller than one curve's, that is at the crossing
// itself. A strip whose runs could go to the curves either way at about the
// same cost, or whose merged run is taller, gives those curves no point
// (-1) rather than a guess; `unsure` counts such strips of each curve.
// Where two curves part after a merged run, each goes on along the branch
// that one smooth curve through its own points before the run fits, so that
// curves that touch and turn back are not swapped; where that cannot be
// told, both get no more points that way.
struct JointFollow {
    std::vector<std::vector<int32_t>> chosen; // of each curve, as followCurve's
    std::vector<int32_t> unsure;
};
JointFollow followCurves(const std::vector<std::vector<StripRun>>& runs, const std::vector<FollowStart>& starts,
                         double jump);

// The whole plan of such a scan, which the counted pixels view shows too.
struct FollowPlan {
    CountedArea area;
    int32_t top = 0;                         // the area's first picture row
    std::vector<CountedPixel> pixels;        // counted and kept
    std::vector<CountedPixel> removed;       // counted but left out as parts of lines
    std::vector<std::vector<StripRun>> runs; // of each strip
    std::vector<int32_t> chosen;             // index into runs[k], or -1; every run makes the point without following
    FollowCounts counts;
};

FollowPlan planFollow(const PixelView& picture, const ScanSettings& settings);

// The counted pixels of the frame with its lines left out, as line removal
// leaves them, row by row from the top: for the scan of a markers series.
std::vector<CountedPixel> pixelsOffLines(const CountedRuns& counted, const ScanFrame& frame);

// The rows a point may move from one strip to the next: MaxJump, or when it
// is 0 a tenth of the area height, and at least twice the scan width.
int32_t maxJumpOf(const ScanSettings& settings, int64_t areaRows);

// The strip loop with following or line removal, for runColumnScan.
// `counted`: the area's counted pixels when they are read already, as a
// figure's series read them together (without line removal only).
int32_t runFollowScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks, const std::vector<CountedPixel>* counted = nullptr);

// The scan of several curves of one weight in one plan, from their Start
// points (bitmap x and y): `settings` are any one curve's, and the rows,
// counts and findings of curve i go to sinks[i].
struct StartPoint {
    double x = -1;
    double y = -1;
};
void runJointFollowScan(const PixelView& picture, const ScanSettings& settings, const std::vector<StartPoint>& starts,
                        const ScanChecks& checks, bool wantSpread, const std::vector<ScanSinks>& sinks);

// "Strips with more than one run: N; strips without a point: M", and where
// curves followed together could not be told apart, "; strips left out
// where curves meet: K".
std::string followCountsText(const FollowCounts& counts);

} // namespace plotrun
