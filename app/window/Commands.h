#pragma once
// The window's commands: one action each, shared by the menu item and the
// tool button, with their captions, hints and pictures; the menus and tool
// bars that show them; and the one place that enables and checks them.

#include "MarkingTool.h"

#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace plotrun {

struct Document;

// What the actions show besides the document: the undo stack and the views.
struct ViewFacts {
    bool canUndo = false, canRedo = false;
    bool pictureOnView = false; // a picture was shown once: zoom works
    bool canZoomIn = false, canZoomOut = false, fitted = true;
    MarkingTool::Mode markMode = MarkingTool::NoMark; // whose button is down
    bool gridShown = false, chartShown = false;       // View Output, View Chart
    bool loupe = false, calibrationGrid = false, countedPixels = false, pointsOnPicture = false;
    bool straightened = false;
    // The Series panel: shown, the series chosen in its list (-1: none), and
    // a click on the picture awaited to add a series.
    bool seriesPanel = false;
    int selectedSeries = -1;
    bool addingSeries = false;
};

struct Commands {
    // Creates the actions as children of the window, with their start state.
    explicit Commands(QMainWindow& window);

    // The menu bar, the top tool bar and the bottom tool bar of marking.
    void buildMenus(QMainWindow& window);
    void buildToolBars(QMainWindow& window);

    // Every action's enabled and checked state, and the lock button's
    // pictures, from the document and the views; nothing else sets them.
    void updateActions(const Document& document, const ViewFacts& views) const;

    QAction *Open, *Save, *SaveAs, *Print, *PrintSetup, *Exit;
    // The settings file: enabled with Options (load) and with Execute (save).
    QAction *LoadSettings, *SaveSettings;
    QAction *Copy, *Paste, *View, *Chart;
    QAction *Options, *Output1, *Execute;
    // Scan: the calibration and the area proposed from the picture's own
    // axes, ticks and labels, in the options dialog.
    QAction *FindAxes, *FindArea;
    QAction *Contents, *About;
    QAction* CalibrationGrid; // View: round real values drawn over the picture
    // The views over the picture, in the View menu.
    QAction *CountedPixels, *PointsOnPicture;
    QAction* Straightened; // the picture resampled into the chart's frame, in the kinds that have one
    QAction *btnRemoveScan, *btnScanLock, *tlbtnMarkO, *tlbtnMarkX, *tlbtnMarkY;
    QAction* tlbtnMarkStart; // the start point of curve following
    // The corner C of the four-point calibration, and further reference
    // points; shown in the kinds that use them.
    QAction *MarkCorner, *MarkPoint;
    QAction* RemoveStart; // Scan: clears the start point
    // Undo and redo of edits; the loupe and the zoom of the picture.
    QAction *Undo, *Redo, *Loupe, *ZoomIn, *ZoomOut, *FitToWindow;
    // The figure's series: the panel (View), a series added by a click on
    // its curve, those proposed for the scan area (Scan), and the chosen
    // one's removal, place in the list and kind (the panel's buttons).
    QAction *SeriesPanel, *AddSeries, *FindSeries, *RemoveSeries, *SeriesUp, *SeriesDown, *SeriesMarkers;

    // The View menu, between Edit and Scan: the views over the picture.
    QMenu* ViewMenu = nullptr;

    QToolBar* ToolBar = nullptr;
    QToolBar* tlbrScan = nullptr;
};

// Empties the status bar while a menu item is highlighted, and keeps the
// mark buttons without tooltips.
class HintFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace plotrun
