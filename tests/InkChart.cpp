#include "InkChart.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace plotrun::test {

namespace {

struct Frame {
    int left, top, right, bottom; // painter coordinates of the plot frame
};

Frame frameOf(int width, int height) { return {width / 10, height / 15, width - width / 20, height - height / 10}; }

} // namespace

QImage InkChart::draw(int width, int height, bool third)
{
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(Qt::white);
    const Frame f = frameOf(width, height);
    // Half a pixel down: a pixel row r holds the painter's y from r to r + 1,
    // and its bitmap y is height - r, so a curve drawn at y + 0.5 lies at the
    // bitmap y that the calibration gives the real y.
    const auto px = [&](double x) { return f.left + x / 10 * (f.right - f.left); };
    const auto py = [&](double y) { return f.bottom - y * (f.bottom - f.top) + 0.5; };

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(QPen(QColor(kGrid), 1));
    for (int i = 1; i < 10; ++i) {
        p.drawLine(QPointF(px(i), f.top), QPointF(px(i), f.bottom));
        p.drawLine(QPointF(f.left, py(i / 10.0)), QPointF(f.right, py(i / 10.0)));
    }
    p.setPen(QPen(Qt::black, 1));
    QFont font = p.font();
    font.setPixelSize(std::max(8, height / 40));
    p.setFont(font);
    for (int i = 0; i <= 10; ++i) {
        p.drawText(QRectF(px(i) - 20, f.bottom + 4, 40, 16), Qt::AlignHCenter | Qt::AlignTop, QString::number(i));
        p.drawText(QRectF(f.left - 44, py(i / 10.0) - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(i / 10.0));
    }
    p.drawText(QRectF(px(0.3), py(0.97), 200, 20), Qt::AlignLeft | Qt::AlignTop, "Response of the sample");
    const auto curve = [&](const std::function<double(double)>& fn, QRgb colour) {
        QPainterPath path;
        for (int i = 0; i <= 400; ++i) {
            const double x = i / 40.0;
            const QPointF at(px(x), py(fn(x)));
            if (i == 0)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        p.setPen(QPen(QColor(colour), std::max(1.5, height / 300.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    };
    curve(sigmoid, kBlue);
    curve(falling, kRed);
    if (third) {
        curve(wave, kGreen);
        const QRectF box(QPointF(px(3.5), py(0.96)), QPointF(px(6.5), py(0.78)));
        p.setPen(QPen(QColor(0xCC, 0xCC, 0xCC), 1));
        p.setBrush(Qt::white);
        p.drawRect(box);
        const char* names[] = {"sigmoid", "falling", "wave"};
        const QRgb inks[] = {kBlue, kRed, kGreen};
        for (int i = 0; i < 3; ++i) {
            const double y = box.top() + box.height() * (i + 0.5) / 3;
            p.setPen(QPen(QColor(inks[i]), std::max(1.5, height / 300.0)));
            p.drawLine(QPointF(box.left() + 8, y), QPointF(box.left() + 38, y));
            p.setPen(QPen(Qt::black, 1));
            p.drawText(QRectF(box.left() + 46, y - 9, box.width() - 50, 18), Qt::AlignLeft | Qt::AlignVCenter,
                       names[i]);
        }
        p.setBrush(Qt::NoBrush);
    }
    p.setPen(QPen(Qt::black, 2));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawRect(QRect(f.left, f.top, f.right - f.left, f.bottom - f.top));
    return img;
}

ScanSettings InkChart::settings(int width, int height, int scanWidth)
{
    const Frame f = frameOf(width, height);
    ScanSettings s;
    s.OriginX = f.left;
    s.OriginY = height - f.bottom;
    s.RefX = f.right;
    s.RefY = height - f.top;
    s.RealOriginX = 0;
    s.RealOriginY = 0;
    s.RealRefX = 10;
    s.RealRefY = 1;
    s.HasRealRefX = s.HasRealRefY = true;
    s.ScanStartX = f.left;
    s.ScanEndX = f.right;
    s.ScanStartY = height - f.bottom;
    s.ScanEndY = height - f.top;
    s.ScanWidth = scanWidth;
    s.Threshold = 128;
    return s;
}

} // namespace plotrun::test
