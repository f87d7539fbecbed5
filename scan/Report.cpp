#include "Report.h"

#include "NumberText.h"
#include "ScanOptions.h"

namespace plotrun {

GridLayout layoutGrid(const OutputFields& f)
{
    GridLayout g;
    const auto add = [&g](bool included, Field field) {
        if (!included)
            return;
        g.fields.push_back(field);
        g.column[static_cast<int>(field)] = static_cast<int32_t>(g.fields.size());
    };
    add(f.realCoordinates, Field::RealX);
    add(f.realCoordinates, Field::RealY);
    add(f.ux, Field::Ux);
    add(f.uy, Field::Uy);
    add(f.yLow, Field::YLow);
    add(f.yHigh, Field::YHigh);
    add(f.sdev, Field::Sdev);
    add(f.sdevY, Field::SdevY);
    add(f.bitmapCoordinates, Field::BitmapX);
    add(f.bitmapCoordinates, Field::BitmapY);
    return g;
}

std::vector<std::string> headerCells(const GridLayout& layout, const OutputFields& fields)
{
    std::vector<std::string> cells;
    cells.reserve(layout.fields.size());
    for (Field f : layout.fields)
        cells.push_back(fields.name(f));
    return cells;
}

std::vector<std::string> rowCells(const GridLayout& layout, const ResultRow& row, std::string_view sep)
{
    std::vector<std::string> cells;
    cells.reserve(layout.fields.size());
    for (Field f : layout.fields) {
        switch (f) {
        case Field::RealX: cells.push_back(formatReal(row.realX, sep)); break;
        case Field::RealY: cells.push_back(formatReal(row.realY, sep)); break;
        case Field::Sdev: cells.push_back(formatReal(row.sdev, sep)); break;
        case Field::SdevY: cells.push_back(row.hasSdevY ? formatReal(row.sdevY, sep) : std::string()); break;
        case Field::BitmapX: cells.push_back(formatReal(row.bitmapX, sep)); break;
        case Field::BitmapY: cells.push_back(formatReal(row.bitmapY, sep)); break;
        case Field::Ux: cells.push_back(formatReal(row.ux, sep)); break;
        case Field::Uy: cells.push_back(formatReal(row.uy, sep)); break;
        case Field::YLow: cells.push_back(row.hasBar ? formatReal(row.yLow, sep) : std::string()); break;
        case Field::YHigh: cells.push_back(row.hasBar ? formatReal(row.yHigh, sep) : std::string()); break;
        }
    }
    return cells;
}

std::vector<std::string> headerBlock(const PictureFacts& p, const ScanSettings& s, std::string_view d,
                                     std::string_view sep)
{
    const std::string D(d);
    std::vector<std::string> lines{
        "Image width:" + D + p.widthText,
        "Image height:" + D + formatWhole(p.height),
        "Bits per pixel: " + D + p.bitsPerPixelText,
    };
    const auto add = [&](HeaderPlace place, const ScanSettings& settings) {
        const std::vector<std::string> more = headerLinesAt(place, settings, d, sep);
        lines.insert(lines.end(), more.begin(), more.end());
    };
    add(HeaderPlace::Scan, s);
    // "Weighted X points" tells what the dialog's box shows.
    ScanSettings weighting = s;
    weighting.WeightedX = p.weightedBox;
    add(HeaderPlace::Weighting, weighting);
    lines.push_back("Weighted Y points");
    lines.push_back("");
    lines.push_back("Coordinate:" + D + "X" + D + "Y");
    add(HeaderPlace::Coordinates, s);
    // Only a logarithmic axis is named, so that a linear block stays as it was.
    add(HeaderPlace::Axes, s);
    lines.push_back("");
    return lines;
}

std::string joinCells(const std::vector<std::string>& cells, std::string_view delimiter)
{
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i)
            line += delimiter;
        line += cells[i];
    }
    return line;
}

std::vector<std::string> outputLines(const std::vector<std::string>* header,
                                     const std::vector<std::string>* columnNames,
                                     const std::vector<std::vector<std::string>>& rows, std::string_view delimiter)
{
    std::vector<std::string> lines;
    lines.reserve(rows.size() + (header ? header->size() : 0) + 1);
    if (header)
        lines.insert(lines.end(), header->begin(), header->end());
    if (columnNames)
        lines.push_back(joinCells(*columnNames, delimiter));
    for (const auto& cells : rows)
        lines.push_back(joinCells(cells, delimiter));
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines)
{
    size_t size = 0;
    for (const auto& l : lines)
        size += l.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& l : lines) {
        text += l;
        text += "\r\n";
    }
    return text;
}

} // namespace plotrun
