#include "AxesChart.h"

#include "ChartMap.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace plotrun::test {

namespace {

constexpr double kLeft = 90, kTop = 25, kRightMargin = 30, kBottomMargin = 65;

QString labelText(const ChartAxis& a, double v, QString& power)
{
    power.clear();
    switch (a.form) {
    case LabelForm::Plain: return QString::number(v, 'g', 10);
    case LabelForm::Comma: return QString::number(v, 'g', 10).replace('.', ',');
    case LabelForm::EForm: {
        const int e = int(std::lround(std::log10(v)));
        return "1e" + QString::number(e);
    }
    case LabelForm::Power: power = QString::number(std::lround(std::log10(v))); return "10";
    }
    return {};
}

} // namespace

double ChartAxis::fraction(double v) const
{
    if (logarithmic)
        return (std::log10(v) - std::log10(low())) / (std::log10(high()) - std::log10(low()));
    return (v - low()) / (high() - low());
}

ChartAxis linearAxis(double from, double to, double step, LabelForm form)
{
    ChartAxis a;
    for (double v = from; v <= to + step / 1000; v += step)
        a.ticks.push_back(std::fabs(v) < step / 1000 ? 0 : v);
    a.form = form;
    return a;
}

ChartAxis logAxis(int fromPower, int toPower, LabelForm form)
{
    ChartAxis a;
    for (int p = fromPower; p <= toPower; ++p)
        a.ticks.push_back(std::pow(10.0, p));
    a.logarithmic = true;
    a.form = form;
    return a;
}

double AxesChart::curve(double x) const
{
    const double f = style.x.fraction(x);
    const double g = style.crossAtZero ? 0.6 + 0.3 * std::sin(3 * f) : 0.15 + 0.7 / (1 + std::exp(-8 * (f - 0.5)));
    // Back from a fraction of the y axis to a real value.
    const ChartAxis& y = style.y;
    if (y.logarithmic)
        return std::pow(10.0, std::log10(y.low()) + g * (std::log10(y.high()) - std::log10(y.low())));
    return y.low() + g * (y.high() - y.low());
}

AxesChart drawAxesChart(const AxesStyle& style, int width, int height)
{
    AxesChart chart{QImage(width, height + style.spaceBelow, QImage::Format_RGB32), style, QTransform()};
    chart.warp.translate(width / 2.0, height / 2.0);
    chart.warp.rotate(style.degrees);
    chart.warp.translate(-width / 2.0, -height / 2.0);
    chart.picture.fill(Qt::white);
    const double right = width - kRightMargin, bottom = height - kBottomMargin;
    const auto at = [&](double fx, double fy) {
        return QPointF(kLeft + fx * (right - kLeft), bottom - fy * (bottom - kTop));
    };
    QPainter p(&chart.picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setWorldTransform(chart.warp);
    QFont font(style.family);
    font.setPointSizeF(style.points);
    QFont small = font;
    small.setPointSizeF(style.points * 0.7);
    const QFontMetricsF fm(font), sm(small);
    // Where the axes lie: the frame's edges, or the zero lines.
    const double axisX = style.crossAtZero ? style.y.fraction(0) : 0; // the x axis's y fraction
    const double axisY = style.crossAtZero ? style.x.fraction(0) : 0;
    if (style.grid) {
        p.setPen(QPen(style.gridColour, 1));
        for (double v : style.x.ticks)
            p.drawLine(at(style.x.fraction(v), 0), at(style.x.fraction(v), 1));
        for (double v : style.y.ticks)
            p.drawLine(at(0, style.y.fraction(v)), at(1, style.y.fraction(v)));
    }
    p.setPen(QPen(Qt::black, 1.5));
    const double tick = style.inwardTicks ? -6 : 6, inside = style.crossAtZero ? 4 : 0;
    const auto label = [&](const ChartAxis& a, double v, QPointF anchor, bool below) {
        QString power;
        QString text = style.wrongLabels.count(v) && &a == &style.x ? style.wrongLabels.at(v) : labelText(a, v, power);
        const double w = fm.horizontalAdvance(text) + (power.isEmpty() ? 0 : sm.horizontalAdvance(power) + 1);
        const double h = fm.ascent() + fm.descent();
        QPointF topLeft = below ? anchor + QPointF(-w / 2, 4) : anchor + QPointF(-w - 5, -h / 2);
        p.setFont(font);
        p.drawText(topLeft + QPointF(0, fm.ascent()), text);
        if (!power.isEmpty()) {
            p.setFont(small);
            p.drawText(topLeft + QPointF(fm.horizontalAdvance(text) + 1, fm.ascent() * 0.45), power);
        }
    };
    for (double v : style.x.ticks) {
        const QPointF o = at(style.x.fraction(v), axisX);
        if (style.ticks)
            p.drawLine(o + QPointF(0, -inside), o + QPointF(0, tick));
        if (!(style.crossAtZero && v == 0))
            label(style.x, v, o + QPointF(0, style.ticks ? std::max(tick, 0.0) : 0), true);
    }
    for (double v : style.y.ticks) {
        const QPointF o = at(axisY, style.y.fraction(v));
        if (style.ticks)
            p.drawLine(o + QPointF(inside, 0), o + QPointF(-tick, 0));
        if (!(style.crossAtZero && v == 0))
            label(style.y, v, o + QPointF(style.ticks ? -std::max(tick, 0.0) : 0, 0), false);
    }
    QPainterPath path;
    for (int i = 0; i <= 400; ++i) {
        const double f = i / 400.0;
        const double x = style.x.logarithmic
                             ? std::pow(10.0, std::log10(style.x.low()) +
                                                  f * (std::log10(style.x.high()) - std::log10(style.x.low())))
                             : style.x.low() + f * (style.x.high() - style.x.low());
        const QPointF q = at(f, style.y.fraction(chart.curve(x)));
        i == 0 ? path.moveTo(q) : path.lineTo(q);
    }
    p.setPen(QPen(QColor(0x20, 0x40, 0xC0), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    if (style.legend) {
        const QColor colours[] = {QColor(0x20, 0x40, 0xC0), QColor(0xD6, 0x27, 0x28), QColor(0x2C, 0xA0, 0x2C)};
        for (int c = 1; c < 3; ++c) {
            QPainterPath other;
            for (int i = 0; i <= 200; ++i) {
                const double f = i / 200.0;
                const QPointF q = at(f, c == 1 ? 0.5 + 0.35 * std::sin(9 * f) : 0.3 + 0.2 * f);
                i == 0 ? other.moveTo(q) : other.lineTo(q);
            }
            p.setPen(QPen(colours[c], 2));
            p.drawPath(other);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xFF, 0x7F, 0x0E));
        for (int i = 0; i < 20; ++i)
            p.drawEllipse(at((i + 0.5) / 20, 0.1 + 0.02 * i), 4, 4);
        p.setBrush(Qt::NoBrush);
        const QFontMetricsF lm(font);
        for (int c = 0; c < 3; ++c) {
            const QPointF start = at(0.78, 0.95) + QPointF(0, 20 * c);
            p.setPen(QPen(colours[c], 2));
            p.drawLine(start, start + QPointF(30, 0));
            p.setPen(Qt::black);
            p.setFont(font);
            p.drawText(start + QPointF(40, lm.ascent() / 2 - 1), QString("curve %1").arg(c + 1));
        }
    }
    p.setPen(QPen(Qt::black, 1.5));
    if (style.crossAtZero) {
        p.drawLine(at(0, axisX), at(1, axisX));
        p.drawLine(at(axisY, 0), at(axisY, 1));
    } else {
        p.drawRect(QRectF(at(0, 1), at(1, 0)));
    }
    if (style.edgeLines) {
        p.resetTransform();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(0, 0, width - 1, 0);
        p.drawLine(0, 0, 0, chart.picture.height() - 1);
    }
    return chart;
}

void AxesChart::bitmap(double realX, double realY, double& bx, double& by) const
{
    const double right = picture.width() - kRightMargin, bottom = picture.height() - style.spaceBelow - kBottomMargin;
    const QPointF q(kLeft + style.x.fraction(realX) * (right - kLeft),
                    bottom - style.y.fraction(realY) * (bottom - kTop));
    const QPointF w = warp.map(q);
    bx = w.x() - 0.5;
    by = picture.height() - w.y() + 0.5;
}

double AxesChart::worstCurveError(const ScanSettings& settings) const
{
    const ChartMap map(settings);
    double worst = 0;
    for (int i = 0; i <= 50; ++i) {
        const double f = i / 50.0;
        const ChartAxis& a = style.x;
        const double x = a.logarithmic
                             ? std::pow(10.0, std::log10(a.low()) + f * (std::log10(a.high()) - std::log10(a.low())))
                             : a.low() + f * (a.high() - a.low());
        const double y = curve(x);
        double bx, by;
        bitmap(x, y, bx, by);
        const ChartPoint r = map.toChart(bx, by);
        const double ex = std::fabs(style.x.fraction(r.x) - style.x.fraction(x));
        const double ey = std::fabs(style.y.fraction(r.y) - style.y.fraction(y));
        const double e = 100 * std::max(ex, ey);
        worst = std::max(worst, std::isfinite(e) ? e : 1e9);
    }
    return worst;
}

} // namespace plotrun::test
