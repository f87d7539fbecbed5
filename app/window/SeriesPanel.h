#pragma once
// The Series panel: a dock that lists the figure's series, each with a
// swatch of its colour, its name (edited in place), its kind and its Start
// point, with the buttons of the series commands over the list. It shows the
// document's series and tells what the user typed or chose; the window
// changes the document.

#include "ScanSettings.h"

#include <QDockWidget>

#include <vector>

class QTableWidget;
class QTableWidgetItem;
class QToolBar;

namespace plotrun {

struct Commands;

class SeriesPanel : public QDockWidget {
    Q_OBJECT

public:
    SeriesPanel(const Commands& commands, QWidget* parent);

    // The list as the document holds it; the chosen row stays where it can.
    // `again`: filled anew also when the list looks the same (a refused
    // name goes back to the one held).
    void showSeries(const std::vector<SeriesSettings>& series, bool again = false);
    // The chosen row, -1 for none.
    int chosen() const;
    void choose(int row);
    const QTableWidget& list() const { return *list_; }

signals:
    // A name typed over the series' old one.
    void renamed(int row, const QString& name);
    // The chosen row, or the panel's visibility, changed.
    void viewChanged();

private:
    QTableWidget* list_ = nullptr;
    std::vector<SeriesSettings> shown_;
    bool filling_ = false;
};

} // namespace plotrun
