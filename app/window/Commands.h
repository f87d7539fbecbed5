#pragma once
// The window's commands: one action each, shared by the menu item and the
// tool button, with their captions, hints and pictures; and the menus and
// tool bars that show them.

#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace plotrun {

struct Commands {
    // Creates the actions as children of the window, with their start state.
    explicit Commands(QMainWindow& window);

    // The menu bar, the top tool bar and the bottom tool bar of marking.
    void buildMenus(QMainWindow& window);
    void buildToolBars(QMainWindow& window);

    // The lock button's pictures follow the lock.
    void showLock(bool locked) const;

    QAction *Open, *Save, *SaveAs, *Print, *PrintSetup, *Exit;
    // The settings file: enabled with Options (load) and with Execute (save).
    QAction *LoadSettings, *SaveSettings;
    QAction *Copy, *Paste, *View, *Chart;
    QAction *Options, *Output1, *Execute;
    QAction *Contents, *About;
    QAction* CalibrationGrid; // View: round real values drawn over the picture
    // The views over the picture, in the View menu.
    QAction *CountedPixels, *PointsOnPicture;
    QAction *btnRemoveScan, *btnScanLock, *tlbtnMarkO, *tlbtnMarkX, *tlbtnMarkY;
    QAction* tlbtnMarkStart; // the start point of curve following
    // Undo and redo of edits; the loupe and the zoom of the picture.
    QAction *Undo, *Redo, *Loupe, *ZoomIn, *ZoomOut, *FitToWindow;

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
