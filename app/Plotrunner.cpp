#include "Plotrunner.h"

#include "StandardErrorBox.h"

#include "../dialogs/Notice.h"
#include "../dialogs/TAboutBox.h"
#include "../dialogs/TGOutput.h"
#include "NumberText.h"
#include "Report.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QImageReader>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>

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

// A hint is "short|long": the tooltip shows the short part, the status bar
// the long one; a hint without "|" is both.
void setHint(QAction* action, const QString& hint)
{
    const int bar = hint.indexOf('|');
    action->setToolTip(bar < 0 ? hint : hint.left(bar));
    action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

QIcon listIcon(const QString& on, const QString& off = {})
{
    QIcon icon(on);
    if (!off.isEmpty())
        icon.addFile(off, {}, QIcon::Disabled);
    return icon;
}

// Restores the cursor however the scan ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TPlotrunner::TPlotrunner()
{
    registerPictures();
    setObjectName("Plotrunner");
    setWindowTitle(kAppTitle);
    resize(800, 640);
    setAcceptDrops(true);
    createViews();
    createActions();
    createMenus();
    createToolBars();
    statusBar()->setObjectName("StatusBar");

    chooseOpenFile = [this] {
        QStringList patterns;
        for (const QByteArray& f : QImageReader::supportedImageFormats())
            patterns << "*." + QString::fromLatin1(f);
        return QFileDialog::getOpenFileName(this, "Open", {},
                                            "Bitmaps (*.bmp);;Pictures (" + patterns.join(' ') + ");;All files (*)");
    };

    // The constructor's start values: no area, no marks.
    HelpPath.clear();
    btnRemoveScanClick();
    Dragging = false;
    NoScanArea = true;
    ScanLocked = false;
    AreaX1 = AreaX2 = AreaY1 = AreaY2 = -1;
    for (int i = 0; i < 3; ++i)
        MarkExactX[i] = MarkExactY[i] = -1;
    MarkY = MarkX = -1;
    MarkingMode = 0;
    PlacingMark = false;
    Image->shpOref.bounds = QRect(QPoint(-16, -16), QPoint(0, 0));
    Image->shpXref.bounds = QRect(QPoint(-1, -1), QPoint(-1, -1));
    Image->shpYref.bounds = QRect(QPoint(-1, -1), QPoint(-1, -1));

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
    connect(Image, &PictureView::mouseDown, this,
            [this](Qt::MouseButton b, int x, int y) { guarded([&] { ImageMouseDown(b, x, y); }); });
    connect(Image, &PictureView::mouseMove, this, [this](int x, int y) { guarded([&] { ImageMouseMove(x, y); }); });
    connect(Image, &PictureView::mouseUp, this,
            [this](Qt::MouseButton b, int, int) { guarded([&] { ImageMouseUp(b); }); });
    connect(Image, &PictureView::scanShapeMouseUp, this,
            [this](Qt::MouseButton b) { guarded([&] { shpScanMouseUp(b); }); });

    BackPanel = new QFrame(client);
    BackPanel->setObjectName("BackPanel");
    BackPanel->setFrameShape(QFrame::Panel);
    BackPanel->setFrameShadow(QFrame::Sunken);
    BackPanel->setAutoFillBackground(true);
    QPalette workspace = BackPanel->palette();
    workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));
    BackPanel->setPalette(workspace);

    grid = new ResultGridModel(this);
    Data = new QTableView(client);
    Data->setObjectName("Data");
    Data->setModel(grid);
    Data->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Data->verticalHeader()->setDefaultSectionSize(24);
    Data->horizontalHeader()->setDefaultSectionSize(180); // room for 15 digits and an exponent
    Data->hide();

    ChartXY = new ResultChart(client);
    ChartXY->setObjectName("ChartXY");
    ChartXY->hide();

    client->onResize = [this] { FormResize(); };
}

QAction* TPlotrunner::command(const char* name, const QString& caption, void (TPlotrunner::*handler)())
{
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
    return a;
}

void TPlotrunner::createActions()
{
    Open = command("Open", "&Open...", &TPlotrunner::OpenClick);
    Save = command("Save", "&Save", &TPlotrunner::SaveClick);
    SaveAs = command("SaveAs", "Save &As...", &TPlotrunner::SaveAsClick);
    Print = command("Print", "&Print...", &TPlotrunner::PrintClick);
    PrintSetup = command("PrintSetup", "P&rint Setup...", &TPlotrunner::PrintSetupClick);
    Exit = command("Exit", "E&xit", &TPlotrunner::ExitClick);
    Copy = command("Copy", "&Copy Data", &TPlotrunner::CopyClick);
    Paste = command("Paste", "&Paste Image", &TPlotrunner::PasteClick);
    View = command("View", "&View Output", &TPlotrunner::ViewClick);
    Chart = command("Chart", "View &Chart", &TPlotrunner::ChartClick);
    Options = command("Options", "&Options...", &TPlotrunner::OptionsClick);
    Output1 = command("Output1", "Output &Fields...", &TPlotrunner::Output1Click);
    Execute = command("Execute", "&Execute", &TPlotrunner::ExecuteClick);
    Contents = command("Contents", "&Contents", &TPlotrunner::ContentsClick);
    About = command("About", "&About Plotrun", &TPlotrunner::AboutClick);
    btnRemoveScan = command("btnRemoveScan", "Remove scan area", &TPlotrunner::btnRemoveScanClick);
    btnScanLock = command("btnScanLock", "Lock scan area", &TPlotrunner::btnScanLockClick);

    Copy->setShortcut(QKeySequence("Ctrl+C"));
    Paste->setShortcut(QKeySequence("Ctrl+V"));
    View->setCheckable(true);
    Chart->setCheckable(true);
    for (QAction* a : {Save, SaveAs, Copy, Options, Execute})
        a->setEnabled(false);

    setHint(Open, "Open|Open a bitmap graph file");
    setHint(Save, "Save|Save the output as a text file");
    setHint(Copy, "Copy|Copy the output to the clipboard");
    setHint(Paste, "Paste|Paste a bitmap graph from the clipboard");
    setHint(Options, "Options|Select your scan parameters");
    setHint(Execute, "Execute|Scan the bitmap graph to x,y values");
    setHint(Contents, "Help|Contents");
    setHint(btnRemoveScan, "Remove scan area");
    setHint(btnScanLock, "Lock or unlock scan area");
    Open->setIcon(listIcon(":/icons/on-open.png", ":/icons/off-open.png"));
    Save->setIcon(listIcon(":/icons/on-save.png", ":/icons/off-save.png"));
    Copy->setIcon(listIcon(":/icons/on-copy.png", ":/icons/off-copy.png"));
    Paste->setIcon(listIcon(":/icons/on-paste.png", ":/icons/off-paste.png"));
    Options->setIcon(listIcon(":/icons/on-options.png", ":/icons/off-options.png"));
    Execute->setIcon(listIcon(":/icons/on-execute.png", ":/icons/off-execute.png"));
    Contents->setIcon(listIcon(":/icons/on-help.png", ":/icons/off-help.png"));
    btnRemoveScan->setIcon(listIcon(":/icons/scan-0.png", ":/icons/scan-1.png"));
    btnScanLock->setIcon(listIcon(":/icons/scan-2.png"));

    const std::pair<QAction**, std::pair<const char*, const char*>> marks[] = {
        {&tlbtnMarkO, {"tlbtnMarkO", "Mark origin reference"}},
        {&tlbtnMarkX, {"tlbtnMarkX", "Mark X1 reference"}},
        {&tlbtnMarkY, {"tlbtnMarkY", "Mark Y1 reference"}}};
    int picture = 4;
    for (const auto& [slot, names] : marks) {
        QAction* a = new QAction(names.second, this);
        a->setObjectName(names.first);
        a->setCheckable(true);
        a->setStatusTip(names.second);
        a->setIcon(QIcon(QString(":/icons/scan-%1.png").arg(picture)));
        picture += 2;
        connect(a, &QAction::triggered, this, [this, a] { guarded([&] { tlbtnMarkOClick(a); }); });
        *slot = a;
    }
}

void TPlotrunner::createMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    file->addActions({Open, Save, SaveAs});
    file->addSeparator()->setObjectName("N2");
    file->addActions({Print, PrintSetup});
    file->addSeparator()->setObjectName("N1");
    file->addAction(Exit);
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addActions({Copy, Paste});
    edit->addSeparator()->setObjectName("N3");
    edit->addActions({View, Chart});
    QMenu* scanMenu = menuBar()->addMenu("&Scan");
    scanMenu->setObjectName("ScanMenu");
    scanMenu->addActions({Options, Output1, Execute});
    QMenu* helpMenu = menuBar()->addMenu("&Help");
    helpMenu->addActions({Contents, About});
    // Menu items carry no hints: while one is highlighted the status bar is empty.
    for (QMenu* m : {file, edit, scanMenu, helpMenu})
        m->installEventFilter(this);
}

void TPlotrunner::createToolBars()
{
    ToolBar = new QToolBar("ToolBar", this);
    ToolBar->setObjectName("ToolBar");
    ToolBar->setMovable(false);
    ToolBar->setIconSize(QSize(16, 16));
    addToolBar(Qt::TopToolBarArea, ToolBar);
    ToolBar->addActions({Open, Save});
    ToolBar->addSeparator()->setObjectName("ToolSep1");
    ToolBar->addActions({Copy, Paste});
    ToolBar->addSeparator()->setObjectName("ToolSep2");
    ToolBar->addActions({Options, Execute});
    ToolBar->addSeparator()->setObjectName("ToolSep3");
    ToolBar->addAction(Contents);
    const std::pair<QAction*, const char*> buttons[] = {{Open, "OpenToolBtn"},       {Save, "SaveToolBtn"},
                                                        {Copy, "CopyToolBtn"},       {Paste, "PasteToolBtn"},
                                                        {Options, "OptionsToolBtn"}, {Execute, "ExecuteToolBtn"},
                                                        {Contents, "HelpToolBtn"}};
    for (const auto& [action, name] : buttons)
        ToolBar->widgetForAction(action)->setObjectName(name);

    tlbrScan = new QToolBar("tlbrScan", this);
    tlbrScan->setObjectName("tlbrScan");
    tlbrScan->setMovable(false);
    tlbrScan->setIconSize(QSize(16, 16));
    addToolBar(Qt::BottomToolBarArea, tlbrScan);
    tlbrScan->addActions({btnRemoveScan, btnScanLock});
    tlbrScan->addSeparator()->setObjectName("tlbtnSep1");
    tlbrScan->addActions({tlbtnMarkO, tlbtnMarkX, tlbtnMarkY});
    for (QAction* a : {btnRemoveScan, btnScanLock, tlbtnMarkO, tlbtnMarkX, tlbtnMarkY})
        tlbrScan->widgetForAction(a)->setObjectName(a->objectName());
    // The mark buttons follow the bar, whose tooltips are off.
    for (QAction* a : {tlbtnMarkO, tlbtnMarkX, tlbtnMarkY})
        tlbrScan->widgetForAction(a)->installEventFilter(this);
}

void TPlotrunner::FormCreate()
{
    settings = ScanSettings{};
    PictureLoaded = false;
    ImageShown = false;
    PicWidth = PicHeight = -1;
    GridRow = GridCols = 1;
    ColX = ColY = ColSdev = ColSdevy = ColXb = ColYb = -1;
    // The help file rule: the directory glued to the file name. A value of
    // the wrong type ends in the error box and leaves the bare file name.
    guarded([&] {
        HelpPath = readHelpDir();
        HelpPath = helpFileByRule(HelpPath);
        helpFile = HelpPath;
    });
}

bool TPlotrunner::event(QEvent* e)
{
    if (e->type() == QEvent::StatusTip) {
        AppHint(static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

bool TPlotrunner::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::StatusTip && qobject_cast<QMenu*>(watched)) {
        AppHint(QString());
        return true;
    }
    if (e->type() == QEvent::ToolTip && qobject_cast<QToolButton*>(watched))
        return true;
    return QMainWindow::eventFilter(watched, e);
}

void TPlotrunner::AppHint(const QString& hint) { setStatus(hint); }

void TPlotrunner::setStatus(const QString& text)
{
    statusBar()->showMessage(text);
}

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
    const QString path = chooseOpenFile();
    if (path.isEmpty())
        return;
    openPicture(path);
}

void TPlotrunner::openPicture(const QString& path)
{
    Picture loaded = loadPicture(path); // throws: the earlier picture stays
    takePicture(std::move(loaded));
    GOptions->setFileName(QFileInfo(path).fileName());
    CheckPicture();
}

void TPlotrunner::takePicture(Picture p)
{
    picture = std::move(p);
    Image->setPicture(picture.image);
}

void TPlotrunner::CheckPicture()
{
    const int w = picture.image.width(), h = picture.image.height();
    if (w < 2 || h < 2) {
        Image->hide();
        Options->setEnabled(false);
        showNotice(this, "Too small bitmap!", "The size of the bitmap must be at least 2x2");
        return;
    }
    bool reduced = false;
    if (PictureLoaded && (w < PicWidth || h < PicHeight) && Execute->isEnabled()) {
        Execute->setEnabled(false);
        reduced = true;
    }
    PicWidth = w;
    PicHeight = h;
    Image->show();
    GOptions->setPictureInfo(w, h, picture.bitsPerPixel);
    GOptions->setScanWidthMaximum(std::min(w / 2, 32767));
    PictureLoaded = true;
    Image->setCursor(Qt::CrossCursor);
    BackPanel->hide();
    Options->setEnabled(true);
    Data->hide();
    View->setChecked(false);
    if (reduced)
        showNotice(this, "Image size notification!", "Image width or height is reduced!\nCheck your parameters.");
    takeView();
}

void TPlotrunner::takeView()
{
    // The picture is the view unless the grid or the chart covers it; when it
    // returns, the marks are fitted to its display.
    ImageShown = !View->isChecked() && !Chart->isChecked();
    if (ImageShown)
        FormResize();
}

void TPlotrunner::OptionsClick() { GOptions->exec(); }

void TPlotrunner::Output1Click() { GOutput->exec(); }

void TPlotrunner::ContentsClick() { help_.showTopic(helpFile, kHelpContentsTopic); }

void TPlotrunner::AboutClick() { AboutBox->exec(); }

void TPlotrunner::ExitClick() { QApplication::quit(); }

void TPlotrunner::ExecuteClick()
{
    const OutputFields fields = GOutput->fields();
    const QString thresholdText = GOptions->thresholdText();
    const std::optional<int32_t> threshold = readWhole(thresholdText.toStdString());
    if (!threshold)
        throw std::runtime_error(QString("'%1' is not a valid integer value").arg(thresholdText).toStdString());
    settings.Threshold = *threshold;
    GridRow = 1;

    // Lay the grid out anew: the old data columns go, the included fields
    // take columns 1 on in their fixed order.
    const GridLayout layout = layoutGrid(fields);
    {
        const ResultGridModel::Update update(*grid);
        grid->blankDataColumns();
        GridCols = 0;
        grid->setGridSize(2, 2);
        int32_t* columns[] = {&ColX, &ColY, &ColSdev, &ColSdevy, &ColXb, &ColYb};
        for (Field f : layout.fields)
            *columns[int(f)] = ++GridCols;
        grid->setHeaderCells(headerCells(layout, fields));
        ++GridCols;
        grid->setGridSize(GridCols, 2);
    }

    const ScanChecks checks = checkScan(settings);
    StripCount = checks.stripCount;
    ScanHeight = checks.scanHeight;
    if (checks.widthResized) {
        const Notice n = widthResizedNotice(checks.areaWidth);
        showNotice(this, QString::fromStdString(n.title), QString::fromStdString(n.text));
    }
    if (checks.stop != ScanStop::None) {
        const Notice n = stopNotice(checks.stop);
        showNotice(this, QString::fromStdString(n.title), QString::fromStdString(n.text));
        return;
    }

    runScanAndReport(fields, layout, checks);
    setStatus("Done");
}

void TPlotrunner::runScanAndReport(const OutputFields& fields, const GridLayout& layout, const ScanChecks& checks)
{
    WaitCursor wait;
    const std::string& D = fields.delimiter;
    const int H = picture.image.height();
    const std::string sep = decimalSeparator();
    keptRealX_.clear();
    {
        const ResultGridModel::Update update(*grid);
        int shownPercent = -1;
        runColumnScan(pixelView(picture.image), settings, checks, fields.wantsSpread(),
                      {[&](const ResultRow& r) {
                           grid->addResultRow(r.number, rowCells(layout, r, sep));
                           keptRealX_.push_back(r.realX);
                           ++GridRow;
                       },
                       [&](int percent) {
                           if (percent != shownPercent) {
                               shownPercent = percent;
                               setStatus(QString::fromStdString(progressText(percent)));
                               statusBar()->repaint();
                           }
                       }});
        grid->setGridSize(GridCols, GridRow);
    }
    setStatus("Finalizing...");

    ChartXY->clearPoints();
    fillChart(fields);

    std::vector<std::string> header;
    if (fields.scanningParameters)
        header = headerBlock({GOptions->widthLabel().toStdString(), H, GOptions->bitsPerPixelLabel().toStdString(),
                              GOptions->weightedBox()},
                             settings, D, sep);
    const std::vector<std::string> names = grid->headerCells();
    scan = outputLines(fields.scanningParameters ? &header : nullptr, fields.columnNames ? &names : nullptr,
                       grid->dataRows(), D);
    if (GOptions->copyToClipboard())
        QGuiApplication::clipboard()->setText(QString::fromStdString(joinLines(scan)));
    Save->setEnabled(true);
    SaveAs->setEnabled(true);
    Copy->setEnabled(true);
}

void TPlotrunner::fillChart(const OutputFields& fields)
{
    // The chart shows grid columns 1 and 2, read back from their texts; with
    // neither coordinate pair included, column 1 against the kept real x.
    const std::string sep = decimalSeparator();
    QList<QPointF> points;
    points.reserve(GridRow - 1);
    const bool pairs = fields.realCoordinates || fields.bitmapCoordinates;
    if (pairs)
        ChartXY->setAxisTitles(QString::fromStdString(grid->cell(1, 0)), QString::fromStdString(grid->cell(2, 0)));
    else
        ChartXY->setAxisTitles(QString::fromStdString(fields.name(Field::RealX)),
                               QString::fromStdString(grid->cell(1, 0)));
    for (int n = 1; n < GridRow; ++n) {
        const std::optional<double> x =
            pairs ? readReal(grid->cell(1, n), sep) : std::optional<double>(keptRealX_[size_t(n - 1)]);
        const std::optional<double> y = readReal(grid->cell(pairs ? 2 : 1, n), sep);
        if (x && y) // an absent SDEV/Y leaves its point out
            points.append(QPointF(*x, *y));
    }
    ChartXY->setPoints(std::move(points));
}

void TPlotrunner::takeExactPositions(const ScanSettings& r)
{
    MarkExactX[0] = r.OriginX;
    MarkExactY[0] = r.OriginY;
    MarkExactX[1] = r.RefX;
    MarkExactY[2] = r.RefY;
    AreaX1 = r.ScanStartX;
    AreaY1 = r.ScanStartY;
    AreaX2 = r.ScanEndX;
    AreaY2 = r.ScanEndY;
}

void TPlotrunner::setExecuteEnabled(bool enabled) { Execute->setEnabled(enabled); }

void TPlotrunner::refitPicture()
{
    if (ImageShown)
        FormResize();
}

} // namespace plotrun
