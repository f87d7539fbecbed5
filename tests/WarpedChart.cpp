#include "WarpedChart.h"

#include "../files/PictureFile.h"
#include "ColumnScan.h"

#include <QPainter>
#include <QPainterPath>

namespace plotrun::test {

namespace {

// The plot frame in painter coordinates, before the warp.
constexpr double kLeft = 110, kTop = 60, kRight = 840, kBottom = 570;

QPointF chartPoint(double x, double y) { return {kLeft + x / 10 * (kRight - kLeft), kBottom - y * (kBottom - kTop)}; }

} // namespace

// A pixel's centre lies half a pixel into it: column c holds painter x from
// c to c + 1 and has bitmap x c; row r holds painter y from r to r + 1 and
// has bitmap y height - r.
double WarpedChart::bitmapX(double realX, double realY) const { return warp.map(chartPoint(realX, realY)).x() - 0.5; }

double WarpedChart::bitmapY(double realX, double realY) const
{
    return picture.height() - warp.map(chartPoint(realX, realY)).y() + 0.5;
}

ScanSettings WarpedChart::settings(CalibrationKind kind, int scanWidth) const
{
    ScanSettings s;
    s.Calibration.Kind = kind;
    s.OriginX = bitmapX(0, 0);
    s.OriginY = bitmapY(0, 0);
    s.RefX = bitmapX(10, 0);
    s.Calibration.X1Y = bitmapY(10, 0);
    s.Calibration.Y1X = bitmapX(0, 1);
    s.RefY = bitmapY(0, 1);
    s.Calibration.CornerX = bitmapX(10, 1);
    s.Calibration.CornerY = bitmapY(10, 1);
    s.RealRefX = 10;
    s.RealRefY = 1;
    s.HasRealRefX = s.HasRealRefY = true;
    s.ScanStartX = s.OriginX;
    s.ScanStartY = s.OriginY;
    s.ScanEndX = s.Calibration.CornerX;
    s.ScanEndY = s.Calibration.CornerY;
    s.ScanWidth = scanWidth;
    s.Threshold = 128;
    return s;
}

WarpedChart drawWarpedChart(const QTransform& warp, QRgb ink, int width, int height)
{
    WarpedChart chart{QImage(width, height, QImage::Format_RGB32), warp};
    chart.picture.fill(Qt::white);
    QPainter p(&chart.picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setWorldTransform(warp);
    p.setPen(QPen(QColor(0xAA, 0xAA, 0xAA), 1));
    for (int i = 1; i < 10; ++i) {
        p.drawLine(chartPoint(i, 0), chartPoint(i, 1));
        p.drawLine(chartPoint(0, i / 10.0), chartPoint(10, i / 10.0));
    }
    p.setPen(QPen(Qt::black, 1.5));
    QFont font = p.font();
    font.setPixelSize(15);
    p.setFont(font);
    for (int i = 0; i <= 10; ++i) {
        p.drawLine(chartPoint(i, 0), chartPoint(i, 0) + QPointF(0, 7));
        p.drawLine(chartPoint(0, i / 10.0), chartPoint(0, i / 10.0) - QPointF(7, 0));
        p.drawText(QRectF(chartPoint(i, 0) + QPointF(-20, 10), QSizeF(40, 18)), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(i));
        p.drawText(QRectF(chartPoint(0, i / 10.0) + QPointF(-54, -9), QSizeF(44, 18)),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(i / 10.0));
    }
    QPainterPath path;
    for (int i = 0; i <= 500; ++i) {
        const double x = i / 50.0;
        if (i == 0)
            path.moveTo(chartPoint(x, WarpedChart::curve(x)));
        else
            path.lineTo(chartPoint(x, WarpedChart::curve(x)));
    }
    p.setPen(QPen(QColor(ink), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(QPen(Qt::black, 2));
    p.drawRect(QRectF(chartPoint(0, 1), chartPoint(10, 0)));
    return chart;
}

QTransform rotationAboutCentre(double degrees, int width, int height)
{
    QTransform t;
    t.translate(width / 2.0, height / 2.0);
    t.rotate(degrees);
    t.translate(-width / 2.0, -height / 2.0);
    return t;
}

QTransform photoPerspective(int width, int height)
{
    const double w = width, h = height;
    QTransform t;
    QTransform::quadToQuad(QPolygonF({QPointF(0, 0), QPointF(w, 0), QPointF(w, h), QPointF(0, h)}),
                           QPolygonF({QPointF(0.05 * w, 0.06 * h), QPointF(0.93 * w, 0.02 * h),
                                      QPointF(0.99 * w, 0.97 * h), QPointF(0.01 * w, 0.95 * h)}),
                           t);
    return t;
}

CurveError curveError(const QImage& picture, ScanSettings s)
{
    const QImage pixels = toScanPixels(picture);
    const ScanChecks checks = checkScan(s);
    double sum2 = 0, worst = 0;
    int rows = 0;
    runColumnScan(pixelView(pixels), s, checks, false,
                  {[&](const ResultRow& r) {
                       const double e = r.realY - WarpedChart::curve(r.realX);
                       sum2 += e * e;
                       worst = std::max(worst, std::fabs(e));
                       ++rows;
                   },
                   nullptr, nullptr});
    CurveError e;
    e.rmsPercent = rows ? 100 * std::sqrt(sum2 / rows) : 1e9;
    e.worstPercent = 100 * worst;
    e.pointShare = checks.stripCount ? double(rows) / checks.stripCount : 0;
    return e;
}

} // namespace plotrun::test
