// The figure's series in the window: the Series panel and its commands, a
// series added by a click on its curve, and Execute's views of every series.
#include "GuiTestSupport.h"

#include "../InkChart.h"
#include "CountedPixelsOverlay.h"
#include "PointsOverlay.h"
#include "ScanReport.h"
#include "ScanRun.h"
#include "SeriesColours.h"
#include "Series.h"
#include "SeriesPanel.h"

#include "../../files/PictureFile.h"

#include <QDockWidget>
#include <QTableWidget>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>

#include <cmath>
#include <map>

using namespace plotrun;
using namespace plotrun::test;

namespace {

uint32_t scanColour(QRgb c) { return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16; }

SeriesSettings inkSeries(const char* name, QRgb ink)
{
    SeriesSettings s;
    s.Name = name;
    s.HasInk = true;
    s.Ink = scanColour(ink);
    return s;
}

// The bitmap point of a curve at real x, on the chart InkChart::settings() calibrates.
QPointF curveAt(double x, double (*fn)(double))
{
    const ScanSettings s = InkChart::settings();
    return {s.OriginX + x / 10 * (s.RefX - s.OriginX), s.OriginY + fn(x) * (s.RefY - s.OriginY)};
}

} // namespace

class SeriesPanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Program> p;

    void readyChart()
    {
        p = std::make_unique<Program>();
        p->w.acceptPicture(pictureFromImage(InkChart::draw()), "chart.png");
        editSettings(p->w, [](ScanSettings& r) { r = InkChart::settings(); });
    }

    const SeriesPanel& panel() const { return p->w.seriesPanel(); }
    const std::vector<SeriesSettings>& series() const { return p->w.scanSettings().Series; }
    QTableWidgetItem* nameItem(int row) const { return panel().list().item(row, 0); }

    // Add Series, then a click on the picture at a bitmap point.
    void addSeriesAt(QPointF bitmap)
    {
        QVERIFY(trigger(*p, "AddSeries"));
        QVERIFY(p->action("AddSeries")->isChecked());
        PictureView* view = imageOf(p->w);
        const QPoint at(int(bitmap.x() * view->width() / 800), int((600 - bitmap.y()) * view->height() / 600) + 1);
        QTest::mousePress(view, Qt::LeftButton, {}, at);
        QTest::mouseRelease(view, Qt::LeftButton, {}, at);
        QVERIFY(!p->action("AddSeries")->isChecked());
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    // No series: the panel is hidden, and Execute fills the grid with the
    // report's own columns and rows, as a scan of one curve always did.
    void withoutSeriesThePanelIsHiddenAndTheGridIsTheReports()
    {
        readyChart();
        auto* dock = p->w.findChild<QDockWidget*>("SeriesPanel");
        QVERIFY(dock && dock->isHidden());
        QVERIFY(!p->action("SeriesPanel")->isChecked());
        QVERIFY(p->w.findChild<QMenu*>("ViewMenu")->actions().contains(p->action("SeriesPanel")));
        for (const char* command : {"AddSeries", "FindSeries"})
            QVERIFY2(p->w.findChild<QMenu*>("ScanMenu")->actions().contains(p->action(command)), command);
        for (const char* command : {"RemoveSeries", "SeriesUp", "SeriesDown", "SeriesMarkers"})
            QVERIFY2(!p->action(command)->isEnabled(), command);

        QVERIFY(trigger(*p, "Execute"));
        ScanReport want(p->w.document().fields, ".");
        ScanSettings s = p->w.scanSettings();
        const ScanChecks checks = checkScan(s);
        std::vector<int> numbers;
        runColumnScan(pixelView(p->w.picture().image), s, checks, false, {[&](const ResultRow& r) {
                          want.addRow(r);
                          numbers.push_back(r.number);
                      }});
        QCOMPARE(p->w.grid().headerCells(), want.columnNames());
        QCOMPARE(p->w.grid().dataRows(), want.rows());
        for (size_t i = 0; i < numbers.size(); ++i)
            QCOMPARE(p->w.grid().cell(0, int(i) + 1), std::to_string(numbers[i]));
        QVERIFY(p->w.chart().figureSeries().empty());
        QVERIFY(!p->w.chart().chart()->legend()->isVisible());
    }

    // A click on each curve adds a series with its ink and Start point; the
    // panel lists them, and each edit is one step of undo.
    void seriesAreAddedRenamedReorderedAndRemovedInUndoableSteps()
    {
        readyChart();
        addSeriesAt(curveAt(2, InkChart::sigmoid));
        QTRY_COMPARE(series().size(), size_t(1));
        QVERIFY(!panel().isHidden());
        QVERIFY(p->action("SeriesPanel")->isChecked());
        QCOMPARE(series()[0].Name, std::string("Series 1"));
        QVERIFY(series()[0].HasInk);
        QCOMPARE(series()[0].Ink, scanColour(InkChart::kBlue));
        QVERIFY(std::abs(series()[0].StartX - curveAt(2, InkChart::sigmoid).x()) <= 2);
        QVERIFY(std::abs(series()[0].StartY - curveAt(2, InkChart::sigmoid).y()) <= 2);
        addSeriesAt(curveAt(8.5, InkChart::falling));
        QTRY_COMPARE(series().size(), size_t(2));
        QCOMPARE(series()[1].Name, std::string("Series 2"));
        QCOMPARE(series()[1].Ink, scanColour(InkChart::kRed));
        QCOMPARE(panel().list().rowCount(), 2);
        QCOMPARE(nameItem(1)->text(), QString("Series 2"));
        QCOMPARE(panel().list().item(1, 1)->text(), QString("line"));
        QCOMPARE(panel().list().item(0, 2)->text(),
                 QString("(%1, %2)").arg(series()[0].StartX).arg(series()[0].StartY));
        const std::vector<SeriesSettings> added = series();
        // Escape leaves Add Series: the next click adds nothing.
        QVERIFY(trigger(*p, "AddSeries"));
        QTest::keyClick(imageOf(p->w), Qt::Key_Escape);
        QVERIFY(!p->action("AddSeries")->isChecked());
        QTest::mouseClick(imageOf(p->w), Qt::LeftButton, {}, {5, 5});
        QCOMPARE(series(), added);

        // Renamed in place; a name that another series has, or none, is refused.
        nameItem(0)->setText("  control ");
        QCOMPARE(series()[0].Name, std::string("control"));
        nameItem(1)->setText("control");
        QCOMPARE(series()[1].Name, std::string("Series 2"));
        QCOMPARE(p->w.statusText(), QString("Another series is named control."));
        QTRY_COMPARE(nameItem(1)->text(), QString("Series 2"));
        nameItem(1)->setText(" ");
        QCOMPARE(p->w.statusText(), QString("A series needs a name."));
        QTRY_COMPARE(nameItem(1)->text(), QString("Series 2"));

        // The chosen series moves up, becomes markers, and goes.
        auto* list = p->w.findChild<QTableWidget*>("SeriesList");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1, 2)).center());
        QCOMPARE(panel().chosen(), 1);
        QVERIFY(!p->action("SeriesDown")->isEnabled());
        QVERIFY(trigger(*p, "SeriesUp"));
        QCOMPARE(series()[0].Name, std::string("Series 2"));
        QCOMPARE(series()[1].Name, std::string("control"));
        QCOMPARE(panel().chosen(), 0);
        QVERIFY(!p->action("SeriesUp")->isEnabled() && p->action("SeriesDown")->isEnabled());
        QVERIFY(!p->action("SeriesMarkers")->isChecked());
        QVERIFY(trigger(*p, "SeriesMarkers"));
        QCOMPARE(series()[0].Kind, SeriesKind::Markers);
        QVERIFY(p->action("SeriesMarkers")->isChecked());
        QCOMPARE(panel().list().item(0, 1)->text(), QString("markers"));
        QVERIFY(trigger(*p, "RemoveSeries"));
        QCOMPARE(series().size(), size_t(1));
        QCOMPARE(series()[0].Name, std::string("control"));

        // Undone step by step, back to the two series as clicked.
        for (const char* step : {"Remove Series", "Series Kind", "Move Series Up", "Rename Series"}) {
            QCOMPARE(p->w.undoStack().undoText(), QString(step));
            QVERIFY(trigger(*p, "Undo"));
        }
        QCOMPARE(series(), added);
        QCOMPARE(nameItem(0)->text(), QString("Series 1"));
        QCOMPARE(p->w.undoStack().undoText(), QString("Add Series"));
    }

    // Execute scans every series: the grid names each row's series, the
    // chart draws one line per series in its ink with a legend, and the
    // points and the counted pixels show each series in its colour.
    void executeShowsEverySeriesInItsOwnColour()
    {
        readyChart();
        editSettings(p->w, [](ScanSettings& r) {
            SeriesSettings blue = inkSeries("blue", InkChart::kBlue), red = inkSeries("red", InkChart::kRed);
            const QPointF b = curveAt(1, InkChart::sigmoid), d = curveAt(1, InkChart::falling);
            blue.StartX = std::round(b.x());
            blue.StartY = std::round(b.y());
            red.StartX = std::round(d.x());
            red.StartY = std::round(d.y());
            r.Series = {blue, red};
        });
        QVERIFY(trigger(*p, "CountedPixels"));
        QVERIFY(trigger(*p, "Execute"));
        const ResultGridModel& grid = p->w.grid();
        QCOMPARE(grid.cell(1, 0), std::string(kSeriesColumnName));
        QCOMPARE(grid.cell(2, 0), std::string("X"));
        std::map<std::string, std::vector<std::pair<double, double>>> read;
        for (int n = 1; n <= grid.rowCount(); ++n) {
            QCOMPARE(grid.cell(0, n), std::to_string(n));
            read[grid.cell(1, n)].push_back({std::stod(grid.cell(2, n)), std::stod(grid.cell(3, n))});
        }
        QCOMPARE(read.size(), size_t(2));
        const int strips = (InkChart::settings().ScanEndX - InkChart::settings().ScanStartX) / 4;
        // Each series on its own curve, through the crossing: the y range is 1.
        for (const auto& [name, fn] : {std::pair{"blue", &InkChart::sigmoid}, std::pair{"red", &InkChart::falling}}) {
            const auto& points = read[name];
            QVERIFY2(points.size() >= size_t(0.95 * strips), name);
            double sum = 0;
            for (const auto& [x, y] : points)
                sum += (y - fn(x)) * (y - fn(x));
            QVERIFY2(std::sqrt(sum / double(points.size())) < 0.003, name);
        }

        const ResultChart& chart = p->w.chart();
        // Following's counts of each series, by name.
        for (const char* name : {"blue: Strips with more than one run: ", ". red: Strips with more than one run: "})
            QVERIFY2(p->w.statusText().contains(name), qPrintable(p->w.statusText()));

        QCOMPARE(chart.figureSeries().size(), size_t(2));
        QVERIFY(chart.chart()->legend()->isVisible());
        QCOMPARE(chart.figureSeries()[0]->name(), QString("blue"));
        QCOMPARE(chart.figureSeries()[1]->pen().color(), QColor(InkChart::kRed));
        QCOMPARE(chart.figureSeries()[1]->count(), int(read["red"].size()));
        QCOMPARE(chart.series().count(), 0);

        const PointsOverlay& points = p->w.pointsOnPicture();
        QCOMPARE(points.points().size(), size_t(grid.rowCount()));
        QCOMPARE(points.points().front().series, 0);
        QCOMPARE(points.points().back().series, 1);
        QCOMPARE(points.colourOf(0), QColor(InkChart::kBlue));
        QCOMPARE(points.colourOf(1), QColor(InkChart::kRed));

        const CountedPixelsOverlay& counted = p->w.countedPixels();
        QTRY_VERIFY_WITH_TIMEOUT(counted.settled() && !counted.overlay().isNull(), 20000);
        std::map<QRgb, int> tints; // premultiplied, as the mask holds them
        const QImage& mask = counted.overlay();
        for (int y = 0; y < mask.height(); ++y)
            for (int x = 0; x < mask.width(); ++x)
                ++tints[reinterpret_cast<const QRgb*>(mask.constScanLine(y))[x]];
        for (QRgb ink : {InkChart::kBlue, InkChart::kRed})
            QVERIFY(tints[qPremultiply(seriesTint(QColor(ink)).rgba())] > strips);
    }

    // A series that gives no point is named over the picture.
    void executeNamesASeriesWithoutPoints()
    {
        readyChart();
        editSettings(p->w, [](ScanSettings& r) {
            r.Series = {inkSeries("blue", InkChart::kBlue), inkSeries("green", InkChart::kGreen)};
        });
        QVERIFY(trigger(*p, "Execute"));
        QVERIFY2(p->w.noticeText().endsWith("green: no points"), qPrintable(p->w.noticeText()));
    }

    // The list keeps to what a settings file reads back: no more series
    // than it holds, and no name that the delimiter would split, typed or
    // held when another delimiter is chosen.
    void theListKeepsToWhatASettingsFileHolds()
    {
        readyChart();
        editSettings(p->w, [](ScanSettings& r) {
            for (size_t i = 1; i < kMostSeries; ++i)
                r.Series.push_back({.Name = "s" + std::to_string(i)});
        });
        QVERIFY(trigger(*p, "FindSeries"));
        QCOMPARE(series().size(), kMostSeries);
        QVERIFY2(p->w.statusText().endsWith("more left out: a figure holds at most 64 series."),
                 qPrintable(p->w.statusText()));
        QVERIFY(trigger(*p, "AddSeries"));
        QVERIFY(!p->action("AddSeries")->isChecked());
        QCOMPARE(p->w.statusText(), QString("A figure holds at most 64 series: remove one to add another."));

        nameItem(0)->setText("a,b");
        QCOMPARE(series()[0].Name, std::string("s1"));
        QCOMPARE(p->w.statusText(), QString("The name \"a,b\" holds the delimiter \",\"."));
        nameItem(0)->setText("a b");
        QCOMPARE(series()[0].Name, std::string("a b"));
        OutputFields blank = p->output.fields();
        blank.delimiter = " ";
        p->output.setFields(blank);
        const SeenBox box = boxAfter(*p, "Execute");
        QVERIFY2(box.text.startsWith("The name \"a b\" holds the delimiter \" \"."), qPrintable(box.title));
        QVERIFY(!p->w.document().hasResult);
    }

    // Find Series with nothing to propose says so over the picture.
    void findSeriesOnAnEmptyAreaSaysItFoundNone()
    {
        p = std::make_unique<Program>();
        QImage blank(400, 300, QImage::Format_RGB32);
        blank.fill(Qt::white);
        p->w.acceptPicture(pictureFromImage(blank), "blank.png");
        QVERIFY(!p->action("FindSeries")->isEnabled()); // no area yet
        editSettings(p->w, [](ScanSettings& r) {
            r.ScanStartX = r.ScanStartY = 20;
            r.ScanEndX = 380;
            r.ScanEndY = 280;
        });
        QVERIFY(trigger(*p, "FindSeries"));
        QCOMPARE(p->w.noticeText(), QString("No series found in the scan area."));
        QVERIFY(series().empty());
        QVERIFY(panel().isHidden());
    }
};

QTEST_MAIN(SeriesPanelTest)
#include "SeriesPanelTest.moc"
