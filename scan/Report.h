#pragma once
// The report of a scan: the layout of the result grid, the text of its cells,
// and the output text (header block, column names, data lines).

#include "ColumnScan.h"
#include "ScanSettings.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace plotrun {

struct GridLayout {
    std::vector<Field> fields; // grid column c (from 1) holds fields[c - 1]
    std::array<int32_t, kFieldCount> column = [] {
        std::array<int32_t, kFieldCount> none;
        none.fill(-1);
        return none;
    }(); // by Field; -1 when absent

    int32_t gridCols() const { return static_cast<int32_t>(fields.size()) + 1; } // with column 0
    int32_t columnOf(Field f) const { return column[static_cast<int>(f)]; }
};

// Included fields in the fixed order real x, real y, U(X), U(Y), SDEV, SDEV/Y,
// bitmap x, bitmap y.
GridLayout layoutGrid(const OutputFields& fields);

// Row 0 of the grid, columns 1 on: the column names.
std::vector<std::string> headerCells(const GridLayout& layout, const OutputFields& fields);

// The cells of one result row, columns 1 on. An absent SDEV/Y leaves its cell empty.
std::vector<std::string> rowCells(const GridLayout& layout, const ResultRow& row, std::string_view decimalSeparator);

// What the header block says about the picture, as the options dialog shows it.
struct PictureFacts {
    std::string widthText; // the picture width label
    int64_t height = 0;
    std::string bitsPerPixelText; // the colour depth label: a number or "-"
    bool weightedBox = false;     // the "Weighted X points" box
};

// The block of scanning parameters, 16 lines (15 without "Weighted X points").
// A logarithmic axis adds a line ("X axis:" or "Y axis:", "logarithmic") before
// the last, empty line.
std::vector<std::string> headerBlock(const PictureFacts& picture, const ScanSettings& settings,
                                     std::string_view delimiter, std::string_view decimalSeparator);

std::string joinCells(const std::vector<std::string>& cells, std::string_view delimiter);

// The whole output text as lines: the header block when given, the column
// names when wanted, then one line per grid row.
std::vector<std::string> outputLines(const std::vector<std::string>* header,
                                     const std::vector<std::string>* columnNames,
                                     const std::vector<std::vector<std::string>>& rows, std::string_view delimiter);

// Lines joined as they are saved and copied: every line ends in CR LF.
std::string joinLines(const std::vector<std::string>& lines);

} // namespace plotrun
