#include "OutputCommands.h"

#include "Commands.h"
#include "OutputPrinter.h"
#include "ResultChart.h"
#include "ResultGridModel.h"

#include "../../dialogs/Notice.h"
#include "../../files/TextFile.h"
#include "Report.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QTableView>

#include <stdexcept>

namespace plotrun {

OutputCommands::OutputCommands(QWidget& window, QWidget& client, const Commands& commands, const CommonDialogs& dialogs,
                               std::function<QString()> picturePath)
    : QObject(&window), window_(window), commands_(commands), dialogs_(dialogs), picturePath_(std::move(picturePath))
{
    grid_ = new ResultGridModel(this);
    Data = new QTableView(&client);
    Data->setObjectName("Data");
    Data->setModel(grid_);
    Data->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Data->verticalHeader()->setDefaultSectionSize(24);
    Data->horizontalHeader()->setDefaultSectionSize(180); // room for 15 digits and an exponent
    Data->hide();

    ChartXY = new ResultChart(&client);
    ChartXY->setObjectName("ChartXY");
    ChartXY->hide();
}

void OutputCommands::setLines(std::vector<std::string> lines) { lines_ = std::move(lines); }

void OutputCommands::dropLines() { lines_.clear(); }

void OutputCommands::SaveClick()
{
    if (lines_.empty())
        return;
    if (saveFileName_.isEmpty()) {
        SaveAsClick();
        return;
    }
    writeOutput(saveFileName_);
}

void OutputCommands::SaveAsClick()
{
    const QString path = dialogs_.saveFile ? dialogs_.saveFile() : askSaveFileName();
    if (path.isEmpty())
        return;
    saveFileName_ = path;
    commands_.Save->setStatusTip("Save the output to " + path);
    writeOutput(path);
}

QString OutputCommands::askSaveFileName()
{
    QFileDialog dialog(&window_, "Save As", saveFileName_, "Text File (*.txt)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!saveFileName_.isEmpty())
        dialog.selectFile(saveFileName_);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

// The old file is replaced only once the new text is wholly written.
void OutputCommands::writeOutput(const QString& path)
{
    // Saving over the picture would turn the chart into a text file.
    const QString picturePath = picturePath_();
    if (!picturePath.isEmpty() && isSameFile(path, picturePath))
        throw std::runtime_error(
            QString("Cannot write file \"%1\": it is the picture being scanned").arg(path).toStdString());
    const QString reason = writeTextFile(path, joinLines(lines_));
    if (!reason.isEmpty())
        throw std::runtime_error(QString("Cannot write file \"%1\": %2").arg(path, reason).toStdString());
}

void OutputCommands::CopyClick() { QGuiApplication::clipboard()->setText(QString::fromStdString(joinLines(lines_))); }

void OutputCommands::PrintClick()
{
    if (lines_.empty()) {
        showNotice(&window_, "No data!", "Scan a graph before printing the data.");
        return;
    }
    const PrintPagesChooser realDialog = [this](QPrinter& printer, int pages) {
        QPrintDialog dialog(&printer, &window_);
        dialog.setMinMax(1, pages);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange);
        dialog.setOption(QAbstractPrintDialog::PrintToFile);
        return dialog.exec() == QDialog::Accepted;
    };
    printOutput(printer_, window_.font(), lines_, dialogs_.printPages ? dialogs_.printPages : realDialog);
}

void OutputCommands::PrintSetupClick()
{
    QPageSetupDialog dialog(&printer_, &window_);
    dialog.exec();
}

bool OutputCommands::gridShown() const { return !Data->isHidden(); }
bool OutputCommands::chartShown() const { return !ChartXY->isHidden(); }

void OutputCommands::hideGrid() { Data->hide(); }

void OutputCommands::ViewClick() { toggleView(Data, ChartXY); }

void OutputCommands::ChartClick() { toggleView(ChartXY, Data); }

void OutputCommands::toggleView(QWidget* view, QWidget* other)
{
    other->hide();
    view->setVisible(view->isHidden());
    view->raise();
    emit viewsChanged();
}

} // namespace plotrun
