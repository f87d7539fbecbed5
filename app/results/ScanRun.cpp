#include "ScanRun.h"

#include "ResultChart.h"
#include "ResultGridModel.h"
#include "SeriesColours.h"

#include "CurveFollow.h"
#include "Report.h"
#include "ScanFindings.h"
#include "Series.h"

namespace plotrun {

ScanRun::ScanRun(ResultGridModel& grid, ResultChart& chart, ShowStatus showStatus)
    : grid_(grid), chart_(chart), showStatus_(std::move(showStatus))
{
}

void ScanRun::layOutGrid(const ScanReport& report, const ScanSettings& settings)
{
    const std::vector<std::string>& names = report.columnNames();
    nameColumn_ = !settings.Series.empty() && (names.empty() || names.front() != kSeriesColumnName);
    std::vector<std::string> header = names;
    if (nameColumn_)
        header.insert(header.begin(), kSeriesColumnName);
    const ResultGridModel::Update update(grid_);
    grid_.blankDataColumns();
    grid_.setGridSize(2, 2);
    grid_.setHeaderCells(std::move(header));
    grid_.setGridSize(report.gridCols() + (nameColumn_ ? 1 : 0), 2);
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
                           // The series are scanned one after the other, each
                           // numbering its rows from 1: the grid numbers them on.
                           if (settings.Series.empty()) {
                               grid_.addResultRow(r.number, report.addRow(r));
                           } else {
                               std::vector<std::string> cells = report.addRow(r);
                               const bool named = r.series >= 0 && size_t(r.series) < settings.Series.size();
                               if (nameColumn_)
                                   cells.insert(cells.begin(), named ? settings.Series[size_t(r.series)].Name : "");
                               grid_.addResultRow(int(rows_.size()) + 1, std::move(cells));
                           }
                           keptRealX_.push_back(r.realX);
                           rows_.push_back(r);
                       },
                       [&](int percent) {
                           if (percent != shownPercent) {
                               shownPercent = percent;
                               showStatus_(QString::fromStdString(progressText(percent)));
                           }
                       },
                       [&](const FollowCounts& c) {
                           // Each series' counts, named, as the scanner gives them.
                           if (!followCounts_.empty())
                               followCounts_ += ". ";
                           if (c.series >= 0 && size_t(c.series) < settings.Series.size())
                               followCounts_ += settings.Series[size_t(c.series)].Name + ": ";
                           followCounts_ += followCountsText(c);
                       },
                       kMostThreadsPerPicture,
                       [&](const ScanFindings& f) {
                           // A scan of series says it of each series.
                           const std::string said = scanAdvice(f, settings, AdviceFor::Window);
                           if (!said.empty())
                               advice_ += (advice_.empty() ? "" : "\n") + said;
                       },
                       report.fields().wantsUncertainty()});
        grid_.setGridSize(report.gridCols() + (nameColumn_ ? 1 : 0), int(report.rowCount()) + 1);
    }
    // And of each series that gave no point.
    std::vector<int64_t> rowsOfEach(settings.Series.size(), 0);
    for (const ResultRow& r : rows_)
        if (r.series >= 0 && size_t(r.series) < rowsOfEach.size())
            ++rowsOfEach[size_t(r.series)];
    if (const std::string empty = seriesWithoutRows(settings.Series, rowsOfEach); !empty.empty())
        advice_ += (advice_.empty() ? "" : "\n") + empty;
    showStatus_("Finalizing...");
    chart_.clearPoints();
    if (report.hasNonFinite())
        return false;
    std::vector<ChartSeries> figure;
    std::vector<int32_t> rowSeries;
    for (size_t i = 0; i < settings.Series.size(); ++i) {
        const SeriesSettings& s = settings.Series[i];
        figure.push_back(
            {QString::fromStdString(s.Name), seriesColour(settings.Series, i), s.Kind == SeriesKind::Markers, {}});
    }
    if (!figure.empty())
        for (const ResultRow& r : rows_)
            rowSeries.push_back(r.series);
    chart_.showResult(grid_, report.fields(), keptRealX_, ChartMap(settings), std::move(figure), rowSeries);
    return true;
}

} // namespace plotrun
