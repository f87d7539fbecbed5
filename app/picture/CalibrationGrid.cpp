#include "CalibrationGrid.h"

#include "PictureView.h"

#include "../../dialogs/Notice.h"
#include "ChartMap.h"
#include "GridValues.h"
#include "NumberText.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

namespace plotrun {

namespace {

// The least distance between two lines, in window pixels: room for a label.
constexpr double kColumnSpacing = 80;
constexpr double kRowSpacing = 30;

QString label(double v) { return QString::fromStdString(formatReal(v, decimalSeparator())); }

} // namespace

CalibrationGrid::CalibrationGrid(PictureView& view, const ScanSettings& settings)
    : QWidget(&view), view_(view), settings_(settings)
{
    setObjectName("CalibrationGrid");
    // The mouse goes through to the picture, for marking and the readout.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(view.rect());
    view.installEventFilter(this);
    connect(&view, &PictureView::pictureChanged, this, qOverload<>(&QWidget::update));
    hide();
}

void CalibrationGrid::setCalibrated(bool calibrated)
{
    calibrated_ = calibrated;
    update();
}

bool CalibrationGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == parentWidget())
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

// A value lies on the picture pixel whose bitmap coordinate is nearest to
// the one the calibration gives; the line runs through the middle of that
// pixel's display.
std::vector<CalibrationGrid::Line> CalibrationGrid::verticalLines() const
{
    std::vector<Line> lines;
    const ScreenMap screen = view_.screenMap();
    if (!calibrated_ || screen.empty())
        return lines;
    const int pictureWidth = screen.picture().width();
    const ChartMap chart(settings_);
    for (const GridValue& g :
         gridValues(chart, ChartAxis::X, 0, pictureWidth, screen.frame().width() / kColumnSpacing)) {
        if (!(g.bitmap > -0.5 && g.bitmap < pictureWidth - 0.5))
            continue;
        const double column = std::round(g.bitmap);
        lines.push_back({g.real, int(screen.viewX(column + 0.5)), label(g.real)});
    }
    return lines;
}

std::vector<CalibrationGrid::Line> CalibrationGrid::horizontalLines() const
{
    std::vector<Line> lines;
    const ScreenMap screen = view_.screenMap();
    if (!calibrated_ || screen.empty())
        return lines;
    const int pictureHeight = screen.picture().height();
    const ChartMap chart(settings_);
    for (const GridValue& g :
         gridValues(chart, ChartAxis::Y, 0, pictureHeight, screen.frame().height() / kRowSpacing)) {
        if (!(g.bitmap > 0.5 && g.bitmap < pictureHeight + 0.5))
            continue;
        const double row = screen.pictureYOf(std::round(g.bitmap));
        lines.push_back({g.real, int(screen.viewY(row + 0.5)), label(g.real)});
    }
    return lines;
}

void CalibrationGrid::paintEvent(QPaintEvent*)
{
    const std::vector<Line> columns = verticalLines(), rows = horizontalLines();
    if (columns.empty() && rows.empty())
        return;
    QPainter p(this);
    p.setPen(QPen(lineColour(), 0));
    for (const Line& l : columns)
        p.drawLine(l.position, 0, l.position, height() - 1);
    for (const Line& l : rows)
        p.drawLine(0, l.position, width() - 1, l.position);

    // Labels on a pale ground, at the bottom for x and at the left for y.
    QFont small = font();
    small.setPointSizeF(7);
    p.setFont(small);
    const QFontMetrics fm(small);
    const auto tag = [&](const QString& text, int x, int y) {
        const QRect box(x, y, fm.horizontalAdvance(text) + 4, fm.height());
        p.fillRect(box, QColor(255, 255, 255, 200));
        p.drawText(box, Qt::AlignCenter, text);
    };
    for (const Line& l : columns)
        tag(l.label, l.position + 2, height() - fm.height() - 2);
    for (const Line& l : rows)
        tag(l.label, 2, l.position - fm.height() - 1);
}

} // namespace plotrun
