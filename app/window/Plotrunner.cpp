#include "Plotrunner.h"

#include "MarkSettings.h"
#include "CalibrationGrid.h"
#include "CoordinatesLabel.h"
#include "CountedPixelsOverlay.h"
#include "CurveFollow.h"
#include "Loupe.h"
#include "MarkingTool.h"
#include "OutputCommands.h"
#include "PictureView.h"
#include "PointsOverlay.h"
#include "ResultChart.h"
#include "ResultGridModel.h"
#include "StandardErrorBox.h"
#include "ZoomArea.h"

#include "../../dialogs/Notice.h"
#include "../../dialogs/TAboutBox.h"
#include "../../dialogs/TGOptions.h"
#include "../../dialogs/TGOutput.h"
#include "ColumnScan.h"
#include "InkModel.h"
#include "NumberText.h"
#include "Report.h"
#include "ScanReport.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QImageReader>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>

#include <cmath>

// The pictures live in a static library: they register only when asked.
static void registerPictures() { Q_INIT_RESOURCE(plotrun); }

namespace plotrun {

namespace {

// The client area between the tool bars: every view fills all of it.
class ClientArea : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        for (QObject* child : children())
            if (auto* w = qobject_cast<QWidget*>(child))
                w->setGeometry(rect());
        if (onResize)
            onResize();
    }
};

// Restores the cursor however the scan ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QString imageFilter()
{
    QStringList patterns;
    for (const QByteArray& f : QImageReader::supportedImageFormats())
        patterns << "*." + QString::fromLatin1(f);
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
    statusBar()->addPermanentWidget(coordinates_); // the status texts keep the left part
    dialogs_.openFile = [this] { return QFileDialog::getOpenFileName(this, "Open", {}, imageFilter()); };
    FormCreate();
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
    // While the options dialog is open, the counted pixels follow its boxes.
    connect(GOptions, &TGOptions::settingsTyped, counted_, &CountedPixelsOverlay::setSettings);
}

void TPlotrunner::createViews()
{
    auto* client = new ClientArea(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);

    Image = new PictureView;
    Image->setObjectName("Image");
    zoom_ = new ZoomArea(Image, client);
    Image->hide();
    marking_ = new MarkingTool(*Image, this);
    counted_ = new CountedPixelsOverlay(*Image, this);
    points_ = std::make_unique<PointsOverlay>(*Image);
    connect(Image, &PictureView::mouseDown, this, [this](Qt::MouseButton b, int x, int y) {
        guarded([&] {
            if (!pickInkDown(x, y))
                marking_->mouseDown(b, x, y);
        });
    });
    connect(Image, &PictureView::mouseMove, this,
            [this](int x, int y) { guarded([&] { marking_->mouseMove(x, y); }); });
    connect(Image, &PictureView::mouseUp, this, [this](Qt::MouseButton b, int, int) {
        guarded([&] {
            if (!pickInkUp())
                marking_->mouseUp(b);
        });
    });
    connect(Image, &PictureView::scanShapeMouseUp, this,
            [this](Qt::MouseButton b) { guarded([&] { marking_->scanShapeMouseUp(b); }); });
    connect(marking_, &MarkingTool::markPlaced, this, [this](MarkingTool::Mode m, double x, double y) {
        const MarkOutcome outcome = takeMark(settings_, m, x, y);
        if (outcome.referenceOutOfRange)
            commands_.Execute->setEnabled(false);
        calibrationGrid_->calibrationChanged();
        setStatus(outcome.status);
        history_->commit(m == MarkingTool::OriginMark ? "Origin"
                         : m == MarkingTool::X1Mark   ? "X1"
                         : m == MarkingTool::Y1Mark   ? "Y1"
                                                      : "Start");
    });
    connect(marking_, &MarkingTool::areaDrawn, this, [this](const MarkingTool::Area& a) {
        setStatus(takeArea(settings_, a));
        refreshCounted();
        history_->commit("Scan Area");
    });
    connect(marking_, &MarkingTool::areaNotSelected, this, [this] {
        setStatus("Scan area was not selected.");
        history_->commit({});
    });
    connect(marking_, &MarkingTool::areaRemoved, this, [this] {
        settings_.ScanStartX = settings_.ScanStartY = settings_.ScanEndX = settings_.ScanEndY = -1;
        refreshCounted();
        history_->commit("Remove Scan Area");
    });
    calibrationGrid_ = new CalibrationGrid(*Image, settings_);
    coordinates_ = new CoordinatesLabel(*Image, settings_, this);
    connectPictureTools();

    BackPanel = new QFrame(client);
    BackPanel->setObjectName("BackPanel");
    BackPanel->setFrameShape(QFrame::Panel);
    BackPanel->setFrameShadow(QFrame::Sunken);
    BackPanel->setAutoFillBackground(true);
    QPalette workspace = BackPanel->palette();
    workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));
    BackPanel->setPalette(workspace);

    // Over the back panel: made after it.
    output_ = new OutputCommands(*this, *client, commands_, dialogs_, [this] { return picturePath_; });
    connect(output_, &OutputCommands::viewsChanged, this, [this] { takeView(); });

    client->onResize = [this] { FormResize(); };
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
        {c.Output1, [this] { Output1Click(); }},
        {c.Execute, [this] { ExecuteClick(); }},
        {c.Contents, [this] { ContentsClick(); }},
        {c.About, [this] { AboutClick(); }},
        {c.btnRemoveScan, [this] { btnRemoveScanClick(); }},
        {c.btnScanLock, [this] { btnScanLockClick(); }},
        {c.CalibrationGrid, [this] { CalibrationGridClick(); }},
        {c.CountedPixels, [this] { CountedPixelsClick(); }},
        {c.PointsOnPicture, [this] { PointsOnPictureClick(); }},
        {c.LoadSettings, [this] { settingsFile_.LoadSettingsClick(); }},
        {c.SaveSettings, [this] { settingsFile_.SaveSettingsClick(); }}};
    for (const auto& [action, handler] : handlers)
        connect(action, &QAction::triggered, this, [handler] { guarded(handler); });
    connect(c.Exit, &QAction::triggered, this, [] { QApplication::quit(); });
    connect(c.ZoomIn, &QAction::triggered, zoom_, &ZoomArea::zoomIn);
    connect(c.ZoomOut, &QAction::triggered, zoom_, &ZoomArea::zoomOut);
    connect(c.FitToWindow, &QAction::triggered, zoom_, &ZoomArea::fit);
    connect(c.Loupe, &QAction::toggled, loupe_, &Loupe::setWanted);
    history_->attach(c.Undo, c.Redo);
    // No step is taken in the middle of a press and release on the picture.
    for (QAction* a : {c.Undo, c.Redo})
        connect(a, &QAction::triggered, this, [this, a] {
            if (!marking_->placingMark() && !marking_->dragging())
                guarded([&] { a == commands_.Undo ? history_->undo() : history_->redo(); });
        });
    for (QAction* a : {c.tlbtnMarkO, c.tlbtnMarkX, c.tlbtnMarkY, c.tlbtnMarkStart})
        connect(a, &QAction::triggered, this, [this, a] { guarded([&] { tlbtnMarkOClick(a); }); });
}

void TPlotrunner::FormCreate()
{
    settings_ = ScanSettings{};
    pictureLoaded_ = false;
    imageShown_ = false;
    picWidth_ = picHeight_ = -1;
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
    acceptPicture(loadPicture(path), QFileInfo(path).fileName()); // throws: the earlier picture stays
    picturePath_ = path;
}

void TPlotrunner::acceptPicture(Picture p, const QString& fileName)
{
    picture_ = std::move(p);
    picturePath_.clear();
    history_->clear();
    zoom_->setPictureSize(picture_.image.size());
    Image->setPicture(picture_.image);
    counted_->setPicture(picture_.image);
    points_->clear();
    marking_->setPicture(picture_.image.width(), picture_.image.height());
    calibrationGrid_->setPicture(picture_.image.width(), picture_.image.height());
    coordinates_->setPicture(picture_.image.width(), picture_.image.height());
    GOptions->setFileName(fileName);
    CheckPicture();
}

void TPlotrunner::CheckPicture()
{
    const int w = picture_.image.width(), h = picture_.image.height();
    if (w < 2 || h < 2) {
        Image->hide();
        commands_.Options->setEnabled(false);
        showNotice(this, "Too small bitmap!", "The size of the bitmap must be at least 2x2");
        return;
    }
    bool reduced = false;
    if (pictureLoaded_ && (w < picWidth_ || h < picHeight_) && commands_.Execute->isEnabled()) {
        commands_.Execute->setEnabled(false);
        reduced = true;
    }
    picWidth_ = w;
    picHeight_ = h;
    Image->show();
    GOptions->setPictureInfo(w, h, picture_.bitsPerPixel);
    GOptions->setScanWidthMaximum(std::min(w / 2, 32767));
    pictureLoaded_ = true;
    marking_->setActive(true);
    Image->setCursor(Qt::CrossCursor);
    BackPanel->hide();
    commands_.Options->setEnabled(true);
    updateZoomCommands();
    output_->hideGrid();
    if (reduced)
        showNotice(this, "Image size notification!", "Image width or height is reduced!\nCheck your parameters.");
    takeView();
}

void TPlotrunner::takeView()
{
    // The picture is the view unless the grid or the chart covers it; when it
    // returns, the marks are fitted to its display.
    imageShown_ = !output_->covering();
    if (imageShown_)
        FormResize();
}

void TPlotrunner::FormResize()
{
    if (BackPanel->isHidden()) // a picture was accepted
        marking_->refit();
}

void TPlotrunner::OptionsClick()
{
    GOptions->setRecord(settings_, {picWidth_, picHeight_});
    const int result = GOptions->exec();
    if (result == QDialog::Accepted)
        applyOptions(GOptions->verdict());
    if (result == TGOptions::PickInk) {
        picker_.start();
        setStatus("Click the curve to take its colour as the ink.");
    }
    refreshCounted(); // back to the record, with the threshold box as left
}

void TPlotrunner::refreshCounted()
{
    ScanSettings next = settings_;
    // The scan takes its threshold from the box.
    if (const std::optional<int32_t> t =
            GOptions ? readWhole(GOptions->thresholdText().toStdString()) : std::optional<int32_t>())
        next.Threshold = *t;
    counted_->setSettings(next);
}

void TPlotrunner::CountedPixelsClick()
{
    refreshCounted();
    counted_->setShown(commands_.CountedPixels->isChecked());
}

void TPlotrunner::PointsOnPictureClick() { points_->setShown(commands_.PointsOnPicture->isChecked()); }

bool TPlotrunner::pickInkDown(int x, int y) { return picker_.mouseDown(x, y); }

bool TPlotrunner::pickInkUp()
{
    const bool taken = picker_.active();
    const std::optional<uint32_t> ink =
        picker_.mouseUp(pixelView(picture_.image), Image->size(), GOptions->typedSettings().Ink.Paper);
    if (!ink)
        return taken;
    GOptions->setPickedInk(*ink);
    setStatus("Ink colour taken: " + QString::fromStdString(colourText(*ink)));
    // The dialog comes back once the click is over.
    QTimer::singleShot(0, this, [this] { guarded([&] { OptionsClick(); }); });
    return true;
}

void TPlotrunner::applyOptions(const OptionVerdict& verdict, const std::function<void()>& alsoChange,
                               const QString& step)
{
    history_->begin();
    if (alsoChange)
        alsoChange();
    settings_ = verdict.record;
    marking_->takeExactPositions(verdict.record);
    commands_.Execute->setEnabled(verdict.inputValid);
    // Real coordinates are shown only for a calibration that was accepted whole.
    calibrationGrid_->setCalibrated(verdict.inputValid);
    coordinates_->setCalibrated(verdict.inputValid);
    refreshCounted();
    if (imageShown_)
        FormResize();
    history_->commit(step);
}

void TPlotrunner::Output1Click()
{
    history_->begin();
    GOutput->exec();
    history_->commit("Output Fields"); // a Cancel changed nothing, and leaves no step
}

void TPlotrunner::ContentsClick() { help_.showTopic(helpFile_, kHelpContentsTopic); }

void TPlotrunner::AboutClick() { AboutBox->exec(); }

// --- Marking

void TPlotrunner::tlbtnMarkOClick(QAction* sender)
{
    const Commands& c = commands_;
    const auto mode = sender == c.tlbtnMarkO       ? MarkingTool::OriginMark
                      : sender == c.tlbtnMarkX     ? MarkingTool::X1Mark
                      : sender == c.tlbtnMarkStart ? MarkingTool::StartMark
                                                   : MarkingTool::Y1Mark;
    // While one mark button is down, the others are disabled.
    for (QAction* b : {c.tlbtnMarkO, c.tlbtnMarkX, c.tlbtnMarkY, c.tlbtnMarkStart})
        if (b != sender)
            b->setEnabled(!sender->isChecked());
    marking_->setMode(mode, sender->isChecked());
}

void TPlotrunner::btnRemoveScanClick() { marking_->removeArea(); }

void TPlotrunner::btnScanLockClick()
{
    history_->begin();
    marking_->setLocked(!marking_->locked());
    commands_.showLock(marking_->locked());
    commands_.btnRemoveScan->setEnabled(!marking_->locked());
    history_->commit(marking_->locked() ? "Lock" : "Unlock");
}

// --- Loupe, zoom, keys and undo

void TPlotrunner::connectPictureTools()
{
    loupe_ = new Loupe(*Image, *marking_, zoom_->viewport());
    history_ = new EditHistory([this] { return editState(); }, [this](const EditState& s) { restoreEdit(s); }, this);
    connect(marking_, &MarkingTool::aboutToChange, this, [this] { history_->begin(); });
    connect(Image, &PictureView::keyPressed, this, [this](int key, Qt::KeyboardModifiers m, bool& used) {
        guarded([&] { used = marking_->keyPress(key, m); });
    });
    // Escape leaves a mark mode as its button does.
    connect(marking_, &MarkingTool::leaveModeAsked, this, [this] {
        for (QAction* a : {commands_.tlbtnMarkO, commands_.tlbtnMarkX, commands_.tlbtnMarkY, commands_.tlbtnMarkStart})
            if (a->isChecked())
                a->trigger();
    });
    connect(Image, &PictureView::resized, this, [this] {
        FormResize();
        updateZoomCommands();
    });
    connect(zoom_, &ZoomArea::zoomChanged, this, [this] { updateZoomCommands(); });
}

void TPlotrunner::updateZoomCommands()
{
    commands_.ZoomIn->setEnabled(pictureLoaded_ && zoom_->canZoomIn());
    commands_.ZoomOut->setEnabled(pictureLoaded_ && zoom_->canZoomOut());
    commands_.FitToWindow->setEnabled(pictureLoaded_ && !zoom_->fitted());
}

EditState TPlotrunner::editState() const
{
    return {settings_, marking_->state(), commands_.Execute->isEnabled(), GOutput ? GOutput->fields() : OutputFields{}};
}

// An undo or redo: the edit state as it was, with the way to Execute; the
// output of a scan stays as it is.
void TPlotrunner::restoreEdit(const EditState& s)
{
    settings_ = s.settings;
    marking_->restore(s.marks);
    commands_.Execute->setEnabled(s.executable);
    commands_.showLock(s.marks.locked);
    commands_.btnRemoveScan->setEnabled(!s.marks.locked);
    if (GOutput)
        GOutput->setFields(s.fields);
    calibrationGrid_->calibrationChanged();
    refreshCounted();
    if (imageShown_)
        FormResize();
}

void TPlotrunner::CalibrationGridClick() { calibrationGrid_->setVisible(commands_.CalibrationGrid->isChecked()); }

// --- Execute

void TPlotrunner::ExecuteClick()
{
    const QString thresholdText = GOptions->thresholdText();
    const std::optional<int32_t> threshold = readWhole(thresholdText.toStdString());
    if (!threshold)
        throw std::runtime_error(QString("'%1' is not a valid integer value").arg(thresholdText).toStdString());
    settings_.Threshold = *threshold;

    // Lay the grid out anew: the old data columns go, the included fields
    // take columns 1 on in their fixed order.
    ScanReport report(GOutput->fields(), decimalSeparator());
    ResultGridModel& grid = output_->grid();
    {
        const ResultGridModel::Update update(grid);
        grid.blankDataColumns();
        grid.setGridSize(2, 2);
        grid.setHeaderCells(report.columnNames());
        grid.setGridSize(report.gridCols(), 2);
    }

    const ScanChecks checks = checkScan(settings_);
    if (checks.widthResized)
        showNotice(this, widthResizedNotice(checks.areaWidth));
    if (checks.stop != ScanStop::None) {
        showNotice(this, stopNotice(checks.stop));
        return;
    }

    if (runScanAndReport(report, checks))
        setStatus(followCounts_.empty() ? QString("Done") : QString::fromStdString("Done. " + followCounts_));
}

bool TPlotrunner::runScanAndReport(ScanReport& report, const ScanChecks& checks)
{
    WaitCursor wait;
    keptRealX_.clear();
    followCounts_.clear();
    std::vector<ResultRow> rows;
    ResultGridModel& grid = output_->grid();
    {
        const ResultGridModel::Update update(grid);
        int shownPercent = -1;
        runColumnScan(pixelView(picture_.image), settings_, checks, report.fields().wantsSpread(),
                      {[&](const ResultRow& r) {
                           grid.addResultRow(r.number, report.addRow(r));
                           keptRealX_.push_back(r.realX);
                           rows.push_back(r);
                       },
                       [&](int percent) {
                           if (percent != shownPercent) {
                               shownPercent = percent;
                               setStatus(QString::fromStdString(progressText(percent)));
                               statusBar()->repaint();
                           }
                       },
                       [&](const FollowCounts& c) { followCounts_ = followCountsText(c); }});
        grid.setGridSize(report.gridCols(), int(report.rowCount()) + 1);
    }
    setStatus("Finalizing...");
    statusBar()->repaint();

    output_->chart().clearPoints();
    points_->clear();
    if (report.hasNonFinite()) {
        // No number of this scan is trusted: no text to save, copy or print.
        output_->dropLines();
        setStatus(QString());
        showNotice(this, notFiniteNotice(report.firstNonFiniteRow()));
        return false;
    }
    output_->chart().showResult(grid, report.fields(), keptRealX_);
    points_->setResult(rows, settings_, report.fields().wantsSpread(), {picWidth_, picHeight_});

    const PictureFacts facts{GOptions->widthLabel().toStdString(), picture_.image.height(),
                             GOptions->bitsPerPixelLabel().toStdString(), GOptions->weightedBox()};
    output_->setLines(report.lines(facts, settings_));
    if (GOptions->copyToClipboard())
        output_->CopyClick();
    return true;
}

} // namespace plotrun
