#include "CalibrationGrid.h"

#include "PictureView.h"

#include "../../dialogs/Notice.h"
#include "ChartMap.h"
#include "GridValues.h"
#include "NumberText.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
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
    if (!calibrated_ || screen.empty() || !settings_.Calibration.aligned())
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
    if (!calibrated_ || screen.empty() || !settings_.Calibration.aligned())
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

// The frame rectangle that the picture's corners span; every frame line of a
// round value in it is a straight line on the picture (a perspective keeps
// lines straight), drawn between its ends at the frame's edges.
std::vector<CalibrationGrid::Segment> CalibrationGrid::chartLines() const
{
    std::vector<Segment> lines;
    const ScreenMap screen = view_.screenMap();
    if (!calibrated_ || screen.empty() || settings_.Calibration.aligned())
        return lines;
    const ChartMap chart(settings_);
    const ChartFit* fit = chart.fit();
    if (!fit || fit->problem != FitProblem::None)
        return lines;
    const double w = screen.picture().width(), h = screen.picture().height();
    double fx0 = HUGE_VAL, fx1 = -HUGE_VAL, fy0 = HUGE_VAL, fy1 = -HUGE_VAL;
    for (const double x : {0.0, w})
        for (const double y : {0.0, h}) {
            // A corner beyond the horizon of a perspective has no place in the frame.
            if (!(fit->toFrame.weight(x, y) > 0))
                return lines;
            const ChartPoint f = chart.toFrame(x, y);
            fx0 = std::min(fx0, f.x);
            fx1 = std::max(fx1, f.x);
            fy0 = std::min(fy0, f.y);
            fy1 = std::max(fy1, f.y);
        }
    const auto view = [&](double fx, double fy) {
        const ChartPoint p = chart.fromFrame(fx, fy);
        return QPointF(screen.viewX(p.x + 0.5), screen.viewY(screen.pictureYOf(p.y) + 0.5));
    };
    const double diagonal = std::hypot(screen.frame().width(), screen.frame().height());
    for (const GridValue& g : gridValues(chart, ChartAxis::X, fx0, fx1, diagonal / kColumnSpacing))
        lines.push_back({g.real, true, QLineF(view(g.bitmap, fy0), view(g.bitmap, fy1)), label(g.real)});
    for (const GridValue& g : gridValues(chart, ChartAxis::Y, fy0, fy1, diagonal / kRowSpacing / 2))
        lines.push_back({g.real, false, QLineF(view(fx0, g.bitmap), view(fx1, g.bitmap)), label(g.real)});
    return lines;
}

void CalibrationGrid::paintEvent(QPaintEvent*)
{
    const std::vector<Line> columns = verticalLines(), rows = horizontalLines();
    const std::vector<Segment> slanted = chartLines();
    if (columns.empty() && rows.empty() && slanted.empty())
        return;
    QPainter p(this);
    p.setPen(QPen(lineColour(), 0));
    if (!slanted.empty()) {
        // Each label where its line enters the view's bottom (x) or left (y) side.
        p.setRenderHint(QPainter::Antialiasing, true);
        QFont small = font();
        small.setPointSizeF(7);
        p.setFont(small);
        const QRectF shown(rect());
        for (const Segment& s : slanted) {
            p.drawLine(s.line);
            const QLineF clipped = s.line;
            QPointF at = s.alongY ? (clipped.p1().y() > clipped.p2().y() ? clipped.p1() : clipped.p2())
                                  : (clipped.p1().x() < clipped.p2().x() ? clipped.p1() : clipped.p2());
            at.setX(std::clamp(at.x(), 2.0, shown.width() - 40));
            at.setY(std::clamp(at.y(), 12.0, shown.height() - 4));
            p.drawText(at + (s.alongY ? QPointF(2, -2) : QPointF(2, -2)), s.label);
        }
        return;
    }
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
