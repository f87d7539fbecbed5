// Markers series: a scatter chart drawn with QPainter (grid, frame, tick
// labels, a legend with a swatch of each series), three series of 30
// markers each, some of them overlapping in pairs and some crossed by grid
// lines. Every marker is to be found once, at its centre, and nothing else.
#include "../files/PictureFile.h"
#include "ColumnScan.h"
#include "Markers.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

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
    // one before them, a pair as one blob. `bars`: vertical bars of +-0.05
    // through each marker of the first series.
    static QImage draw(std::vector<Drawn>& drawn, const int (&overlapping)[3], bool bars = false)
    {
        QImage img(kWidth, kHeight, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
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
                    p.setPen(QPen(QColor(kColours[0]), 1));
                    p.drawLine(QPointF(px(x), py(y - 0.05)), QPointF(px(x), py(y + 0.05)));
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

TEST(MarkersSeries, EveryMarkerOnceAtItsCentreAndNoLegendOrText)
{
    std::vector<Drawn> drawn;
    const QImage chart = MarkerChart::draw(drawn, {2, 1, 2});
    const std::vector<ResultRow> rows = scanned(chart, MarkerChart::settings());
    const Match m = match(drawn, rows);
    EXPECT_EQ(m.missed, 0);
    EXPECT_EQ(m.twice, 0);
    EXPECT_EQ(m.extra, 0);
    EXPECT_LE(m.worstX, 0.15);
    EXPECT_LE(m.worstY, 0.15);
    EXPECT_EQ(rows.size(), 90u);
    // One row per marker, numbered in x order within its series.
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i].series == rows[i - 1].series) {
            EXPECT_EQ(rows[i].number, rows[i - 1].number + 1);
            EXPECT_GT(rows[i].realX, rows[i - 1].realX);
        }
}

} // namespace
} // namespace plotrun::test
