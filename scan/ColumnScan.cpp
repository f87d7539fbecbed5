#include "ColumnScan.h"

#include "Calibration.h"
#include "ChartMap.h"
#include "ChartScan.h"
#include "CurveFollow.h"
#include "InkModel.h"
#include "PixelWalk.h"
#include "ScanFindings.h"
#include "Series.h"
#include "Smoothing.h"
#include "StripPoint.h"
#include "Uncertainty.h"
#include "Threads.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <type_traits>
#include <vector>

namespace plotrun {

namespace {

using walk::forEachCountedPixel;
using walk::Frame;
using walk::frameOfRows;
using walk::kPixelsPerShare;

// Columns per band: a band's strips are scanned row by row, so every pixel
// row is read as one contiguous run while the strips' sums stay in cache.
constexpr int64_t kBandColumns = 4096;

// A dark pixel of a band: column and row counted from the band's first
// column and the area's top row.
struct DarkPixel {
    uint32_t dx;
    uint32_t dr;
    int32_t d;
};

// At most this many dark pixels of a run of rows are kept for the spread pass
// (24 MB), and never more than a quarter of the run's pixels.
constexpr size_t kMaxRecordedDarkPixels = size_t(2) << 20;

// The sums of one strip. They only ever add whole numbers, so they are kept
// exactly in 64-bit integers whenever the double they stand for is exact too
// (below 2^53); otherwise in doubles, rounded after every addition.
template <class Sum>
struct StripSums {
    int64_t n = 0;
    Sum sd = 0;
    Sum sdr = 0;
    Sum sdx = 0;
};

// The strip loop, one band of strips at a time, in its passes: the sums of
// the first pass, the points, the spread of the second pass, and the hand
// over of the finished rows in strip order.
template <class Sum>
class StripScan {
public:
    StripScan(const PixelView& pic, const ScanSettings& s, const ScanChecks& checks, bool wantSpread,
              const ScanSinks& sinks)
        : pic_(pic), weightedX_(s.WeightedX), wantSpread_(wantSpread), sinks_(sinks), map_(s),
          frame_(frameOf(pic, s, checks)), stripCount_(frame_.strips)
    {
        f_ = frameOfRows(frame_.top, frame_.rows, s, ink_);
        // Rows that are read while they are scanned are read once, for all
        // the strips.
        bandStrips_ = pic.feed ? stripCount_ : std::max<int64_t>(1, kBandColumns / frame_.width);

        const size_t slots = static_cast<size_t>(std::min(bandStrips_, stripCount_));
        sums_.resize(slots);
        rows_.resize(slots);
        spreadSum_.resize(slots);
        if (wantSpread_)
            cacheRealYOfRows();
        if (sinks_.onFindings) {
            gap_ = s.Follow.Gap; // runs split as following splits them
            rowCounts_.assign(FindingsTally::kRowLanes * static_cast<size_t>(frame_.rows), 0);
        }
    }

    int32_t run()
    {
        for (int64_t kb = 0; kb < stripCount_; kb += bandStrips_) {
            startBand(kb, std::min(stripCount_, kb + bandStrips_));
            sumPass();
            const bool anyPoint = placePoints();
            if (wantSpread_ && anyPoint)
                spreadPass();
            handOverRows();
        }
        if (sinks_.onFindings)
            tellFindings();
        return gridRow_ - 1;
    }

private:
    void startBand(int64_t firstStrip, int64_t endStrip)
    {
        kb_ = firstStrip;
        strips_ = endStrip - firstStrip;
        colBegin_ = frame_.left + firstStrip * frame_.width;
        colEnd_ = frame_.left + endStrip * frame_.width;
        std::fill(sums_.begin(), sums_.begin() + strips_, StripSums<Sum>{});
        stripOfColumn_.resize(static_cast<size_t>(colEnd_ - colBegin_));
        for (size_t c = 0; c < stripOfColumn_.size(); ++c)
            stripOfColumn_[c] = static_cast<uint32_t>(static_cast<int64_t>(c) / frame_.width);
    }

    // The band's strip of a column, from a table: a division for every dark
    // pixel would cost more than the rest of its visit.
    size_t stripOf(int64_t x) const { return stripOfColumn_[static_cast<size_t>(x - colBegin_)]; }

    // First pass: N, S_D, S_DR and S_DX of every strip of the band. With the
    // spread wanted, the dark pixels are kept for the second pass while they
    // are few (a chart's curves, not a dark photograph). A large band is
    // shared among a few threads, each a run of its rows.
    void sumPass()
    {
        const int shares = sharesOfBand();
        const int64_t per = (f_.rows + shares - 1) / shares;
        runs_.resize(static_cast<size_t>(shares));
        std::vector<std::vector<StripSums<Sum>>> sums(static_cast<size_t>(shares - 1));
        if (sinks_.onFindings)
            while (tallies_.size() < static_cast<size_t>(shares))
                tallies_.emplace_back(frame_.left, frame_.columns, frame_.top, gap_, rowCounts_.data());
        runShares(shares, [&](int t) {
            RowRun& run = runs_[static_cast<size_t>(t)];
            run.top = f_.top + t * per;
            run.rows = std::clamp<int64_t>(f_.rows - t * per, 0, per);
            run.dark.clear();
            const long double pixels = static_cast<long double>(colEnd_ - colBegin_) * run.rows;
            const size_t cap = static_cast<size_t>(std::min<long double>(kMaxRecordedDarkPixels, pixels / 4));
            std::vector<StripSums<Sum>>& into = t == 0 ? sums_ : sums[static_cast<size_t>(t - 1)];
            if (t > 0)
                into.assign(static_cast<size_t>(strips_), StripSums<Sum>{});
            FindingsTally* tally = tallies_.empty() ? nullptr : &tallies_[static_cast<size_t>(t)];
            if (tally)
                tally->startBand(strips_);
            sumRows(run.top, run.rows, cap, into, run.dark, run.recorded, tally);
        });
        // The integer sums add up exactly in any order.
        for (const std::vector<StripSums<Sum>>& part : sums) {
            for (size_t k = 0; k < static_cast<size_t>(strips_); ++k) {
                sums_[k].n += part[k].n;
                sums_[k].sd += part[k].sd;
                sums_[k].sdr += part[k].sdr;
                sums_[k].sdx += part[k].sdx;
            }
        }
        if (!tallies_.empty()) {
            for (int t = 1; t < shares; ++t)
                tallies_[0].joinBelow(tallies_[static_cast<size_t>(t)]);
            findings_.multiRunStrips += tallies_[0].multiRunStrips();
        }
    }

    // The lines among the rows and the columns of the whole area, once every
    // band is summed, and all that the scan saw to its sink.
    void tellFindings()
    {
        std::vector<int32_t> columns(static_cast<size_t>(frame_.columns), 0);
        for (const FindingsTally& tally : tallies_)
            for (size_t c = 0; c < columns.size(); ++c)
                columns[c] += tally.columnCounts()[c];
        findings_.strips = static_cast<int32_t>(stripCount_);
        findings_.rowLines = linesAmong(FindingsTally::rowsOfLanes(rowCounts_), frame_.columns);
        findings_.columnLines = linesAmong(columns, frame_.rows);
        sinks_.onFindings(findings_);
    }

    // How many threads share the first pass of the band: one, unless the
    // band is large and its sums are exact integers, which add up the same
    // in any order.
    int sharesOfBand() const
    {
        if constexpr (!std::is_same_v<Sum, int64_t>) {
            return 1;
        } else {
            const int64_t pixels = (colEnd_ - colBegin_) * f_.rows;
            const int64_t cores = threadsPerPicture(sinks_.threads);
            return static_cast<int>(std::clamp<int64_t>(std::min(pixels / kPixelsPerShare, f_.rows), 1, cores));
        }
    }

    // The sums of the rows [top, top + rows) of the band, and its dark pixels
    // in `dark` while they are no more than `cap`.
    void sumRows(int64_t top, int64_t rows, size_t cap, std::vector<StripSums<Sum>>& sums, std::vector<DarkPixel>& dark,
                 bool& recorded, FindingsTally* tally) const
    {
        Frame g = f_;
        g.top = top;
        g.rows = rows;
        const auto add = [&](int64_t x, int64_t r, int32_t d) {
            StripSums<Sum>& a = sums[stripOf(x)];
            ++a.n;
            a.sd += d;
            a.sdr += static_cast<Sum>(d) * static_cast<Sum>(r);
            if (weightedX_)
                a.sdx += static_cast<Sum>(d) * static_cast<Sum>(x);
        };
        // The findings are noted in a walk of their own kind, so that a scan
        // that does not ask for them pays nothing.
        const auto walk = [&](const auto& visit) {
            if (!tally) {
                forEachCountedPixel(pic_, g, colBegin_, colEnd_, visit);
                return;
            }
            forEachCountedPixel(pic_, g, colBegin_, colEnd_, [&](int64_t x, int64_t r, int32_t d) {
                visit(x, r, d);
                tally->see(stripOf(x), x, r, d);
            });
        };
        recorded = wantSpread_;
        if (!wantSpread_) {
            walk(add);
            return;
        }
        // Reserved at once: the pages are only taken as the record fills
        // them, and it never moves.
        dark.reserve(cap);
        walk([&](int64_t x, int64_t r, int32_t d) {
            add(x, r, d);
            if (!recorded)
                return;
            if (dark.size() < cap)
                dark.push_back({static_cast<uint32_t>(x - colBegin_), static_cast<uint32_t>(r - f_.top), d});
            else
                recorded = false;
        });
    }

    // The point of every strip with ink, in bitmap and real coordinates. A
    // strip without a pixel darker than 0 gets no row (number 0 here).
    bool placePoints()
    {
        bool any = false;
        for (int64_t i = 0; i < strips_; ++i) {
            const StripSums<Sum>& a = sums_[static_cast<size_t>(i)];
            ResultRow& row = rows_[static_cast<size_t>(i)];
            row = ResultRow{};
            if (a.sd == 0)
                continue;
            placeStripPoint(row, static_cast<long double>(a.sd), static_cast<long double>(a.sdx),
                            static_cast<long double>(a.sdr), weightedX_, colBegin_ + i * frame_.width, frame_.width,
                            pic_.height, map_);
            row.number = 1; // numbered on hand over, in strip order
            spreadSum_[static_cast<size_t>(i)] = 0;
            any = true;
        }
        return any;
    }

    // The real y of every picture row of the area, which the second pass
    // would otherwise map again for each dark pixel.
    void cacheRealYOfRows()
    {
        cacheTop_ = std::max<int64_t>(f_.top, 0);
        const int64_t end = std::min<int64_t>(f_.top + f_.rows, pic_.height);
        for (int64_t r = cacheTop_; r < end; ++r)
            realYOfRow_.push_back(map_.realY(static_cast<double>(bitmapYOfRow(r, pic_.height))));
    }

    double realYOfRow(int64_t r) const
    {
        const uint64_t i = static_cast<uint64_t>(r - cacheTop_);
        if (i < realYOfRow_.size())
            return realYOfRow_[i];
        return map_.realY(static_cast<double>(bitmapYOfRow(r, pic_.height)));
    }

    // Second pass: the same pixels in the same order. For each dark pixel,
    // v = y_p - (the row's real y), and Q gathers D * v * v.
    void spreadPass()
    {
        const auto spread = [this](int64_t x, int64_t r, int32_t d) {
            const size_t k = stripOf(x);
            if (rows_[k].number == 0)
                return;
            const double v = static_cast<double>(static_cast<long double>(realYOfRow(r)) - rows_[k].realY);
            spreadSum_[k] =
                static_cast<double>(static_cast<long double>(spreadSum_[k]) + static_cast<long double>(d) * v * v);
        };
        // Run after run of rows, from the top: from the record of the first
        // pass where it holds every dark pixel of the run, else from the
        // picture anew.
        for (const RowRun& run : runs_) {
            if (run.recorded) {
                for (const DarkPixel& p : run.dark)
                    spread(colBegin_ + p.dx, f_.top + p.dr, p.d);
                continue;
            }
            Frame g = f_;
            g.top = run.top;
            g.rows = run.rows;
            forEachCountedPixel(pic_, g, colBegin_, colEnd_, spread);
        }
    }

    // SDEV = sqrt(Q / S_D); then each row gets its number and goes to the
    // report, and every strip, with a row or without, reports its progress.
    void handOverRows()
    {
        for (int64_t i = 0; i < strips_; ++i) {
            ResultRow& row = rows_[static_cast<size_t>(i)];
            if (row.number != 0) {
                if (wantSpread_) {
                    const long double sd = static_cast<long double>(sums_[static_cast<size_t>(i)].sd);
                    row.sdev = static_cast<double>(
                        std::sqrt(static_cast<long double>(spreadSum_[static_cast<size_t>(i)]) / sd));
                    if (row.realY != 0) {
                        row.hasSdevY = true;
                        row.sdevY = static_cast<double>(static_cast<long double>(row.sdev) / row.realY);
                    }
                }
                row.number = gridRow_++;
                if (sinks_.onRow)
                    sinks_.onRow(row);
            }
            if (sinks_.onProgress)
                sinks_.onProgress(static_cast<int>((100 * (kb_ + i)) / stripCount_));
        }
    }

    const PixelView& pic_;
    const bool weightedX_;
    const bool wantSpread_;
    const ScanSinks& sinks_;
    const ChartMap map_;
    const ScanFrame frame_;
    const int64_t stripCount_;
    std::optional<InkModel> ink_;
    Frame f_;
    int64_t bandStrips_ = 1;

    // The band being scanned.
    int64_t kb_ = 0; // its first strip
    int64_t strips_ = 0;
    int64_t colBegin_ = 0;
    int64_t colEnd_ = 0;
    std::vector<StripSums<Sum>> sums_;
    std::vector<ResultRow> rows_;
    std::vector<double> spreadSum_; // Q of each strip
    // The runs of rows of the first pass, with the dark pixels each kept.
    struct RowRun {
        int64_t top = 0;
        int64_t rows = 0;
        std::vector<DarkPixel> dark;
        bool recorded = false; // `dark` holds every dark pixel of the run
    };
    std::vector<RowRun> runs_;
    std::vector<uint32_t> stripOfColumn_;

    // What the scan saw, when its sink asks: a tally for each share of a
    // band's rows, and the counted pixels of each row of the area.
    int32_t gap_ = FollowSettings::kDefaultGap;
    std::vector<FindingsTally> tallies_;
    std::vector<int32_t> rowCounts_;
    ScanFindings findings_;

    int64_t cacheTop_ = 0;
    std::vector<double> realYOfRow_;
    int32_t gridRow_ = 1;
};

} // namespace

Notice widthResizedNotice(int32_t areaWidth)
{
    return {kWidthTitle, "Scan width is too large!\nIt is now resized to " + std::to_string(areaWidth)};
}

Notice stopNotice(ScanStop stop)
{
    switch (stop) {
    case ScanStop::FlatArea: return {kAbortTitle, kHeightText};
    case ScanStop::NarrowArea: return {kAbortTitle, kNarrowText};
    case ScanStop::SameOriginX: return {kAbortTitle, kSameOriginXText};
    case ScanStop::SameOriginY: return {kAbortTitle, kSameOriginYText};
    case ScanStop::CollinearMarks: return {kAbortTitle, kCollinearText};
    case ScanStop::UnfixedFit: return {kAbortTitle, kUnfixedText};
    case ScanStop::FoldedArea: return {kAbortTitle, kFoldedText};
    case ScanStop::StretchedArea: return {kAbortTitle, kStretchedText};
    case ScanStop::None: break;
    }
    return {};
}

std::string progressText(int percent) { return "Scanning: " + std::to_string(percent) + " %"; }

int32_t runColumnScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks)
{
    if (checks.stop != ScanStop::None || checks.stripCount < 1 || settings.ScanWidth < 1)
        return 0;
    if (!settings.Series.empty())
        return runSeriesScan(picture, settings, checks, wantSpread, sinks);
    if (sinks.uncertainty) {
        // Each point's uncertainty needs its neighbours, and its own spread
        // where it has none: the rows wait for the end of the scan.
        std::vector<ResultRow> rows;
        ScanSinks held = sinks;
        held.uncertainty = false;
        held.onRow = [&rows](const ResultRow& r) { rows.push_back(r); };
        runColumnScan(picture, settings, checks, true, held);
        placeUncertainties(rows, settings);
        for (ResultRow& r : rows) {
            if (!wantSpread) {
                r.sdev = 0;
                r.hasSdevY = false;
                r.sdevY = 0;
            }
            if (sinks.onRow)
                sinks.onRow(r);
        }
        return static_cast<int32_t>(rows.size());
    }
    // Every pass below, following's too, then reads the smoothed copy: of
    // the area, or in the other calibration kinds of the picture's box that
    // holds the area's quadrilateral.
    if (settings.Smooth > 0) {
        if (!settings.Calibration.aligned()) {
            const PictureBox b = pictureBoxOf(picture.width, picture.height, settings, checks);
            const SmoothedPicture smoothed(picture, settings.Smooth, b.first, b.end - b.first, b.left, b.right - b.left,
                                           sinks.threads);
            return runColumnScan(smoothed.view(), smoothedAlready(settings), checks, wantSpread, sinks);
        }
        return runColumnScan(smoothedFrame(picture, settings, frameOf(picture, settings, checks), sinks.threads).view(),
                             smoothedAlready(settings), checks, wantSpread, sinks);
    }
    if (!settings.Calibration.aligned())
        return runChartScan(picture, settings, checks, wantSpread, sinks);
    if (settings.Follow.active())
        return runFollowScan(picture, settings, checks, wantSpread, sinks);
    // Largest sum a strip can reach: every pixel of it at darkness 255, at
    // the farthest row or column. Below 2^53 the integer sums are exact.
    const ScanFrame frame = frameOf(picture, settings, checks);
    const long double pixels = static_cast<long double>(frame.width) * frame.rows;
    const long double reach = std::max<long double>(picture.width, picture.height) + 1;
    if (pixels * 255.0L * reach < 9007199254740992.0L)
        return StripScan<int64_t>(picture, settings, checks, wantSpread, sinks).run();
    return StripScan<double>(picture, settings, checks, wantSpread, sinks).run();
}

RowSpan rowsReadByScan(int32_t pictureHeight, const ScanSettings& settings, const ScanChecks& checks)
{
    // The rows that smoothing reads around the area, within the picture.
    const int64_t margin = std::max(settings.Smooth, 0);
    if (!settings.Calibration.aligned()) {
        const PictureBox b = pictureBoxOf(std::numeric_limits<int32_t>::max(), pictureHeight, settings, checks);
        const int64_t first = std::clamp<int64_t>(b.first - margin, 0, pictureHeight);
        return {static_cast<int32_t>(first),
                static_cast<int32_t>(std::clamp<int64_t>(b.end + margin, first, pictureHeight))};
    }
    // The scan's frame.
    const ScanFrame f = frameOf(pictureHeight, settings, checks);
    const int64_t first = std::clamp<int64_t>(f.top - margin, 0, pictureHeight);
    const int64_t end = std::clamp<int64_t>(f.top + f.rows + margin, first, pictureHeight);
    return {static_cast<int32_t>(first), static_cast<int32_t>(end)};
}

} // namespace plotrun
