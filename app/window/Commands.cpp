#include "Commands.h"

#include "Document.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolButton>

namespace plotrun {

namespace {

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

// A few pixels of a curve, tinted as the counted pixels view tints them.
QIcon countedPixelsIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(110, 110, 110));
    p.drawRect(0, 0, 15, 15);
    const int rows[] = {12, 11, 10, 8, 6, 5, 4, 4, 3, 3, 3, 4};
    for (int i = 0; i < 12; ++i)
        p.fillRect(2 + i, rows[i], 1, 2, QColor(255, 0, 220));
    return QIcon(pm);
}

QAction* newAction(QMainWindow& window, const char* name, const QString& caption)
{
    auto* a = new QAction(caption, &window);
    a->setObjectName(name);
    return a;
}

QToolBar* newToolBar(QMainWindow& window, const char* name, Qt::ToolBarArea area)
{
    auto* bar = new QToolBar(name, &window);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setIconSize(QSize(16, 16));
    window.addToolBar(area, bar);
    return bar;
}

} // namespace

Commands::Commands(QMainWindow& window)
{
    Open = newAction(window, "Open", "&Open...");
    Save = newAction(window, "Save", "&Save");
    SaveAs = newAction(window, "SaveAs", "Save &As...");
    Print = newAction(window, "Print", "&Print...");
    PrintSetup = newAction(window, "PrintSetup", "P&rint Setup...");
    Exit = newAction(window, "Exit", "E&xit");
    LoadSettings = newAction(window, "LoadSettings", "&Load Settings...");
    SaveSettings = newAction(window, "SaveSettings", "Save Se&ttings...");
    Copy = newAction(window, "Copy", "&Copy Data");
    Paste = newAction(window, "Paste", "&Paste Image");
    View = newAction(window, "View", "&View Output");
    Chart = newAction(window, "Chart", "View &Chart");
    Options = newAction(window, "Options", "&Options...");
    Output1 = newAction(window, "Output1", "Output &Fields...");
    Execute = newAction(window, "Execute", "&Execute");
    FindAxes = newAction(window, "FindAxes", "Find A&xes");
    FindArea = newAction(window, "FindArea", "Find &Area");
    Contents = newAction(window, "Contents", "&Contents");
    About = newAction(window, "About", "&About Plotrun");
    btnRemoveScan = newAction(window, "btnRemoveScan", "Remove scan area");
    btnScanLock = newAction(window, "btnScanLock", "Lock scan area");
    tlbtnMarkO = newAction(window, "tlbtnMarkO", "Mark origin reference");
    tlbtnMarkX = newAction(window, "tlbtnMarkX", "Mark X1 reference");
    tlbtnMarkY = newAction(window, "tlbtnMarkY", "Mark Y1 reference");
    tlbtnMarkStart = newAction(window, "tlbtnMarkStart", "Start");
    MarkCorner = newAction(window, "MarkCorner", "C");
    MarkPoint = newAction(window, "MarkPoint", "Point");
    RemoveStart = newAction(window, "RemoveStart", "Remove &Start Mark");
    CalibrationGrid = newAction(window, "CalibrationGrid", "Calibration &Grid");
    CalibrationGrid->setCheckable(true);

    CountedPixels = newAction(window, "CountedPixels", "&Counted Pixels");
    PointsOnPicture = newAction(window, "PointsOnPicture", "&Points on Picture");
    Straightened = newAction(window, "Straightened", "&Straightened");
    for (QAction* a : {CountedPixels, PointsOnPicture, Straightened})
        a->setCheckable(true);
    setHint(CountedPixels, "Counted pixels|Tint the pixels of the scan area that the next scan counts");
    setHint(PointsOnPicture, "Points on picture|Show the points of the last scan on the picture");
    setHint(Straightened, "Straightened|Show the picture with the chart's axes along its rows and columns");
    CountedPixels->setIcon(countedPixelsIcon());
    Undo = newAction(window, "Undo", "&Undo");
    Redo = newAction(window, "Redo", "&Redo");
    Loupe = newAction(window, "Loupe", "&Loupe");
    ZoomIn = newAction(window, "ZoomIn", "Zoom &In");
    ZoomOut = newAction(window, "ZoomOut", "Zoom &Out");
    FitToWindow = newAction(window, "FitToWindow", "&Fit to Window");
    SeriesPanel = newAction(window, "SeriesPanel", "S&eries Panel");
    AddSeries = newAction(window, "AddSeries", "&Add Series");
    FindSeries = newAction(window, "FindSeries", "&Find Series");
    RemoveSeries = newAction(window, "RemoveSeries", "Remove");
    SeriesUp = newAction(window, "SeriesUp", "Up");
    SeriesDown = newAction(window, "SeriesDown", "Down");
    SeriesMarkers = newAction(window, "SeriesMarkers", "Markers");
    for (QAction* a : {SeriesPanel, AddSeries, SeriesMarkers})
        a->setCheckable(true);
    setHint(SeriesPanel, "Series panel|Show the list of the figure's series");
    setHint(AddSeries,
            "Add series|Click a curve: its colour becomes the ink of a new series, and the click its Start point");
    setHint(FindSeries, "Find series|Propose one series for each colour of curve or marker in the scan area");
    setHint(RemoveSeries, "Remove series|Remove the chosen series");
    setHint(SeriesUp, "Move up|Move the chosen series up the list");
    setHint(SeriesDown, "Move down|Move the chosen series down the list");
    setHint(SeriesMarkers, "Markers|The chosen series is a set of markers, not a line");

    Copy->setShortcut(QKeySequence("Ctrl+C"));
    Paste->setShortcut(QKeySequence("Ctrl+V"));
    // The desktop's usual keys where there are any; the rest are listed in
    // the help and the README.
    const std::pair<QAction*, const char*> keys[] = {{Open, "Ctrl+O"},
                                                     {Save, "Ctrl+S"},
                                                     {SaveAs, "Ctrl+Shift+S"},
                                                     {Print, "Ctrl+P"},
                                                     {PrintSetup, "Ctrl+Shift+P"},
                                                     {Exit, "Ctrl+Q"},
                                                     {LoadSettings, "Ctrl+Shift+O"},
                                                     {SaveSettings, "Ctrl+Alt+S"},
                                                     {Undo, "Ctrl+Z"},
                                                     {Redo, "Ctrl+Shift+Z"},
                                                     {View, "Ctrl+G"},
                                                     {Chart, "Ctrl+H"},
                                                     {Loupe, "Ctrl+L"},
                                                     {CalibrationGrid, "Ctrl+Shift+G"},
                                                     {CountedPixels, "Ctrl+Shift+C"},
                                                     {PointsOnPicture, "Ctrl+Shift+D"},
                                                     {Straightened, "Ctrl+Shift+T"},
                                                     {ZoomIn, "Ctrl++"},
                                                     {ZoomOut, "Ctrl+-"},
                                                     {FitToWindow, "Ctrl+0"},
                                                     {Options, "Ctrl+,"},
                                                     {FindAxes, "Ctrl+Shift+X"},
                                                     {FindArea, "Ctrl+Shift+R"},
                                                     {Output1, "Ctrl+Shift+F"},
                                                     {Execute, "F5"},
                                                     {Contents, "F1"},
                                                     {About, "Ctrl+F1"},
                                                     {btnRemoveScan, "Del"},
                                                     {btnScanLock, "Ctrl+K"},
                                                     {tlbtnMarkO, "Ctrl+1"},
                                                     {tlbtnMarkX, "Ctrl+2"},
                                                     {tlbtnMarkY, "Ctrl+3"},
                                                     {tlbtnMarkStart, "Ctrl+4"},
                                                     {MarkCorner, "Ctrl+5"},
                                                     {MarkPoint, "Ctrl+6"},
                                                     {RemoveStart, "Ctrl+Del"},
                                                     {SeriesPanel, "Ctrl+Shift+E"},
                                                     {AddSeries, "Ctrl+Shift+A"},
                                                     {FindSeries, "Ctrl+F"},
                                                     {RemoveSeries, "Ctrl+Shift+Del"},
                                                     {SeriesUp, "Alt+Up"},
                                                     {SeriesDown, "Alt+Down"},
                                                     {SeriesMarkers, "Ctrl+Shift+M"}};
    for (const auto& [action, key] : keys)
        action->setShortcut(QKeySequence(key));
    // Ctrl+= is Ctrl++ without Shift on most keyboards.
    ZoomIn->setShortcuts({QKeySequence("Ctrl++"), QKeySequence("Ctrl+=")});
    for (QAction* a : {Loupe, View, Chart})
        a->setCheckable(true);

    setHint(Open, "Open|Open a bitmap graph file");
    setHint(Save, "Save|Save the output as a text file");
    setHint(Copy, "Copy|Copy the output to the clipboard");
    setHint(Paste, "Paste|Paste a bitmap graph from the clipboard");
    setHint(LoadSettings, "Load Settings|Load the calibration, scan area and output fields from a settings file");
    setHint(SaveSettings, "Save Settings|Save the calibration, scan area and output fields to a settings file");
    setHint(Options, "Options|Select your scan parameters");
    setHint(Execute, "Execute|Scan the bitmap graph to x,y values");
    setHint(FindAxes, "Find Axes|Propose the calibration from the picture's axes, ticks and labels");
    setHint(FindArea, "Find Area|Propose the area inside the frame or the axes");
    setHint(Contents, "Help|Contents");
    setHint(btnRemoveScan, "Remove scan area");
    setHint(btnScanLock, "Lock or unlock scan area");
    setHint(RemoveStart, "Remove Start Mark|Remove the point where curve following starts");
    Open->setIcon(listIcon(":/icons/on-open.png", ":/icons/off-open.png"));
    Save->setIcon(listIcon(":/icons/on-save.png", ":/icons/off-save.png"));
    Copy->setIcon(listIcon(":/icons/on-copy.png", ":/icons/off-copy.png"));
    Paste->setIcon(listIcon(":/icons/on-paste.png", ":/icons/off-paste.png"));
    Options->setIcon(listIcon(":/icons/on-options.png", ":/icons/off-options.png"));
    Execute->setIcon(listIcon(":/icons/on-execute.png", ":/icons/off-execute.png"));
    Contents->setIcon(listIcon(":/icons/on-help.png", ":/icons/off-help.png"));

    // The mark buttons carry their caption as the status hint only.
    int picture = 4;
    for (QAction* a : {tlbtnMarkO, tlbtnMarkX, tlbtnMarkY}) {
        a->setCheckable(true);
        a->setStatusTip(a->text());
        a->setIcon(QIcon(QString(":/icons/scan-%1.png").arg(picture)));
        picture += 2;
    }
    tlbtnMarkStart->setCheckable(true);
    setHint(tlbtnMarkStart, "Start|Mark the point on the curve where curve following starts");
    MarkCorner->setCheckable(true);
    setHint(MarkCorner, "C|Mark the chart's corner C, where real x and real y are both the real references");
    MarkPoint->setCheckable(true);
    setHint(MarkPoint, "Point|Add a further reference point and type its real values");
}

void Commands::updateActions(const Document& d, const ViewFacts& v) const
{
    // Options and Load Settings take a picture on view; Execute and Save
    // Settings, settings that passed the checks whole.
    const bool options = d.picture.loaded && !d.picture.refused;
    const bool execute = d.picture.loaded && d.accepted;
    const bool startSet = d.settings.Follow.StartX >= 0 && d.settings.Follow.StartY >= 0;
    const bool areaSet = d.settings.ScanStartX >= 0 && d.settings.ScanEndX >= 0;
    const int seriesCount = int(d.settings.Series.size());
    const bool chosen = v.selectedSeries >= 0 && v.selectedSeries < seriesCount;
    const std::pair<QAction*, bool> enabled[] = {
        {Save, d.hasResult},
        {SaveAs, d.hasResult},
        {Copy, d.hasResult},
        {Options, options},
        {FindAxes, options},
        {FindArea, options},
        {LoadSettings, options},
        {Execute, execute},
        {SaveSettings, execute},
        {Undo, v.canUndo},
        {Redo, v.canRedo},
        {ZoomIn, v.pictureOnView && v.canZoomIn},
        {ZoomOut, v.pictureOnView && v.canZoomOut},
        {FitToWindow, v.pictureOnView && !v.fitted},
        {btnRemoveScan, !d.marks.locked},
        {RemoveStart, startSet},
        {Straightened, v.pictureOnView && !d.settings.Calibration.aligned()},
        {AddSeries, v.addingSeries || (options && v.markMode == MarkingTool::NoMark)},
        {FindSeries, options && areaSet},
        {RemoveSeries, chosen},
        {SeriesUp, chosen && v.selectedSeries > 0},
        {SeriesDown, chosen && v.selectedSeries + 1 < seriesCount},
        {SeriesMarkers, chosen}};
    for (const auto& [action, on] : enabled)
        action->setEnabled(on);
    // While one mark button is down, the others are disabled.
    const std::pair<QAction*, MarkingTool::Mode> marks[] = {
        {tlbtnMarkO, MarkingTool::OriginMark}, {tlbtnMarkX, MarkingTool::X1Mark},
        {tlbtnMarkY, MarkingTool::Y1Mark},     {tlbtnMarkStart, MarkingTool::StartMark},
        {MarkCorner, MarkingTool::CornerMark}, {MarkPoint, MarkingTool::PointMark}};
    // The corner is the four-point kind's; further points, the kinds that fit them.
    const CalibrationKind kind = d.settings.Calibration.Kind;
    MarkCorner->setVisible(kind == CalibrationKind::FourPoint);
    MarkPoint->setVisible(kind != CalibrationKind::Axes);
    for (const auto& [action, mode] : marks) {
        action->setChecked(v.markMode == mode);
        // A mode left on when its kind went (an undo) can still be left.
        action->setEnabled(v.markMode == mode || (action->isVisible() && v.markMode == MarkingTool::NoMark));
    }
    const std::pair<QAction*, bool> checked[] = {
        {View, v.gridShown},
        {Chart, v.chartShown},
        {Loupe, v.loupe},
        {CalibrationGrid, v.calibrationGrid},
        {CountedPixels, v.countedPixels},
        {PointsOnPicture, v.pointsOnPicture},
        {Straightened, v.straightened},
        {SeriesPanel, v.seriesPanel},
        {AddSeries, v.addingSeries},
        {SeriesMarkers, chosen && d.settings.Series[size_t(v.selectedSeries)].Kind == SeriesKind::Markers}};
    for (const auto& [action, on] : checked)
        action->setChecked(on);
    // The open padlock and the eraser, or the closed padlock and the grey eraser.
    const bool locked = d.marks.locked;
    btnScanLock->setIcon(listIcon(QString(":/icons/scan-%1.png").arg(locked ? 3 : 2)));
    btnRemoveScan->setIcon(listIcon(QString(":/icons/scan-%1.png").arg(locked ? 1 : 0), ":/icons/scan-1.png"));
}

void Commands::buildMenus(QMainWindow& window)
{
    QMenu* file = window.menuBar()->addMenu("&File");
    file->addActions({Open, Save, SaveAs});
    file->addSeparator()->setObjectName("N4");
    file->addActions({LoadSettings, SaveSettings});
    file->addSeparator()->setObjectName("N2");
    file->addActions({Print, PrintSetup});
    file->addSeparator()->setObjectName("N1");
    file->addAction(Exit);
    QMenu* edit = window.menuBar()->addMenu("&Edit");
    edit->addActions({Undo, Redo});
    edit->addSeparator()->setObjectName("N4");
    edit->addActions({Copy, Paste});
    edit->addSeparator()->setObjectName("N3");
    edit->addActions({View, Chart});
    ViewMenu = window.menuBar()->addMenu("&View");
    ViewMenu->setObjectName("ViewMenu");
    ViewMenu->menuAction()->setVisible(false); // shown once it holds a command
    ViewMenu->addAction(CalibrationGrid);
    ViewMenu->addActions({CountedPixels, PointsOnPicture, Straightened, SeriesPanel});
    ViewMenu->addSeparator()->setObjectName("N4");
    ViewMenu->addAction(Loupe);
    ViewMenu->addSeparator()->setObjectName("N5");
    ViewMenu->addActions({ZoomIn, ZoomOut, FitToWindow});
    ViewMenu->menuAction()->setVisible(true);
    QMenu* scanMenu = window.menuBar()->addMenu("&Scan");
    scanMenu->setObjectName("ScanMenu");
    scanMenu->addActions({FindAxes, FindArea});
    scanMenu->addSeparator();
    scanMenu->addActions({Options, Output1, Execute});
    scanMenu->addSeparator()->setObjectName("N6");
    scanMenu->addAction(RemoveStart);
    scanMenu->addSeparator()->setObjectName("N7");
    scanMenu->addActions({AddSeries, FindSeries});
    QMenu* helpMenu = window.menuBar()->addMenu("&Help");
    helpMenu->addActions({Contents, About});
    // Menu items carry no hints: while one is highlighted the status bar is empty.
    auto* filter = new HintFilter(&window);
    for (QMenu* m : {file, edit, ViewMenu, scanMenu, helpMenu})
        m->installEventFilter(filter);
    window.menuBar()->installEventFilter(filter);
}

void Commands::buildToolBars(QMainWindow& window)
{
    ToolBar = newToolBar(window, "ToolBar", Qt::TopToolBarArea);
    ToolBar->addActions({Open, Save});
    ToolBar->addSeparator()->setObjectName("ToolSep1");
    ToolBar->addActions({Copy, Paste});
    ToolBar->addSeparator()->setObjectName("ToolSep2");
    ToolBar->addActions({FindAxes, Options, Execute});
    ToolBar->addSeparator()->setObjectName("ToolSep3");
    ToolBar->addAction(Contents);
    const std::pair<QAction*, const char*> buttons[] = {
        {Open, "OpenToolBtn"},       {Save, "SaveToolBtn"},       {Copy, "CopyToolBtn"},    {Paste, "PasteToolBtn"},
        {Options, "OptionsToolBtn"}, {Execute, "ExecuteToolBtn"}, {Contents, "HelpToolBtn"}};
    for (const auto& [action, name] : buttons)
        ToolBar->widgetForAction(action)->setObjectName(name);
    ToolBar->addSeparator()->setObjectName("ToolSep4");
    ToolBar->addAction(CountedPixels);
    ToolBar->widgetForAction(CountedPixels)->setObjectName("CountedPixelsToolBtn");

    tlbrScan = newToolBar(window, "tlbrScan", Qt::BottomToolBarArea);
    tlbrScan->addActions({btnRemoveScan, btnScanLock});
    tlbrScan->addSeparator()->setObjectName("tlbtnSep1");
    tlbrScan->addActions({tlbtnMarkO, tlbtnMarkX, tlbtnMarkY, tlbtnMarkStart, MarkCorner, MarkPoint});
    for (QAction* a :
         {btnRemoveScan, btnScanLock, tlbtnMarkO, tlbtnMarkX, tlbtnMarkY, tlbtnMarkStart, MarkCorner, MarkPoint})
        tlbrScan->widgetForAction(a)->setObjectName(a->objectName());
    // The mark buttons follow the bar, whose tooltips are off.
    auto* filter = new HintFilter(&window);
    for (QAction* a : {tlbtnMarkO, tlbtnMarkX, tlbtnMarkY})
        tlbrScan->widgetForAction(a)->installEventFilter(filter);
}

bool HintFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::StatusTip && (qobject_cast<QMenu*>(watched) || qobject_cast<QMenuBar*>(watched))) {
        // Sent on to the window as an empty hint.
        QStatusTipEvent empty{QString()};
        QApplication::sendEvent(parent(), &empty);
        return true;
    }
    if (event->type() == QEvent::ToolTip && qobject_cast<QToolButton*>(watched))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace plotrun
