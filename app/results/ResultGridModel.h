#pragma once
// The output grid's cells: row 0 holds the column names and column 0 the row
// numbers (shown as the headers of the table view); the data cells are the
// texts that the output text and the chart are read back from.

#include <QAbstractTableModel>

#include <string>
#include <vector>

namespace plotrun {

class ResultGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    // The text of a cell by grid column and row, fixed ones included.
    std::string cell(int col, int row) const;

    // Execute's steps, in its order: blank the data columns, then set the
    // grid's size and the header cells, then enter result rows.
    void blankDataColumns();
    void setGridSize(int cols, int rows); // fixed column and row included
    void setHeaderCells(std::vector<std::string> names);
    void addResultRow(int number, std::vector<std::string> cells);
    // Data rows so far, without the header row.
    const std::vector<std::vector<std::string>>& dataRows() const { return data_; }
    const std::vector<std::string>& headerCells() const { return header_; }

    // Changes made while an Update lives reach the view at once, at its end,
    // also when the work in between fails.
    class Update {
    public:
        explicit Update(ResultGridModel& model) : model_(model) { model_.beginUpdate(); }
        ~Update() { model_.endUpdate(); }
        Update(const Update&) = delete;
        Update& operator=(const Update&) = delete;

    private:
        ResultGridModel& model_;
    };

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void beginUpdate();
    void endUpdate();

    std::vector<std::string> header_;            // row 0, columns 1 on
    std::vector<std::string> numbers_;           // column 0, rows 1 on
    std::vector<std::vector<std::string>> data_; // rows 1 on, columns 1 on
    int updating_ = 0;
};

} // namespace plotrun
