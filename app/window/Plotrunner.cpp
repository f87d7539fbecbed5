#include "Plotrunner.h"

#include "MarkSettings.h"
#include "MarkingTool.h"
#include "PictureView.h"
#include "ResultChart.h"
#include "ResultGridModel.h"
#include "StandardErrorBox.h"

#include "../../dialogs/Notice.h"
#include "../../dialogs/TAboutBox.h"
#include "../../dialogs/TGOptions.h"
#include "../../dialogs/TGOutput.h"
#include "ColumnScan.h"
#include "NumberText.h"
#include "Report.h"
#include "ScanReport.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QImageReader>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>

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
}

void TPlotrunner::createViews()
{
    auto* client = new ClientArea(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);

    Image = new PictureView(client);
    Image->setObjectName("Image");
    Image->hide();
    marking_ = new MarkingTool(*Image, this);
    connect(Image, &PictureView::mouseDown, this,
            [this](Qt::MouseButton b, int x, int y) { guarded([&] { marking_->mouseDown(b, x, y); }); });
    connect(Image, &PictureView::mouseMove, this,
            [this](int x, int y) { guarded([&] { marking_->mouseMove(x, y); }); });
    connect(Image, &PictureView::mouseUp, this,
            [this](Qt::MouseButton b, int, int) { guarded([&] { marking_->mouseUp(b); }); });
    connect(Image, &PictureView::scanShapeMouseUp, this,
            [this](Qt::MouseButton b) { guarded([&] { marking_->scanShapeMouseUp(b); }); });
    connect(marking_, &MarkingTool::markPlaced, this, [this](MarkingTool::Mode m, double x, double y) {
        const MarkOutcome outcome = takeMark(settings_, m, x, y);
        if (outcome.referenceOutOfRange)
            commands_.Execute->setEnabled(false);
        setStatus(outcome.status);
    });
    connect(marking_, &MarkingTool::areaDrawn, this,
            [this](const MarkingTool::Area& a) { setStatus(takeArea(settings_, a)); });
    connect(marking_, &MarkingTool::areaNotSelected, this, [this] { setStatus("Scan area was not selected."); });
    connect(marking_, &MarkingTool::areaRemoved, this,
            [this] { settings_.ScanStartX = settings_.ScanStartY = settings_.ScanEndX = settings_.ScanEndY = -1; });

    BackPanel = new QFrame(client);
    BackPanel->setObjectName("BackPanel");
    BackPanel->setFrameShape(QFrame::Panel);
    BackPanel->setFrameShadow(QFrame::Sunken);
    BackPanel->setAutoFillBackground(true);
    QPalette workspace = BackPanel->palette();
    workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));
    BackPanel->setPalette(workspace);

    grid_ = new ResultGridModel(this);
    Data = new QTableView(client);
    Data->setObjectName("Data");
    Data->setModel(grid_);
    Data->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Data->verticalHeader()->setDefaultSectionSize(24);
    Data->horizontalHeader()->setDefaultSectionSize(180); // room for 15 digits and an exponent
    Data->hide();

    ChartXY = new ResultChart(client);
    ChartXY->setObjectName("ChartXY");
    ChartXY->hide();

    client->onResize = [this] { FormResize(); };
}

void TPlotrunner::connectCommands()
{
    const Commands& c = commands_;
    const std::pair<QAction*, void (TPlotrunner::*)()> handlers[] = {
        {c.Open, &TPlotrunner::OpenClick},
        {c.Save, &TPlotrunner::SaveClick},
        {c.SaveAs, &TPlotrunner::SaveAsClick},
        {c.Print, &TPlotrunner::PrintClick},
        {c.PrintSetup, &TPlotrunner::PrintSetupClick},
        {c.Copy, &TPlotrunner::CopyClick},
        {c.Paste, &TPlotrunner::PasteClick},
        {c.View, &TPlotrunner::ViewClick},
        {c.Chart, &TPlotrunner::ChartClick},
        {c.Options, &TPlotrunner::OptionsClick},
        {c.Output1, &TPlotrunner::Output1Click},
        {c.Execute, &TPlotrunner::ExecuteClick},
        {c.Contents, &TPlotrunner::ContentsClick},
        {c.About, &TPlotrunner::AboutClick},
        {c.btnRemoveScan, &TPlotrunner::btnRemoveScanClick},
        {c.btnScanLock, &TPlotrunner::btnScanLockClick},
        {c.LoadSettings, &TPlotrunner::LoadSettingsClick},
        {c.SaveSettings, &TPlotrunner::SaveSettingsClick}};
    for (const auto& [action, handler] : handlers)
        connect(action, &QAction::triggered, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
    connect(c.Exit, &QAction::triggered, this, [] { QApplication::quit(); });
    for (QAction* a : {c.tlbtnMarkO, c.tlbtnMarkX, c.tlbtnMarkY})
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

void TPlotrunner::openPicture(const QString& path)
{
    acceptPicture(loadPicture(path), QFileInfo(path).fileName()); // throws: the earlier picture stays
}

void TPlotrunner::acceptPicture(Picture p, const QString& fileName)
{
    picture_ = std::move(p);
    Image->setPicture(picture_.image);
    marking_->setPicture(picture_.image.width(), picture_.image.height());
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
    Data->hide();
    commands_.View->setChecked(false);
    if (reduced)
        showNotice(this, "Image size notification!", "Image width or height is reduced!\nCheck your parameters.");
    takeView();
}

void TPlotrunner::takeView()
{
    // The picture is the view unless the grid or the chart covers it; when it
    // returns, the marks are fitted to its display.
    imageShown_ = !commands_.View->isChecked() && !commands_.Chart->isChecked();
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
    if (GOptions->exec() == QDialog::Accepted)
        applyOptions(GOptions->verdict());
}

void TPlotrunner::applyOptions(const OptionVerdict& verdict)
{
    settings_ = verdict.record;
    marking_->takeExactPositions(verdict.record);
    commands_.Execute->setEnabled(verdict.inputValid);
    if (imageShown_)
        FormResize();
}

void TPlotrunner::Output1Click() { GOutput->exec(); }

void TPlotrunner::ContentsClick() { help_.showTopic(helpFile_, kHelpContentsTopic); }

void TPlotrunner::AboutClick() { AboutBox->exec(); }

// --- Marking

void TPlotrunner::tlbtnMarkOClick(QAction* sender)
{
    const Commands& c = commands_;
    const auto mode = sender == c.tlbtnMarkO   ? MarkingTool::OriginMark
                      : sender == c.tlbtnMarkX ? MarkingTool::X1Mark
                                               : MarkingTool::Y1Mark;
    // While one mark button is down, the others are disabled.
    for (QAction* b : {c.tlbtnMarkO, c.tlbtnMarkX, c.tlbtnMarkY})
        if (b != sender)
            b->setEnabled(!sender->isChecked());
    marking_->setMode(mode, sender->isChecked());
}

void TPlotrunner::btnRemoveScanClick() { marking_->removeArea(); }

void TPlotrunner::btnScanLockClick()
{
    marking_->setLocked(!marking_->locked());
    commands_.showLock(marking_->locked());
    commands_.btnRemoveScan->setEnabled(!marking_->locked());
}

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
    {
        const ResultGridModel::Update update(*grid_);
        grid_->blankDataColumns();
        grid_->setGridSize(2, 2);
        grid_->setHeaderCells(report.columnNames());
        grid_->setGridSize(report.gridCols(), 2);
    }

    const ScanChecks checks = checkScan(settings_);
    if (checks.widthResized)
        showNotice(this, widthResizedNotice(checks.areaWidth));
    if (checks.stop != ScanStop::None) {
        showNotice(this, stopNotice(checks.stop));
        return;
    }

    if (runScanAndReport(report, checks))
        setStatus("Done");
}

bool TPlotrunner::runScanAndReport(ScanReport& report, const ScanChecks& checks)
{
    WaitCursor wait;
    keptRealX_.clear();
    {
        const ResultGridModel::Update update(*grid_);
        int shownPercent = -1;
        runColumnScan(pixelView(picture_.image), settings_, checks, report.fields().wantsSpread(),
                      {[&](const ResultRow& r) {
                           grid_->addResultRow(r.number, report.addRow(r));
                           keptRealX_.push_back(r.realX);
                       },
                       [&](int percent) {
                           if (percent != shownPercent) {
                               shownPercent = percent;
                               setStatus(QString::fromStdString(progressText(percent)));
                               statusBar()->repaint();
                           }
                       }});
        grid_->setGridSize(report.gridCols(), int(report.rowCount()) + 1);
    }
    setStatus("Finalizing...");
    statusBar()->repaint();

    ChartXY->clearPoints();
    if (report.hasNonFinite()) {
        // No number of this scan is trusted: no text to save, copy or print.
        scan_.clear();
        for (QAction* a : {commands_.Save, commands_.SaveAs, commands_.Copy})
            a->setEnabled(false);
        setStatus(QString());
        showNotice(this, notFiniteNotice(report.firstNonFiniteRow()));
        return false;
    }
    ChartXY->showResult(*grid_, report.fields(), keptRealX_);

    const PictureFacts facts{GOptions->widthLabel().toStdString(), picture_.image.height(),
                             GOptions->bitsPerPixelLabel().toStdString(), GOptions->weightedBox()};
    scan_ = report.lines(facts, settings_);
    if (GOptions->copyToClipboard())
        QGuiApplication::clipboard()->setText(QString::fromStdString(joinLines(scan_)));
    for (QAction* a : {commands_.Save, commands_.SaveAs, commands_.Copy})
        a->setEnabled(true);
    return true;
}

} // namespace plotrun
