#include "ResultGridModel.h"

namespace plotrun {

std::string ResultGridModel::cell(int col, int row) const
{
    if (row == 0)
        return col >= 1 && col <= int(header_.size()) ? header_[col - 1] : std::string();
    if (row < 1 || row > int(data_.size()))
        return {};
    if (col == 0)
        return row <= int(numbers_.size()) ? numbers_[row - 1] : std::string();
    const auto& cells = data_[row - 1];
    return col >= 1 && col <= int(cells.size()) ? cells[col - 1] : std::string();
}

void ResultGridModel::beginUpdate()
{
    if (updating_++ == 0)
        beginResetModel();
}

void ResultGridModel::endUpdate()
{
    if (--updating_ == 0)
        endResetModel();
}

void ResultGridModel::blankDataColumns()
{
    const Update update(*this);
    for (auto& row : data_)
        std::fill(row.begin(), row.end(), std::string());
    std::fill(header_.begin(), header_.end(), std::string());
}

void ResultGridModel::setGridSize(int cols, int rows)
{
    const Update update(*this);
    header_.resize(size_t(std::max(cols - 1, 0)));
    data_.resize(size_t(std::max(rows - 1, 0)));
    for (auto& row : data_)
        row.resize(header_.size());
    // Row numbers stay in column 0 until a row is written anew.
    if (numbers_.size() < data_.size())
        numbers_.resize(data_.size());
}

void ResultGridModel::setHeaderCells(std::vector<std::string> names)
{
    const Update update(*this);
    header_ = std::move(names);
    for (auto& row : data_)
        row.resize(header_.size());
}

void ResultGridModel::addResultRow(int number, std::vector<std::string> cells)
{
    const Update update(*this);
    const size_t at = size_t(number - 1);
    if (data_.size() <= at)
        data_.resize(at + 1);
    if (numbers_.size() <= at)
        numbers_.resize(at + 1);
    numbers_[at] = std::to_string(number);
    cells.resize(header_.size());
    data_[at] = std::move(cells);
}

int ResultGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(data_.size()); }

int ResultGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(header_.size()); }

QVariant ResultGridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return QString::fromStdString(cell(index.column() + 1, index.row() + 1));
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    return QString::fromStdString(orientation == Qt::Horizontal ? cell(section + 1, 0) : cell(0, section + 1));
}

} // namespace plotrun
