// Halftoned charts, as a 600-dpi scan of a printed page shows them: a grey
// curve and a grey grid printed as solid black dots. Without smoothing the
// dots weigh as black; smoothed, they weigh as the grey they print. The
// points are measured against the known curve, in per cent of the y range.
#include "../files/PictureFile.h"
#include "Calibrated.h"
#include "ColumnScan.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace plotrun::test {
namespace {

// A figure 2.7 x 2 inches at 600 dpi. Real x runs 0 to 10 across the frame,
// real y 0 to 1 up it.
constexpr int kWidth = 1600, kHeight = 1200;
constexpr int kLeft = 160, kRight = 1520, kTop = 120, kBottom = 1080;

double curve(double x) { return 0.12 + 0.75 / (1 + std::exp(-1.1 * (x - 4.5))) + 0.04 * std::sin(1.7 * x); }

// The chart in greys, antialiased: a grey grid, a grey curve 0.7 pt wide, a
// black frame, tick labels and a legend above the frame.
QImage drawChart()
{
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    img.fill(Qt::white);
    // Half a pixel down, so that the curve's rows centre on the bitmap y
    // that the calibration gives its real y.
    const auto px = [](double x) { return kLeft + x / 10 * (kRight - kLeft); };
    const auto py = [](double y) { return kBottom - y * (kBottom - kTop) + 0.5; };
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(185, 185, 185), 2));
    for (int i = 1; i < 10; ++i) {
        p.drawLine(QPointF(px(i), kTop), QPointF(px(i), kBottom));
        p.drawLine(QPointF(kLeft, py(i / 10.0)), QPointF(kRight, py(i / 10.0)));
    }
    QFont font = p.font();
    font.setPixelSize(30);
    p.setFont(font);
    p.setPen(Qt::black);
    for (int i = 0; i <= 10; ++i) {
        p.drawText(QRectF(px(i) - 40, kBottom + 12, 80, 40), Qt::AlignHCenter | Qt::AlignTop, QString::number(i));
        p.drawText(QRectF(kLeft - 110, py(i / 10.0) - 20, 96, 40), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(i / 10.0));
    }
    const QPen curvePen(QColor(95, 95, 95), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.drawText(QRectF(kLeft + 120, 20, 400, 60), Qt::AlignLeft | Qt::AlignVCenter, "Transmission");
    p.setPen(curvePen);
    p.drawLine(QPointF(kLeft + 20, 50), QPointF(kLeft + 100, 50));
    QPainterPath path;
    for (int i = 0; i <= 500; ++i)
        i == 0 ? path.moveTo(px(0), py(curve(0))) : path.lineTo(px(i / 50.0), py(curve(i / 50.0)));
    p.drawPath(path);
    p.setPen(QPen(Qt::black, 4));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawRect(QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop));
    return img;
}

// Printing screens turn each grey into dots of solid black: a clustered dot
// on a screen of 6 x 6 pixels (100 lines an inch at 600 dpi), or errors
// diffused to the neighbours.
enum class Screen { ClusteredDot, ErrorDiffusion };

QImage halftone(const QImage& chart, Screen screen)
{
    // The order in which the pixels of a cell turn black, from its centre out.
    static constexpr std::array<int, 36> kCell = {34, 28, 20, 21, 29, 35, 26, 14, 8,  9,  15, 30,
                                                  19, 7,  2,  0,  4,  16, 18, 6,  1,  3,  5,  17,
                                                  25, 13, 10, 11, 12, 24, 33, 27, 22, 23, 31, 32};
    QImage out(chart.size(), QImage::Format_RGB32);
    std::vector<double> error(size_t(kWidth + 2) * 2, 0.0); // this row's and the next, with a column either side
    for (int r = 0; r < kHeight; ++r) {
        double* here = error.data() + size_t(r % 2) * (kWidth + 2) + 1;
        double* below = error.data() + size_t((r + 1) % 2) * (kWidth + 2) + 1;
        std::fill(below - 1, below + kWidth + 1, 0.0);
        const QRgb* in = reinterpret_cast<const QRgb*>(chart.constScanLine(r));
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(r));
        for (int x = 0; x < kWidth; ++x) {
            const double ink = 1 - qGray(in[x]) / 255.0; // 0 on paper, 1 for black
            bool black = false;
            if (screen == Screen::ClusteredDot) {
                black = ink * 36 > kCell[size_t((r % 6) * 6 + x % 6)];
            } else {
                const double want = ink + here[x];
                black = want >= 0.5;
                const double e = want - (black ? 1 : 0);
                here[x + 1] += e * 7 / 16;
                below[x - 1] += e * 3 / 16;
                below[x] += e * 5 / 16;
                below[x + 1] += e / 16;
            }
            o[x] = black ? 0xFF000000u : 0xFFFFFFFFu;
        }
    }
    return out;
}

// The rms error of the points in per cent of the y range, and the share of
// the strips that gave a point. The marks sit on the frame's corners; the
// area lies inside the frame, clear of it by more than the radius.
std::pair<double, double> accuracy(const QImage& halftoned, int32_t radius)
{
    ScanSettings s = calibrated(kRight, kHeight - kTop, 10, 1,
                                {kLeft + 12, kHeight - kBottom + 12.0, kRight - 12, kHeight - kTop - 12.0});
    s.OriginX = kLeft;
    s.OriginY = kHeight - kBottom;
    s.ScanWidth = 4;
    // Below the smoothed curve's darkness, above the smoothed grid's.
    s.Threshold = 50;
    s.Smooth = radius;
    const QImage pixels = toScanPixels(halftoned);
    const ScanChecks checks = checkScan(s);
    double sum2 = 0;
    int rows = 0;
    runColumnScan(pixelView(pixels), s, checks, false,
                  {[&](const ResultRow& r) {
                       sum2 += std::pow(r.realY - curve(r.realX), 2);
                       ++rows;
                   },
                   nullptr, nullptr});
    return {rows ? 100 * std::sqrt(sum2 / rows) : 1e9, double(rows) / checks.stripCount};
}

TEST(HalftoneAccuracy, SmoothingGivesTheGreyCurveBackFromItsDots)
{
    const QImage chart = drawChart();
    for (const Screen screen : {Screen::ClusteredDot, Screen::ErrorDiffusion}) {
        const char* name = screen == Screen::ClusteredDot ? "clustered dots" : "diffused errors";
        const QImage dots = halftone(chart, screen);
        // Unsmoothed, the grid's dots weigh as much as the curve's.
        const auto [raw, rawShare] = accuracy(dots, 0);
        EXPECT_GT(raw, 1.0) << name;
        const auto [smoothed, share] = accuracy(dots, 4);
        EXPECT_LE(smoothed, 0.15) << name << ": unsmoothed " << raw << " %";
        EXPECT_GE(share, 0.95) << name;
        ::testing::Test::RecordProperty(screen == Screen::ClusteredDot ? "clustered_rms_percent"
                                                                       : "diffused_rms_percent",
                                        std::to_string(smoothed));
    }
}

} // namespace
} // namespace plotrun::test
