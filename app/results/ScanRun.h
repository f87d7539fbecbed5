#pragma once
// Execute's run of the scan into the result views: the grid laid out anew
// for the included fields, each row into it as it comes with the progress in
// the status bar, then the chart of the rows. The window makes the output
// text from the report afterwards.

#include "ColumnScan.h"
#include "PixelView.h"
#include "ScanReport.h"
#include "ScanSettings.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace plotrun {

class ResultChart;
class ResultGridModel;

class ScanRun {
public:
    // Shows a status text and paints it at once: the scan holds the thread.
    using ShowStatus = std::function<void(const QString&)>;

    ScanRun(ResultGridModel& grid, ResultChart& chart, ShowStatus showStatus);

    // The old data columns go, and the included fields take columns 1 on
    // in their fixed order.
    // With the figure's series, a first column names each row's series
    // (unless the report's own columns begin with it).
    void layOutGrid(const ScanReport& report, const ScanSettings& settings);
    // Scans into the grid and the report, and charts the rows. False when
    // some number is not finite: the chart is left empty then.
    bool run(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, ScanReport& report);

    const std::vector<ResultRow>& rows() const { return rows_; }
    // Curve following or line removal: the counts of the scan, or of each
    // series after its name; empty without.
    const std::string& followCounts() const { return followCounts_; }
    // What the scan saw, when it spoils the points (ScanFindings.h); empty
    // for a clean scan.
    const std::string& advice() const { return advice_; }

private:
    ResultGridModel& grid_;
    ResultChart& chart_;
    ShowStatus showStatus_;
    std::vector<ResultRow> rows_;
    std::vector<double> keptRealX_; // real x of each row, for a chart without coordinate columns
    std::string followCounts_;
    std::string advice_;
    bool nameColumn_ = false; // the series name column is the grid's, not the report's
};

} // namespace plotrun
