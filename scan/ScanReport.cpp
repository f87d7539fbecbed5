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
    if (keep_ == Keep::TextOnly) {
        // The cells as the grid would hold them, written straight into the
        // line: an absent SDEV/Y and a value that is not finite stay empty.
        for (size_t i = 0; i < layout_.fields.size(); ++i) {
            if (i)
                rowText_ += fields_.delimiter;
            const Field f = layout_.fields[i];
            const double v = fieldValue(row, f);
            if ((f != Field::SdevY || row.hasSdevY) && std::isfinite(v))
                appendReal(rowText_, v, separator_);
        }
        rowText_ += "\r\n";
        static const std::vector<std::string> kNoCells;
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
    return outputLines(block ? &header : nullptr, fields_.columnNames ? &columnNames_ : nullptr, {}, fields_.delimiter);
}

std::vector<std::string> ScanReport::lines(const PictureFacts& picture, const ScanSettings& settings) const
{
    std::vector<std::string> lines = headLines(picture, settings);
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
    if (keep_ == Keep::Cells)
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
