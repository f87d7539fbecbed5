#pragma once
// What a scan saw of the pixels it counted, and the sentence that tells the
// user when that spoils the points: strips whose counted rows fell into more
// than one run (several curves, or a curve and the lines it crosses), and
// straight lines of counted pixels across the area (axes, frame, grid). The
// plain scan notes them from the pixels it sums, as it sums them; following
// and line removal take them from their plan. Nothing of this changes a
// result.

#include "ScanSettings.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace plotrun {

struct FollowPlan;

// Line removal's measure of a line: n of its pixels reach nine tenths of the
// size across.
inline bool spansMost(int64_t n, int64_t size) { return 10 * n >= 9 * size; }

struct ScanFindings {
    int32_t strips = 0;
    int32_t multiRunStrips = 0; // strips whose counted rows fell into more than one run
    // Lines: neighbouring rows (or columns) whose counted pixels each reach
    // nine tenths of the area's width (or height) count as one line. A row
    // counts its pixels, whether they touch or not, so a dashed line is one.
    int32_t rowLines = 0;
    int32_t columnLines = 0;
    int32_t series = -1; // the index of the series scanned, in ScanSettings::Series; -1 without series
};

// The sentence goes to the scanner's standard error, with its flags, or over
// the window's picture, with the options dialog's boxes.
enum class AdviceFor { Scanner, Window };

// What the scan saw and what to do about it, for a scan that ran with
// `settings`; empty when the points lie on one curve as far as the scan can
// tell. Strips of several runs matter only without following, lines only
// without line removal: with both on, it says nothing. The findings of a
// series are judged by that series' own settings, and the sentence names it.
std::string scanAdvice(const ScanFindings& findings, const ScanSettings& settings, AdviceFor where);

// Across fewer pixels than this, a curve that crosses the area fills whole
// rows or columns of it too, as the worked example's short line does: no line
// is told there.
inline constexpr int64_t kShortestLine = 32;

// The lines among the counts of neighbouring rows or columns: runs of
// neighbours that each spansMost of `size`, when it is kShortestLine or more.
int32_t linesAmong(const std::vector<int32_t>& counts, int64_t size);

// The findings of a scan with following or line removal, from its plan: the
// runs that following saw, and the lines among the pixels that it kept.
ScanFindings findingsOf(const FollowPlan& plan);

// What the plain scan notes of each pixel it counts, in one share of a band's
// rows: the runs of each strip of the band, which the shares then join from
// the top down, and the counted pixels of each column of the area and of each
// of its rows. Each share keeps its own column counts; the row counts are the
// scan's, as each row belongs to one share only.
class FindingsTally {
public:
    // A row's count is kept in four lanes, by column: neighbouring pixels of
    // a row then do not wait on one another's count.
    static constexpr size_t kRowLanes = 4;

    // `columns` columns of the area from `left`, its rows from `top`;
    // `rowCounts` holds kRowLanes counts for each row of the area.
    FindingsTally(int64_t left, int64_t columns, int64_t top, int32_t gap, int32_t* rowCounts)
        : left_(left), top_(top), gap_(std::max(gap, 1)), columnCounts_(static_cast<size_t>(columns), 0),
          rowCounts_(rowCounts)
    {
    }

    void startBand(int64_t strips)
    {
        strips_.assign(static_cast<size_t>(strips), StripRuns{});
        firsts_.assign(static_cast<size_t>(strips), 0);
    }

    // A pixel of weight 0 adds nothing to a point, and a run of them only
    // is none for following either.
    void see(size_t strip, int64_t x, int64_t r, int32_t w)
    {
        if (w <= 0)
            return;
        const auto row = static_cast<int32_t>(r - top_);
        StripRuns& s = strips_[strip];
        if (row != s.last) {
            if (row - s.last > gap_) { // gap or more empty rows: a new run
                if (s.runs == 0)
                    firsts_[strip] = row;
                ++s.runs;
            }
            s.last = row;
        }
        ++columnCounts_[static_cast<size_t>(x - left_)];
        ++rowCounts_[kRowLanes * size_t(row) + size_t(x & (kRowLanes - 1))];
    }

    // The runs of the share of rows right below this one's, joined on: a run
    // that crosses between them is one.
    void joinBelow(const FindingsTally& below)
    {
        for (size_t k = 0; k < strips_.size() && k < below.strips_.size(); ++k) {
            StripRuns& a = strips_[k];
            const StripRuns& b = below.strips_[k];
            if (b.runs == 0)
                continue;
            if (a.runs == 0) {
                a = b;
                firsts_[k] = below.firsts_[k];
                continue;
            }
            a.runs += b.runs - (below.firsts_[k] - a.last > gap_ ? 0 : 1);
            a.last = b.last;
        }
    }

    int32_t multiRunStrips() const
    {
        int32_t n = 0;
        for (const StripRuns& s : strips_)
            n += s.runs > 1;
        return n;
    }

    const std::vector<int32_t>& columnCounts() const { return columnCounts_; }

    // The counts of the rows, from their lanes.
    static std::vector<int32_t> rowsOfLanes(const std::vector<int32_t>& lanes)
    {
        std::vector<int32_t> rows(lanes.size() / kRowLanes, 0);
        for (size_t i = 0; i < lanes.size(); ++i)
            rows[i / kRowLanes] += lanes[i];
        return rows;
    }

private:
    // Rows from the area's top. The first row of a strip's first run is
    // kept apart: it is written once, and read only where shares join.
    struct StripRuns {
        int32_t last = std::numeric_limits<int32_t>::min() / 2; // no row yet: any row starts a run
        int32_t runs = 0;
    };
    int64_t left_;
    int64_t top_;
    int64_t gap_;
    std::vector<StripRuns> strips_;
    std::vector<int32_t> firsts_;
    std::vector<int32_t> columnCounts_;
    int32_t* rowCounts_;
};

} // namespace plotrun
