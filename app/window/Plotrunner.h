#pragma once
// The main window: a switchboard. It holds the picture and the document,
// routes each command to its handler, and hands the work to the classes that
// own it: the picture tools, Execute's scan run, and the output and settings
// file commands.

#include "Commands.h"
#include "CommonDialogs.h"
#include "Document.h"
#include "EditHistory.h"
#include "HelpViewer.h"
#include "FoundAxesOverlay.h"
#include "PictureTools.h"
#include "SettingsCommands.h"

#include "../../files/PictureFile.h"
#include "OptionChecks.h"
#include "ScanSettings.h"

#include <QMainWindow>

#include <functional>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class TAboutBox;
class TGOptions;
class TGOutput;

namespace plotrun {

class NoticeBar;
class OutputCommands;
class ResultChart;
class ResultGridModel;
class SeriesPanel;

class TPlotrunner : public QMainWindow {
    Q_OBJECT

public:
    TPlotrunner();
    ~TPlotrunner() override;

    // The dialogs are created after the main window, and handed over here.
    void attachDialogs(TGOptions* options, TGOutput* output, TAboutBox* about);

    // Loads a picture as Open does, without the dialog. Throws when it cannot
    // be read; the earlier picture then stays.
    void openPicture(const QString& path);
    // A picture from a file or the clipboard, checked and shown; false when
    // it is refused as too small.
    bool acceptPicture(Picture picture, const QString& fileName);
    // What the options dialog's OK decided: the record, the marks and the way
    // to Execute.
    // alsoChange runs first, inside the same undo step (a loaded settings
    // file fills the dialogs there).
    void applyOptions(const OptionVerdict& verdict, const std::function<void()>& alsoChange = {},
                      const QString& step = "Options");

    // The common dialogs, which tests answer in place of a user.
    CommonDialogs& commonDialogs() { return dialogs_; }

    // Read-only views of the state, for tests and benchmarks.
    const Document& document() const { return document_.value(); }
    const ScanSettings& scanSettings() const { return document().settings; }
    const MarkingTool& marking() const { return tools_->marking(); }
    const Picture& picture() const { return picture_; }
    const std::vector<std::string>& outputLines() const;
    const ResultGridModel& grid() const;
    const ResultChart& chart() const;
    bool pictureLoaded() const { return document().picture.loaded; }
    // The size of the last accepted picture; -1 by -1 before the first.
    QSize pictureSize() const { return document().picture.size; }
    // A picture is loaded, and neither the grid nor the chart covers it.
    bool pictureShown() const;
    const QString& helpFile() const { return helpFile_; }
    const QString& savedFileName() const;
    QString statusText() const;
    // The notice over the picture after a scan whose points may not lie on
    // one curve; empty while none is shown.
    QString noticeText() const;
    HelpViewer& help() { return help_; }
    const CountedPixelsOverlay& countedPixels() const { return tools_->countedPixels(); }
    const PointsOverlay& pointsOnPicture() const { return tools_->pointsOnPicture(); }
    const FoundAxesOverlay& foundAxes() const { return tools_->foundAxes(); }
    const ZoomArea& zoom() const { return tools_->zoom(); }
    const Loupe& loupe() const { return tools_->loupe(); }
    const QUndoStack& undoStack() const { return history_->stack(); }
    const SeriesPanel& seriesPanel() const { return *series_; }

protected:
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // --- Command handlers
    void OpenClick();
    void ExecuteClick();
    void OptionsClick();
    void FindAxesClick();
    void FindAreaClick();
    // The options dialog shown with a proposal over the settings; its OK
    // applies what it then holds, as one step.
    void proposeOptions(const ScanSettings& proposal, const QString& step);
    void Output1Click();
    void ContentsClick();
    void AboutClick();
    void PasteClick();
    void btnScanLockClick();
    void RemoveStartClick();
    void SeriesPanelClick();
    void showSeriesPanel();
    void AddSeriesClick();
    void FindSeriesClick();
    void RemoveSeriesClick();
    void moveSeries(int by);
    void SeriesMarkersClick();
    // The figure's series: a series taken from a click on its curve, one
    // renamed in the panel, and every edit of the list as one undo step.
    void addPickedSeries(uint32_t ink, double x, double y);
    void renameSeries(int row, const QString& name);
    void changeSeries(const QString& step, const std::function<void(std::vector<SeriesSettings>&)>& edit);
    // The list holds as many series as it can: says so in the status bar.
    bool seriesListFull();

    void createViews();
    void connectMarking();
    // The marks, the area and the lock as the marking tool holds them now.
    void takeMarks();
    // Where a mark dropped at (x, y) goes: the line crossing near it while
    // snapping is on.
    SnappedMark snapMark(MarkingTool::Mode mode, double x, double y) const;
    void restoreEdit(const Document& step);
    void documentChanged();
    void updateActions();
    void connectCommands();
    void FormCreate();
    void FormResize();
    void setStatus(const QString& text);
    void CheckPicture();
    void takeView();

    Commands commands_;
    QFrame* BackPanel = nullptr;
    QLabel* startLabel_ = nullptr;     // the Start mark in effect, in the status bar
    NoticeBar* notice_ = nullptr;      // what the last scan saw, over the client area
    SeriesPanel* series_ = nullptr;    // the figure's series, a dock hidden at the start
    bool seriesPanelPlaced_ = false;   // given its start width, when first shown
    OutputCommands* output_ = nullptr; // the grid, the chart and the output text
    PictureTools* tools_ = nullptr;    // the picture view, the marks and the views over the picture
    EditHistory* history_ = nullptr;
    TGOptions* GOptions = nullptr;
    TGOutput* GOutput = nullptr;
    TAboutBox* AboutBox = nullptr;
    CommonDialogs dialogs_;

    DocumentOwner document_;
    Picture picture_; // the picture shown, as the scan reads it
    QString helpFile_ = kHelpFileName;
    HelpViewer help_;
    // After the document and the dialogs, which it reads.
    SettingsCommands settingsFile_{*this, dialogs_, document_.value(),
                                   [this](const OptionVerdict& v, const std::function<void()>& fillDialogs) {
                                       applyOptions(v, fillDialogs, "Load Settings");
                                   }};
};

} // namespace plotrun
