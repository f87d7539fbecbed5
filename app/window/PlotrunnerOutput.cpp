// Commands that take the output out of the program, or change the view:
// save, copy, print, the grid and chart views, and pasting a picture in.
#include "Plotrunner.h"

#include "OutputPrinter.h"
#include "ResultChart.h"

#include "../../dialogs/Notice.h"
#include "../../files/TextFile.h"
#include "Report.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QTableView>

#include <stdexcept>

namespace plotrun {

void TPlotrunner::SaveClick()
{
    if (scan_.empty())
        return;
    if (saveFileName_.isEmpty()) {
        SaveAsClick();
        return;
    }
    writeOutput(saveFileName_);
}

void TPlotrunner::SaveAsClick()
{
    const QString path = dialogs_.saveFile ? dialogs_.saveFile() : askSaveFileName();
    if (path.isEmpty())
        return;
    saveFileName_ = path;
    commands_.Save->setStatusTip("Save the output to " + path);
    writeOutput(path);
}

QString TPlotrunner::askSaveFileName()
{
    QFileDialog dialog(this, "Save As", saveFileName_, "Text File (*.txt)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!saveFileName_.isEmpty())
        dialog.selectFile(saveFileName_);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

// The old file is replaced only once the new text is wholly written.
void TPlotrunner::writeOutput(const QString& path)
{
    // Saving over the picture would turn the chart into a text file.
    if (!picturePath_.isEmpty() && isSameFile(path, picturePath_))
        throw std::runtime_error(
            QString("Cannot write file \"%1\": it is the picture being scanned").arg(path).toStdString());
    const QString reason = writeTextFile(path, joinLines(scan_));
    if (!reason.isEmpty())
        throw std::runtime_error(QString("Cannot write file \"%1\": %2").arg(path, reason).toStdString());
}

void TPlotrunner::CopyClick() { QGuiApplication::clipboard()->setText(QString::fromStdString(joinLines(scan_))); }

void TPlotrunner::PasteClick()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasImage())
        return;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return;
    acceptPicture(pictureFromImage(image), "<NONE>");
}

void TPlotrunner::PrintClick()
{
    if (scan_.empty()) {
        showNotice(this, "No data!", "Scan a graph before printing the data.");
        return;
    }
    const PrintPagesChooser realDialog = [this](QPrinter& printer, int pages) {
        QPrintDialog dialog(&printer, this);
        dialog.setMinMax(1, pages);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange);
        dialog.setOption(QAbstractPrintDialog::PrintToFile);
        return dialog.exec() == QDialog::Accepted;
    };
    printOutput(printer_, font(), scan_, dialogs_.printPages ? dialogs_.printPages : realDialog);
}

void TPlotrunner::PrintSetupClick()
{
    QPageSetupDialog dialog(&printer_, this);
    dialog.exec();
}

// Each view command switches its own view on and off, and switching one on
// switches the other off; with both off the picture is seen.
void TPlotrunner::ViewClick() { toggleView(Data, commands_.View, ChartXY, commands_.Chart); }

void TPlotrunner::ChartClick() { toggleView(ChartXY, commands_.Chart, Data, commands_.View); }

void TPlotrunner::toggleView(QWidget* view, QAction* command, QWidget* other, QAction* otherCommand)
{
    other->hide();
    otherCommand->setChecked(false);
    view->setVisible(view->isHidden());
    command->setChecked(!view->isHidden());
    view->raise();
    takeView();
}

} // namespace plotrun
