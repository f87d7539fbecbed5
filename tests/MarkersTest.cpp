// Markers series: a scatter chart drawn with QPainter (grid, frame, tick
// labels, a legend with a swatch of each series), three series of 30
// markers each, some of them overlapping in pairs and some crossed by grid
// lines. Every marker is to be found once, at its centre, and nothing else.
#include "../files/PictureFile.h"
#include "ColumnScan.h"
#include "Markers.h"
#include "NumberText.h"
#include "Report.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace plotrun::test {
namespace {

enum class Shape { FilledCircle, OpenSquare, Triangle };

struct Drawn {
    int series;
    double x, y; // real
};

// Real x 0 to 10 across the plot, real y 0 to 1 up it; 1000 x 800 pixels.
struct MarkerChart {
    static constexpr int kWidth = 1000, kHeight = 800;
    static constexpr int kLeft = 100, kTop = 50, kRight = 950, kBottom = 720; // the frame, in pixels
    static constexpr QRgb kColours[3] = {0xFF1F77B4, 0xFFD62728, 0xFF000000};
    static constexpr Shape kShapes[3] = {Shape::FilledCircle, Shape::OpenSquare, Shape::Triangle};

    static double curve(int series, double x)
    {
        switch (series) {
        case 0: return 0.62 + 0.1 * std::sin(0.6 * x);
        case 1: return 0.3 + 0.02 * x;
        default: return 0.15 + 0.05 * std::cos(x);
        }
    }

    // Pixel column c and row r paint from c to c + 1 and r to r + 1; bitmap
    // x is c and bitmap y is kHeight - r.
    static double px(double x) { return kLeft + x / 10 * (kRight - kLeft) + 0.5; }
    static double py(double y) { return kBottom - y * (kBottom - kTop) + 0.5; }

    // `overlapping`: how many markers of each series sit close against the
    // one before them, a pair as one blob. `bars`: vertical bars of +-0.04
    // through each marker of the first series.
    // `turn`: the whole chart turned by so many degrees about the picture's
    // centre, as a skewed scan would hold it.
    static QImage draw(std::vector<Drawn>& drawn, const int (&overlapping)[3], bool bars = false, double turn = 0)
    {
        QImage img(kWidth, kHeight, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setTransform(turned(turn));
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(QColor(0xFF707070), 1));
        for (int i = 1; i < 10; ++i) {
            p.drawLine(QPointF(px(i), kTop), QPointF(px(i), kBottom));
            p.drawLine(QPointF(kLeft, py(i / 10.0)), QPointF(kRight, py(i / 10.0)));
        }
        p.setPen(QPen(Qt::black, 1));
        QFont font = p.font();
        font.setPixelSize(14);
        p.setFont(font);
        for (int i = 0; i <= 10; ++i) {
            p.drawText(QRectF(px(i) - 20, kBottom + 4, 40, 16), Qt::AlignHCenter | Qt::AlignTop, QString::number(i));
            p.drawText(QRectF(kLeft - 44, py(i / 10.0) - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(i / 10.0));
        }
        const auto marker = [&](int series, double cx, double cy) {
            const QColor c(kColours[series]);
            switch (kShapes[series]) {
            case Shape::FilledCircle:
                p.setPen(Qt::NoPen);
                p.setBrush(c);
                p.drawEllipse(QPointF(cx, cy), 6, 6);
                break;
            case Shape::OpenSquare:
                p.setPen(QPen(c, 1.5));
                p.setBrush(Qt::NoBrush);
                p.drawRect(QRectF(cx - 6, cy - 6, 12, 12));
                break;
            case Shape::Triangle: {
                // Its centroid at the point.
                QPainterPath t;
                t.moveTo(cx, cy - 8);
                t.lineTo(cx + 7, cy + 4);
                t.lineTo(cx - 7, cy + 4);
                t.closeSubpath();
                p.setPen(Qt::NoPen);
                p.fillPath(t, c);
                break;
            }
            }
        };
        for (int s = 0; s < 3; ++s) {
            for (int i = 0; i < 30; ++i) {
                double x = 0.25 + i * 0.32 + 0.05 * s;
                // The pairs: markers 5, 11, 17, ... moved up against the one before.
                const int pairs = overlapping[s];
                if (i % 6 == 5 && i / 6 < pairs)
                    x = drawn.back().x + 0.1;
                const double y = curve(s, x);
                drawn.push_back({s, x, y});
                if (bars && s == 0) {
                    p.setPen(QPen(QColor(kColours[0]), 1, Qt::SolidLine, Qt::FlatCap));
                    p.drawLine(QPointF(px(x), py(y - 0.04)), QPointF(px(x), py(y + 0.04)));
                }
                marker(s, px(x), py(y));
            }
        }
        // The legend, in the upper left, over the grid.
        p.setPen(QPen(QColor(0xFFCCCCCC), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(px(0.4), py(0.97), 160, 80));
        const char* names[3] = {"control", "treated", "reference"};
        for (int s = 0; s < 3; ++s) {
            const double y = py(0.97) + 15 + 25 * s;
            marker(s, px(0.4) + 20, y);
            p.setPen(QPen(Qt::black, 1));
            p.drawText(QRectF(px(0.4) + 40, y - 9, 110, 18), Qt::AlignLeft | Qt::AlignVCenter, names[s]);
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop));
        return img;
    }

    static QTransform turned(double turn)
    {
        return QTransform()
            .translate(kWidth / 2.0, kHeight / 2.0)
            .rotate(turn)
            .translate(-kWidth / 2.0, -kHeight / 2.0);
    }

    // The bitmap position of a painter position on the chart turned by `turn`.
    static QPointF bitmap(double x, double y, double turn)
    {
        const QPointF t = turned(turn).map(QPointF(x, y));
        return {t.x() - 0.5, kHeight - t.y() + 0.5};
    }

    // The three-point calibration of the turned chart: O, X1 and Y1 at the
    // frame's corners, the area over the frame.
    static ScanSettings turnedSettings(double turn)
    {
        ScanSettings s = settings();
        s.Calibration.Kind = CalibrationKind::ThreePoint;
        const QPointF o = bitmap(px(0), py(0), turn), x1 = bitmap(px(10), py(0), turn), y1 = bitmap(px(0), py(1), turn);
        s.OriginX = o.x();
        s.OriginY = o.y();
        s.RefX = x1.x();
        s.Calibration.X1Y = x1.y();
        s.Calibration.Y1X = y1.x();
        s.RefY = y1.y();
        const QPointF a = bitmap(kLeft - 2, kBottom + 2, turn), b = bitmap(kRight + 2, kTop - 2, turn);
        s.ScanStartX = a.x();
        s.ScanStartY = a.y();
        s.ScanEndX = b.x();
        s.ScanEndY = b.y();
        return s;
    }

    static ScanSettings settings()
    {
        ScanSettings s;
        s.OriginX = kLeft;
        s.OriginY = kHeight - kBottom;
        s.RefX = kRight;
        s.RefY = kHeight - kTop;
        s.RealRefX = 10;
        s.RealRefY = 1;
        s.HasRealRefX = s.HasRealRefY = true;
        // Over the frame, as a newcomer drags it.
        s.ScanStartX = kLeft - 2;
        s.ScanEndX = kRight + 2;
        s.ScanStartY = kHeight - kBottom - 2;
        s.ScanEndY = kHeight - kTop + 2;
        s.Threshold = 100;
        s.Follow.RemoveLines = true;
        for (int i = 0; i < 3; ++i) {
            SeriesSettings m;
            m.Kind = SeriesKind::Markers;
            const QRgb c = kColours[i];
            m.HasInk = true;
            m.Ink = uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
            s.Series.push_back(m);
        }
        return s;
    }
};

std::vector<ResultRow> scanned(const QImage& chart, ScanSettings s)
{
    const QImage pixels = toScanPixels(chart);
    const ScanChecks checks = checkScan(s);
    std::vector<ResultRow> rows;
    runColumnScan(pixelView(pixels), s, checks, false, {[&](const ResultRow& r) { rows.push_back(r); }});
    return rows;
}

// Each drawn marker matched with the found one nearest it; the counts of
// markers found twice or not at all, of found points that match none, and
// the worst error of a centre in per cent of the axis ranges.
struct Match {
    int missed = 0, twice = 0, extra = 0;
    double worstX = 0, worstY = 0;
};

Match match(const std::vector<Drawn>& drawn, const std::vector<ResultRow>& rows)
{
    Match m;
    std::vector<int> used(rows.size(), 0);
    for (const Drawn& d : drawn) {
        int best = -1;
        double bestD = 0.04; // in real units: about four pixels
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].series != d.series)
                continue;
            const double dd = std::hypot(rows[i].realX - d.x, 10 * (rows[i].realY - d.y));
            if (dd < bestD) {
                bestD = dd;
                best = int(i);
            }
        }
        if (best < 0) {
            ++m.missed;
            continue;
        }
        m.twice += used[size_t(best)]++ > 0;
        m.worstX = std::max(m.worstX, 100 * std::fabs(rows[size_t(best)].realX - d.x) / 10);
        m.worstY = std::max(m.worstY, 100 * std::fabs(rows[size_t(best)].realY - d.y) / 1);
    }
    for (const int u : used)
        m.extra += u == 0;
    return m;
}

// With line removal, the grid that the black series counts is left out
// before the blobs are formed; without it, the lines are cut off the blobs.
TEST(MarkersSeries, EveryMarkerOnceAtItsCentreAndNoLegendOrText)
{
    std::vector<Drawn> drawn;
    const QImage chart = MarkerChart::draw(drawn, {2, 1, 2});
    std::vector<ResultRow> rows;
    for (const bool removeLines : {false, true}) {
        ScanSettings s = MarkerChart::settings();
        s.Follow.RemoveLines = removeLines;
        rows = scanned(chart, s);
        const Match m = match(drawn, rows);
        EXPECT_EQ(m.missed, 0) << removeLines;
        EXPECT_EQ(m.twice, 0) << removeLines;
        EXPECT_EQ(m.extra, 0) << removeLines;
        EXPECT_LE(m.worstX, 0.15) << removeLines;
        EXPECT_LE(m.worstY, 0.15) << removeLines;
        EXPECT_EQ(rows.size(), 90u) << removeLines;
    }
    // One row per marker, numbered in x order within its series.
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i].series == rows[i - 1].series) {
            EXPECT_EQ(rows[i].number, rows[i - 1].number + 1);
            EXPECT_GT(rows[i].realX, rows[i - 1].realX);
        }
}

// The chart turned by 4 degrees, through a three-point calibration: the
// centres in real values through the fitted map. The grid, turned, is no
// line along rows or columns, so only the coloured series are scanned.
TEST(MarkersSeries, TurnedChartThroughThreePoints)
{
    std::vector<Drawn> drawn;
    const QImage chart = MarkerChart::draw(drawn, {2, 1, 0}, false, 4);
    ScanSettings s = MarkerChart::turnedSettings(4);
    s.Series.pop_back();
    std::erase_if(drawn, [](const Drawn& d) { return d.series == 2; });
    const Match m = match(drawn, scanned(chart, s));
    EXPECT_EQ(m.missed + m.twice + m.extra, 0);
    EXPECT_LE(m.worstX, 0.15);
    EXPECT_LE(m.worstY, 0.15);
}

// The bars of +-0.04 through the circles: their ends in real y, as two
// more fields that are empty for markers without a bar.
TEST(MarkersSeries, ErrorBarsGiveTheRealYOfTheirEnds)
{
    std::vector<Drawn> drawn;
    const QImage chart = MarkerChart::draw(drawn, {2, 1, 2}, true);
    const std::vector<ResultRow> rows = scanned(chart, MarkerChart::settings());
    const Match m = match(drawn, rows);
    EXPECT_EQ(m.missed + m.twice + m.extra, 0);
    EXPECT_LE(m.worstY, 0.15);
    OutputFields fields;
    fields.yLow = fields.yHigh = true;
    const GridLayout layout = layoutGrid(fields);
    int bars = 0;
    double worst = 0;
    for (const ResultRow& r : rows) {
        const std::vector<std::string> cells = rowCells(layout, r, ".");
        ASSERT_EQ(cells.size(), 4u);
        if (r.series != 0) {
            EXPECT_FALSE(r.hasBar);
            EXPECT_EQ(cells[2] + cells[3], "");
            continue;
        }
        // Each bar's ends against the curve at the marker's drawn x.
        const Drawn* d = &drawn[0];
        for (const Drawn& c : drawn)
            if (c.series == 0 && std::fabs(c.x - r.realX) < std::fabs(d->x - r.realX))
                d = &c;
        bars += r.hasBar;
        worst = std::max({worst, std::fabs(r.yLow - (d->y - 0.04)), std::fabs(r.yHigh - (d->y + 0.04))});
        EXPECT_EQ(cells[2], formatReal(r.yLow, "."));
    }
    EXPECT_EQ(bars, 30);
    EXPECT_LE(100 * worst, 0.15);
}

} // namespace
} // namespace plotrun::test
