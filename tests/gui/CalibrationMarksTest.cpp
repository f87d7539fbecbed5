// The calibration kinds in the window: the options dialog's calibration
// group on a rotated chart, and the refusals of marks that cannot fix the map.
#include "GuiTestSupport.h"

#include "../../files/SettingsFile.h"
#include "../WarpedChart.h"
#include "CalibrationGrid.h"
#include "ChartScan.h"
#include "CountedPixelsOverlay.h"
#include "PointsOverlay.h"
#include "StraightenedView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace plotrun;
using namespace plotrun::test;

namespace {

QLineEdit* box(const QDialog& d, const char* name) { return d.findChild<QLineEdit*>(name); }
QString number(double v) { return QString::number(v, 'g', 12); }

// Types the marks of `s` (the chart's true ones) into the dialog, the kind
// first; `fill` then changes what it needs.
void typeMarks(TGOptions& d, const ScanSettings& s)
{
    d.findChild<QComboBox*>("CalibrationKind")->setCurrentIndex(int(s.Calibration.Kind));
    const std::pair<const char*, double> boxes[] = {{"SelOX", s.OriginX},
                                                    {"SelOY", s.OriginY},
                                                    {"SelX", s.RefX},
                                                    {"SelX1Y", s.Calibration.X1Y},
                                                    {"SelY1X", s.Calibration.Y1X},
                                                    {"SelY", s.RefY},
                                                    {"SelCX", s.Calibration.CornerX},
                                                    {"SelCY", s.Calibration.CornerY},
                                                    {"SelXR", s.RealRefX},
                                                    {"SelYR", s.RealRefY},
                                                    {"SelSX1", s.ScanStartX},
                                                    {"SelSY1", s.ScanStartY},
                                                    {"SelSX2", s.ScanEndX},
                                                    {"SelSY2", s.ScanEndY},
                                                    {"Threshold", 128}};
    for (const auto& [name, v] : boxes)
        box(d, name)->setText(v > -1 ? number(v) : QString());
}

} // namespace

class CalibrationMarksTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<Program> p;
    WarpedChart chart = drawWarpedChart(rotationAboutCentre(1.5));

    void openChart()
    {
        p = std::make_unique<Program>();
        const QString path = dir.filePath("rotated.bmp");
        QVERIFY(chart.picture.save(path));
        p->w.openPicture(path);
        QVERIFY(p->w.pictureLoaded());
    }

    // Opens the options dialog, lets `fill` type, clicks OK; the message
    // boxes shown are seen.
    std::vector<SeenBox> okWith(const std::function<void(TGOptions&)>& fill)
    {
        std::vector<SeenBox> seen;
        ModalAnswers answers;
        answers.expect(okOptions(fill));
        answers.expectBox(seen);
        if (!trigger(*p, "Options"))
            return {{"<Options is disabled>"}};
        QTest::qWaitFor([&] { return answers.allAnswered(); }, 5000);
        return seen;
    }

    void applyTruth(CalibrationKind kind)
    {
        const OptionVerdict v = checkSettings(chart.settings(kind), chart.picture.width(), chart.picture.height());
        QVERIFY2(v.inputValid, v.messages.c_str());
        p->w.applyOptions(v);
    }

    // A click on the picture in the mode of `button`, which is left again.
    void click(const char* button, QPoint at)
    {
        QVERIFY(trigger(*p, button));
        QTest::mousePress(imageOf(p->w), Qt::LeftButton, {}, at);
        QTest::mouseRelease(imageOf(p->w), Qt::LeftButton, {}, at);
        QVERIFY(trigger(*p, button));
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    void theAxesKindShowsTheDialogAsBeforeAndLeavesTheRecordAsItWas()
    {
        openChart();
        const OptionVerdict v = checkSettings(workedExampleSettings(), chart.picture.width(), chart.picture.height());
        p->w.applyOptions(v);
        const ScanSettings before = p->w.scanSettings();
        const auto seen = okWith([](TGOptions& d) {
            auto* kind = d.findChild<QComboBox*>("CalibrationKind");
            QCOMPARE(kind->currentIndex(), 0);
            QCOMPARE(kind->count(), 3);
            QCOMPARE(kind->itemText(0), QString("Axes along the picture"));
            QCOMPARE(kind->itemText(1), QString("Three points (rotated or skewed)"));
            QCOMPARE(kind->itemText(2), QString("Four points (photographed)"));
            for (const char* hidden : {"SelX1Y", "SelY1X", "CalibrationGroupBox"})
                QVERIFY2(!d.findChild<QWidget*>(hidden)->isVisible(), hidden);
            QCOMPARE(box(d, "SelX")->width(), 100);
            QCOMPARE(d.size(), QSize(767, 478));
            QVERIFY(!d.findChild<QCheckBox*>("SnapCheckBox")->isChecked());
        });
        QVERIFY(seen.empty());
        QCOMPARE(p->w.scanSettings(), before);
    }

    void okPutsTheThreePointMarksAndTheFurtherPointsIntoTheRecord()
    {
        openChart();
        const ScanSettings truth = chart.settings(CalibrationKind::ThreePoint);
        const auto seen = okWith([&](TGOptions& d) {
            typeMarks(d, truth);
            QVERIFY(d.findChild<QGroupBox*>("CalibrationGroupBox")->isVisible());
            QVERIFY(box(d, "SelX1Y")->isVisible() && box(d, "SelY1X")->isVisible());
            QVERIFY(!box(d, "SelCX")->isEnabled()); // the corner is the four-point kind's
            QCOMPARE(d.size(), QSize(1135, 478));
            // Two further points: the grid crossing (5, 0.5), and (8, 0.2) put 5 px off.
            auto* table = d.findChild<QTableWidget*>("ReferencePointsTable");
            const double rows[2][4] = {{chart.bitmapX(5, 0.5), chart.bitmapY(5, 0.5), 5, 0.5},
                                       {chart.bitmapX(8, 0.2) + 5, chart.bitmapY(8, 0.2), 8, 0.2}};
            for (const auto& row : rows) {
                d.findChild<QPushButton*>("AddPointBtn")->click();
                for (int k = 0; k < 4; ++k)
                    table->item(table->rowCount() - 1, k)->setText(number(row[k]));
            }
            // The residuals follow what is typed: the misplaced point stands out.
            QVERIFY(table->item(0, 4)->text().toDouble() < table->item(1, 4)->text().toDouble());
            QVERIFY(table->item(1, 4)->text().toDouble() > 2);
            QVERIFY(!(table->item(1, 4)->flags() & Qt::ItemIsEditable));
            QVERIFY(d.findChild<QLabel*>("RmsLabel")->text().startsWith("rms residual: "));
            QVERIFY(d.findChild<QLabel*>("MarkResidualsLabel")->text().contains("X1 "));
            d.findChild<QCheckBox*>("SnapCheckBox")->setChecked(true);
        });
        QVERIFY2(seen.empty(), seen.empty() ? "" : qPrintable(seen[0].text));
        const CalibrationSettings& c = p->w.scanSettings().Calibration;
        QCOMPARE(c.Kind, CalibrationKind::ThreePoint);
        // Fractions are kept: a rotated chart's marks lie between pixels.
        QCOMPARE(p->w.scanSettings().RefX, truth.RefX);
        QCOMPARE(c.X1Y, truth.Calibration.X1Y);
        QCOMPARE(c.Y1X, truth.Calibration.Y1X);
        QCOMPARE(c.Points.size(), size_t(2));
        QCOMPARE(c.Points[1].realX, 8.0);
        QVERIFY(c.Snap);
        QVERIFY(p->action("Execute")->isEnabled());
        // Undo takes the kind back with the rest.
        QVERIFY(trigger(*p, "Undo"));
        QCOMPARE(p->w.scanSettings().Calibration, CalibrationSettings{});
    }

    void theCornerAndPointButtonsFollowTheKind()
    {
        openChart();
        QVERIFY(!p->action("MarkCorner")->isEnabled() && !p->action("MarkCorner")->isVisible());
        QVERIFY(!p->action("MarkPoint")->isEnabled() && !p->action("MarkPoint")->isVisible());
        for (const auto kind : {CalibrationKind::ThreePoint, CalibrationKind::FourPoint}) {
            applyTruth(kind);
            QCOMPARE(p->action("MarkCorner")->isEnabled(), kind == CalibrationKind::FourPoint);
            QTRY_COMPARE(widgetOf(p->w, "MarkCorner")->isVisible(), kind == CalibrationKind::FourPoint);
            QVERIFY(p->action("MarkPoint")->isEnabled());
            // One mark mode at a time.
            QVERIFY(trigger(*p, "tlbtnMarkO"));
            QVERIFY(!p->action("MarkPoint")->isEnabled());
            QVERIFY(trigger(*p, "tlbtnMarkO"));
        }
        // The C mode, left on while an undo takes the four-point kind away,
        // can still be left with Escape.
        QVERIFY(trigger(*p, "MarkCorner"));
        QVERIFY(trigger(*p, "Undo"));
        QCOMPARE(p->w.scanSettings().Calibration.Kind, CalibrationKind::ThreePoint);
        QVERIFY(!p->action("MarkCorner")->isVisible());
        QTest::keyClick(imageOf(p->w), Qt::Key_Escape);
        QVERIFY(p->action("tlbtnMarkO")->isEnabled() && !p->action("MarkCorner")->isEnabled());
    }

    void inTheOtherKindsMarksAreFullPointsAndClicksAddReferencePoints()
    {
        openChart();
        // Along the picture X1 is a line.
        QCOMPARE(imageOf(p->w)->shape(Mark::X1).look, Shape::Look::DottedLine);
        applyTruth(CalibrationKind::FourPoint);
        const ScreenMap screen = imageOf(p->w)->screenMap();
        const ScanSettings& s = p->w.scanSettings();
        for (const auto& [mark, x, y] :
             {std::tuple{Mark::X1, s.RefX, s.Calibration.X1Y}, std::tuple{Mark::Y1, s.Calibration.Y1X, s.RefY},
              std::tuple{Mark::C, s.Calibration.CornerX, s.Calibration.CornerY}}) {
            const Shape& shape = imageOf(p->w)->shape(mark);
            QCOMPARE(shape.look, Shape::Look::CrossedCircle);
            QVERIFY(shape.visible);
            QCOMPARE(shape.bounds.topLeft() + QPoint(8, 8), QPoint(screen.windowX(x), screen.windowY(y)));
        }
        // A click of X1, Y1 or C sets both numbers of the point.
        const QPoint at = imageOf(p->w)->rect().center();
        const double bx = screen.bitmapX(at.x() + screen.frame().x()), by = screen.bitmapY(at.y() + screen.frame().y());
        for (const char* button : {"tlbtnMarkX", "tlbtnMarkY", "MarkCorner"})
            click(button, at);
        QCOMPARE(s.RefX, bx);
        QCOMPARE(s.Calibration.X1Y, by);
        QCOMPARE(s.Calibration.Y1X, bx);
        QCOMPARE(s.RefY, by);
        QCOMPARE(s.Calibration.CornerX, bx);
        QCOMPARE(s.Calibration.CornerY, by);
        QVERIFY(p->w.statusText().startsWith("Corner C set to: ("));
        // A reference point asks its real values, and undo takes it away.
        std::vector<std::pair<double, double>> asked;
        p->w.commonDialogs().pointValues = [&](double x, double y) {
            asked.emplace_back(x, y);
            return std::optional<std::pair<double, double>>({5, 0.5});
        };
        click("MarkPoint", at + QPoint(10, 0));
        QCOMPARE(asked.size(), size_t(1));
        QCOMPARE(s.Calibration.Points.size(), size_t(1));
        QCOMPARE(s.Calibration.Points[0], (ReferencePoint{asked[0].first, asked[0].second, 5, 0.5}));
        QCOMPARE(imageOf(p->w)->referencePoints().size(), size_t(1));
        QVERIFY(trigger(*p, "Undo"));
        QVERIFY(s.Calibration.Points.empty());
        QVERIFY(imageOf(p->w)->referencePoints().empty());
        QCOMPARE(s.Calibration.CornerX, bx); // the corner's click stays
        // Cancelled, the click adds nothing.
        p->w.commonDialogs().pointValues = [](double, double) { return std::optional<std::pair<double, double>>(); };
        click("MarkPoint", at);
        QVERIFY(s.Calibration.Points.empty());
    }

    void theViewsOverThePictureFollowTheMap()
    {
        openChart();
        applyTruth(CalibrationKind::ThreePoint);
        const ScreenMap screen = imageOf(p->w)->screenMap();
        const ScanSettings& s = p->w.scanSettings();
        // The area, dragged from O to C, is the slanted frame: its corners are O, X1, C and Y1.
        const auto viewAt = [&](double x, double y) {
            return QPoint(int(screen.viewX(x)), int(screen.viewY(screen.pictureYOf(y))));
        };
        const QPoint from = viewAt(s.OriginX, s.OriginY), to = viewAt(s.Calibration.CornerX, s.Calibration.CornerY);
        QTest::mousePress(imageOf(p->w), Qt::LeftButton, {}, from);
        QMouseEvent drag(QEvent::MouseMove, QPointF(to), imageOf(p->w)->mapToGlobal(QPointF(to)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(imageOf(p->w), &drag);
        QTest::mouseRelease(imageOf(p->w), Qt::LeftButton, {}, to);
        const QPolygon quad = imageOf(p->w)->areaPolygon();
        QCOMPARE(quad.size(), 4);
        const auto near = [&](double x, double y) {
            const QPoint at(screen.windowX(x), screen.windowY(y));
            return std::any_of(quad.begin(), quad.end(), [&](QPoint q) { return (q - at).manhattanLength() <= 3; });
        };
        QVERIFY(near(s.OriginX, s.OriginY) && near(s.RefX, s.Calibration.X1Y) && near(s.Calibration.Y1X, s.RefY));
        QVERIFY(near(s.Calibration.CornerX, s.Calibration.CornerY));
        // The calibration grid runs along the chart's axes: its x = 4 line
        // passes through the chart's (4, 0) and (4, 1).
        QVERIFY(trigger(*p, "CalibrationGrid"));
        auto* grid = p->w.findChild<CalibrationGrid*>("CalibrationGrid");
        QVERIFY(grid->verticalLines().empty() && grid->horizontalLines().empty());
        const auto lines = grid->chartLines();
        const auto four =
            std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.alongY && l.real == 4; });
        QVERIFY(four != lines.end());
        for (const double y : {0.0, 1.0}) {
            const QPointF at(screen.viewX(chart.bitmapX(4, y) + 0.5),
                             screen.viewY(screen.pictureYOf(chart.bitmapY(4, y)) + 0.5));
            const QLineF l = four->line;
            const double distance = std::fabs((l.dx() * (l.y1() - at.y()) - l.dy() * (l.x1() - at.x())) / l.length());
            QVERIFY2(distance < 1, qPrintable(QString::number(distance)));
        }
        // The live coordinates read the chart through the map: along the
        // picture's rows the rotation alone would put y 0.02 off here.
        const QPointF at(screen.viewX(chart.bitmapX(5, 0.5)), screen.viewY(screen.pictureYOf(chart.bitmapY(5, 0.5))));
        QMouseEvent move(QEvent::MouseMove, at, imageOf(p->w)->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(imageOf(p->w), &move);
        const QString shown = p->w.findChild<QLabel*>("CoordinatesLabel")->text();
        const QRegularExpressionMatch m = QRegularExpression("X: (\\S+)  Y: (\\S+)").match(shown);
        QVERIFY2(m.hasMatch(), qPrintable(shown));
        QVERIFY2(std::fabs(m.captured(1).toDouble() - 5) < 0.05, qPrintable(shown));
        QVERIFY2(std::fabs(m.captured(2).toDouble() - 0.5) < 0.008, qPrintable(shown));
    }

    void withSnappingOnAMarkDroppedNearACrossingMovesToIt()
    {
        openChart();
        const ScanSettings truth = chart.settings(CalibrationKind::ThreePoint);
        const ScreenMap screen = imageOf(p->w)->screenMap();
        // X1 dropped about 2 px off the axis' end.
        const QPoint at(int(screen.viewX(truth.RefX - 2)),
                        int(screen.viewY(screen.pictureYOf(truth.Calibration.X1Y + 1))));
        for (const bool snap : {false, true}) {
            editSettings(p->w, [&](ScanSettings& s) {
                s = truth;
                s.Calibration.Snap = snap;
            });
            click("tlbtnMarkX", at);
            const ScanSettings& s = p->w.scanSettings();
            const double off = std::hypot(s.RefX - truth.RefX, s.Calibration.X1Y - truth.Calibration.X1Y);
            QVERIFY2(snap ? off < 0.2 : off > 1, qPrintable(QString::number(off)));
            QCOMPARE(p->w.statusText().contains("snapped to the line crossing at ("), snap);
        }
    }

    void theCountedPixelsAreThoseOfTheQuadrilateral()
    {
        openChart();
        applyTruth(CalibrationKind::ThreePoint);
        QVERIFY(trigger(*p, "CountedPixels"));
        const CountedPixelsOverlay& counted = p->w.countedPixels();
        QTRY_VERIFY(counted.settled() && counted.refined());
        const QImage& ov = counted.overlay();
        const int k = counted.reduction();
        const QImage& picture = chart.picture;
        // Whether a dark picture pixel is tinted, and whether the overlay reaches it.
        const auto tinted = [&](int x, int row, bool& reached) {
            const int ox = int((x - counted.area().left) / k), oy = int((row - counted.areaTop()) / k);
            reached = ox >= 0 && oy >= 0 && ox < ov.width() && oy < ov.height();
            return reached && qAlpha(ov.pixel(ox, oy)) != 0;
        };
        // The label "1" under the x axis lies in the rectangle that holds the
        // slanted area, but outside the area: none of it counts.
        int labelPixels = 0;
        const double bx = chart.bitmapX(1, 0), by = chart.bitmapY(1, 0);
        for (int row = picture.height() - int(by) + 11; row <= picture.height() - int(by) + 15; ++row)
            for (int x = int(bx) - 6; x <= int(bx) + 6; ++x) {
                if (qGray(picture.pixel(x, row)) > 128)
                    continue;
                bool reached = false;
                QVERIFY2(!tinted(x, row, reached), qPrintable(QString("%1,%2").arg(x).arg(row)));
                labelPixels += reached;
            }
        QVERIFY(labelPixels > 3);
        // The curve inside the area does.
        const int cx = int(std::lround(chart.bitmapX(5, WarpedChart::curve(5))));
        const int cr = picture.height() - int(std::lround(chart.bitmapY(5, WarpedChart::curve(5))));
        bool reached = false;
        QVERIFY(tinted(cx, cr, reached));
    }

    void anSdevBarRunsAlongTheChartsYAxis()
    {
        PictureView view;
        PointsOverlay points(view);
        const ScanSettings s = chart.settings(CalibrationKind::ThreePoint);
        ResultRow row;
        row.realX = 5;
        row.realY = 0.5;
        row.sdev = 0.1;
        row.bitmapX = chart.bitmapX(5, 0.5);
        row.bitmapY = chart.bitmapY(5, 0.5);
        points.setResult({row}, s, true, chart.picture.size());
        QCOMPARE(points.points().size(), size_t(1));
        const PointsOverlay::Point& pt = points.points()[0];
        QVERIFY(pt.hasBar());
        for (const auto& [x, y, realY] :
             {std::tuple{pt.barLowX, pt.barLow, 0.4}, std::tuple{pt.barHighX, pt.barHigh, 0.6}})
            QVERIFY(std::hypot(x - chart.bitmapX(5, realY), y - chart.bitmapY(5, realY)) < 0.01);
    }

    void theStraightenedViewShowsTheFrameAndTakesAnArea()
    {
        openChart();
        QVERIFY(!p->action("Straightened")->isEnabled()); // along the picture there is nothing to straighten
        applyTruth(CalibrationKind::ThreePoint);
        QVERIFY(trigger(*p, "Straightened"));
        auto* view = p->w.findChild<StraightenedView*>("StraightenedView");
        QVERIFY(view && view->isVisible() && p->action("Straightened")->isChecked());
        const ScanSettings& s = p->w.scanSettings();
        const ChartMap map(s);
        const QImage& shown = view->straightened();
        const auto pixelOf = [&](ChartPoint f) {
            return QPoint(int(std::lround((f.x - view->frameLeft()) / view->step())),
                          int(std::lround((view->frameTop() - f.y) / view->step())));
        };
        // The x axis, slanted on the picture, runs along one row: dark from O to X1.
        const QPoint o = pixelOf(map.toFrame(s.OriginX, s.OriginY));
        const QPoint x1 = pixelOf(map.toFrame(s.RefX, s.Calibration.X1Y));
        QVERIFY(std::abs(o.y() - x1.y()) <= 1);
        int dark = 0;
        for (int i = o.x() + 5; i < x1.x() - 5; ++i)
            dark += std::min({qGray(shown.pixel(i, o.y() - 1)), qGray(shown.pixel(i, o.y())),
                              qGray(shown.pixel(i, o.y() + 1))}) < 128;
        QVERIFY2(dark > (x1.x() - o.x() - 10) * 95 / 100, qPrintable(QString::number(dark)));
        // A rectangle dragged there becomes the area: the same rectangle in the frame.
        const auto frameOf = [&](double rx, double ry) {
            return map.toFrame(chart.bitmapX(rx, ry), chart.bitmapY(rx, ry));
        };
        const ChartPoint from = frameOf(2, 0.2), to = frameOf(8, 0.8);
        const QPoint a = view->widgetPoint(from.x, from.y).toPoint(), b = view->widgetPoint(to.x, to.y).toPoint();
        const double startBefore = s.ScanStartX;
        QTest::mousePress(view, Qt::LeftButton, {}, a);
        QMouseEvent move(QEvent::MouseMove, QPointF(b), view->mapToGlobal(QPointF(b)), Qt::NoButton, Qt::LeftButton,
                         {});
        QApplication::sendEvent(view, &move);
        QTest::mouseRelease(view, Qt::LeftButton, {}, b);
        const FrameArea area = frameAreaOf(s, map);
        const double tolerance = 2 * view->step() + 2;
        QVERIFY(std::fabs(area.left - from.x) < tolerance && std::fabs(area.right - to.x) < tolerance);
        QVERIFY(std::fabs(area.bottom - from.y) < tolerance && std::fabs(area.top - to.y) < tolerance);
        QCOMPARE(imageOf(p->w)->areaPolygon().size(), 4);
        QVERIFY(trigger(*p, "Undo"));
        QCOMPARE(s.ScanStartX, startBefore);
        QVERIFY(trigger(*p, "Straightened"));
        QVERIFY(!view->isVisible());
    }

    void okRefusesMarksThatCannotFixTheMap()
    {
        openChart();
        ScanSettings missing = chart.settings(CalibrationKind::ThreePoint);
        missing.Calibration.X1Y = -1;
        ScanSettings collinear = chart.settings(CalibrationKind::ThreePoint);
        collinear.Calibration.Y1X = (collinear.OriginX + collinear.RefX) / 2;
        collinear.RefY = (collinear.OriginY + collinear.Calibration.X1Y) / 2;
        ScanSettings noCorner = chart.settings(CalibrationKind::FourPoint);
        noCorner.Calibration.CornerX = -1;
        for (const ScanSettings& s : {missing, collinear, noCorner}) {
            // The true marks, from a settings record, are accepted.
            applyTruth(CalibrationKind::FourPoint);
            QVERIFY(p->action("Execute")->isEnabled());
            const auto seen = okWith([&](TGOptions& d) { typeMarks(d, s); });
            QCOMPARE(seen.size(), size_t(1));
            QCOMPARE(seen[0].title, QString("Invalid input!"));
            const std::string refusal = calibrationRefusal(p->options.typedSettings());
            QVERIFY(!refusal.empty());
            QCOMPARE(seen[0].text.toStdString(), refusal);
            QVERIFY(!p->action("Execute")->isEnabled());
        }
    }
};

QTEST_MAIN(CalibrationMarksTest)
#include "CalibrationMarksTest.moc"
