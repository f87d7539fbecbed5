#include "ScanReport.h"

#include <cmath>
#include <utility>

namespace plotrun {

ScanReport::ScanReport(OutputFields fields, std::string decimalSeparator)
    : fields_(std::move(fields)), separator_(std::move(decimalSeparator)), layout_(layoutGrid(fields_)),
      columnNames_(headerCells(layout_, fields_))
{
}

const std::vector<std::string>& ScanReport::addRow(const ResultRow& row)
{
    std::vector<std::string> cells = rowCells(layout_, row, separator_);
    if (!rowIsFinite(layout_, row)) {
        if (firstNonFiniteRow_ == 0)
            firstNonFiniteRow_ = row.number != 0 ? row.number : static_cast<int32_t>(rows_.size()) + 1;
        for (size_t i = 0; i < layout_.fields.size(); ++i)
            if (!std::isfinite(fieldValue(row, layout_.fields[i])))
                cells[i].clear();
    }
    rows_.push_back(std::move(cells));
    return rows_.back();
}

std::vector<std::string> ScanReport::lines(const PictureFacts& picture, const ScanSettings& settings) const
{
    std::vector<std::string> header;
    if (fields_.scanningParameters)
        header = headerBlock(picture, settings, fields_.delimiter, separator_);
    return outputLines(fields_.scanningParameters ? &header : nullptr, fields_.columnNames ? &columnNames_ : nullptr,
                       rows_, fields_.delimiter);
}

std::string ScanReport::text(const PictureFacts& picture, const ScanSettings& settings) const
{
    return joinLines(lines(picture, settings));
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
