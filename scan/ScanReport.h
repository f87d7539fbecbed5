#pragma once
// The report of one scan, built as its rows arrive: the grid's column names
// and cells, and the output text. The window and the scanner both build it.

#include "ColumnScan.h"
#include "Report.h"
#include "ScanSettings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plotrun {

// The name over the first column of a scan of series, which holds each
// row's series.
inline constexpr const char* kSeriesColumnName = "Series";

class ScanReport {
public:
    // What the report keeps of its rows: the grid's cells (the window), or
    // only the output text (the scanner), which is quicker to build.
    enum class Keep { Cells, TextOnly };

    ScanReport(OutputFields fields, std::string decimalSeparator, Keep keep = Keep::Cells);

    const OutputFields& fields() const { return fields_; }
    const GridLayout& layout() const { return layout_; }
    // Grid columns with column 0, the row numbers.
    int32_t gridCols() const { return layout_.gridCols(); }
    // Row 0 of the grid, columns 1 on.
    const std::vector<std::string>& columnNames() const { return columnNames_; }

    // Formats one result row into its cells (columns 1 on), keeps them and
    // returns them; the reference holds until the next addRow. A value that
    // is not finite is never written: its cell stays empty, and the report
    // remembers the row (see hasNonFinite). A report that keeps only the
    // text adds the row's line to it and returns no cells.
    const std::vector<std::string>& addRow(const ResultRow& row);

    // The cells of every row; none in a report that keeps only the text.
    const std::vector<std::vector<std::string>>& rows() const { return rows_; }
    // Lines that record how the numbers were made, for the end of the
    // header block.
    void setProvenance(std::vector<std::string> lines) { provenance_ = std::move(lines); }
    size_t rowCount() const { return rowCount_; }

    // Some row held an infinite or undefined value where the report writes
    // or plots one. Such a report is no result: neither text nor chart.
    bool hasNonFinite() const { return firstNonFiniteRow_ != 0; }
    // The number of the first such row, 0 when there is none.
    int32_t firstNonFiniteRow() const { return firstNonFiniteRow_; }

    // The output text as lines: the header block when the scanning
    // parameters are wanted, the column names when wanted, then one line per
    // row. `settings` are those the scan ran with, after any width resize.
    // With series, they name the series: each line starts with its series'
    // name, or with `wide` the line series stand side by side, one line for
    // each x that any of them has, followed by the markers' lines, under
    // column names of their own when column names are wanted. (The grid's
    // cells of a series' row hold its fields alone.)
    std::vector<std::string> lines(const PictureFacts& picture, const ScanSettings& settings) const;
    // The same lines as saved and copied: each ends in CR LF.
    std::string text(const PictureFacts& picture, const ScanSettings& settings) const;

private:
    // The header block and the column names, as far as they are wanted.
    std::vector<std::string> headLines(const PictureFacts& picture, const ScanSettings& settings) const;
    // The lines of the rows of series, and the names over their columns.
    std::vector<std::string> seriesLines(const std::vector<SeriesSettings>& series) const;
    std::vector<std::string> seriesColumnNames(const std::vector<SeriesSettings>& series) const;
    // The names over the long lines of series: the series, then the fields.
    std::vector<std::string> longColumnNames() const;
    // The line series, with wide output wanted: the series on a wide line, by index.
    std::vector<int32_t> wideSeries(const std::vector<SeriesSettings>& series) const;

    OutputFields fields_;
    std::string separator_;
    GridLayout layout_;
    std::vector<std::string> columnNames_;
    Keep keep_;
    std::vector<std::vector<std::string>> rows_;
    std::string rowText_;               // Keep::TextOnly: the rows' lines, each ending in CR LF
    std::vector<ResultRow> seriesRows_; // rows of series, laid out when the text is made
    size_t rowCount_ = 0;
    int32_t firstNonFiniteRow_ = 0;
    std::vector<double> scatter_; // of each row, while an uncertainty is asked for
    std::vector<std::string> provenance_;
};

// The value of one field of a row.
double fieldValue(const ResultRow& row, Field field);
// Whether the row has a value of the field at all: SDEV/Y only where it has
// one, Y low and Y high only where a bar goes through the marker. The cell
// of a field without a value stays empty in the grid and the text.
bool fieldHasValue(const ResultRow& row, Field field);

// Every value of the row that the report writes or plots is finite: the
// included fields (an absent SDEV/Y is no value), and the real x, which the
// chart plots when neither real nor bitmap coordinates are included.
bool rowIsFinite(const GridLayout& layout, const ResultRow& row);

inline constexpr const char* kNotFiniteTitle = "Number out of range!";
// What a front end says about a report with a value that is not finite.
Notice notFiniteNotice(int32_t rowNumber);

} // namespace plotrun
