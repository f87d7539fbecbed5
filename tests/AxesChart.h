#pragma once
// Charts for Find Axes, painted with QPainter in several styles from a known
// curve: the font and its size, the labels' form (plain, decimal comma,
// 1e3, 10 with a raised power), linear or logarithmic axes, with or without
// grid and ticks, on the frame or crossing at zero, turned by a small angle.

#include "ScanSettings.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QTransform>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace plotrun::test {

enum class LabelForm { Plain, Comma, EForm, Power };

struct ChartAxis {
    std::vector<double> ticks; // labelled, in real values
    bool logarithmic = false;
    LabelForm form = LabelForm::Plain;
    double low() const { return ticks.front(); }
    double high() const { return ticks.back(); }
    // Where a value lies between low (0) and high (1).
    double fraction(double v) const;
};

struct AxesStyle {
    std::string name;
    QString family = "DejaVu Sans";
    double points = 10;
    ChartAxis x, y;
    bool grid = false;
    bool ticks = true;
    bool crossAtZero = false;
    bool inwardTicks = false;
    QColor gridColour = QColor(0xC0, 0xC0, 0xC0);
    // As a user's plotting tool draws: two more curves in other colours from
    // the y axis, a row of markers, and their legend inside the frame.
    bool legend = false;
    // The dark line along the picture's left and top edges that some
    // renderers leave.
    bool edgeLines = false;
    // Blank paper below the chart, as on a page.
    int spaceBelow = 0;
    double degrees = 0;
    // Labels drawn otherwise than their values say: value -> text.
    std::map<double, QString> wrongLabels;
};

struct AxesChart {
    QImage picture;
    AxesStyle style;
    QTransform warp;
    // The curve, real y of real x, within the axes' ranges.
    double curve(double x) const;
    // Where a real point lies on the picture, in bitmap coordinates.
    void bitmap(double realX, double realY, double& bx, double& by) const;
    // The largest distance, as a per cent of the axis range (of its decades
    // on a logarithmic axis), between the curve's real points and what the
    // settings make of where they lie on the picture.
    double worstCurveError(const ScanSettings& settings) const;
};

AxesChart drawAxesChart(const AxesStyle& style, int width = 600, int height = 450);

// Ticks from `from` to `to` by `step`, or by a factor on a logarithmic axis.
ChartAxis linearAxis(double from, double to, double step, LabelForm form = LabelForm::Plain);
ChartAxis logAxis(int fromPower, int toPower, LabelForm form);

} // namespace plotrun::test
