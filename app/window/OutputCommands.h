#pragma once
// The commands that take the output of a scan out of the program (Save, Save
// As, Copy Data, Print, Print Setup) and the two views of it over the picture
// (View Output, View Chart). It keeps the output text, the file it was last
// saved to and the printer, and holds the grid and the chart.

#include "CommonDialogs.h"

#include <QObject>
#include <QPrinter>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QTableView;
class QWidget;

namespace plotrun {

struct Commands;
class ResultChart;
class ResultGridModel;

class OutputCommands : public QObject {
    Q_OBJECT

public:
    // The grid and the chart are made hidden in `client`, over what it holds.
    // `picturePath` names the picture being scanned (empty for a pasted
    // one), which Save never writes over.
    OutputCommands(QWidget& window, QWidget& client, const Commands& commands, const CommonDialogs& dialogs,
                   std::function<QString()> picturePath);

    ResultGridModel& grid() { return *grid_; }
    const ResultGridModel& grid() const { return *grid_; }
    ResultChart& chart() { return *ChartXY; }
    const ResultChart& chart() const { return *ChartXY; }

    // The output text of a scan, which Save, Save As and Copy Data take.
    void setLines(std::vector<std::string> lines);
    // A scan whose numbers cannot be written: no text to save, copy or print.
    void dropLines();
    const std::vector<std::string>& lines() const { return lines_; }
    const QString& savedFileName() const { return saveFileName_; }

    // The grid or the chart covers the picture.
    bool gridShown() const;
    bool chartShown() const;
    bool covering() const { return gridShown() || chartShown(); }
    // A new picture hides the grid.
    void hideGrid();

    void SaveClick();
    void SaveAsClick();
    void CopyClick();
    void PrintClick();
    void PrintSetupClick();
    // Each view command switches its own view on and off, and switching one
    // on switches the other off; with both off the picture is seen.
    void ViewClick();
    void ChartClick();

signals:
    // A view was switched on or off.
    void viewsChanged();

private:
    void toggleView(QWidget* view, QWidget* other);
    void writeOutput(const QString& path);
    QString askSaveFileName();

    QWidget& window_;
    const Commands& commands_;
    const CommonDialogs& dialogs_;
    std::function<QString()> picturePath_;
    QTableView* Data = nullptr;
    ResultGridModel* grid_ = nullptr;
    ResultChart* ChartXY = nullptr;
    std::vector<std::string> lines_; // the output text, line by line
    QString saveFileName_;           // where the output was last saved
    QPrinter printer_;
};

} // namespace plotrun
