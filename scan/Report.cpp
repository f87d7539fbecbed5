#include "Report.h"

#include "CurveFollow.h"
#include "InkModel.h"
#include "NumberText.h"

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
        }
    }
    return cells;
}

std::vector<std::string> headerBlock(const PictureFacts& p, const ScanSettings& s, std::string_view d,
                                     std::string_view sep)
{
    const std::string D(d);
    const auto pair = [&](const char* label, double x, double y) {
        return label + D + formatReal(x, sep) + D + formatReal(y, sep);
    };
    std::vector<std::string> lines{
        "Image width:" + D + p.widthText,
        "Image height:" + D + formatWhole(p.height),
        "Bits per pixel: " + D + p.bitsPerPixelText,
        "Scan width:" + D + formatWhole(s.ScanWidth),
        "Threshold:" + D + formatWhole(s.Threshold),
    };
    // Ink mode only: the ink, the paper and the tolerance.
    if (s.Ink.On)
        lines.push_back("Ink:" + D + colourText(s.Ink.Ink) + D + colourText(s.Ink.Paper) + D +
                        formatWhole(s.Ink.Tolerance));
    // Curve following and line removal only.
    if (s.Follow.On) {
        std::string follow = "Follow one curve:" + D + "gap" + D + formatWhole(s.Follow.Gap) + D + "max jump" + D +
                             formatWhole(maxJumpOf(s, int64_t(s.ScanEndY) - int64_t(s.ScanStartY)));
        if (s.Follow.StartX > -1 && s.Follow.StartY > -1)
            follow += D + "start" + D + formatReal(s.Follow.StartX, sep) + D + formatReal(s.Follow.StartY, sep);
        lines.push_back(follow);
    }
    if (s.Follow.RemoveLines)
        lines.push_back("Leave out axis and grid lines");
    if (p.weightedBox)
        lines.push_back("Weighted X points");
    lines.push_back("Weighted Y points");
    lines.push_back("");
    lines.push_back("Coordinate:" + D + "X" + D + "Y");
    lines.push_back(pair("Origin:", s.OriginX, s.OriginY));
    lines.push_back(pair("Reference:", s.RefX, s.RefY));
    lines.push_back(pair("Real origin:", s.RealOriginX, s.RealOriginY));
    lines.push_back(pair("Real reference:", s.RealRefX, s.RealRefY));
    lines.push_back(pair("Scan start:", s.ScanStartX, s.ScanStartY));
    lines.push_back(pair("Scan end:", s.ScanEndX, s.ScanEndY));
    // Only a logarithmic axis is named, so that a linear block stays as it was.
    if (s.LogX)
        lines.push_back("X axis:" + D + "logarithmic");
    if (s.LogY)
        lines.push_back("Y axis:" + D + "logarithmic");
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
