// Charts with logarithmic axes, drawn with QPainter from known functions
// (antialiased, with grid lines, a frame, tick labels and a second, lighter
// curve) and scanned by the engine; the error is measured in decades.
#include "../files/PictureFile.h"
#include "ColumnScan.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace plotrun {
namespace {

struct LogChart {
    const char* name;
    bool logX;
    double x0, x1; // the x range shown
    double y0, y1; // the y range shown, logarithmic
    std::function<double(double)> curve;
    std::function<double(double)> secondCurve;
};

// The picture and its plot frame, in painter coordinates (y down). A curve
// drawn at painter y Y covers rows whose mean is Y - 0.5, which the scan
// reports as bitmap y = H - Y + 0.5: the frame sits on whole bitmap values.
constexpr int kWidth = 720, kHeight = 540;
constexpr double kLeft = 80, kRight = 680, kTop = 40.5, kBottom = 460.5;
constexpr double kOriginX = kLeft, kRefX = kRight;                                 // bitmap x = painter x
constexpr double kOriginY = kHeight - kBottom + 0.5, kRefY = kHeight - kTop + 0.5; // 80 and 500

double fraction(double v, double a, double b, bool log)
{
    return log ? (std::log10(v) - std::log10(a)) / (std::log10(b) - std::log10(a)) : (v - a) / (b - a);
}

QPointF painterPoint(const LogChart& c, double x, double y)
{
    return {kLeft + fraction(x, c.x0, c.x1, c.logX) * (kRight - kLeft),
            kBottom - fraction(y, c.y0, c.y1, true) * (kBottom - kTop)};
}

// Round values in [a, b]: every 1 to 9 times a power of ten on a log axis,
// ten steps on a linear one.
std::vector<double> gridOf(double a, double b, bool log, bool majorOnly)
{
    std::vector<double> out;
    if (!log) {
        for (int i = 0; i <= 10; ++i)
            out.push_back(a + (b - a) * i / 10);
        return out;
    }
    for (int k = int(std::floor(std::log10(a))); k <= int(std::ceil(std::log10(b))); ++k)
        for (int m = 1; m <= (majorOnly ? 1 : 9); ++m) {
            const double v = m * std::pow(10.0, k);
            if (v >= a * (1 - 1e-12) && v <= b * (1 + 1e-12))
                out.push_back(v);
        }
    return out;
}

QString tickText(double v) { return QString::number(v, 'g', 6); }

QImage draw(const LogChart& c)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);

    // Grid lines, light enough to stay below the threshold.
    for (bool major : {false, true}) {
        p.setPen(QPen(major ? QColor(185, 185, 185) : QColor(225, 225, 225), 1));
        for (double x : gridOf(c.x0, c.x1, c.logX, major))
            p.drawLine(painterPoint(c, x, c.y0), painterPoint(c, x, c.y1));
        for (double y : gridOf(c.y0, c.y1, true, major))
            p.drawLine(painterPoint(c, c.x0, y), painterPoint(c, c.x1, y));
    }
    // Frame and tick labels, outside the scan area.
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(QPointF(kLeft, kTop), QPointF(kRight, kBottom)));
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    for (double x : gridOf(c.x0, c.x1, c.logX, true)) {
        const QPointF at = painterPoint(c, x, c.y0);
        p.drawText(QRectF(at.x() - 40, at.y() + 6, 80, 16), Qt::AlignCenter, tickText(x));
    }
    for (double y : gridOf(c.y0, c.y1, true, true)) {
        const QPointF at = painterPoint(c, c.x0, y);
        p.drawText(QRectF(at.x() - 76, at.y() - 8, 70, 16), Qt::AlignRight | Qt::AlignVCenter, tickText(y));
    }
    p.drawText(QRectF(kLeft, 8, kRight - kLeft, 24), Qt::AlignCenter, c.name);

    const auto path = [&](const std::function<double(double)>& f) {
        QPainterPath line;
        constexpr int kSamples = 3000;
        for (int i = 0; i <= kSamples; ++i) {
            const double t = double(i) / kSamples;
            const double x = c.logX ? c.x0 * std::pow(c.x1 / c.x0, t) : c.x0 + (c.x1 - c.x0) * t;
            const QPointF at = painterPoint(c, x, f(x));
            if (i == 0)
                line.moveTo(at);
            else
                line.lineTo(at);
        }
        return line;
    };
    // The second curve is light orange: its darkness stays below the threshold.
    p.setPen(QPen(QColor(255, 175, 90), 2));
    p.drawPath(path(c.secondCurve));
    p.setPen(QPen(QColor(0, 0, 150), 1.6));
    p.drawPath(path(c.curve));
    return image;
}

struct Measured {
    size_t rows = 0;
    double rmsDecades = 0;
    double worstDecades = 0;
};

Measured scanChart(const LogChart& c)
{
    const QImage pixels = toScanPixels(draw(c));
    ScanSettings s;
    s.OriginX = kOriginX;
    s.RefX = kRefX;
    s.OriginY = kOriginY;
    s.RefY = kRefY;
    s.RealOriginX = c.x0;
    s.RealRefX = c.x1;
    s.RealOriginY = c.y0;
    s.RealRefY = c.y1;
    s.HasRealRefX = s.HasRealRefY = true;
    s.LogX = c.logX;
    s.LogY = true;
    // Inside the frame, clear of its line.
    s.ScanStartX = kOriginX + 3;
    s.ScanEndX = kRefX - 3;
    s.ScanStartY = kOriginY + 3;
    s.ScanEndY = kRefY - 3;
    s.ScanWidth = 1;
    s.Threshold = 128;

    const ScanChecks checks = checkScan(s);
    EXPECT_EQ(checks.stop, ScanStop::None);
    Measured m;
    double sum = 0;
    runColumnScan(pixelView(pixels), s, checks, false,
                  {[&](const ResultRow& r) {
                       const double e = std::log10(r.realY) - std::log10(c.curve(r.realX));
                       sum += e * e;
                       m.worstDecades = std::max(m.worstDecades, std::abs(e));
                       ++m.rows;
                   },
                   nullptr, nullptr});
    m.rmsDecades = m.rows ? std::sqrt(sum / double(m.rows)) : 1e9;
    return m;
}

void expectAccurate(const LogChart& c)
{
    const Measured m = scanChart(c);
    const double decades = std::log10(c.y1 / c.y0);
    const double strips = kRefX - kOriginX - 6;
    EXPECT_GE(double(m.rows), 0.95 * strips) << c.name;
    EXPECT_LE(m.rmsDecades, 0.003 * decades) << c.name << ": worst " << m.worstDecades;
    std::printf("[ measured ] %s: %zu points, rms %.5f decades (%.4f %% of %.0f decades), worst %.5f\n", c.name, m.rows,
                m.rmsDecades, 100 * m.rmsDecades / decades, decades, m.worstDecades);
}

TEST(LogAxisAccuracy, AnExponentialOnALogYChart)
{
    expectAccurate({"log y: exponential with a wobble", false, 0, 10, 0.1, 1000,
                    [](double x) { return 0.5 * std::pow(10.0, 0.3 * x) * (1 + 0.5 * std::sin(1.5 * x)); },
                    [](double x) { return 2 * std::pow(10.0, 0.2 * x); }});
}

TEST(LogAxisAccuracy, ADoseResponseOnALogYChart)
{
    expectAccurate({"log y: decay to a floor", false, 0, 50, 1e-3, 10,
                    [](double x) { return 5 * std::exp(-x / 6) + 0.004; }, [](double x) { return 0.01 + x / 20; }});
}

TEST(LogAxisAccuracy, ALowPassOnALogLogChart)
{
    expectAccurate({"log-log: second-order low pass", true, 1, 1000, 0.01, 100,
                    [](double x) { return 50 / std::sqrt(1 + std::pow(x / 30, 4)); },
                    [](double x) { return 0.05 * std::pow(x, 0.8); }});
}

TEST(LogAxisAccuracy, APowerLawWithAResonanceOnALogLogChart)
{
    expectAccurate({"log-log: resonance", true, 0.1, 100, 1e-5, 10,
                    [](double x) {
                        const double u = x / 3;
                        return 1 / std::sqrt(std::pow(1 - u * u, 2) + std::pow(0.5 * u, 2)) * 0.2 / (1 + x / 10);
                    },
                    [](double x) { return 1e-3 * x; }});
}

} // namespace
} // namespace plotrun
