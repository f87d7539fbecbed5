// Commands that take the output out of the program, or change the view:
// save, copy, print, the grid and chart views, and pasting a picture in.
#include "Plotrunner.h"

#include "PrintLayout.h"

#include "../dialogs/Notice.h"
#include "../files/TextFile.h"
#include "Report.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QTableView>

#include <stdexcept>

namespace plotrun {

void TPlotrunner::SaveClick()
{
    if (scan.empty())
        return;
    if (saveFileName.isEmpty()) {
        SaveAsClick();
        return;
    }
    writeOutput(saveFileName);
}

void TPlotrunner::SaveAsClick()
{
    const QString path = chooseSaveFile ? chooseSaveFile() : askSaveFileName();
    if (path.isEmpty())
        return;
    saveFileName = path;
    Save->setStatusTip("Save the output to " + path);
    writeOutput(path);
}

QString TPlotrunner::askSaveFileName()
{
    QFileDialog dialog(this, "Save As", saveFileName, "Text File (*.txt)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!saveFileName.isEmpty())
        dialog.selectFile(saveFileName);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

// The old file is replaced only once the new text is wholly written.
void TPlotrunner::writeOutput(const QString& path)
{
    const QString reason = writeTextFile(path, joinLines(scan));
    if (!reason.isEmpty())
        throw std::runtime_error(QString("Cannot write file \"%1\": %2").arg(path, reason).toStdString());
}

void TPlotrunner::CopyClick() { QGuiApplication::clipboard()->setText(QString::fromStdString(joinLines(scan))); }

void TPlotrunner::PasteClick()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasImage())
        return;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return;
    takePicture(pictureFromImage(image));
    GOptions->setFileName("<NONE>");
    CheckPicture();
}

void TPlotrunner::PrintClick()
{
    if (scan.empty()) {
        showNotice(this, "No data!", "Scan a graph before printing the data.");
        return;
    }
    const QFont font = this->font();
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 0.75;
    const int dpi = printer_.resolution();
    const int h = printLineHeight(points, dpi);
    const int pageHeight = printer_.pageLayout().paintRectPixels(dpi).height();
    const int perPage = printLinesPerPage(pageHeight, h);
    const int pages = printPageCount(int(scan.size()), perPage);

    printer_.setFromTo(0, 0);
    const bool confirmed = choosePrintPages ? choosePrintPages(printer_, pages) : [&] {
        QPrintDialog dialog(&printer_, this);
        dialog.setMinMax(1, pages);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange);
        dialog.setOption(QAbstractPrintDialog::PrintToFile);
        return dialog.exec() == QDialog::Accepted;
    }();
    if (!confirmed)
        return;
    const int first = printer_.fromPage() > 0 ? printer_.fromPage() : 1;
    const int last = printer_.toPage() > 0 ? printer_.toPage() : pages;

    QPainter painter;
    if (!painter.begin(&printer_))
        throw std::runtime_error("The printer could not be started");
    painter.setFont(QFont(font, &printer_));
    const int ascent = painter.fontMetrics().ascent();
    for (const PrintedLine& p : printPlan(int(scan.size()), perPage, h, first, last)) {
        if (p.newPageFirst && !printer_.newPage())
            throw std::runtime_error("The printer could not start a new page");
        painter.drawText(0, p.top + ascent, QString::fromStdString(scan[size_t(p.line)]));
    }
    painter.end();
}

void TPlotrunner::PrintSetupClick()
{
    QPageSetupDialog dialog(&printer_, this);
    dialog.exec();
}

// Each view command switches its own view on and off, and switching one on
// switches the other off; with both off the picture is seen.
void TPlotrunner::ViewClick() { toggleView(Data, View, ChartXY, Chart); }

void TPlotrunner::ChartClick() { toggleView(ChartXY, Chart, Data, View); }

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
