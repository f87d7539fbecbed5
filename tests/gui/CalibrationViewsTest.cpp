// The views that check a calibration: the live coordinates in the status
// bar, the calibration grid over the picture, and the logarithmic axes of the
// options dialog as the window uses them.
#include "CalibrationGrid.h"
#include "CoordinatesLabel.h"
#include "GuiTestSupport.h"

#include "../Calibrated.h"
#include "PointsOverlay.h"
#include "ZoomArea.h"

#include "Calibration.h"
#include "ChartMap.h"
#include "NumberText.h"
#include "Report.h"
#include "ResultChart.h"

#include <QCheckBox>
#include <QtCharts/QLogValueAxis>
#include <QtCharts/QValueAxis>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>

#include <cmath>

using namespace plotrun;
using namespace plotrun::test;

class CalibrationViewsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<Program> p;

    // A picture of w x h pixels shown in an Image of iw x ih window pixels.
    void showPicture(
        int w, int h, int iw, int ih,
        const std::function<uint32_t(int, int)>& colourAt = [](int, int) { return 0xFFFFFFu; })
    {
        p = programShowing(dir.path(), w, h, iw, ih, colourAt);
    }

    void resizeImage(int iw, int ih) { resizeImageTo(*p, iw, ih); }

    // A move without a button, as the mouse passes over the picture.
    void hover(int x, int y)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), imageOf(p->w)->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                      Qt::NoButton, {});
        QApplication::sendEvent(imageOf(p->w), &e);
    }

    // A left click, sent straight to the picture (a click at (0, 0) included).
    void click(QPoint at)
    {
        const QPointF global = imageOf(p->w)->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(imageOf(p->w), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton, {});
        QApplication::sendEvent(imageOf(p->w), &release);
    }

    QLabel* coordinates() const { return p->w.findChild<QLabel*>("CoordinatesLabel"); }
    CalibrationGrid* grid() const { return p->w.findChild<CalibrationGrid*>("CalibrationGrid"); }

    // Origin at bitmap (10, 10); X1 at x 110, Y1 at y 60; real x 0 to 100.
    static void calibrate(ScanSettings& s, bool logY, double realOriginY, double realRefY)
    {
        s.OriginX = 10;
        s.OriginY = 10;
        s.RefX = 110;
        s.RefY = 60;
        s.RealOriginX = 0;
        s.RealRefX = 100;
        s.RealOriginY = realOriginY;
        s.RealRefY = realRefY;
        s.HasRealRefX = s.HasRealRefY = true;
        s.LogY = logY;
    }

    // The picture pixel whose real value lies nearest to v, on one axis.
    static int nearestPixel(const AxisMap& map, double v, int first, int last)
    {
        int best = first;
        for (int b = first; b <= last; ++b)
            if (std::abs(map.toReal(b) - v) < std::abs(map.toReal(best) - v))
                best = b;
        return best;
    }

    // Every grid line lies on the picture pixel that the calibration gives
    // for its value, and is drawn there: in the display span of that pixel.
    void checkGridLines(int w, int h)
    {
        const QSize view = imageOf(p->w)->size();
        const ScanSettings& s = p->w.scanSettings();
        const QImage shown = imageOf(p->w)->grab().toImage();
        const auto xs = grid()->verticalLines();
        const auto ys = grid()->horizontalLines();
        QVERIFY(xs.size() >= 3);
        QVERIFY(ys.size() >= 3);
        for (const auto& l : xs) {
            const int c = nearestPixel(AxisMap::forX(s), l.real, 0, w - 1);
            QVERIFY2(l.position >= c * view.width() / w && l.position < (c + 1) * view.width() / w,
                     qPrintable(QString("x %1 at %2, pixel %3").arg(l.real).arg(l.position).arg(c)));
            // Drawn there, half way down, away from the labels.
            int row = view.height() / 2;
            while (std::any_of(ys.begin(), ys.end(), [&](const auto& y) { return std::abs(y.position - row) < 2; }))
                ++row;
            QCOMPARE(shown.pixelColor(l.position, row), CalibrationGrid::lineColour());
        }
        for (const auto& l : ys) {
            const int y = nearestPixel(AxisMap::forY(s), l.real, 1, h);
            const int r = h - y; // the picture row, from the top
            QVERIFY2(l.position >= r * view.height() / h && l.position < (r + 1) * view.height() / h,
                     qPrintable(QString("y %1 at %2, pixel y %3").arg(l.real).arg(l.position).arg(y)));
            int column = view.width() / 2;
            while (std::any_of(xs.begin(), xs.end(), [&](const auto& x) { return std::abs(x.position - column) < 2; }))
                ++column;
            QCOMPARE(shown.pixelColor(column, l.position), CalibrationGrid::lineColour());
        }
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    // --- Live coordinates

    void theCoordinatesSitPermanentlyAtTheRightOfTheStatusBar()
    {
        p = std::make_unique<Program>();
        QVERIFY(coordinates());
        QCOMPARE(coordinates()->parentWidget(), static_cast<QWidget*>(p->w.statusBar()));
        QCOMPARE(coordinates()->text(), QString());
        QVERIFY(imageOf(p->w)->hasMouseTracking());
    }

    void aMoveWithoutAButtonShowsThePixelUnderTheMouse()
    {
        showPicture(200, 100, 400, 200);
        p->w.statusBar()->showMessage("Origin set to: (1 , 2 )");
        hover(30, 30);
        // Column 15, row 15 from the top: bitmap y 100 - 15.
        QCOMPARE(coordinates()->text(), QString("x: 15  y: 85"));
        // The lower half of the bottom row: bitmap y 0.5, which a mark takes as 0.
        hover(0, 199);
        QCOMPARE(coordinates()->text(), QString("x: 0  y: 0"));
        hover(399, 0);
        QCOMPARE(coordinates()->text(), QString("x: 199  y: 100"));
        // The status texts keep the left part, unchanged; nothing was marked.
        QCOMPARE(p->w.statusText(), QString("Origin set to: (1 , 2 )"));
        QCOMPARE(p->w.scanSettings().OriginX, -1.0);
        QVERIFY(!p->w.marking().dragging());
    }

    // The pixel shown under the mouse is the one a click there marks: fitted
    // to a size that is no whole multiple of the picture, and zoomed in.
    void theCoordinatesShowThePixelThatAClickMarks()
    {
        showPicture(200, 100, 333, 177);
        for (const bool zoomed : {false, true}) {
            if (zoomed) {
                while (p->w.zoom().fitted() || p->w.zoom().scale() <= 1)
                    QVERIFY(trigger(*p, "ZoomIn"));
                QVERIFY(p->w.zoom().scale() != 1);
            }
            PictureView* view = imageOf(p->w);
            const int iw = view->width(), ih = view->height();
            std::vector<QPoint> spots = {{0, 0}, {iw - 1, 0}, {0, ih - 1}, {iw - 1, ih - 1}};
            for (int i = 0; i < 90; ++i)
                spots.push_back({i * 7 % iw, i * 5 % ih});
            QStringList shown;
            for (const QPoint& at : spots) {
                hover(at.x(), at.y());
                shown << coordinates()->text();
            }
            QVERIFY(trigger(*p, "tlbtnMarkO"));
            for (size_t i = 0; i < spots.size(); ++i) {
                click(spots[i]);
                const ScanSettings& s = p->w.scanSettings();
                const QString marked = QString("x: %1  y: %2").arg(s.OriginX).arg(s.OriginY);
                QVERIFY2(shown[int(i)] == marked, qPrintable(QString("%1 at (%2, %3) in %4 x %5: shown %6, marked %7")
                                                                 .arg(zoomed ? "zoomed" : "fitted")
                                                                 .arg(spots[i].x())
                                                                 .arg(spots[i].y())
                                                                 .arg(iw)
                                                                 .arg(ih)
                                                                 .arg(shown[int(i)], marked)));
            }
            QVERIFY(trigger(*p, "tlbtnMarkO"));
        }
    }

    void realCoordinatesFollowOnlyAnAcceptedCalibration()
    {
        showPicture(200, 100, 200, 100);
        hover(60, 50);
        QCOMPARE(coordinates()->text(), QString("x: 60  y: 50"));
        editSettings(p->w, [](ScanSettings& s) { calibrate(s, false, 0, 1000); });
        hover(60, 50);
        // One pixel is 1 real unit across and 20 down.
        QCOMPARE(coordinates()->text(), QString("x: 60  y: 50    X: 50  Y: 800"));

        // Log y: 1 at y 10, 100 at y 60; y 35 is half way, 10.
        editSettings(p->w, [](ScanSettings& s) { calibrate(s, true, 1, 100); });
        hover(60, 65);
        // One pixel up from 10 is 0.96 more.
        QCOMPARE(coordinates()->text(), QString("x: 60  y: 35    X: 50  Y: 10.0"));

        // A refused OK: the pixel alone again.
        OptionVerdict refused;
        refused.record = p->w.scanSettings();
        refused.inputValid = false;
        p->w.applyOptions(refused);
        hover(60, 65);
        QCOMPARE(coordinates()->text(), QString("x: 60  y: 35"));
    }

    // The real values show the digits that one pixel resolves: the last digit
    // is the place of the step to the next pixel, on a logarithmic axis
    // relative to the value; the output's 15 digits at most.
    void realValuesShowTheDigitsAPixelResolves_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("step");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one unit a pixel") << 50.0 << 1.0 << "."
                                          << "50";
        QTest::newRow("twenty units a pixel") << 800.0 << 20.0 << "."
                                              << "800";
        QTest::newRow("thousands a pixel") << 123456.0 << 5000.0 << "."
                                           << "123456";
        QTest::newRow("half a unit") << 12.3456 << 0.5 << "."
                                     << "12.3";
        QTest::newRow("decimal comma") << 12.3456 << 0.5 << ","
                                       << "12,3";
        QTest::newRow("small steps") << 0.012345678 << 0.0001 << "."
                                     << "0.0123";
        QTest::newRow("near zero, no sign") << -0.0004 << 0.01 << "."
                                            << "0.00";
        QTest::newRow("negative") << -3.14159 << 0.02 << "."
                                  << "-3.14";
        QTest::newRow("tiny, log axis") << 1.23456e-7 << 3e-10 << "."
                                        << "1.235E-7";
        QTest::newRow("huge") << 1.2345678901234567e17 << 1e12 << "."
                              << "1.23457E17";
        QTest::newRow("never past 15 digits") << 100.0 << 1e-20 << "."
                                              << "100.000000000000";
        QTest::newRow("no step") << 1.0 / 3 << 0.0 << "."
                                 << "0.333333333333333";
    }

    void realValuesShowTheDigitsAPixelResolves()
    {
        QFETCH(double, value);
        QFETCH(double, step);
        QFETCH(QString, separator);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(pixelResolvedReal(value, step, separator.toStdString())), shown);
    }

    void theStatusBarShowsTheDigitsAPixelResolves()
    {
        showPicture(200, 100, 200, 100);
        // Real x 0 to 0.1 over 100 pixels; log y 1E-9 to 1E-3 over 50 pixels.
        editSettings(p->w, [](ScanSettings& s) {
            calibrate(s, true, 1e-9, 1e-3);
            s.RealRefX = 0.1;
        });
        hover(60, 65); // y 35: 1E-6, and 0.32E-6 more a pixel up
        QCOMPARE(coordinates()->text(), QString("x: 60  y: 35    X: 0.050  Y: 1.0E-6"));
        // Before, 15 digits ran the text into the window's edge.
        QVERIFY(coordinates()->text().size() < 40);
    }

    // Undo and redo take the accepted calibration with them, and a mark moved
    // out of range takes the real values away until it is undone; the
    // coordinates shown change at once, without a move of the mouse.
    void realCoordinatesFollowTheCalibrationInEffectThroughUndo()
    {
        showPicture(200, 100, 200, 100);
        const auto mark = [this](const char* button, QPoint at) {
            QVERIFY(trigger(*p, button));
            click(at);
            QVERIFY(trigger(*p, button));
        };
        // The marks of the calibration below, placed with the mouse before any OK.
        mark("tlbtnMarkO", {10, 90});
        mark("tlbtnMarkX", {110, 50});
        mark("tlbtnMarkY", {50, 40});
        QCOMPARE(p->w.scanSettings().OriginY, 10.0);
        QCOMPARE(p->w.scanSettings().RefY, 60.0);
        const QString pixel("x: 60  y: 50"), real("x: 60  y: 50    X: 50  Y: 800");
        hover(60, 50);
        QCOMPARE(coordinates()->text(), pixel);

        editSettings(p->w, [](ScanSettings& s) { calibrate(s, false, 0, 1000); });
        hover(60, 50);
        QCOMPARE(coordinates()->text(), real);
        QVERIFY(trigger(*p, "Undo")); // the OK: the same marks, never accepted
        QCOMPARE(coordinates()->text(), pixel);
        hover(60, 50);
        QCOMPARE(coordinates()->text(), pixel);
        QVERIFY(trigger(*p, "Redo"));
        QCOMPARE(coordinates()->text(), real);

        mark("tlbtnMarkX", {5, 50}); // X1 left of the origin
        QVERIFY(p->w.statusText().endsWith("Out of range!"));
        QCOMPARE(coordinates()->text(), pixel);
        hover(60, 50);
        QCOMPARE(coordinates()->text(), pixel);
        QVERIFY(trigger(*p, "Undo"));
        QCOMPARE(coordinates()->text(), real);
        QVERIFY(trigger(*p, "Redo")); // the move again: the calibration no longer holds
        QCOMPARE(coordinates()->text(), pixel);
        hover(60, 50);
        QCOMPARE(coordinates()->text(), pixel);

        // The grid follows the accepted calibration through undo too.
        QVERIFY(trigger(*p, "Undo"));
        QVERIFY(trigger(*p, "CalibrationGrid"));
        QVERIFY(!grid()->verticalLines().empty());
        QVERIFY(trigger(*p, "Undo")); // the OK
        QVERIFY(grid()->verticalLines().empty());
    }

    // A smaller picture takes the acceptance away with Execute: the real
    // coordinates and the grid go until an OK accepts the settings again.
    void aSmallerPictureTakesTheRealValuesAwayUntilAnOk()
    {
        showPicture(200, 100, 200, 100);
        editSettings(p->w, [](ScanSettings& s) { calibrate(s, false, 0, 1000); });
        QVERIFY(trigger(*p, "CalibrationGrid"));
        QVERIFY(!grid()->verticalLines().empty());
        hover(60, 50);
        QCOMPARE(coordinates()->text(), QString("x: 60  y: 50    X: 50  Y: 800"));

        const QString smaller = dir.filePath("smaller.bmp");
        writeBmp(smaller, 150, 80, [](int, int) { return 0xFFFFFFu; });
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expectBox(seen);
        p->w.openPicture(smaller);
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Image size notification!"));
        QVERIFY(!actionOf(p->w, "Execute")->isEnabled());
        QVERIFY(grid()->verticalLines().empty());
        hover(60, 50);
        QVERIFY2(!coordinates()->text().contains("X:"), qPrintable(coordinates()->text()));

        acceptSettings(p->w);
        QVERIFY(actionOf(p->w, "Execute")->isEnabled());
        QVERIFY(!grid()->verticalLines().empty());
        QVERIFY2(coordinates()->text().contains("X:"), qPrintable(coordinates()->text()));
    }

    // --- Calibration grid

    void theGridIsACheckableViewCommandOffAtTheStart()
    {
        p = std::make_unique<Program>();
        QAction* a = actionOf(p->w, "CalibrationGrid");
        QVERIFY(a);
        QVERIFY(a->isCheckable());
        QVERIFY(!a->isChecked());
        QCOMPARE(a->text(), QString("Calibration &Grid"));
        auto* view = p->w.findChild<QMenu*>("ViewMenu");
        QVERIFY(view->menuAction()->isVisible());
        QVERIFY(view->actions().contains(a));
        QVERIFY(grid());
        QVERIFY(grid()->isHidden());
    }

    void linesOfALinearCalibrationLieOnTheirPixels()
    {
        showPicture(400, 200, 400, 200);
        editSettings(p->w, [](ScanSettings& s) { calibrate(s, false, 0, 1000); });
        QVERIFY(trigger(*p, "CalibrationGrid"));
        QVERIFY(grid()->isVisible());
        checkGridLines(400, 200);
        resizeImage(1000, 500); // each picture pixel 2.5 window pixels
        QTRY_COMPARE(grid()->size(), QSize(1000, 500));
        checkGridLines(400, 200);
        // Round values: steps of 1, 2 or 5 times a power of ten.
        const auto xs = grid()->verticalLines();
        const double step = xs[1].real - xs[0].real;
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
        QVERIFY(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 || std::abs(mantissa - 5) < 1e-9);
        QCOMPARE(xs[0].label, QString::fromStdString(formatReal(xs[0].real, ".")));
    }

    void linesOfALogCalibrationLieOnTheirPixels()
    {
        showPicture(400, 300, 400, 300);
        editSettings(p->w, [](ScanSettings& s) {
            calibrate(s, true, 1, 10);
            s.RefY = 160; // 150 pixels a decade
        });
        QVERIFY(trigger(*p, "CalibrationGrid"));
        checkGridLines(400, 300);
        std::vector<double> values;
        for (const auto& l : grid()->horizontalLines())
            values.push_back(l.real);
        QVERIFY(std::find(values.begin(), values.end(), 10.0) != values.end());
        QVERIFY(std::find(values.begin(), values.end(), 50.0) != values.end());
        QVERIFY(std::find(values.begin(), values.end(), 2.0) != values.end()); // room for 2 and 5
    }

    void theGridResizesWithThePictureAndFollowsTheMarks()
    {
        showPicture(200, 100, 200, 100);
        editSettings(p->w, [](ScanSettings& s) { calibrate(s, true, 1, 10); });
        QVERIFY(trigger(*p, "CalibrationGrid"));
        resizeImage(500, 300);
        QTRY_COMPARE(grid()->size(), QSize(500, 300));
        checkGridLines(200, 100);

        // Moving X1 with the mouse moves the grid at once: real 100 now at x 60.
        const auto positionOf100 = [this] {
            for (const auto& l : grid()->verticalLines())
                if (l.real == 100)
                    return l.position;
            return -1;
        };
        QCOMPARE(positionOf100(), int(110.5 * 500 / 200));
        QVERIFY(trigger(*p, "tlbtnMarkX"));
        QTest::mousePress(imageOf(p->w), Qt::LeftButton, {}, {150, 150}); // bitmap x 60
        QTest::mouseRelease(imageOf(p->w), Qt::LeftButton, {}, {150, 150});
        QVERIFY(trigger(*p, "tlbtnMarkX"));
        QCOMPARE(p->w.scanSettings().RefX, 60.0);
        QCOMPARE(positionOf100(), int(60.5 * 500 / 200));
        checkGridLines(200, 100);
    }

    void noGridBeforeAnAcceptedCalibration()
    {
        showPicture(200, 100, 200, 100);
        QVERIFY(trigger(*p, "CalibrationGrid"));
        QVERIFY(grid()->verticalLines().empty());
        QVERIFY(grid()->horizontalLines().empty());
        QVERIFY(trigger(*p, "CalibrationGrid"));
        QVERIFY(grid()->isHidden());
    }

    // --- Logarithmic axes in the window

    void theOptionsDialogRefusesRealValuesOfZeroOnALogAxis()
    {
        showPicture(200, 100, 200, 100);
        editSettings(p->w, [](ScanSettings& s) {
            calibrate(s, false, 0, 1000);
            s.ScanStartX = 20;
            s.ScanStartY = 20;
            s.ScanEndX = 100;
            s.ScanEndY = 90;
        });
        auto* logY = p->optionsBox<QCheckBox>("LogYCheckBox");
        QVERIFY(logY);
        QCOMPARE(logY->text(), QString("Logarithmic"));
        QCOMPARE(p->optionsBox<QCheckBox>("LogXCheckBox")->text(), QString("Logarithmic"));

        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expect([](QWidget* w) {
            w->findChild<QCheckBox*>("LogYCheckBox")->setChecked(true);
            w->findChild<QPushButton*>("OKBtn")->click();
        });
        answers.expectBox(seen);
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Invalid input!"));
        QCOMPARE(seen[0].text, QString("Real origin Y must be greater than 0 on a logarithmic axis\n"));
        QVERIFY(!actionOf(p->w, "Execute")->isEnabled());

        // 1 and 1000 are accepted, and the box is kept for the next showing.
        answers.expect([](QWidget* w) {
            QVERIFY(w->findChild<QCheckBox*>("LogYCheckBox")->isChecked());
            w->findChild<QLineEdit*>("SelOYR")->setText("1");
            w->findChild<QPushButton*>("OKBtn")->click();
        });
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QVERIFY(p->w.scanSettings().LogY);
        QVERIFY(!p->w.scanSettings().LogX);
        QVERIFY(actionOf(p->w, "Execute")->isEnabled());
    }

    // A 400 x 400 picture, 1:1 on the screen, with a log y axis of four
    // decades (1 at y 0, 10000 at y 400), real x 0 to 400, and an area of
    // two strips 40 pixels wide over the whole height. In each strip a band
    // of black in its first ten columns: bitmap y 100 to 300 (real 10 to
    // 1000) in the first, 190 to 210 in the second.
    void scanTwoBandsOnALogAxis(bool logY, bool uy = false)
    {
        showPicture(400, 400, 400, 400, [](int x, int row) {
            const int y = 400 - row;
            const bool first = x < 10 && y >= 100 && y <= 300, second = x >= 40 && x < 50 && y >= 190 && y <= 210;
            return first || second ? 0x000000u : 0xFFFFFFu;
        });
        p->outputBox<QCheckBox>("SdevCheckBox")->setChecked(true);
        p->outputBox<QCheckBox>("UyCheckBox")->setChecked(uy);
        OptionVerdict v;
        v.record = calibrated(400, 400, 400, 10000, {0, 0, 80, 400});
        ScanSettings& s = v.record;
        s.RealOriginY = logY ? 1 : 0;
        s.LogY = logY;
        s.ScanWidth = 40;
        p->w.applyOptions(v); // as an OK: Execute is enabled
        QVERIFY(trigger(*p, "Execute"));
        QCOMPARE(p->w.grid().rowCount(), 2); // a point a strip
    }

    // The bar of a point runs from real y - SDEV to real y + SDEV, each
    // mapped back through the calibration: on a log axis it is not
    // symmetric, and an end at or below 0 runs to the area's bottom edge.
    void sdevBarsOnALogAxisSpanRealYMinusAndPlusSdev()
    {
        scanTwoBandsOnALogAxis(true);
        const ScanSettings& s = p->w.scanSettings();
        const ChartMap map(s);
        const PointsOverlay& points = p->w.pointsOnPicture();
        QCOMPARE(int(points.points().size()), 2);
        for (int n = 1; n <= 2; ++n) {
            const double y = readReal(p->w.grid().cell(2, n), ".").value();
            const double sdev = readReal(p->w.grid().cell(3, n), ".").value();
            const PointsOverlay::Point& pt = points.points()[size_t(n - 1)];
            QVERIFY(pt.hasBar());
            QCOMPARE(pt.barHigh, map.bitmapY(y + sdev));
            if (y - sdev > 0)
                QCOMPARE(pt.barLow, map.bitmapY(y - sdev));
            else
                QCOMPARE(pt.barLow, s.ScanStartY);
        }
        // The wide band: y - SDEV is below 0. The thin one: a decade is
        // wider above a value than below it by the same amount.
        const PointsOverlay::Point &wide = points.points()[0], &thin = points.points()[1];
        QCOMPARE(wide.barLow, 0.0);
        QVERIFY(wide.barHigh - wide.y > 40);
        QVERIFY(thin.y - thin.barLow > thin.barHigh - thin.y);

        // Drawn so: along the wide band's point, the bar reaches from its
        // upper end down to the bottom of the picture.
        QVERIFY(trigger(*p, "PointsOnPicture"));
        PictureView* view = imageOf(p->w);
        const QImage shown = view->grab().toImage();
        const QPoint c = PointsOverlay::viewPosition(wide, view->screenMap()).toPoint();
        const auto drawn = [&](int row) { return qGray(shown.pixel(c.x(), row)) < 200; };
        int top = c.y(), bottom = c.y();
        while (top > 0 && drawn(top - 1))
            --top;
        while (bottom < shown.height() - 1 && drawn(bottom + 1))
            ++bottom;
        const double high = PointsOverlay::viewY(wide.barHigh, view->screenMap());
        QVERIFY2(std::abs(top - high) <= 3, qPrintable(QString("top %1, bar end %2").arg(top).arg(high)));
        QCOMPARE(bottom, shown.height() - 1);
    }

    // View Chart draws a log axis as one, and a linear axis as before.
    void theChartOfALogScanHasALogAxis()
    {
        scanTwoBandsOnALogAxis(true);
        const ResultChart& chart = p->w.chart();
        const auto* left = qobject_cast<const QLogValueAxis*>(&chart.leftAxis());
        QVERIFY(left);
        QCOMPARE(left->base(), 10.0);
        QVERIFY(qobject_cast<const QValueAxis*>(&chart.bottomAxis()));
        QCOMPARE(chart.chart()->axes(Qt::Vertical).size(), 1);
        QCOMPARE(chart.chart()->axes(Qt::Vertical).front(), &chart.leftAxis());
        QAbstractSeries* series = chart.chart()->series().front();
        QCOMPARE(series->attachedAxes().size(), 2);
        QVERIFY(series->attachedAxes().contains(const_cast<QAbstractAxis*>(&chart.leftAxis())));
        QCOMPARE(chart.points().size(), 2);
        for (const QPointF& pt : chart.points())
            QVERIFY(left->min() <= pt.y() && pt.y() <= left->max());
        QCOMPARE(chart.leftRange().min, left->min());
        // A power of ten lies inside, where the axis puts a label.
        QVERIFY(std::floor(std::log10(left->max())) >= std::ceil(std::log10(left->min())));

        scanTwoBandsOnALogAxis(false);
        QVERIFY(qobject_cast<const QValueAxis*>(&p->w.chart().leftAxis()));
        QCOMPARE(p->w.chart().chart()->axes(Qt::Vertical).size(), 1);
    }

    // With U(Y) among the fields the chart draws each point's real y
    // +- U(Y) as a bar over the point; without it, none.
    void theChartDrawsUyAsErrorBars()
    {
        scanTwoBandsOnALogAxis(false, true);
        ResultChart& chart = *p->w.findChild<ResultChart*>("ChartXY");
        const int32_t uyColumn = layoutGrid(p->w.document().fields).columnOf(Field::Uy);
        QVERIFY(uyColumn > 0);
        QCOMPARE(chart.errorBars().size(), 2);
        for (int n = 1; n <= 2; ++n) {
            const double x = readReal(p->w.grid().cell(1, n), ".").value();
            const double y = readReal(p->w.grid().cell(2, n), ".").value();
            const double u = readReal(p->w.grid().cell(uyColumn, n), ".").value();
            const ResultChart::ErrorBar& bar = chart.errorBars()[n - 1];
            QCOMPARE(bar.x, x);
            QCOMPARE(bar.low, y - u);
            QCOMPARE(bar.high, y + u);
        }
        // The wide band's bar is drawn: dark red pixels run from its point
        // toward y + U(Y), well beyond the point's marker.
        QVERIFY(trigger(*p, "Chart"));
        QTRY_VERIFY(chart.isVisible());
        const ResultChart::ErrorBar& wide = chart.errorBars()[0];
        const QImage shown = chart.grab().toImage();
        const auto scene = [&](double y) {
            return chart.mapFromScene(chart.chart()->mapToScene(chart.chart()->mapToPosition({wide.x, y})));
        };
        const QPoint top = scene(wide.high), middle = scene((wide.low + wide.high) / 2);
        QVERIFY(middle.y() - top.y() > 10);
        int red = 0;
        for (int row = top.y() + 1; row < middle.y() - 4; ++row) {
            bool barRed = false; // within a pixel of where it maps to, as the pen rounds it
            for (int x = top.x() - 1; x <= top.x() + 1; ++x) {
                const QColor c = shown.pixelColor(x, row);
                barRed = barRed || (c.red() > 100 && c.green() < 60 && c.blue() < 60);
            }
            red += barRed;
        }
        QVERIFY2(red >= middle.y() - top.y() - 8, qPrintable(QString::number(red)));

        scanTwoBandsOnALogAxis(false, false);
        QVERIFY(p->w.findChild<ResultChart*>("ChartXY")->errorBars().isEmpty());
    }

    // A log axis keeps a small margin in decades, and always holds a power
    // of ten, where its labels go.
    void aLogAxisFitsItsDataInDecades()
    {
        const AxisFit three = fitLogAxisRange(1, 1000);
        QVERIFY(three.min < 1 && three.min > 0.8);
        QVERIFY(three.max > 1000 && three.max < 1200);
        const AxisFit within = fitLogAxisRange(2, 8);
        QCOMPARE(within.min, 1.0);
        QCOMPARE(within.max, 10.0);
        const AxisFit flat = fitLogAxisRange(5, 5);
        QCOMPARE(flat.min, 1.0);
        QCOMPARE(flat.max, 10.0);
        const AxisFit none = fitLogAxisRange(0, 5); // nothing a log axis can show
        QCOMPARE(none.min, 1.0);
        QCOMPARE(none.max, 10.0);
    }

    void theWindowsReportNamesALogAxisOnlyWhenThereIsOne()
    {
        p = std::make_unique<Program>();
        const QString path = dir.filePath("chart.bmp");
        writeBmp(path, 640, 480, workedExamplePixel);
        p->w.openPicture(path);
        editSettings(p->w, [](ScanSettings& r) { r = workedExampleSettings(); });
        p->outputBox<QCheckBox>("SdevCheckBox")->setChecked(true);
        p->outputBox<QCheckBox>("ScanCheckBox")->setChecked(true);
        p->outputBox<QCheckBox>("ColNamesCheckBox")->setChecked(true);
        const auto memo = [this] { return QString::fromStdString(joinLines(p->w.outputLines())); };

        // Both axes linear: byte for byte as before.
        QVERIFY(trigger(*p, "Execute"));
        QCOMPARE(memo(), QString(kWorkedExampleText));

        editSettings(p->w, [](ScanSettings& r) {
            r.LogY = true;
            r.RealOriginY = 1;
        });
        QVERIFY(trigger(*p, "Execute"));
        QVERIFY2(memo().contains("Scan end:,63,200\r\nY axis:,logarithmic\r\n\r\nX,Y,SDEV\r\n0.525,10,0\r\n"),
                 qPrintable(memo()));
        QVERIFY(!memo().contains("X axis:"));
    }
};

QTEST_MAIN(CalibrationViewsTest)
#include "CalibrationViewsTest.moc"
