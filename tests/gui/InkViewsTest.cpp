// Ink mode in the window: the options dialog's Ink group, picking the ink
// from the picture, the counted pixels view and the points on the picture.
#include "GuiTestSupport.h"

#include "../InkChart.h"
#include "../ReferenceScan.h"
#include "CountedPixelsOverlay.h"
#include "PointsOverlay.h"
#include "Report.h"

#include "../../files/PictureFile.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QPushButton>
#include <QTemporaryDir>

#include <set>

using namespace plotrun;
using namespace plotrun::test;

namespace {

uint32_t scanColour(QRgb c) { return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16; }

void type(QDialog& d, const char* box, const QString& text) { d.findChild<QLineEdit*>(box)->setText(text); }

// The boxes of a valid OK for the chart.
void fillChartBoxes(TGOptions& d, const ScanSettings& s)
{
    const auto n = [](double v) { return QString::number(v); };
    type(d, "SelOX", n(s.OriginX));
    type(d, "SelOY", n(s.OriginY));
    type(d, "SelX", n(s.RefX));
    type(d, "SelY", n(s.RefY));
    type(d, "SelXR", n(s.RealRefX));
    type(d, "SelYR", n(s.RealRefY));
    type(d, "SelSX1", n(s.ScanStartX));
    type(d, "SelSY1", n(s.ScanStartY));
    type(d, "SelSX2", n(s.ScanEndX));
    type(d, "SelSY2", n(s.ScanEndY));
    type(d, "SelSW", n(s.ScanWidth));
}

} // namespace

class InkViewsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Program> p;

    void openChart(int width = 800, int height = 600)
    {
        p = std::make_unique<Program>();
        p->w.acceptPicture(pictureFromImage(InkChart::draw(width, height)), "chart.png");
        QVERIFY(p->w.pictureLoaded());
    }

    void readyChart(int width, int height, bool ink)
    {
        openChart(width, height);
        ScanSettings s = InkChart::settings(width, height);
        s.Ink.On = ink;
        s.Ink.Ink = scanColour(InkChart::kBlue);
        editSettings(p->w, [&](ScanSettings& r) { r = s; });
    }

    const CountedPixelsOverlay& counted() const { return p->w.countedPixels(); }

    // The blocks of the reduced mask that hold a pixel the literal scan counts.
    std::set<std::pair<int, int>> blocksCountedByTheScan() const { return blocksCountedByTheScan(p->w.scanSettings()); }
    std::set<std::pair<int, int>> blocksCountedByTheScan(const ScanSettings& s) const
    {
        const ReferenceResult want = referenceScan(pixelView(p->w.picture().image), s, false);
        const CountedArea& a = counted().area();
        const int k = counted().reduction();
        std::set<std::pair<int, int>> blocks;
        for (const auto& [x, r] : want.counted)
            blocks.insert({int((x - a.left) / k), int((r - counted().areaTop()) / k)});
        return blocks;
    }

    std::set<std::pair<int, int>> tintedBlocks() const
    {
        std::set<std::pair<int, int>> blocks;
        const QImage& ov = counted().overlay();
        for (int y = 0; y < ov.height(); ++y)
            for (int x = 0; x < ov.width(); ++x)
                if (qAlpha(ov.pixel(x, y)) != 0)
                    blocks.insert({x, y});
        return blocks;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    void inkModeAndTheViewsAreOffAtTheStart()
    {
        openChart();
        QVERIFY(!p->optionsBox<QCheckBox>("InkCheckBox")->isChecked());
        QCOMPARE(p->optionsBox("SelInkTol")->text(), QString("40"));
        QCOMPARE(p->w.scanSettings().Ink, InkSettings{});
        for (const char* view : {"CountedPixels", "PointsOnPicture"}) {
            QVERIFY2(p->action(view)->isCheckable() && !p->action(view)->isChecked(), view);
            QVERIFY2(p->action(view)->isEnabled(), view);
        }
        QVERIFY(p->w.findChild<QToolButton*>("CountedPixelsToolBtn"));
        QVERIFY(p->w.findChild<QMenu*>("ViewMenu")->menuAction()->isVisible());
        QCOMPARE(p->action("CountedPixels")->statusTip(),
                 QString("Tint the pixels of the scan area that the next scan counts"));
        QCOMPARE(p->optionsBox<QPushButton>("PickInkBtn")->toolTip(), QString("Pick from picture"));
    }

    void withInkModeOffTheOutputIsTheOldOne()
    {
        p = std::make_unique<Program>();
        QImage chart(640, 480, QImage::Format_RGB32);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                chart.setPixel(x, y, 0xFF000000u | workedExamplePixel(x, y));
        p->w.acceptPicture(pictureFromImage(chart), "chart.bmp");
        p->options.setPictureInfo(640, 480, "24");
        editSettings(p->w, [&](ScanSettings& r) { r = workedExampleSettings(); });
        for (const char* box : {"SdevCheckBox", "ScanCheckBox", "ColNamesCheckBox"})
            p->outputBox<QCheckBox>(box)->setChecked(true);
        QVERIFY(trigger(*p, "Execute"));
        QCOMPARE(QString::fromStdString(joinLines(p->w.outputLines())), QString(kWorkedExampleText));
        // Black ink on white paper weighs as darkness: the same points, one line more.
        editSettings(p->w, [&](ScanSettings& r) { r.Ink.On = true; });
        QVERIFY(trigger(*p, "Execute"));
        QString want = kWorkedExampleText;
        want.insert(want.indexOf("Weighted Y points"), "Ink:,#000000,#ffffff,40\r\n");
        QCOMPARE(QString::fromStdString(joinLines(p->w.outputLines())), want);
    }

    void theInkGroupTurnsInkModeOnWithTheChosenColours()
    {
        openChart();
        ModalAnswers answers;
        answers.expect(okOptions([](TGOptions& d) {
            fillChartBoxes(d, InkChart::settings());
            d.findChild<QCheckBox*>("InkCheckBox")->setChecked(true);
            type(d, "SelInkTol", "25");
            d.findChild<QPushButton*>("InkColourBtn")->click(); // answered below
        }));
        answers.expect([](QWidget* w) {
            auto* colours = qobject_cast<QColorDialog*>(w);
            if (!colours)
                return;
            colours->setCurrentColor(QColor(InkChart::kRed));
            colours->accept();
        });
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QVERIFY(answers.unexpected.isEmpty());
        const InkSettings ink = p->w.scanSettings().Ink;
        QVERIFY(ink.On);
        QCOMPARE(ink.Ink, scanColour(InkChart::kRed));
        QCOMPARE(ink.Paper, 0xFFFFFFu);
        QCOMPARE(ink.Tolerance, 25);
        QVERIFY(p->action("Execute")->isEnabled());
    }

    // The Halftone group's radius reaches the record, and the counted pixels
    // view shows the smoothed pixels that the scan counts.
    void theSmoothingBoxSmoothsTheCountedPixels()
    {
        openChart();
        ModalAnswers answers;
        answers.expect(okOptions([](TGOptions& d) {
            fillChartBoxes(d, InkChart::settings());
            QCOMPARE(d.findChild<QLineEdit*>("SelSmooth")->text(), QString("0"));
            type(d, "SelSmooth", "3");
        }));
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QCOMPARE(p->w.scanSettings().Smooth, 3);
        QVERIFY(trigger(*p, "CountedPixels"));
        QTRY_VERIFY(counted().settled() && !counted().overlay().isNull());
        QVERIFY(tintedBlocks() == blocksCountedByTheScan());
        ScanSettings unsmoothed = p->w.scanSettings();
        unsmoothed.Smooth = 0;
        QVERIFY(tintedBlocks() != blocksCountedByTheScan(unsmoothed));
    }

    void aToleranceOutOfRangeIsRefusedWithTheOthers()
    {
        openChart();
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expect(okOptions([](TGOptions& d) {
            fillChartBoxes(d, InkChart::settings());
            type(d, "SelInkTol", "500");
        }));
        answers.expectBox(seen);
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].text, QString("Ink tolerance must be between 0 and 442\n"));
        QCOMPARE(p->optionsBox("SelInkTol")->text(), QString("40"));
        QVERIFY(!p->action("Execute")->isEnabled());
    }

    void pickFromPictureTakesTheCurvesOwnColour()
    {
        openChart();
        ModalAnswers answers;
        answers.expect([](QWidget* w) {
            auto* d = qobject_cast<TGOptions*>(w);
            if (!d)
                return;
            fillChartBoxes(*d, InkChart::settings());
            d->findChild<QPushButton*>("PickInkBtn")->click();
        });
        QString inkShown;
        answers.expect(okOptions([&](TGOptions& d) {
            // Back with what was typed, and the picked ink.
            QCOMPARE(d.findChild<QLineEdit*>("SelSX1")->text(), QString::number(InkChart::settings().ScanStartX));
            QVERIFY(d.findChild<QCheckBox*>("InkCheckBox")->isChecked());
            inkShown = d.findChild<QPushButton*>("InkColourBtn")->accessibleName();
        }));
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(p->w.statusText().startsWith("Click the curve"));
        // A click beside the blue curve's core, where it crosses x = 2.
        PictureView* view = imageOf(p->w);
        const ScanSettings s = InkChart::settings();
        const double bx = s.OriginX + 0.2 * (s.RefX - s.OriginX);
        const double by = s.OriginY + InkChart::sigmoid(2) * (s.RefY - s.OriginY);
        const QPoint at(int(bx * view->width() / 800), int((600 - by) * view->height() / 600) + 1);
        QTest::mousePress(view, Qt::LeftButton, {}, at);
        QTest::mouseRelease(view, Qt::LeftButton, {}, at);
        QTRY_VERIFY(answers.allAnswered());
        QCOMPARE(inkShown, QColor(InkChart::kBlue).name());
        QCOMPARE(p->w.scanSettings().Ink.Ink, scanColour(InkChart::kBlue));
        QVERIFY(p->w.scanSettings().Ink.On);
        QVERIFY(!p->w.marking().hasArea()); // the click drew no area
    }

    // The outline of a drawn area takes no click away from the picker.
    void pickFromPictureTakesAClickInsideTheScanArea()
    {
        openChart();
        PictureView* view = imageOf(p->w);
        QTest::mousePress(view, Qt::LeftButton, {}, {4, 4});
        const QPoint far(view->width() - 4, view->height() - 4);
        QMouseEvent drag(QEvent::MouseMove, far, view->mapToGlobal(far), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(view, &drag);
        QTest::mouseRelease(view, Qt::LeftButton, {}, far);
        QVERIFY(p->w.marking().hasArea());
        const MarkingTool::Area area = p->w.marking().area();

        ModalAnswers answers;
        answers.expect([](QWidget* w) {
            if (auto* d = qobject_cast<TGOptions*>(w))
                d->findChild<QPushButton*>("PickInkBtn")->click();
        });
        QString inkShown;
        answers.expect([&](QWidget* w) {
            auto* d = qobject_cast<TGOptions*>(w);
            if (!d)
                return;
            inkShown = d->findChild<QPushButton*>("InkColourBtn")->accessibleName();
            d->findChild<QPushButton*>("CancelBtn")->click();
        });
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(p->w.statusText().startsWith("Click the curve"));
        // On the blue curve where it crosses x = 2, well inside the area.
        const ScanSettings s = InkChart::settings();
        const double bx = s.OriginX + 0.2 * (s.RefX - s.OriginX);
        const double by = s.OriginY + InkChart::sigmoid(2) * (s.RefY - s.OriginY);
        const QPoint at(int(bx * view->width() / 800), int((600 - by) * view->height() / 600) + 1);
        QVERIFY(view->shape(Mark::ScanArea).bounds.contains(at + view->frame().topLeft()));
        QTest::mousePress(view, Qt::LeftButton, {}, at);
        QTest::mouseRelease(view, Qt::LeftButton, {}, at);
        QTRY_VERIFY(answers.allAnswered());
        QCOMPARE(inkShown, QColor(InkChart::kBlue).name());
        QVERIFY(p->w.statusText().startsWith("Ink colour taken: "));
        QVERIFY(answers.unexpected.isEmpty());
        QVERIFY(p->w.marking().hasArea()); // the area is as it was
        QVERIFY(p->w.marking().area() == area);
    }

    void theCountedPixelsAreWhatTheScanCountsOnAPictureLargerThanTheDisplayCopy()
    {
        readyChart(3200, 2400, true);
        QVERIFY(trigger(*p, "CountedPixels"));
        QTRY_VERIFY_WITH_TIMEOUT(counted().settled() && !counted().overlay().isNull(), 20000);
        QVERIFY(counted().reduction() >= 2); // reduced for display
        const auto want = blocksCountedByTheScan();
        QVERIFY(want.size() > 1000);
        QVERIFY(tintedBlocks() == want);
        // The edges of the area: the last whole strip ends the mask.
        QCOMPARE(counted().area().left, int64_t(InkChart::settings(3200, 2400).ScanStartX));
    }

    void theCountedPixelsFollowTheAreaAndTheThreshold()
    {
        readyChart(800, 600, false);
        QVERIFY(trigger(*p, "CountedPixels"));
        QTRY_VERIFY(counted().settled() && !counted().overlay().isNull());
        QVERIFY(tintedBlocks() == blocksCountedByTheScan());
        const size_t darkness = tintedBlocks().size();
        editSettings(p->w, [&](ScanSettings& r) { r.Ink.On = true; });
        QTRY_VERIFY(counted().settled() && tintedBlocks().size() < darkness); // the grid and the red line go
        QVERIFY(tintedBlocks() == blocksCountedByTheScan());
        editSettings(p->w, [&](ScanSettings& r) {
            r.ScanStartX += 101;
            r.ScanEndY -= 37;
        });
        QTRY_VERIFY(counted().settled() && counted().area().left == p->w.scanSettings().ScanStartX);
        QVERIFY(tintedBlocks() == blocksCountedByTheScan());
        QVERIFY(trigger(*p, "CountedPixels")); // off
        QVERIFY(!counted().shown());
    }

    // While the area is dragged, the view follows it before the release; a
    // drag that ends where it began, drawing nothing, lets it go.
    void theCountedPixelsFollowTheAreaWhileItIsDragged()
    {
        openChart(800, 600);
        ScanSettings chart = InkChart::settings(800, 600);
        chart.ScanStartX = chart.ScanStartY = chart.ScanEndX = chart.ScanEndY = -1;
        editSettings(p->w, [&](ScanSettings& r) { r = chart; });
        QVERIFY(trigger(*p, "CountedPixels"));
        PictureView* view = imageOf(p->w);
        const QPoint from(40, 30);
        const auto dragTo = [&](QPoint to) {
            QMouseEvent e(QEvent::MouseMove, to, view->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(view, &e);
        };
        // The settings of the scan that an area dragged to `to` would run.
        const auto dragged = [&](QPoint to) {
            const ScreenMap map = view->screenMap();
            const QPoint a = map.markedPixel(from, {}), b = map.markedPixel(to, {});
            ScanSettings s = p->w.scanSettings();
            s.ScanStartX = std::min(a.x(), b.x());
            s.ScanEndX = std::max(a.x(), b.x());
            s.ScanStartY = std::min(a.y(), b.y());
            s.ScanEndY = std::max(a.y(), b.y());
            return s;
        };
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        for (const QPoint to :
             {QPoint(view->width() / 2, view->height() / 2), QPoint(view->width() * 9 / 10, view->height() * 8 / 10)}) {
            dragTo(to);
            const ScanSettings s = dragged(to);
            QTRY_VERIFY(counted().settled() && counted().area().left == int64_t(s.ScanStartX) &&
                        counted().area().columns == countedArea(s).columns);
            QVERIFY(p->w.marking().dragging());
            QVERIFY(tintedBlocks() == blocksCountedByTheScan(s));
            QVERIFY(!tintedBlocks().empty());
        }
        dragTo(from);
        QTest::mouseRelease(view, Qt::LeftButton, {}, from);
        QVERIFY(!p->w.marking().hasArea());
        QTRY_VERIFY(counted().settled() && counted().overlay().isNull());
    }

    // On a picture of many megapixels, a change shows first as the screen's
    // sample: only blocks that hold a counted pixel, one screen pixel or so
    // each; the refined mask follows.
    void onALargePictureTheScreensSampleComesFirst()
    {
        readyChart(3200, 2400, false);
        QVERIFY(trigger(*p, "CountedPixels"));
        QTRY_VERIFY_WITH_TIMEOUT(counted().settled(), 20000);
        std::vector<bool> refinedAtUpdate;
        std::vector<std::set<std::pair<int, int>>> shown;
        std::vector<int> reductions;
        connect(&counted(), &CountedPixelsOverlay::updated, this, [&] {
            refinedAtUpdate.push_back(counted().refined());
            shown.push_back(tintedBlocks());
            reductions.push_back(counted().reduction());
        });
        p->optionsBox("Threshold")->setText("200"); // the box, which the next scan reads
        editSettings(p->w, [&](ScanSettings& r) { r.Threshold = 200; });
        QTRY_VERIFY_WITH_TIMEOUT(counted().settled(), 20000);
        QCOMPARE(refinedAtUpdate, (std::vector<bool>{false, true}));
        PictureView* view = imageOf(p->w);
        const double screenStep = std::min(double(3200) / view->width(), double(2400) / view->height());
        QCOMPARE(reductions[0], int(screenStep));
        // Every block of the sample holds a pixel the scan counts.
        const ScanSettings s = p->w.scanSettings();
        const ReferenceResult want = referenceScan(pixelView(p->w.picture().image), s, false);
        std::set<std::pair<int, int>> counts;
        const int64_t top = int64_t(2400 - s.ScanEndY);
        for (const auto& [x, r] : want.counted)
            counts.insert({int((x - countedArea(s).left) / reductions[0]), int((r - top) / reductions[0])});
        QVERIFY(shown[0].size() > 100);
        for (const auto& block : shown[0])
            QVERIFY(counts.count(block));
        QVERIFY(shown[1] == blocksCountedByTheScan());
    }

    void theCountedPixelsFollowTheDialogBeforeItsOk()
    {
        readyChart(800, 600, true);
        QVERIFY(trigger(*p, "CountedPixels"));
        QTRY_VERIFY(counted().settled() && !counted().overlay().isNull());
        const size_t before = tintedBlocks().size();
        size_t whileTyping = 0;
        ModalAnswers answers;
        answers.expect([&](QWidget* w) {
            auto* d = qobject_cast<TGOptions*>(w);
            if (!d)
                return;
            fillChartBoxes(*d, InkChart::settings());
            type(*d, "Threshold", "250"); // only the cores of the line
            QTRY_VERIFY(counted().settled() && tintedBlocks().size() < before);
            whileTyping = tintedBlocks().size();
            d->findChild<QPushButton*>("CancelBtn")->click();
        });
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QVERIFY(whileTyping > 0 && whileTyping < before);
    }

    void thePointsAreDrawnOnThePictureWithTheirSpread()
    {
        readyChart(800, 600, true);
        p->outputBox<QCheckBox>("SdevCheckBox")->setChecked(true);
        QVERIFY(trigger(*p, "Execute"));
        const PointsOverlay& points = p->w.pointsOnPicture();
        QCOMPARE(int(points.points().size()), p->w.grid().rowCount());
        QVERIFY(!points.shown());
        QVERIFY(trigger(*p, "PointsOnPicture"));
        QVERIFY(points.shown());
        PictureView* view = imageOf(p->w);
        const QImage shown = view->grab().toImage();
        const QColor cross = CountedPixelsOverlay::tintFor(p->w.scanSettings());
        int onCross = 0;
        for (const PointsOverlay::Point& pt : points.points()) {
            QVERIFY(pt.hasBar());
            QVERIFY(pt.barHigh - pt.y > 0 && pt.barHigh - pt.y < 5); // a line two pixels wide
            QVERIFY(pt.y - pt.barLow > 0 && pt.y - pt.barLow < 5);
            const QPoint c = points.viewPosition(pt, view->screenMap()).toPoint();
            const QColor seen = shown.pixelColor(c * shown.devicePixelRatio());
            onCross += std::abs(seen.hue() - cross.hue()) < 20 && seen.saturation() > 150;
        }
        QVERIFY(onCross > int(points.points().size()) * 9 / 10);
        QVERIFY(trigger(*p, "PointsOnPicture"));
        QVERIFY(!points.shown());
    }
};

QTEST_MAIN(InkViewsTest)
#include "InkViewsTest.moc"
