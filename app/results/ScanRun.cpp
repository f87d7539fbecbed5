#include "ScanRun.h"

#include "ResultChart.h"
#include "ResultGridModel.h"

#include "CurveFollow.h"
#include "Report.h"
#include "ScanFindings.h"

namespace plotrun {

ScanRun::ScanRun(ResultGridModel& grid, ResultChart& chart, ShowStatus showStatus)
    : grid_(grid), chart_(chart), showStatus_(std::move(showStatus))
{
}

void ScanRun::layOutGrid(const ScanReport& report)
{
    const ResultGridModel::Update update(grid_);
    grid_.blankDataColumns();
    grid_.setGridSize(2, 2);
    grid_.setHeaderCells(report.columnNames());
    grid_.setGridSize(report.gridCols(), 2);
}

bool ScanRun::run(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, ScanReport& report)
{
    rows_.clear();
    keptRealX_.clear();
    followCounts_.clear();
    advice_.clear();
    {
        const ResultGridModel::Update update(grid_);
        int shownPercent = -1;
        runColumnScan(picture, settings, checks, report.fields().wantsSpread(),
                      {[&](const ResultRow& r) {
                           grid_.addResultRow(r.number, report.addRow(r));
                           keptRealX_.push_back(r.realX);
                           rows_.push_back(r);
                       },
                       [&](int percent) {
                           if (percent != shownPercent) {
                               shownPercent = percent;
                               showStatus_(QString::fromStdString(progressText(percent)));
                           }
                       },
                       [&](const FollowCounts& c) { followCounts_ = followCountsText(c); }, kMostThreadsPerPicture,
                       [&](const ScanFindings& f) {
                           // A scan of series says it of each series.
                           const std::string said = scanAdvice(f, settings, AdviceFor::Window);
                           if (!said.empty())
                               advice_ += (advice_.empty() ? "" : "\n") + said;
                       },
                       report.fields().wantsUncertainty()});
        grid_.setGridSize(report.gridCols(), int(report.rowCount()) + 1);
    }
    showStatus_("Finalizing...");
    chart_.clearPoints();
    if (report.hasNonFinite())
        return false;
    chart_.showResult(grid_, report.fields(), keptRealX_, ChartMap(settings));
    return true;
}

} // namespace plotrun
