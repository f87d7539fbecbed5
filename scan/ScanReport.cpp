#include "ScanReport.h"

#include "NumberText.h"
#include "Uncertainty.h"

#include <algorithm>

#include <cmath>
#include <utility>

namespace plotrun {

ScanReport::ScanReport(OutputFields fields, std::string decimalSeparator, Keep keep)
    : fields_(std::move(fields)), separator_(std::move(decimalSeparator)), layout_(layoutGrid(fields_)),
      columnNames_(headerCells(layout_, fields_)), keep_(keep)
{
}

const std::vector<std::string>& ScanReport::addRow(const ResultRow& row)
{
    const bool finite = rowIsFinite(layout_, row);
    if (!finite && firstNonFiniteRow_ == 0)
        firstNonFiniteRow_ = row.number != 0 ? row.number : static_cast<int32_t>(rowCount_) + 1;
    ++rowCount_;
    if (fields_.wantsUncertainty())
        scatter_.push_back(row.scatter);
    static const std::vector<std::string> kNoCells;
    if (row.series >= 0) {
        // Their lines need the series' names, and the wide layout all rows.
        seriesRows_.push_back(row);
        if (keep_ == Keep::TextOnly)
            return kNoCells;
    }
    if (keep_ == Keep::TextOnly) {
        // The cells as the grid would hold them, written straight into the
        // line: a field without a value and a value that is not finite stay
        // empty.
        for (size_t i = 0; i < layout_.fields.size(); ++i) {
            if (i)
                rowText_ += fields_.delimiter;
            const Field f = layout_.fields[i];
            const double v = fieldValue(row, f);
            if (fieldHasValue(row, f) && std::isfinite(v))
                appendReal(rowText_, v, separator_);
        }
        rowText_ += "\r\n";
        return kNoCells;
    }
    std::vector<std::string> cells = rowCells(layout_, row, separator_);
    if (!finite)
        for (size_t i = 0; i < layout_.fields.size(); ++i)
            if (!std::isfinite(fieldValue(row, layout_.fields[i])))
                cells[i].clear();
    rows_.push_back(std::move(cells));
    return rows_.back();
}

std::vector<std::string> ScanReport::headLines(const PictureFacts& picture, const ScanSettings& settings) const
{
    std::vector<std::string> header;
    // The record of how the numbers were made goes in the block, which it
    // then shows.
    const bool block = fields_.scanningParameters || !provenance_.empty();
    if (block) {
        header = headerBlock(picture, settings, fields_.delimiter, separator_);
        // The size of each contribution to the uncertainties, before the
        // block's last, empty line.
        if (fields_.wantsUncertainty()) {
            std::vector<double> sorted = scatter_;
            std::sort(sorted.begin(), sorted.end());
            const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
            header.insert(header.end() - 1,
                          joinCells(uncertaintyHeaderCells(settings, median, separator_), fields_.delimiter));
        }
        header.insert(header.end() - 1, provenance_.begin(), provenance_.end());
    }
    const std::vector<std::string> names = settings.Series.empty() ? columnNames_ : seriesColumnNames(settings.Series);
    return outputLines(block ? &header : nullptr, fields_.columnNames ? &names : nullptr, {}, fields_.delimiter);
}

std::vector<int32_t> ScanReport::wideSeries(const std::vector<SeriesSettings>& series) const
{
    std::vector<int32_t> wide;
    if (fields_.wide)
        for (size_t i = 0; i < series.size(); ++i)
            if (series[i].Kind == SeriesKind::Line)
                wide.push_back(static_cast<int32_t>(i));
    return wide;
}

namespace {

// On a wide line, the x of the strip is each series' alike; the other
// fields are each series' own.
bool sharedOnWideLine(Field f) { return f == Field::RealX || f == Field::BitmapX; }

} // namespace

std::vector<std::string> ScanReport::longColumnNames() const
{
    std::vector<std::string> names{kSeriesColumnName};
    names.insert(names.end(), columnNames_.begin(), columnNames_.end());
    return names;
}

std::vector<std::string> ScanReport::seriesColumnNames(const std::vector<SeriesSettings>& series) const
{
    std::vector<std::string> names;
    const std::vector<int32_t> wide = wideSeries(series);
    if (wide.empty())
        return longColumnNames();
    for (Field f : layout_.fields)
        if (sharedOnWideLine(f))
            names.push_back(fields_.name(f));
    for (const int32_t i : wide)
        for (Field f : layout_.fields)
            if (!sharedOnWideLine(f))
                names.push_back(series[size_t(i)].Name + (f == Field::RealY ? "" : " " + fields_.name(f)));
    return names;
}

std::vector<std::string> ScanReport::seriesLines(const std::vector<SeriesSettings>& series) const
{
    const std::string& d = fields_.delimiter;
    // A cell as the grid would hold it: a field without a value and a value
    // that is not finite stay empty.
    const auto addCell = [&](std::string& line, const ResultRow* r, Field f) {
        if (!r)
            return;
        const double v = fieldValue(*r, f);
        if (fieldHasValue(*r, f) && std::isfinite(v))
            appendReal(line, v, separator_);
    };
    const auto longLine = [&](const ResultRow& r) {
        std::string line = r.series < static_cast<int32_t>(series.size()) ? series[size_t(r.series)].Name : "";
        for (Field f : layout_.fields) {
            line += d;
            addCell(line, &r, f);
        }
        return line;
    };
    std::vector<std::string> lines;
    const std::vector<int32_t> wide = wideSeries(series);
    std::vector<int32_t> column(series.size(), -1); // a series' place on a wide line
    for (size_t k = 0; k < wide.size(); ++k)
        column[size_t(wide[k])] = static_cast<int32_t>(k);
    const auto onWideLine = [&](const ResultRow& r) {
        return r.series < static_cast<int32_t>(series.size()) && column[size_t(r.series)] >= 0;
    };
    if (!wide.empty()) {
        // The rows in the order of their x along the picture; those of one
        // strip (one x) share a line.
        std::vector<const ResultRow*> rows;
        for (const ResultRow& r : seriesRows_)
            if (onWideLine(r))
                rows.push_back(&r);
        const auto key = [](const ResultRow* r) {
            const auto ordered = [](double v) { return std::isnan(v) ? HUGE_VAL : v; };
            return std::pair(ordered(r->bitmapX), ordered(r->realX));
        };
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const ResultRow* a, const ResultRow* b) { return key(a) < key(b); });
        std::vector<const ResultRow*> at(wide.size(), nullptr);
        const auto flush = [&] {
            const ResultRow* first = *std::find_if(at.begin(), at.end(), [](const ResultRow* r) { return r; });
            std::string line;
            bool firstCell = true;
            const auto add = [&](const ResultRow* r, Field f) {
                if (!firstCell)
                    line += d;
                firstCell = false;
                addCell(line, r, f);
            };
            for (Field f : layout_.fields)
                if (sharedOnWideLine(f))
                    add(first, f);
            for (const ResultRow* r : at)
                for (Field f : layout_.fields)
                    if (!sharedOnWideLine(f))
                        add(r, f);
            lines.push_back(std::move(line));
            std::fill(at.begin(), at.end(), nullptr);
        };
        for (size_t i = 0; i < rows.size(); ++i) {
            const size_t k = size_t(column[size_t(rows[i]->series)]);
            if (i > 0 && (key(rows[i]) != key(rows[i - 1]) || at[k]))
                flush();
            at[k] = rows[i];
        }
        if (!rows.empty())
            flush();
    }
    bool named = wide.empty() || !fields_.columnNames;
    for (const ResultRow& r : seriesRows_)
        if (!onWideLine(r)) {
            // The markers' long lines after the wide ones: their own column
            // names go over them.
            if (!named) {
                lines.push_back(joinCells(longColumnNames(), d));
                named = true;
            }
            lines.push_back(longLine(r));
        }
    return lines;
}

std::vector<std::string> ScanReport::lines(const PictureFacts& picture, const ScanSettings& settings) const
{
    std::vector<std::string> lines = headLines(picture, settings);
    if (!settings.Series.empty()) {
        std::vector<std::string> rows = seriesLines(settings.Series);
        lines.insert(lines.end(), rows.begin(), rows.end());
        return lines;
    }
    lines.reserve(lines.size() + rowCount_);
    for (const std::vector<std::string>& cells : rows_)
        lines.push_back(joinCells(cells, fields_.delimiter));
    for (size_t at = 0; at < rowText_.size();) {
        const size_t end = rowText_.find("\r\n", at);
        lines.push_back(rowText_.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string ScanReport::text(const PictureFacts& picture, const ScanSettings& settings) const
{
    if (keep_ == Keep::Cells || !settings.Series.empty())
        return joinLines(lines(picture, settings));
    return joinLines(headLines(picture, settings)) + rowText_;
}

double fieldValue(const ResultRow& row, Field field)
{
    switch (field) {
    case Field::RealX: return row.realX;
    case Field::RealY: return row.realY;
    case Field::Sdev: return row.sdev;
    case Field::SdevY: return row.hasSdevY ? row.sdevY : 0;
    case Field::BitmapX: return row.bitmapX;
    case Field::BitmapY: return row.bitmapY;
    case Field::Ux: return row.ux;
    case Field::Uy: return row.uy;
    case Field::YLow: return row.hasBar ? row.yLow : 0;
    case Field::YHigh: return row.hasBar ? row.yHigh : 0;
    }
    return 0;
}

bool fieldHasValue(const ResultRow& row, Field field)
{
    switch (field) {
    case Field::SdevY: return row.hasSdevY;
    case Field::YLow:
    case Field::YHigh: return row.hasBar;
    default: return true;
    }
}

bool rowIsFinite(const GridLayout& layout, const ResultRow& row)
{
    for (Field f : layout.fields)
        if (!std::isfinite(fieldValue(row, f)))
            return false;
    const bool chartPlotsRealX = layout.columnOf(Field::RealX) < 0 && layout.columnOf(Field::BitmapX) < 0;
    return !chartPlotsRealX || std::isfinite(row.realX);
}

Notice notFiniteNotice(int32_t rowNumber)
{
    return {kNotFiniteTitle, "The scan gives a number beyond the range of real numbers, first in row " +
                                 std::to_string(rowNumber) + ".\nCheck the real coordinates of the references.\n"};
}

} // namespace plotrun
