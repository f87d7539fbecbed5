// Curve following and line removal in the window: the options dialog's two
// boxes, the Start mark, the counts after "Done", the notice of what a scan
// saw, the counted pixels view and the points on the picture.
#include "GuiTestSupport.h"

#include "../InkChart.h"
#include "CountedPixelsOverlay.h"
#include "PointsOverlay.h"

#include "../../files/PictureFile.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>

using namespace plotrun;
using namespace plotrun::test;

class FollowViewsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Program> p;

    void readyChart(bool follow, bool removeLines)
    {
        p = std::make_unique<Program>();
        p->w.acceptPicture(pictureFromImage(InkChart::draw()), "chart.png");
        QVERIFY(p->w.pictureLoaded());
        ScanSettings s = InkChart::settings();
        s.Follow.On = follow;
        s.Follow.RemoveLines = removeLines;
        editSettings(p->w, [&](ScanSettings& r) { r = s; });
    }

    int tinted(QRgb colour) const
    {
        const QImage& ov = p->w.countedPixels().overlay();
        int n = 0;
        for (int y = 0; y < ov.height(); ++y)
            for (int x = 0; x < ov.width(); ++x)
                n += ov.pixel(x, y) == colour;
        return n;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    void theBoxesAndTheStartButtonAreThereAndOff()
    {
        p = std::make_unique<Program>();
        for (const char* name : {"FollowCheckBox", "RemoveLinesCheckBox"}) {
            auto* box = p->optionsBox<QCheckBox>(name);
            QVERIFY2(box && !box->isChecked(), name);
        }
        QCOMPARE(p->optionsBox<QCheckBox>("FollowCheckBox")->text(), QString("Follow one curve"));
        QCOMPARE(p->optionsBox<QCheckBox>("RemoveLinesCheckBox")->text(), QString("Leave out axis and grid lines"));
        QCOMPARE(p->w.scanSettings().Follow, FollowSettings{});
        QVERIFY(p->action("tlbtnMarkStart")->isCheckable());
        QVERIFY(widgetOf(p->w, "tlbtnMarkStart"));
        QCOMPARE(p->options.size(), QSize(767, 478));
    }

    void theOptionsDialogWritesBothBoxes()
    {
        readyChart(false, false);
        ModalAnswers answers;
        answers.expect([](QWidget* w) {
            auto* d = qobject_cast<TGOptions*>(w);
            if (!d)
                return;
            d->findChild<QCheckBox*>("FollowCheckBox")->setChecked(true);
            d->findChild<QCheckBox*>("RemoveLinesCheckBox")->setChecked(true);
            d->findChild<QPushButton*>("OKBtn")->click();
        });
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QVERIFY(p->w.scanSettings().Follow.On);
        QVERIFY(p->w.scanSettings().Follow.RemoveLines);
    }

    void theStartMarkPlacesTheStartPoint()
    {
        readyChart(true, false);
        QVERIFY(trigger(*p, "tlbtnMarkStart"));
        QCOMPARE(p->w.marking().mode(), MarkingTool::StartMark);
        QVERIFY(!p->action("tlbtnMarkO")->isEnabled());
        const QPoint at(imageOf(p->w)->width() / 2, imageOf(p->w)->height() / 2);
        QTest::mousePress(imageOf(p->w), Qt::LeftButton, {}, at);
        QTest::mouseRelease(imageOf(p->w), Qt::LeftButton, {}, at);
        const FollowSettings& f = p->w.scanSettings().Follow;
        QVERIFY(f.StartX >= 0 && f.StartY >= 0);
        QVERIFY(p->w.statusText().startsWith("Start point set to: "));
        QVERIFY(imageOf(p->w)->shape(Mark::Start).bounds.contains(at + imageOf(p->w)->frame().topLeft()));
        QVERIFY(trigger(*p, "tlbtnMarkStart"));
        QCOMPARE(p->w.marking().mode(), MarkingTool::NoMark);
        QVERIFY(p->action("tlbtnMarkO")->isEnabled());
    }

    // Remove Start Mark clears the start point as one step of undo; while
    // following uses a Start mark, the status bar says where it is.
    void removeStartMarkClearsTheStartPointAndTheStatusBarFollows()
    {
        readyChart(false, false);
        auto* label = p->w.findChild<QLabel*>("StartMarkLabel");
        QVERIFY(label && label->parentWidget() == p->w.statusBar());
        QVERIFY(label->isHidden());
        QVERIFY(!p->action("RemoveStart")->isEnabled());
        QVERIFY(p->w.findChild<QMenu*>("ScanMenu")->actions().contains(p->action("RemoveStart")));

        QVERIFY(trigger(*p, "tlbtnMarkStart"));
        const QPoint at(imageOf(p->w)->width() / 2, imageOf(p->w)->height() / 2);
        QTest::mousePress(imageOf(p->w), Qt::LeftButton, {}, at);
        QTest::mouseRelease(imageOf(p->w), Qt::LeftButton, {}, at);
        QVERIFY(trigger(*p, "tlbtnMarkStart"));
        QVERIFY(p->action("RemoveStart")->isEnabled());
        QVERIFY(label->isHidden()); // following is off: the mark does nothing yet
        editSettings(p->w, [](ScanSettings& r) { r.Follow.On = true; });
        const FollowSettings placed = p->w.scanSettings().Follow;
        const QRect shape = imageOf(p->w)->shape(Mark::Start).bounds;
        QVERIFY(placed.StartX >= 0 && placed.StartY >= 0);
        QVERIFY(!label->isHidden());
        QCOMPARE(label->text(), QString("Start mark at (%1, %2)").arg(placed.StartX).arg(placed.StartY));

        QVERIFY(trigger(*p, "RemoveStart"));
        QCOMPARE(p->w.statusText(), QString("Start mark removed."));
        QCOMPARE(p->w.scanSettings().Follow.StartX, -1.0);
        QCOMPARE(p->w.scanSettings().Follow.StartY, -1.0);
        QVERIFY(p->w.scanSettings().Follow.On); // following finds its own start strip
        QCOMPARE(p->w.marking().markX(MarkingTool::StartMark), -1.0);
        QCOMPARE(imageOf(p->w)->shape(Mark::Start).bounds, QRect(-10, -10, 10, 10));
        QVERIFY(label->isHidden());
        QVERIFY(!p->action("RemoveStart")->isEnabled());

        QVERIFY(trigger(*p, "Undo"));
        QCOMPARE(p->w.scanSettings().Follow, placed);
        QCOMPARE(imageOf(p->w)->shape(Mark::Start).bounds, shape);
        QVERIFY(!label->isHidden() && p->action("RemoveStart")->isEnabled());
        QVERIFY(trigger(*p, "Redo"));
        QCOMPARE(p->w.marking().markX(MarkingTool::StartMark), -1.0);
        QVERIFY(label->isHidden() && !p->action("RemoveStart")->isEnabled());
    }

    void doneShowsTheCountsOnlyWhenAnOptionIsOn()
    {
        readyChart(false, false);
        QVERIFY(trigger(*p, "Execute"));
        QCOMPARE(p->w.statusText(), QString("Done"));
        readyChart(true, true);
        QVERIFY(trigger(*p, "Execute"));
        QVERIFY2(p->w.statusText().startsWith("Done. Strips with more than one run: "), qPrintable(p->w.statusText()));
    }

    // After a default scan of a chart with a frame and two curves, a notice
    // over the picture says what the scan saw and what to turn on, and the
    // points are shown on the picture; the status bar still says "Done". The
    // next scan with both options on, and a clean chart, say nothing.
    void aScanOfSeveralRunsSaysSoAndShowsItsPoints()
    {
        readyChart(false, false);
        QVERIFY(p->w.noticeText().isEmpty());
        QVERIFY(!p->action("PointsOnPicture")->isChecked());
        QVERIFY(trigger(*p, "Execute"));
        QCOMPARE(p->w.statusText(), QString("Done"));
        QVERIFY2(p->w.noticeText().contains(" strips held more than one run of dark pixels") &&
                     p->w.noticeText().endsWith(" Turn on Follow one curve and Leave out axis and grid lines in Scan "
                                                "> Options, or count only the curve's colour with Ink mode and Pick "
                                                "from picture."),
                 qPrintable(p->w.noticeText()));
        auto* notice = widgetOf(p->w, "NoticeBar");
        QVERIFY(notice && notice->isVisible());
        // Across the top of the picture's client area.
        const QRect client = p->w.centralWidget()->geometry();
        QCOMPARE(notice->geometry().topLeft(), client.topLeft());
        QCOMPARE(notice->width(), client.width());
        QVERIFY(p->action("PointsOnPicture")->isChecked());
        QVERIFY(p->w.pointsOnPicture().shown() && !p->w.pointsOnPicture().points().empty());

        editSettings(p->w, [](ScanSettings& r) { r.Follow.On = r.Follow.RemoveLines = true; });
        QVERIFY(trigger(*p, "Execute"));
        QVERIFY2(p->w.noticeText().isEmpty(), qPrintable(p->w.noticeText()));

        // One curve, and neither frame nor grid.
        p = std::make_unique<Program>();
        QImage clean(800, 600, QImage::Format_RGB32);
        clean.fill(Qt::white);
        {
            QPainter painter(&clean);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(InkChart::kBlue), 2));
            painter.drawLine(QPointF(100, 500), QPointF(740, 80));
        }
        p->w.acceptPicture(pictureFromImage(clean), "clean.png");
        editSettings(p->w, [](ScanSettings& r) { r = InkChart::settings(); });
        QVERIFY(trigger(*p, "Execute"));
        QVERIFY2(p->w.noticeText().isEmpty(), qPrintable(p->w.noticeText()));
        QVERIFY(!p->action("PointsOnPicture")->isChecked());
    }

    void theViewsShowRemovedLinesChosenRunsAndStripsOfSeveralRuns()
    {
        readyChart(true, true);
        QVERIFY(trigger(*p, "CountedPixels"));
        QTRY_VERIFY_WITH_TIMEOUT(p->w.countedPixels().settled() && !p->w.countedPixels().overlay().isNull(), 20000);
        QVERIFY(tinted(qPremultiply(CountedPixelsOverlay::removedLinesTint().rgba())) > 100); // the frame
        QVERIFY(tinted(qPremultiply(CountedPixelsOverlay::leftOutTint().rgba())) > 100);      // the other curve
        QVERIFY(tinted(qPremultiply(CountedPixelsOverlay::tintFor(p->w.scanSettings()).rgba())) > 100);

        QVERIFY(trigger(*p, "Execute"));
        const auto& points = p->w.pointsOnPicture().points();
        QVERIFY(!points.empty());
        QVERIFY(std::any_of(points.begin(), points.end(), [](const PointsOverlay::Point& q) { return q.manyRuns; }));
    }
};

QTEST_MAIN(FollowViewsTest)
#include "FollowViewsTest.moc"
