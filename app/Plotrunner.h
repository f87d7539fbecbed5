#pragma once
// The main window: it holds the picture, the Scan settings and all scan
// state, shows the picture, the output grid or the chart, and carries every
// command. It wires commands to handlers and hands the work to the engine.

#include "HelpViewer.h"
#include "PictureView.h"
#include "ResultChart.h"
#include "ResultGridModel.h"

#include "../dialogs/TGOptions.h"
#include "../files/PictureFile.h"
#include "ColumnScan.h"
#include "Report.h"
#include "ScanSettings.h"

#include <QMainWindow>
#include <QPrinter>

#include <functional>
#include <memory>

class QAction;
class QFrame;
class QTableView;
class QToolBar;
class TAboutBox;
class TGOutput;

namespace plotrun {

class TPlotrunner : public QMainWindow, public OptionsTarget {
    Q_OBJECT

public:
    TPlotrunner();
    ~TPlotrunner() override;

    // The dialogs are created after the main window, and handed over here.
    void attachDialogs(TGOptions* options, TGOutput* output, TAboutBox* about);

    // --- Commands (one action each, shared by menu item and tool button)
    QAction *Open, *Save, *SaveAs, *Print, *PrintSetup, *Exit;
    QAction *Copy, *Paste, *View, *Chart;
    QAction *Options, *Output1, *Execute;
    QAction *Contents, *About;
    QAction *btnRemoveScan, *btnScanLock, *tlbtnMarkO, *tlbtnMarkX, *tlbtnMarkY;

    // --- Components
    QToolBar* ToolBar;
    QToolBar* tlbrScan;
    PictureView* Image;
    QFrame* BackPanel;
    QTableView* Data;
    ResultGridModel* grid;
    ResultChart* ChartXY;
    std::vector<std::string> scan; // the output text, line by line (never shown)
    TGOptions* GOptions = nullptr;
    TGOutput* GOutput = nullptr;
    TAboutBox* AboutBox = nullptr;

    // --- Seams for the common dialogs; tests replace them.
    std::function<QString()> chooseOpenFile;
    std::function<QString()> chooseSaveFile;
    // Shows the print dialog for pages 1 to pageCount; false when cancelled.
    std::function<bool(QPrinter&, int pageCount)> choosePrintPages;

    // --- State
    ScanSettings settings;
    bool ImageShown = false;
    QString HelpPath;
    QString helpFile = kHelpFileName; // the application's help file
    int32_t PicWidth = -1, PicHeight = -1;
    bool PictureLoaded = false;
    double AreaX1 = -1, AreaX2 = -1, AreaY1 = -1, AreaY2 = -1;
    double MarkExactX[3] = {-1, -1, -1};
    double MarkExactY[3] = {-1, -1, -1};
    int32_t MarkX = -1, MarkY = -1;
    uint8_t MarkingMode = 0;
    bool PlacingMark = false;
    bool Dragging = false;
    bool NoScanArea = true;
    bool ScanLocked = false;
    int32_t DragStartX = 0, DragStartY = 0, DragEndX = 0, DragEndY = 0;
    int32_t StripCount = 0, ScanHeight = 0;
    int32_t GridRow = 1, GridCols = 1;
    int32_t ColX = -1, ColY = -1, ColSdev = -1, ColSdevy = -1, ColXb = -1, ColYb = -1;
    int btnScanLockPicture = 2;   // the closed padlock is 3
    int btnRemoveScanPicture = 0; // the grey eraser is 1
    QString saveFileName; // where the output was last saved
    Picture picture;      // the picture in Image, as the scan reads it

    QString statusText() const;
    HelpViewer& help() { return help_; }

    // --- Handlers
    void FormCreate();
    void AppHint(const QString& hint);
    void OpenClick();
    void openPicture(const QString& path); // Open without the dialog
    void CheckPicture();
    void ExecuteClick();
    void OptionsClick();
    void Output1Click();
    void ContentsClick();
    void AboutClick();
    void ExitClick();
    void SaveClick();
    void SaveAsClick();
    void CopyClick();
    void PasteClick();
    void PrintClick();
    void PrintSetupClick();
    void ViewClick();
    void ChartClick();

    void ImageMouseDown(Qt::MouseButton button, int x, int y);
    void ImageMouseMove(int x, int y);
    void ImageMouseUp(Qt::MouseButton button);
    void shpScanMouseUp(Qt::MouseButton button);
    void tlbtnMarkOClick(QAction* sender);
    void btnRemoveScanClick();
    void btnScanLockClick();
    void FormResize();
    int32_t BitmapToWindowX(double x) const;
    int32_t BitmapToWindowY(double y) const;

    // --- OptionsTarget
    ScanSettings& scanSettings() override { return settings; }
    QSize pictureSize() const override { return {PicWidth, PicHeight}; }
    void takeExactPositions(const ScanSettings& record) override;
    void setExecuteEnabled(bool enabled) override;
    void refitPicture() override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createViews();
    QAction* command(const char* name, const QString& caption, void (TPlotrunner::*handler)());
    void setStatus(const QString& text);
    void takePicture(Picture p);
    void takeView();
    void toggleView(QWidget* view, QAction* command, QWidget* other, QAction* otherCommand);
    void moveMark();
    void placeMark();
    void runScanAndReport(const OutputFields& fields, const GridLayout& layout, const ScanChecks& checks);
    void fillChart(const OutputFields& fields);
    void writeOutput(const QString& path);
    QString askSaveFileName();

    // Window and picture geometry, read anew at every use.
    int L() const;
    int T() const;
    int IW() const;
    int IH() const;
    int PW() const;
    int PH() const;

    HelpViewer help_;
    QPrinter printer_;
    std::vector<double> keptRealX_; // real x of each row, for a chart without coordinate columns
};

} // namespace plotrun
