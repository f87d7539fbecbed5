#include "Plotrunner.h"

#include "MarkSettings.h"
#include "NoticeBar.h"
#include "OutputCommands.h"
#include "ScanRun.h"
#include "SeriesPanel.h"
#include "SettingsCommands.h"
#include "StandardErrorBox.h"

#include "../../dialogs/Notice.h"
#include "../../dialogs/PointValues.h"
#include "../../dialogs/TAboutBox.h"
#include "../../dialogs/TGOptions.h"
#include "../../dialogs/TGOutput.h"
#include "../../dialogs/TPageDialog.h"
#include "../../files/LabelReader.h"
#include "../../files/PageFile.h"
#include "../../files/Provenance.h"
#include "../../files/TextFile.h"
#include "AxisFinder.h"
#include "ColumnScan.h"
#include "InkModel.h"
#include "NumberText.h"
#include "Report.h"
#include "ScanReport.h"
#include "Series.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableWidget>
#include <QTimer>

// The pictures live in a static library: they register only when asked.
static void registerPictures() { Q_INIT_RESOURCE(plotrun); }

namespace plotrun {

namespace {

// The client area between the tool bars: every view fills all of it.
class ClientArea : public QWidget {
public:
    ClientArea(QWidget* parent, std::function<void()> resized) : QWidget(parent), resized_(std::move(resized)) {}

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        for (QObject* child : children())
            if (auto* w = qobject_cast<QWidget*>(child))
                w->setGeometry(rect());
        resized_();
    }

private:
    std::function<void()> resized_;
};

// Restores the cursor however the scan ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QString stepName(MarkingTool::Mode m)
{
    switch (m) {
    case MarkingTool::OriginMark: return "Origin";
    case MarkingTool::X1Mark: return "X1";
    case MarkingTool::Y1Mark: return "Y1";
    case MarkingTool::CornerMark: return "Corner";
    default: return "Start";
    }
}

QString number(double v) { return QString::fromStdString(formatReal(v, decimalSeparator())); }

// The engine's words as a sentence: a capital first and a full stop last;
// nothing for none.
QString sentence(const std::string& words)
{
    QString s = QString::fromStdString(words);
    if (!s.isEmpty())
        s = s.front().toUpper() + s.mid(1) + ".";
    return s;
}

// The status bar's word on a mark that snapped, after its own text.
QString snappedText(const SnappedMark& m)
{
    return m.snapped ? " - snapped to the line crossing at (" + number(m.x) + " , " + number(m.y) + " )" : QString();
}

QString imageFilter()
{
    QStringList patterns;
    for (const QByteArray& f : QImageReader::supportedImageFormats())
        patterns << "*." + QString::fromLatin1(f);
    // PDF pages and SVG drawings open as pictures too.
    for (const char* page : {"*.pdf", "*.svg"})
        if (!patterns.contains(page))
            patterns << page;
    return "Bitmaps (*.bmp);;Pictures (" + patterns.join(' ') + ");;All files (*)";
}

} // namespace

TPlotrunner::TPlotrunner() : commands_((registerPictures(), *this))
{
    setObjectName("Plotrunner");
    setWindowTitle(kAppTitle);
    resize(800, 640);
    setAcceptDrops(true);
    createViews();
    commands_.buildMenus(*this);
    commands_.buildToolBars(*this);
    connectCommands();
    statusBar()->setObjectName("StatusBar");
    dialogs_.openFile = [this] { return QFileDialog::getOpenFileName(this, "Open", {}, imageFilter()); };
    dialogs_.choosePage = [this](const PageFile& file, const QString& name) -> std::optional<PageChoice> {
        TPageDialog dialog(file, name, this);
        return dialog.exec() == QDialog::Accepted ? std::optional(dialog.choice()) : std::nullopt;
    };
    dialogs_.pointValues = [this](double x, double y) { return askPointValues(this, x, y); };
    FormCreate();
    connect(&document_, &DocumentOwner::changed, this, [this] { documentChanged(); });
    documentChanged();
}

TPlotrunner::~TPlotrunner()
{
    if (help_.window())
        help_.window()->close();
}

void TPlotrunner::attachDialogs(TGOptions* options, TGOutput* output, TAboutBox* about)
{
    GOptions = options;
    GOutput = output;
    AboutBox = about;
    settingsFile_.attachDialogs(options, output);
    // The boxes as they start are the state that the first undo step returns to.
    document_.change([&](Document& d) {
        d.fields = GOutput->fields();
        d.thresholdText = GOptions->thresholdText();
        d.copyToClipboard = GOptions->copyToClipboard();
    });
    // While the options dialog is open, the counted pixels follow its boxes.
    connect(GOptions, &TGOptions::settingsTyped, tools_, &PictureTools::showTypedSettings);
}

void TPlotrunner::createViews()
{
    auto* client = new ClientArea(this, [this] { FormResize(); });
    client->setObjectName("ClientArea");
    setCentralWidget(client);

    history_ = new EditHistory(
        document_, [this](const Document& step) { restoreEdit(step); }, this);
    // Left of the coordinates, which the picture tools put at the right.
    startLabel_ = new QLabel(statusBar());
    startLabel_->setObjectName("StartMarkLabel");
    startLabel_->hide();
    statusBar()->addPermanentWidget(startLabel_);
    tools_ = new PictureTools(
        *client, *statusBar(), document_.value().settings, commands_,
        [this] { return GOptions ? readWhole(GOptions->thresholdText().toStdString()) : std::optional<int32_t>(); },
        this);
    connect(tools_, &PictureTools::inkPicked, this, [this](uint32_t ink) {
        GOptions->setPickedInk(ink);
        setStatus("Ink colour taken: " + QString::fromStdString(colourText(ink)));
        // The dialog comes back once the click is over.
        QTimer::singleShot(0, this, [this] { guarded([&] { OptionsClick(); }); });
    });
    connect(tools_, &PictureTools::seriesPicked, this,
            [this](uint32_t ink, double x, double y) { guarded([&] { addPickedSeries(ink, x, y); }); });
    connectMarking();

    // Hidden until asked for or until the first series comes.
    series_ = new SeriesPanel(commands_, this);
    addDockWidget(Qt::RightDockWidgetArea, series_);
    series_->hide();
    connect(series_, &SeriesPanel::renamed, this,
            [this](int row, const QString& name) { guarded([&] { renameSeries(row, name); }); });
    connect(series_, &SeriesPanel::viewChanged, this, [this] { updateActions(); });

    BackPanel = new QFrame(client);
    BackPanel->setObjectName("BackPanel");
    BackPanel->setFrameShape(QFrame::Panel);
    BackPanel->setFrameShadow(QFrame::Sunken);
    BackPanel->setAutoFillBackground(true);
    QPalette workspace = BackPanel->palette();
    workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));
    BackPanel->setPalette(workspace);

    // Over the back panel: made after it.
    output_ = new OutputCommands(*this, *client, commands_, dialogs_, [this] { return document().picture.path; });
    connect(output_, &OutputCommands::viewsChanged, this, [this] { takeView(); });
    // Over every view of the client area: made last.
    notice_ = new NoticeBar(this);
}

// The marking tool has changed itself when it tells: the document still
// holds the marks from before, which are the step's start.
void TPlotrunner::connectMarking()
{
    const MarkingTool* marking = &tools_->marking();
    connect(marking, &MarkingTool::markPlaced, this, [this](MarkingTool::Mode m, double x, double y) {
        ScopedStep step(*history_, stepName(m));
        // With snapping on, a mark of the calibration moves to the line
        // crossing it was dropped near.
        const SnappedMark snapped = snapMark(m, x, y);
        if (snapped.snapped) {
            x = snapped.x;
            y = snapped.y;
            tools_->moveMarkTo(m, x, y);
        }
        MarkOutcome outcome;
        document_.change([&](Document& d) {
            d.marks = tools_->marking().state();
            outcome = takeMark(d.settings, m, x, y);
            if (outcome.referenceOutOfRange)
                d.accepted = false;
        });
        tools_->takeCalibration();
        tools_->calibrationChanged();
        setStatus(outcome.status + snappedText(snapped));
    });
    connect(marking, &MarkingTool::pointClicked, this, [this](double x, double y) {
        const SnappedMark snapped = snapMark(MarkingTool::PointMark, x, y);
        x = snapped.x;
        y = snapped.y;
        const std::optional<std::pair<double, double>> real = dialogs_.pointValues(x, y);
        if (!real)
            return;
        ScopedStep step(*history_, "Reference Point");
        document_.change([&](Document& d) {
            d.settings.Calibration.Points.push_back({x, y, real->first, real->second});
        });
        tools_->takeCalibration();
        tools_->calibrationChanged();
        setStatus("Reference point " + number(double(document().settings.Calibration.Points.size())) + " set to: (" +
                  number(x) + " , " + number(y) + " ) = (" + number(real->first) + " , " + number(real->second) + " )" +
                  snappedText(snapped));
    });
    connect(marking, &MarkingTool::areaDrawn, this, [this](const MarkingTool::Area& a) {
        ScopedStep step(*history_, "Scan Area");
        QString status;
        document_.change([&](Document& d) {
            d.marks = tools_->marking().state();
            status = takeArea(d.settings, a);
        });
        tools_->takeCalibration();
        setStatus(status);
        tools_->refreshCounted();
    });
    connect(marking, &MarkingTool::areaNotSelected, this, [this] {
        ScopedStep step(*history_, {});
        takeMarks();
        setStatus("Scan area was not selected.");
    });
    connect(marking, &MarkingTool::areaRemoved, this, [this] {
        ScopedStep step(*history_, "Remove Scan Area");
        document_.change([&](Document& d) {
            d.marks = tools_->marking().state();
            ScanSettings& s = d.settings;
            s.ScanStartX = s.ScanStartY = s.ScanEndX = s.ScanEndY = -1;
        });
        tools_->refreshCounted();
    });
}

SnappedMark TPlotrunner::snapMark(MarkingTool::Mode mode, double x, double y) const
{
    if (!document().settings.Calibration.Snap || mode == MarkingTool::StartMark)
        return {false, x, y};
    return tools_->snap(x, y);
}

void TPlotrunner::takeMarks()
{
    document_.change([&](Document& d) { d.marks = tools_->marking().state(); });
}

void TPlotrunner::connectCommands()
{
    const Commands& c = commands_;
    OutputCommands& o = *output_;
    const std::pair<QAction*, std::function<void()>> handlers[] = {
        {c.Open, [this] { OpenClick(); }},
        {c.Save, [&o] { o.SaveClick(); }},
        {c.SaveAs, [&o] { o.SaveAsClick(); }},
        {c.Print, [&o] { o.PrintClick(); }},
        {c.PrintSetup, [&o] { o.PrintSetupClick(); }},
        {c.Copy, [&o] { o.CopyClick(); }},
        {c.Paste, [this] { PasteClick(); }},
        {c.View, [&o] { o.ViewClick(); }},
        {c.Chart, [&o] { o.ChartClick(); }},
        {c.Options, [this] { OptionsClick(); }},
        {c.FindAxes, [this] { FindAxesClick(); }},
        {c.FindArea, [this] { FindAreaClick(); }},
        {c.Output1, [this] { Output1Click(); }},
        {c.Execute, [this] { ExecuteClick(); }},
        {c.Contents, [this] { ContentsClick(); }},
        {c.About, [this] { AboutClick(); }},
        {c.LoadSettings, [this] { settingsFile_.LoadSettingsClick(); }},
        {c.SaveSettings, [this] { settingsFile_.SaveSettingsClick(); }},
        {c.btnScanLock, [this] { btnScanLockClick(); }},
        {c.RemoveStart, [this] { RemoveStartClick(); }},
        {c.SeriesPanel, [this] { SeriesPanelClick(); }},
        {c.AddSeries, [this] { AddSeriesClick(); }},
        {c.FindSeries, [this] { FindSeriesClick(); }},
        {c.RemoveSeries, [this] { RemoveSeriesClick(); }},
        {c.SeriesUp, [this] { moveSeries(-1); }},
        {c.SeriesDown, [this] { moveSeries(1); }},
        {c.SeriesMarkers, [this] { SeriesMarkersClick(); }}};
    for (const auto& [action, handler] : handlers)
        connect(action, &QAction::triggered, this, [handler] { guarded(handler); });
    connect(c.Exit, &QAction::triggered, this, [] { QApplication::quit(); });
    connect(tools_, &PictureTools::viewsChanged, this, [this] { updateActions(); });
    history_->attach(c.Undo, c.Redo);
    for (auto changed : {&QUndoStack::canUndoChanged, &QUndoStack::canRedoChanged})
        connect(&history_->stack(), changed, this, [this] { updateActions(); });
    // No step is taken in the middle of a press and release on the picture.
    for (QAction* a : {c.Undo, c.Redo})
        connect(a, &QAction::triggered, this, [this, a] {
            if (!tools_->marking().placingMark() && !tools_->marking().dragging())
                guarded([&] { a == commands_.Undo ? history_->undo() : history_->redo(); });
        });
}

void TPlotrunner::FormCreate()
{
    Document start;
    start.marks = tools_->marking().state(); // none placed: every mark off the picture
    document_.set(start);
    // The help file rule: the directory glued to the file name. A value of
    // the wrong type ends in the error box and leaves the bare file name.
    guarded([&] { helpFile_ = helpFileByRule(readHelpDir()); });
}

bool TPlotrunner::event(QEvent* e)
{
    if (e->type() == QEvent::StatusTip) {
        setStatus(static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

void TPlotrunner::setStatus(const QString& text) { statusBar()->showMessage(text); }

QString TPlotrunner::statusText() const { return statusBar()->currentMessage(); }

QString TPlotrunner::noticeText() const { return notice_->isHidden() ? QString() : notice_->text(); }

const std::vector<std::string>& TPlotrunner::outputLines() const { return output_->lines(); }
const ResultGridModel& TPlotrunner::grid() const { return output_->grid(); }
const ResultChart& TPlotrunner::chart() const { return output_->chart(); }
const QString& TPlotrunner::savedFileName() const { return output_->savedFileName(); }

void TPlotrunner::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().value(0).isLocalFile())
        event->acceptProposedAction();
}

void TPlotrunner::dropEvent(QDropEvent* event)
{
    const QString path = event->mimeData()->urls().value(0).toLocalFile();
    event->acceptProposedAction();
    guarded([&] { openPicture(path); });
}

void TPlotrunner::OpenClick()
{
    const QString path = dialogs_.openFile();
    if (!path.isEmpty())
        openPicture(path);
}

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

void TPlotrunner::openPicture(const QString& path)
{
    // A named pipe or a device would hold the window until it gave something.
    if (const QString problem = notARegularFile(path); !problem.isEmpty())
        throw std::runtime_error(problem.toStdString());
    const QString name = QFileInfo(path).fileName();
    if (const PageFormat format = pageFormat(path); format != PageFormat::None) {
        // A page of a PDF or SVG file, at the resolution the user asks.
        const PageFile file(path); // throws: the earlier picture stays
        const std::optional<PageChoice> choice = dialogs_.choosePage(file, name);
        if (!choice)
            return;
        if (acceptPicture(file.render(choice->page, choice->dpi),
                          PageFile::pictureName(name, format, choice->page, choice->dpi)))
            document_.change([&](Document& d) {
                d.picture.path = path;
                d.picture.page = *choice;
            });
        return;
    }
    if (acceptPicture(loadPicture(path), name)) // throws: the earlier picture stays
        document_.change([&](Document& d) { d.picture.path = path; });
}

bool TPlotrunner::acceptPicture(Picture p, const QString& fileName)
{
    GOptions->setFileName(fileName);
    if (p.image.width() < 2 || p.image.height() < 2) {
        // Refused: the last accepted picture, with its marks and undo steps,
        // stays the one Execute scans; with none, there is nothing to scan.
        tools_->hidePicture();
        document_.change([](Document& d) { d.picture.refused = true; });
        showNotice(this, "Too small bitmap!", "The size of the bitmap must be at least 2x2");
        return false;
    }
    picture_ = std::move(p);
    history_->clear();
    tools_->setPicture(picture_.image);
    CheckPicture();
    return true;
}

void TPlotrunner::CheckPicture()
{
    const int w = picture_.image.width(), h = picture_.image.height();
    const PictureState& last = document().picture;
    // Settings that passed the checks on a larger picture may not fit this one.
    const bool reduced = last.loaded && (w < last.size.width() || h < last.size.height()) && document().accepted;
    document_.change([&](Document& d) {
        d.picture = {{w, h}, true, false, QString()};
        if (reduced)
            d.accepted = false;
    });
    tools_->showPicture();
    GOptions->setPictureInfo(w, h, picture_.bitsPerPixel);
    GOptions->setScanWidthMaximum(std::min(w / 2, 32767));
    BackPanel->hide();
    output_->hideGrid();
    notice_->hide(); // it told of the picture before
    if (reduced)
        showNotice(this, "Image size notification!", "Image width or height is reduced!\nCheck your parameters.");
    takeView();
}

bool TPlotrunner::pictureShown() const { return document().picture.loaded && !output_->covering(); }

void TPlotrunner::takeView()
{
    // The picture is the view unless the grid or the chart covers it; when it
    // returns, the marks are fitted to its display.
    if (pictureShown())
        FormResize();
    updateActions();
}

void TPlotrunner::FormResize()
{
    tools_->refit();
    if (notice_)
        notice_->placeOver(centralWidget()->geometry());
}

void TPlotrunner::OptionsClick()
{
    GOptions->setRecord(document().settings, document().picture.size);
    const int result = GOptions->exec();
    if (result == QDialog::Accepted)
        applyOptions(GOptions->verdict());
    if (result == TGOptions::PickInk) {
        tools_->startInkPick([this] { return GOptions->typedSettings().Ink.Paper; });
        setStatus("Click the curve to take its colour as the ink.");
    }
    tools_->refreshCounted(); // back to the record, with the threshold box as left
}

void TPlotrunner::proposeOptions(const ScanSettings& proposal, const QString& step)
{
    GOptions->setRecord(proposal, document().picture.size);
    GOptions->setAxisAndInkBoxes(proposal);
    if (GOptions->exec() == QDialog::Accepted) {
        applyOptions(GOptions->verdict(), {}, step);
    } else {
        GOptions->setAxisAndInkBoxes(document().settings); // a Cancel changed nothing
    }
    tools_->refreshCounted();
}

namespace {

void proposeArea(const FoundAxes& found, ScanSettings& proposal)
{
    proposal.ScanStartX = found.areaStartX;
    proposal.ScanStartY = found.areaStartY;
    proposal.ScanEndX = found.areaEndX;
    proposal.ScanEndY = found.areaEndY;
}

} // namespace

void TPlotrunner::FindAxesClick()
{
    FoundAxes found;
    {
        WaitCursor wait;
        LabelReader reader; // one Tesseract engine for this run only
        if (!reader.ready()) {
            showNotice(this, "Find Axes", QString::fromStdString(reader.problem()));
            return;
        }
        found = findAxes(pixelView(picture_), reader.reading());
    }
    tools_->showFoundAxes(found, document().picture.size);
    if (!found.sure()) {
        showNotice(this, "Find Axes",
                   "The axes could not be read with confidence: " + QString::fromStdString(found.doubt()) +
                       ".\nNothing was changed.");
        return;
    }
    int misread = 0;
    for (const FoundAxis* a : {&found.x, &found.y})
        for (const FoundTick& t : a->ticks)
            misread += t.misread;
    setStatus(QString("Axes found: %1 ticks on x, %2 on y%3; confirm them in the options.")
                  .arg(found.x.inliers)
                  .arg(found.y.inliers)
                  .arg(misread ? QString(", %1 labels misread (in red)").arg(misread) : QString()));
    ScanSettings proposal = document().settings;
    applyFoundReferences(found, document().picture.size.height(), proposal);
    // Without an area, the one inside the frame: the options' OK needs one,
    // and the figure then needs no mark placed by hand.
    if (proposal.ScanStartX < 0 || proposal.ScanEndX < 0)
        proposeArea(found, proposal);
    proposeOptions(proposal, "Find Axes");
}

void TPlotrunner::FindAreaClick()
{
    FoundAxes found;
    {
        WaitCursor wait;
        found = findAxes(pixelView(picture_), {});
    }
    if (!found.linesFound) {
        showNotice(this, "Find Area",
                   "No frame or axes were found: " + QString::fromStdString(found.problem) + ".\nNothing was changed.");
        return;
    }
    ScanSettings proposal = document().settings;
    proposeArea(found, proposal);
    proposeOptions(proposal, "Find Area");
}

void TPlotrunner::applyOptions(const OptionVerdict& verdict, const std::function<void()>& alsoChange,
                               const QString& step)
{
    ScopedStep edit(*history_, step);
    if (alsoChange)
        alsoChange();
    document_.change([&](Document& d) {
        d.settings = verdict.record;
        d.accepted = verdict.inputValid;
        // The boxes as OK or the settings file left them.
        d.fields = GOutput->fields();
        d.thresholdText = GOptions->thresholdText();
        d.copyToClipboard = GOptions->copyToClipboard();
    });
    tools_->takeOptions(verdict.record);
    takeMarks();
    if (pictureShown())
        FormResize();
}

void TPlotrunner::Output1Click()
{
    ScopedStep step(*history_, "Output Fields"); // a Cancel changed nothing, and leaves no step
    GOutput->exec();
    document_.change([&](Document& d) { d.fields = GOutput->fields(); });
}

void TPlotrunner::btnScanLockClick()
{
    const bool locked = !document().marks.locked;
    ScopedStep step(*history_, locked ? "Lock" : "Unlock");
    tools_->setLocked(locked);
    takeMarks();
}

void TPlotrunner::RemoveStartClick()
{
    ScopedStep step(*history_, "Remove Start Mark");
    document_.change([](Document& d) {
        d.settings.Follow.StartX = d.settings.Follow.StartY = -1;
        d.marks.markX[MarkingTool::StartMark - 1] = d.marks.markY[MarkingTool::StartMark - 1] = -1;
    });
    tools_->restoreMarks(document().marks);
    if (pictureShown())
        FormResize();
    setStatus("Start mark removed.");
}

// --- The figure's series

void TPlotrunner::SeriesPanelClick()
{
    if (series_->isHidden())
        showSeriesPanel();
    else
        series_->hide();
    updateActions();
}

// The first time, a third of the window wide at most: the picture keeps the rest.
void TPlotrunner::showSeriesPanel()
{
    static constexpr int kStartWidth = 300;
    series_->show();
    if (!seriesPanelPlaced_) {
        seriesPanelPlaced_ = true;
        resizeDocks({series_}, {std::min(kStartWidth, width() / 3)}, Qt::Horizontal);
    }
}

// A settings file holds at most kMostSeries series: the list stays within
// what a saved file reads back.
bool TPlotrunner::seriesListFull()
{
    if (document().settings.Series.size() < kMostSeries)
        return false;
    setStatus(QString("A figure holds at most %1 series: remove one to add another.").arg(kMostSeries));
    return true;
}

void TPlotrunner::AddSeriesClick()
{
    if (tools_->pickingSeries()) {
        tools_->cancelSeriesPick();
        setStatus(QString());
        return;
    }
    if (seriesListFull()) {
        updateActions(); // the action checked itself when triggered
        return;
    }
    tools_->startSeriesPick();
    setStatus("Click a curve: its colour becomes the new series' ink, and the click its Start point.");
}

void TPlotrunner::addPickedSeries(uint32_t ink, double x, double y)
{
    SeriesSettings added;
    added.HasInk = true;
    added.Ink = ink;
    added.StartX = x;
    added.StartY = y;
    if (seriesListFull())
        return;
    changeSeries("Add Series", [&](std::vector<SeriesSettings>& list) {
        added.Name = freeSeriesName(list, document().fields.delimiter);
        list.push_back(added);
    });
    showSeriesPanel();
    series_->choose(int(document().settings.Series.size()) - 1);
    setStatus(QString::fromStdString(added.Name + " added: ink " + colourText(ink)) + ", Start point at (" + number(x) +
              ", " + number(y) + ")");
}

void TPlotrunner::FindSeriesClick()
{
    const ScanSettings& s = document().settings;
    std::vector<SeriesSettings> found = findSeries(pixelView(picture_.image), s);
    // A colour that a series already reads is no new proposal.
    std::erase_if(found, [&](const SeriesSettings& f) {
        return std::any_of(s.Series.begin(), s.Series.end(), [&](const SeriesSettings& had) {
            return had.HasInk == f.HasInk && (!f.HasInk || had.Ink == f.Ink);
        });
    });
    if (found.empty()) {
        const QString none = "No series found in the scan area.";
        notice_->say(none, centralWidget()->geometry());
        setStatus(none);
        return;
    }
    if (seriesListFull())
        return;
    // As many as the list has room for, in their order from the top.
    const size_t proposed = found.size();
    found.resize(std::min(proposed, kMostSeries - s.Series.size()));
    const std::string& delimiter = document().fields.delimiter;
    changeSeries("Find Series", [&](std::vector<SeriesSettings>& list) {
        for (SeriesSettings f : found) {
            const bool taken =
                !seriesNameProblem(f.Name, delimiter).empty() ||
                std::any_of(list.begin(), list.end(), [&](const SeriesSettings& had) { return had.Name == f.Name; });
            if (taken)
                f.Name = freeSeriesName(list, delimiter);
            list.push_back(f);
        }
    });
    showSeriesPanel();
    QString said = QString("%1 series proposed: keep, rename or remove them in the Series panel.").arg(found.size());
    if (found.size() < proposed)
        said += QString(" %1 more left out: a figure holds at most %2 series.")
                    .arg(proposed - found.size())
                    .arg(kMostSeries);
    setStatus(said);
}

void TPlotrunner::RemoveSeriesClick()
{
    const int row = series_->chosen();
    if (row < 0 || row >= int(document().settings.Series.size()))
        return;
    changeSeries("Remove Series", [row](std::vector<SeriesSettings>& list) { list.erase(list.begin() + row); });
}

void TPlotrunner::moveSeries(int by)
{
    const int row = series_->chosen(), to = row + by;
    const int count = int(document().settings.Series.size());
    if (row < 0 || row >= count || to < 0 || to >= count)
        return;
    changeSeries(by < 0 ? "Move Series Up" : "Move Series Down",
                 [&](std::vector<SeriesSettings>& list) { std::swap(list[size_t(row)], list[size_t(to)]); });
    series_->choose(to);
}

void TPlotrunner::SeriesMarkersClick()
{
    const int row = series_->chosen();
    if (row < 0 || row >= int(document().settings.Series.size()))
        return;
    changeSeries("Series Kind", [row](std::vector<SeriesSettings>& list) {
        SeriesKind& kind = list[size_t(row)].Kind;
        kind = kind == SeriesKind::Markers ? SeriesKind::Line : SeriesKind::Markers;
    });
}

void TPlotrunner::renameSeries(int row, const QString& typed)
{
    const std::vector<SeriesSettings>& list = document().settings.Series;
    if (row < 0 || row >= int(list.size()))
        return;
    const std::string name = typed.trimmed().toStdString();
    // The name is a value of the series spec and the first cell of its rows.
    QString refused = sentence(seriesNameProblem(name, document().fields.delimiter));
    for (size_t i = 0; i < list.size() && refused.isEmpty(); ++i)
        if (int(i) != row && list[i].Name == name)
            refused = "Another series is named " + QString::fromStdString(name) + ".";
    if (!refused.isEmpty()) {
        setStatus(refused);
        // Back to the name held, once the editor has let the item go.
        QTimer::singleShot(0, this, [this] { series_->showSeries(document().settings.Series, true); });
        return;
    }
    changeSeries("Rename Series", [&](std::vector<SeriesSettings>& l) { l[size_t(row)].Name = name; });
}

void TPlotrunner::changeSeries(const QString& step, const std::function<void(std::vector<SeriesSettings>&)>& edit)
{
    {
        ScopedStep s(*history_, step);
        document_.change([&](Document& d) { edit(d.settings.Series); });
    }
    tools_->refreshCounted();
}

void TPlotrunner::ContentsClick() { help_.showTopic(helpFile_, kHelpContentsTopic); }

void TPlotrunner::AboutClick() { AboutBox->exec(); }

// An undo or redo: the edits as they were, in the document and in the views
// and dialogs that show them; the picture and a scan's output stay as they are.
void TPlotrunner::restoreEdit(const Document& step)
{
    document_.set(withEditsOf(document(), step));
    const Document& d = document();
    tools_->restoreMarks(d.marks);
    GOutput->setFields(d.fields);
    GOptions->setKeptBoxes(d.thresholdText, d.copyToClipboard);
    if (pictureShown())
        FormResize();
}

void TPlotrunner::documentChanged()
{
    const Document& d = document();
    tools_->setCalibrated(d.accepted);
    // Following starts there, not where a clear strip is found.
    const FollowSettings& f = d.settings.Follow;
    const bool start = f.On && f.StartX >= 0 && f.StartY >= 0;
    if (start)
        startLabel_->setText("Start mark at (" + number(f.StartX) + ", " + number(f.StartY) + ")");
    startLabel_->setVisible(start);
    // The first series, however it comes, shows the panel.
    if (!d.settings.Series.empty() && series_->list().rowCount() == 0)
        showSeriesPanel();
    series_->showSeries(d.settings.Series);
    updateActions();
}

void TPlotrunner::updateActions()
{
    ViewFacts views;
    views.canUndo = history_->stack().canUndo();
    views.canRedo = history_->stack().canRedo();
    views.gridShown = output_->gridShown();
    views.chartShown = output_->chartShown();
    views.seriesPanel = !series_->isHidden();
    views.selectedSeries = series_->chosen();
    tools_->addViewFacts(views);
    commands_.updateActions(document(), views);
}

// --- Execute

void TPlotrunner::ExecuteClick()
{
    if (!pictureLoaded())
        return;
    const QString thresholdText = GOptions->thresholdText();
    const std::optional<int32_t> threshold = readWhole(thresholdText.toStdString());
    if (!threshold)
        throw std::runtime_error(QString("'%1' is not a valid integer value").arg(thresholdText).toStdString());
    // A delimiter chosen after the series were named would split a name's rows.
    std::vector<SeriesSettings> named = document().settings.Series;
    if (const std::string problem = nameSeries(named, GOutput->fields().delimiter); !problem.empty()) {
        showNotice(this, "Invalid series name!",
                   sentence(problem) + " Rename the series in the Series panel, or choose another delimiter.");
        return;
    }
    // The scan takes the box as it is, typed and cancelled or not.
    document_.change([&](Document& d) {
        d.settings.Threshold = *threshold;
        d.thresholdText = thresholdText;
    });

    notice_->hide();
    ScanReport report(GOutput->fields(), decimalSeparator());
    if (report.fields().provenance)
        report.setProvenance(provenanceLines(
            document().picture.path.isEmpty() ? FileDigest{} : fileDigest(document().picture.path),
            settingsInEffect(document(), *threshold, *GOptions, *GOutput), QDateTime::currentDateTimeUtc()));
    ScanRun run(output_->grid(), output_->chart(), [this](const QString& text) {
        setStatus(text);
        statusBar()->repaint();
    });
    run.layOutGrid(report, document().settings);

    ScanChecks checks;
    document_.change([&](Document& d) { checks = checkScan(d.settings); });
    const ScanSettings& settings = document().settings;
    if (checks.widthResized)
        showNotice(this, widthResizedNotice(checks.areaWidth));
    if (checks.stop != ScanStop::None) {
        showNotice(this, stopNotice(checks.stop));
        return;
    }
    {
        WaitCursor wait;
        const bool finite = run.run(pixelView(picture_.image), settings, checks, report);
        tools_->clearPoints();
        if (!finite) {
            // No number of this scan is trusted: no text to save, copy or print.
            output_->dropLines();
            document_.change([](Document& d) { d.hasResult = false; });
            setStatus(QString());
            showNotice(this, notFiniteNotice(report.firstNonFiniteRow()));
            return;
        }
        tools_->showPoints(run.rows(), settings, report.fields().wantsSpread(), pictureSize());
        const PictureFacts facts{GOptions->widthLabel().toStdString(), picture_.image.height(),
                                 GOptions->bitsPerPixelLabel().toStdString(), GOptions->weightedBox()};
        output_->setLines(report.lines(facts, settings));
        document_.change([](Document& d) { d.hasResult = true; });
        if (GOptions->copyToClipboard())
            output_->CopyClick();
        // The points of such a scan are shown at once, where they went.
        if (!run.advice().empty()) {
            notice_->say(QString::fromStdString(run.advice()), centralWidget()->geometry());
            tools_->showPointsView();
        }
    }
    setStatus(run.followCounts().empty() ? QString("Done") : QString::fromStdString("Done. " + run.followCounts()));
}

} // namespace plotrun
