#include "SeriesPanel.h"

#include "Commands.h"
#include "SeriesColours.h"

#include "InkModel.h"
#include "NumberText.h"

#include <QAction>
#include <QHeaderView>
#include <QPainter>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace plotrun {

namespace {

enum Column { NameColumn, KindColumn, StartColumn };

// The ink, or black for darkness; a series shown in a palette colour has a
// rim of that colour.
QIcon swatch(const std::vector<SeriesSettings>& series, size_t i)
{
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QColor shown = seriesColour(series, i);
    p.setPen(QPen(series[i].HasInk ? QColor(90, 90, 90) : shown, 1));
    p.setBrush(series[i].HasInk ? inkColour(series[i].Ink) : QColor(Qt::black));
    p.drawRect(0, 0, 13, 13);
    if (!series[i].HasInk) {
        p.setPen(QPen(shown, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(1, 1, 11, 11);
    }
    return QIcon(pm);
}

QString startText(const SeriesSettings& s)
{
    if (s.StartX < 0 || s.StartY < 0)
        return "-";
    const auto n = [](double v) { return QString::fromStdString(formatWhole(int64_t(v))); };
    return "(" + n(s.StartX) + ", " + n(s.StartY) + ")";
}

} // namespace

SeriesPanel::SeriesPanel(const Commands& c, QWidget* parent) : QDockWidget("Series", parent)
{
    setObjectName("SeriesPanel");
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    // Two rows of buttons, so that the panel may be narrow: the list's
    // commands, then those of the chosen series.
    for (const QList<QAction*>& row : {QList<QAction*>{c.AddSeries, c.FindSeries},
                                       QList<QAction*>{c.SeriesUp, c.SeriesDown, c.SeriesMarkers, c.RemoveSeries}}) {
        auto* buttons = new QToolBar(body);
        buttons->setToolButtonStyle(Qt::ToolButtonTextOnly);
        buttons->addActions(row);
        for (QAction* a : row)
            buttons->widgetForAction(a)->setObjectName(a->objectName() + "Btn");
        layout->addWidget(buttons);
    }
    list_ = new QTableWidget(0, 3, body);
    list_->setObjectName("SeriesList");
    list_->setHorizontalHeaderLabels({"Name", "Kind", "Start"});
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::SelectedClicked);
    layout->addWidget(list_);
    setWidget(body);
    connect(list_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_ && item->column() == NameColumn)
            emit renamed(item->row(), item->text());
    });
    connect(list_, &QTableWidget::itemSelectionChanged, this, [this] {
        if (!filling_)
            emit viewChanged();
    });
    // Double-clicking the kind changes it, as the Markers button does.
    connect(list_, &QTableWidget::cellDoubleClicked, this, [&c](int, int column) {
        if (column == KindColumn && c.SeriesMarkers->isEnabled())
            c.SeriesMarkers->trigger();
    });
    connect(this, &QDockWidget::visibilityChanged, this, &SeriesPanel::viewChanged);
}

void SeriesPanel::showSeries(const std::vector<SeriesSettings>& series, bool again)
{
    if (!again && series == shown_ && list_->rowCount() == int(series.size()))
        return;
    const int was = chosen();
    filling_ = true;
    shown_ = series;
    list_->setRowCount(int(series.size()));
    for (size_t i = 0; i < series.size(); ++i) {
        const SeriesSettings& s = series[i];
        auto* name = new QTableWidgetItem(swatch(series, i), QString::fromStdString(s.Name));
        name->setToolTip(s.HasInk ? QString::fromStdString("Ink " + colourText(s.Ink)) : QString("Darkness"));
        auto* kind = new QTableWidgetItem(s.Kind == SeriesKind::Markers ? "markers" : "line");
        auto* start = new QTableWidgetItem(startText(s));
        for (QTableWidgetItem* fixed : {kind, start})
            fixed->setFlags(fixed->flags() & ~Qt::ItemIsEditable);
        list_->setItem(int(i), NameColumn, name);
        list_->setItem(int(i), KindColumn, kind);
        list_->setItem(int(i), StartColumn, start);
    }
    list_->resizeColumnToContents(NameColumn);
    list_->resizeColumnToContents(KindColumn);
    filling_ = false;
    choose(std::min(was, int(series.size()) - 1));
}

int SeriesPanel::chosen() const
{
    const QList<QTableWidgetItem*> items = list_->selectedItems();
    return items.isEmpty() ? -1 : items.front()->row();
}

void SeriesPanel::choose(int row)
{
    filling_ = true;
    if (row < 0)
        list_->clearSelection();
    else
        list_->selectRow(row);
    filling_ = false;
    emit viewChanged();
}

} // namespace plotrun
