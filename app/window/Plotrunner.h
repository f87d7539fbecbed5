#pragma once
// The main window: a switchboard. It holds the picture and the Scan
// settings, routes each command to its handler, and hands the work to the
// classes that own it: the picture tools, Execute's scan run, and the
// output and settings file commands.

#include "Commands.h"
#include "CommonDialogs.h"
#include "EditHistory.h"
#include "HelpViewer.h"
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
class TAboutBox;
class TGOptions;
class TGOutput;

namespace plotrun {

class OutputCommands;
class ResultChart;
class ResultGridModel;

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
    const ScanSettings& scanSettings() const { return settings_; }
    const MarkingTool& marking() const { return tools_->marking(); }
    const Picture& picture() const { return picture_; }
    const std::vector<std::string>& outputLines() const;
    const ResultGridModel& grid() const;
    const ResultChart& chart() const;
    bool pictureLoaded() const { return pictureLoaded_; }
    // The size of the last accepted picture; -1 by -1 before the first.
    QSize pictureSize() const { return {picWidth_, picHeight_}; }
    bool pictureShown() const { return imageShown_; }
    const QString& helpFile() const { return helpFile_; }
    const QString& savedFileName() const;
    QString statusText() const;
    HelpViewer& help() { return help_; }
    const CountedPixelsOverlay& countedPixels() const { return tools_->countedPixels(); }
    const PointsOverlay& pointsOnPicture() const { return tools_->pointsOnPicture(); }
    const ZoomArea& zoom() const { return tools_->zoom(); }
    const Loupe& loupe() const { return tools_->loupe(); }
    const QUndoStack& undoStack() const { return history_->stack(); }

protected:
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // --- Command handlers
    void OpenClick();
    void ExecuteClick();
    void OptionsClick();
    void Output1Click();
    void ContentsClick();
    void AboutClick();
    void PasteClick();

    void createViews();
    EditState editState() const;
    void restoreEdit(const EditState& state);
    void connectCommands();
    void FormCreate();
    void FormResize();
    void setStatus(const QString& text);
    void CheckPicture();
    void takeView();

    Commands commands_;
    QFrame* BackPanel = nullptr;
    OutputCommands* output_ = nullptr; // the grid, the chart and the output text
    PictureTools* tools_ = nullptr;    // the picture view, the marks and the views over the picture
    EditHistory* history_ = nullptr;
    TGOptions* GOptions = nullptr;
    TGOutput* GOutput = nullptr;
    TAboutBox* AboutBox = nullptr;
    CommonDialogs dialogs_;

    ScanSettings settings_;
    Picture picture_;     // the picture shown, as the scan reads it
    QString picturePath_; // its file; empty for a pasted picture
    int32_t picWidth_ = -1, picHeight_ = -1;
    bool pictureLoaded_ = false;
    bool imageShown_ = false;
    QString helpFile_ = kHelpFileName;
    HelpViewer help_;
    // After the record and the dialogs, which it reads.
    SettingsCommands settingsFile_{*this,
                                   dialogs_,
                                   settings_,
                                   [this] { return pictureSize(); },
                                   [this] { return picturePath_; },
                                   [this](const OptionVerdict& v, const std::function<void()>& fillDialogs) {
                                       applyOptions(v, fillDialogs, "Load Settings");
                                   }};
};

} // namespace plotrun
