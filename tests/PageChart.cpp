#include "PageChart.h"

#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <cmath>

namespace plotrun::test {

namespace {

double px(double x) { return PageChart::kLeft + x / 10 * (PageChart::kRight - PageChart::kLeft); }
double py(double y) { return PageChart::kBottom - y * (PageChart::kBottom - PageChart::kTop); }

void drawChart(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(Qt::black, 0.5));
    for (int i = 1; i < 10; ++i) {
        p.drawLine(QPointF(px(i), PageChart::kTop), QPointF(px(i), PageChart::kBottom));
        p.drawLine(QPointF(PageChart::kLeft, py(i / 10.0)), QPointF(PageChart::kRight, py(i / 10.0)));
    }
    QFont font("DejaVu Sans");
    font.setPointSizeF(8);
    p.setFont(font);
    for (int i = 0; i <= 10; ++i) {
        p.drawLine(QPointF(px(i), PageChart::kBottom - 3), QPointF(px(i), PageChart::kBottom + 3));
        p.drawLine(QPointF(PageChart::kLeft - 3, py(i / 10.0)), QPointF(PageChart::kLeft + 3, py(i / 10.0)));
        p.drawText(QRectF(px(i) - 12, PageChart::kBottom + 4, 24, 10), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(i));
        p.drawText(QRectF(PageChart::kLeft - 30, py(i / 10.0) - 5, 24, 10), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(i / 10.0));
    }
    p.drawText(QRectF(PageChart::kLeft, 8, PageChart::kRight - PageChart::kLeft, 20), Qt::AlignCenter,
               "Figure 3. Response of the sample");
    QPainterPath path;
    for (int i = 0; i <= 1000; ++i) {
        const double x = i / 100.0;
        const QPointF at(px(x), py(PageChart::curve(x)));
        if (i == 0)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
    p.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(QRectF(PageChart::kLeft, PageChart::kTop, PageChart::kRight - PageChart::kLeft,
                      PageChart::kBottom - PageChart::kTop));
}

} // namespace

double PageChart::curve(double x) { return 0.5 + 0.3 * std::sin(0.7 * x) + 0.01 * x; }

double PageChart::seenAt(double x, int dpi)
{
    const double pixel = 72.0 / dpi; // in points
    return curve(x + 0.5 * pixel / (kRight - kLeft) * 10) + 0.5 * pixel / (kBottom - kTop);
}

bool PageChart::writePdf(const QString& path)
{
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QSizeF(kWidth, kHeight), QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(72);
    QPainter p;
    if (!p.begin(&pdf))
        return false;
    QFont font("DejaVu Sans");
    font.setPointSizeF(11);
    p.setFont(font);
    p.drawText(QRectF(72, 72, 288, 180), Qt::TextWordWrap,
               "The measurements of the sample follow on the next page. Each point is the mean of five runs; "
               "the line joins the means.");
    pdf.newPage();
    drawChart(p);
    return p.end();
}

bool PageChart::writeSvg(const QString& path)
{
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(int(kWidth), int(kHeight)));
    svg.setViewBox(QRectF(0, 0, kWidth, kHeight));
    svg.setResolution(72);
    QPainter p;
    if (!p.begin(&svg))
        return false;
    drawChart(p);
    return p.end();
}

ScanSettings PageChart::settings(int dpi, int scanWidth)
{
    const double s = dpi / 72.0, height = std::round(kHeight * s);
    ScanSettings r;
    r.OriginX = std::round(kLeft * s);
    r.OriginY = height - std::round(kBottom * s);
    r.RefX = std::round(kRight * s);
    r.RefY = height - std::round(kTop * s);
    r.RealRefX = 10;
    r.RealRefY = 1;
    r.HasRealRefX = r.HasRealRefY = true;
    const double margin = std::round(s);
    r.ScanStartX = r.OriginX - margin;
    r.ScanEndX = r.RefX + margin;
    r.ScanStartY = r.OriginY - margin;
    r.ScanEndY = r.RefY + margin;
    r.ScanWidth = scanWidth;
    r.Threshold = 128;
    r.Follow.On = true;
    r.Follow.RemoveLines = true;
    return r;
}

} // namespace plotrun::test
