// The mouse on the picture: marks, the scan area, lock and removal, and the
// refit of marks and outline when the picture's display size changes.
#include "GuiTestSupport.h"

#include "ZoomArea.h"

#include <QScrollBar>

#include <QTemporaryDir>

using namespace plotrun;
using namespace plotrun::test;

class MarkingTest : public QObject {
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

    void press(int x, int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(imageOf(p->w), b, {}, {x, y}); }
    void release(int x, int y, Qt::MouseButton b = Qt::LeftButton)
    {
        QTest::mouseRelease(imageOf(p->w), b, {}, {x, y});
    }
    void move(int x, int y)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), imageOf(p->w)->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                      Qt::LeftButton, {});
        QApplication::sendEvent(imageOf(p->w), &e);
    }
    void drag(int x1, int y1, int x2, int y2)
    {
        press(x1, y1);
        move(x2, y2);
        release(x2, y2);
    }
    void markMode(const char* button) { QVERIFY(trigger(*p, button)); }
    QString status() const { return p->w.statusText(); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    void theOriginIsPlacedByPressMoveAndRelease()
    {
        showPicture(200, 100, 400, 200);
        markMode("tlbtnMarkO");
        QCOMPARE(int(p->w.marking().mode()), 1);
        press(30, 30);
        QVERIFY(p->w.marking().placingMark());
        QCOMPARE(imageOf(p->w)->shape(Mark::Origin).bounds, QRect(22, 22, 16, 16));
        move(100, 50);
        QCOMPARE(imageOf(p->w)->shape(Mark::Origin).bounds, QRect(92, 42, 16, 16));
        QCOMPARE(status(), QString()); // only the release reports
        release(300, 150);             // the release's own position is not used
        QCOMPARE(status(), QString("Origin set to: (50 , 75 )"));
        QCOMPARE(p->w.scanSettings().OriginX, 50.0);
        QCOMPARE(p->w.scanSettings().OriginY, 75.0);
        QCOMPARE(p->w.marking().markX(MarkingTool::Mode(1)), 50.0);
        QVERIFY(!p->w.marking().placingMark());
    }

    void marksStayOnThePictureAtItsEdges()
    {
        showPicture(200, 100, 400, 200);
        markMode("tlbtnMarkO");
        press(10, 10);
        move(-50, 900);
        QCOMPARE(imageOf(p->w)->shape(Mark::Origin).bounds.topLeft(), QPoint(0 - 8, 199 - 8));
        release(0, 0);
        QCOMPARE(status(), QString("Origin set to: (0 , 0 )"));
        markMode("tlbtnMarkO");
        markMode("tlbtnMarkX");
        press(10, 10);
        move(5000, 5000);
        QCOMPARE(imageOf(p->w)->shape(Mark::X1).bounds, QRect(399, 0, 1, 200));
        release(0, 0);
        QCOMPARE(status(), QString("X1 set to: 199"));
        markMode("tlbtnMarkX");
        markMode("tlbtnMarkY");
        press(10, 10);
        move(-5, -5);
        QCOMPARE(imageOf(p->w)->shape(Mark::Y1).bounds, QRect(0, 0, 400, 1));
        release(0, 0);
        QCOMPARE(status(), QString("Y1 set to: 100"));
    }

    void aReferenceOnTheWrongSideDisablesExecute()
    {
        showPicture(200, 100, 400, 200);
        editSettings(p->w, [&](ScanSettings& r) { r.OriginX = 50; });
        editSettings(p->w, [&](ScanSettings& r) { r.OriginY = 50; });
        markMode("tlbtnMarkX");
        press(80, 0);
        release(80, 0);
        QCOMPARE(status(), QString("X1 set to: 40 => Out of range!"));
        QCOMPARE(p->w.scanSettings().RefX, 40.0); // stored all the same
        QVERIFY(!p->action("Execute")->isEnabled());
        QVERIFY(!p->w.findChild<QToolButton*>("ExecuteToolBtn")->isEnabled());
        markMode("tlbtnMarkX");
        acceptSettings(p->w);
        markMode("tlbtnMarkY");
        press(0, 80); // bitmap y 60: above the origin
        release(0, 80);
        QCOMPARE(status(), QString("Y1 set to: 60"));
        QVERIFY(p->action("Execute")->isEnabled());
    }

    void withNoOriginNoReferenceIsOutOfRange()
    {
        showPicture(200, 100, 400, 200);
        acceptSettings(p->w);
        markMode("tlbtnMarkX");
        press(1, 1); // (0, 0) would mean the middle to QTest
        release(1, 1);
        QCOMPARE(status(), QString("X1 set to: 0"));
        QVERIFY(p->action("Execute")->isEnabled());
    }

    void movingTheOriginPastTheReferencesOnlyWarns()
    {
        showPicture(200, 100, 400, 200);
        editSettings(p->w, [&](ScanSettings& r) { r.RefX = 20; });
        editSettings(p->w, [&](ScanSettings& r) { r.RefY = 10; });
        markMode("tlbtnMarkO");
        press(100, 100); // (50, 50)
        release(0, 0);
        QCOMPARE(status(), QString("Origin set to: (50 , 50 ) => References X1 and Y1 are out of ranges!"));
        QVERIFY(p->action("Execute")->isEnabled());
        editSettings(p->w, [&](ScanSettings& r) { r.RefY = 0; }); // 0 counts as not set
        press(100, 100);
        release(0, 0);
        QCOMPARE(status(), QString("Origin set to: (50 , 50 ) => Reference X1 is out of range!"));
        editSettings(p->w, [&](ScanSettings& r) { r.RefX = 80; });
        editSettings(p->w, [&](ScanSettings& r) { r.RefY = 20; });
        press(100, 100);
        release(0, 0);
        QCOMPARE(status(), QString("Origin set to: (50 , 50 ) => Reference Y1 is out of range!"));
    }

    void oneMarkButtonDownLocksTheOthersAndHidesTheirMarks()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        markMode("tlbtnMarkX");
        QVERIFY(!p->action("tlbtnMarkO")->isEnabled() && !p->action("tlbtnMarkY")->isEnabled());
        QVERIFY(!imageOf(p->w)->shape(Mark::Origin).visible && !imageOf(p->w)->shape(Mark::Y1).visible &&
                imageOf(p->w)->shape(Mark::X1).visible);
        QVERIFY(!imageOf(p->w)->shape(Mark::ScanArea).visible);
        markMode("tlbtnMarkX");
        QCOMPARE(int(p->w.marking().mode()), 0);
        QVERIFY(p->action("tlbtnMarkO")->isEnabled() && p->action("tlbtnMarkY")->isEnabled());
        QVERIFY(imageOf(p->w)->shape(Mark::Origin).visible && imageOf(p->w)->shape(Mark::Y1).visible &&
                imageOf(p->w)->shape(Mark::ScanArea).visible);
        actionOf(p->w, "btnRemoveScan")->trigger();
        markMode("tlbtnMarkO");
        markMode("tlbtnMarkO");
        QVERIFY(!imageOf(p->w)->shape(Mark::ScanArea).visible); // no area: the outline stays hidden
    }

    void dragsInEveryDirectionGiveTheSameArea_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::newRow("down right") << QPoint(20, 20) << QPoint(120, 80);
        QTest::newRow("up left") << QPoint(120, 80) << QPoint(20, 20);
        QTest::newRow("up right") << QPoint(20, 80) << QPoint(120, 20);
        QTest::newRow("down left") << QPoint(120, 20) << QPoint(20, 80);
    }

    void dragsInEveryDirectionGiveTheSameArea()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        showPicture(200, 100, 400, 200);
        drag(from.x(), from.y(), to.x(), to.y());
        QCOMPARE(status(), QString("Scan area set to: (10, 60) - (60, 90)"));
        QCOMPARE(p->w.scanSettings().ScanStartX, 10.0);
        QCOMPARE(p->w.scanSettings().ScanStartY, 60.0);
        QCOMPARE(p->w.scanSettings().ScanEndX, 60.0);
        QCOMPARE(p->w.scanSettings().ScanEndY, 90.0);
        QCOMPARE(imageOf(p->w)->shape(Mark::ScanArea).bounds, QRect(20, 20, 100, 60));
        QVERIFY(!(!p->w.marking().hasArea()) && !p->w.marking().dragging());
    }

    void aDragLeavingThePictureEndsAtItsFarEdges()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 9000, 9000);
        QCOMPARE(p->w.scanSettings().ScanEndX, 200.0);
        QCOMPARE(p->w.scanSettings().ScanStartY, 0.0);
        QCOMPARE(imageOf(p->w)->shape(Mark::ScanArea).bounds, QRect(20, 20, 380, 180));
    }

    void anEmptyRectangleSelectsNoArea()
    {
        showPicture(200, 100, 400, 200);
        editSettings(p->w, [&](ScanSettings& r) { r.ScanStartX = 7; });
        press(50, 50);
        release(50, 50);
        QCOMPARE(status(), QString("Scan area was not selected."));
        QVERIFY((!p->w.marking().hasArea()) && !imageOf(p->w)->shape(Mark::ScanArea).visible);
        QCOMPARE(p->w.scanSettings().ScanStartX, 7.0); // the settings keep what they held
        drag(50, 50, 150, 50);                         // purely horizontal
        QCOMPARE(status(), QString("Scan area was not selected."));
        drag(50, 50, 150, 60);
        QVERIFY(!(!p->w.marking().hasArea()));
    }

    void anExistingAreaMustBeRemovedBeforeANewOne()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        drag(200, 100, 300, 150);
        QCOMPARE(p->w.scanSettings().ScanEndX, 60.0);
        QVERIFY(trigger(*p, "btnRemoveScan"));
        QVERIFY((!p->w.marking().hasArea()));
        QCOMPARE(p->w.scanSettings().ScanStartX, -1.0);
        QCOMPARE(p->w.marking().area().x2, -1.0);
        QCOMPARE(imageOf(p->w)->shape(Mark::ScanArea).bounds, QRect(-1, -1, 0, 0));
        drag(200, 100, 300, 150);
        QCOMPARE(p->w.scanSettings().ScanEndX, 150.0);
    }

    void aRightClickInsideTheAreaRemovesIt()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        press(50, 50, Qt::RightButton);
        release(50, 50, Qt::RightButton);
        QVERIFY((!p->w.marking().hasArea()));
        QCOMPARE(p->w.scanSettings().ScanEndY, -1.0);
        QCOMPARE(imageOf(p->w)->shape(Mark::ScanArea).bounds, QRect(-1, -1, 0, 0));
    }

    void theLockBlocksDrawingAndRemoval()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        QVERIFY(trigger(*p, "btnScanLock"));
        QVERIFY(p->w.marking().locked());
        QCOMPARE(p->w.marking().locked(), true);
        QCOMPARE(actionOf(p->w, "btnRemoveScan")->isEnabled(), false);
        QVERIFY(!trigger(*p, "btnRemoveScan")); // disabled
        press(50, 50, Qt::RightButton);
        release(50, 50, Qt::RightButton);
        QVERIFY(!(!p->w.marking().hasArea()));
        QCOMPARE(p->w.scanSettings().ScanEndX, 60.0);
        markMode("tlbtnMarkO"); // marking works while locked
        press(10, 10);
        release(10, 10);
        QCOMPARE(p->w.scanSettings().OriginX, 5.0);
        markMode("tlbtnMarkO");
        QVERIFY(trigger(*p, "btnScanLock"));
        QCOMPARE(p->w.marking().locked(), false);
        QVERIFY(trigger(*p, "btnRemoveScan"));
        QVERIFY((!p->w.marking().hasArea()));
    }

    void aLockedEmptyPictureDrawsNothing()
    {
        showPicture(200, 100, 400, 200);
        QVERIFY(trigger(*p, "btnScanLock"));
        drag(20, 20, 120, 80);
        QVERIFY((!p->w.marking().hasArea()));
        QCOMPARE(p->w.scanSettings().ScanStartX, -1.0);
    }

    void resizingNeverMakesMarksOrOutlineCreep()
    {
        showPicture(200, 100, 400, 200);
        drag(21, 23, 121, 83);
        markMode("tlbtnMarkO");
        press(37, 41);
        release(0, 0);
        markMode("tlbtnMarkO");
        markMode("tlbtnMarkX");
        press(333, 41);
        release(0, 0);
        markMode("tlbtnMarkX");
        const ScanSettings settings = p->w.scanSettings();
        const QRect area = imageOf(p->w)->shape(Mark::ScanArea).bounds,
                    origin = imageOf(p->w)->shape(Mark::Origin).bounds, x1 = imageOf(p->w)->shape(Mark::X1).bounds;
        for (const QSize s : {QSize(333, 177), QSize(601, 419), QSize(257, 143), QSize(777, 333), QSize(400, 200)})
            resizeImage(s.width(), s.height());
        QCOMPARE(imageOf(p->w)->shape(Mark::ScanArea).bounds, area);
        QCOMPARE(imageOf(p->w)->shape(Mark::Origin).bounds, origin);
        QCOMPARE(imageOf(p->w)->shape(Mark::X1).bounds, x1);
        QCOMPARE(p->w.scanSettings(), settings);
        resizeImage(800, 400); // twice the size: the outline doubles
        QCOMPARE(imageOf(p->w)->shape(Mark::ScanArea).bounds, QRect(42, 46, 200, 120));
    }

    // The marks and the outline where the exact positions put them at the
    // view's present size.
    void expectShapesFitted(const char* where)
    {
        const MarkingTool& m = p->w.marking();
        const PictureView& v = *imageOf(p->w);
        const int ox = m.bitmapToWindowX(m.markX(MarkingTool::OriginMark));
        const int oy = m.bitmapToWindowY(m.markY(MarkingTool::OriginMark));
        QVERIFY2(v.shape(Mark::Origin).bounds == QRect(ox - 8, oy - 8, 16, 16), where);
        QVERIFY2(v.shape(Mark::X1).bounds == QRect(m.bitmapToWindowX(m.markX(MarkingTool::X1Mark)), 0, 1, v.height()),
                 where);
        QVERIFY2(v.shape(Mark::Y1).bounds == QRect(0, m.bitmapToWindowY(m.markY(MarkingTool::Y1Mark)), v.width(), 1),
                 where);
        const int xa = m.bitmapToWindowX(m.area().x1), xb = m.bitmapToWindowX(m.area().x2);
        const int ya = m.bitmapToWindowY(m.area().y1), yb = m.bitmapToWindowY(m.area().y2);
        QVERIFY2(v.shape(Mark::ScanArea).bounds ==
                     QRect(std::min(xa, xb), std::min(ya, yb), std::abs(xb - xa), std::abs(yb - ya)),
                 where);
    }

    ZoomArea* zoomArea() const { return p->w.findChild<ZoomArea*>("ZoomArea"); }

    // Every zoom step in and out, then Fit: at each step the view is the
    // picture times the step, resizing the window and scrolling move nothing,
    // and Fit gives back the very bounds of the start.
    void zoomingAndResizingNeverMakeMarksOrOutlineCreep()
    {
        showPicture(200, 100, 400, 200);
        drag(21, 23, 121, 83);
        const std::pair<const char*, QPoint> marks[] = {
            {"tlbtnMarkO", {37, 41}}, {"tlbtnMarkX", {333, 41}}, {"tlbtnMarkY", {37, 77}}};
        for (const auto& [button, at] : marks) {
            markMode(button);
            press(at.x(), at.y());
            release(0, 0);
            markMode(button);
        }
        const ScanSettings settings = p->w.scanSettings();
        const PictureView& v = *imageOf(p->w);
        const QRect area = v.shape(Mark::ScanArea).bounds, origin = v.shape(Mark::Origin).bounds,
                    x1 = v.shape(Mark::X1).bounds, y1 = v.shape(Mark::Y1).bounds;
        QVERIFY(zoomArea()->fitted() && !p->action("FitToWindow")->isEnabled());

        QList<double> seen;
        for (const char* command : {"ZoomIn", "ZoomOut"}) {
            while (p->action(command)->isEnabled()) {
                QVERIFY(trigger(*p, command));
                const double s = zoomArea()->scale();
                seen << s;
                const QByteArray where = QByteArray(command) + " to " + QByteArray::number(s);
                QCOMPARE(v.size(), QSize(int(std::lround(200 * s)), int(std::lround(100 * s))));
                expectShapesFitted(where);
                const QRect before[] = {v.shape(Mark::ScanArea).bounds, v.shape(Mark::Origin).bounds,
                                        v.shape(Mark::X1).bounds, v.shape(Mark::Y1).bounds};
                for (const QSize size : {QSize(333, 177), QSize(601, 419), QSize(400, 200)}) {
                    const QSize extra = p->w.size() - zoomArea()->size();
                    p->w.resize(size + extra);
                    QTRY_COMPARE(zoomArea()->size(), size);
                    zoomArea()->horizontalScrollBar()->setValue(zoomArea()->horizontalScrollBar()->maximum() / 3);
                    zoomArea()->verticalScrollBar()->setValue(zoomArea()->verticalScrollBar()->maximum() / 2);
                    const QRect after[] = {v.shape(Mark::ScanArea).bounds, v.shape(Mark::Origin).bounds,
                                           v.shape(Mark::X1).bounds, v.shape(Mark::Y1).bounds};
                    QVERIFY2(std::equal(std::begin(before), std::end(before), std::begin(after)), where);
                }
                QCOMPARE(p->w.scanSettings(), settings);
            }
        }
        QCOMPARE(seen.first(), 3.0); // the first step above the fitted stretch of 2
        QCOMPARE(seen.last(), 0.125);
        QVERIFY(trigger(*p, "FitToWindow"));
        QVERIFY(zoomArea()->fitted());
        QCOMPARE(v.size(), QSize(400, 200));
        QCOMPARE(v.shape(Mark::ScanArea).bounds, area);
        QCOMPARE(v.shape(Mark::Origin).bounds, origin);
        QCOMPARE(v.shape(Mark::X1).bounds, x1);
        QCOMPARE(v.shape(Mark::Y1).bounds, y1);
        QCOMPARE(p->w.scanSettings(), settings);
    }

    // At every whole zoom step, the window pixel at the corner of a picture
    // pixel's block shows that pixel and a mark put there takes it, scrolled
    // or not.
    void atEveryWholeZoomAMarkTakesThePixelShown()
    {
        const auto colour = [](int x, int row) { return uint32_t((x * 7919 + row * 104729) & 0xFFFFFF); };
        showPicture(60, 40, 120, 80, colour);
        while (p->action("ZoomIn")->isEnabled()) {
            QVERIFY(trigger(*p, "ZoomIn"));
            const int s = int(zoomArea()->scale());
            QCOMPARE(double(s), zoomArea()->scale());
            zoomArea()->horizontalScrollBar()->setValue(zoomArea()->horizontalScrollBar()->maximum());
            for (const QPoint pixel : {QPoint(1, 1), QPoint(59, 39), QPoint(17, 23)}) {
                const QPoint at = pixel * s + QPoint(s > 1 ? 1 : 0, 0);
                const QImage shown = imageOf(p->w)->grab(QRect(at, QSize(1, 1))).toImage();
                QCOMPARE(shown.pixel(0, 0) & 0xFFFFFF, colour(pixel.x(), pixel.y()));
                markMode("tlbtnMarkO");
                press(at.x(), at.y());
                release(at.x(), at.y());
                markMode("tlbtnMarkO");
                QCOMPARE(p->w.scanSettings().OriginX, double(pixel.x()));
                QCOMPARE(p->w.scanSettings().OriginY, double(40 - pixel.y())); // the row's bitmap y
            }
        }
    }

    void switchingBackFromTheGridRefitsTheMarks()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        QVERIFY(trigger(*p, "View"));
        resizeImage(600, 300);
        QVERIFY(trigger(*p, "View"));
        QVERIFY(p->w.pictureShown());
        QCOMPARE(imageOf(p->w)->shape(Mark::ScanArea).bounds, QRect(30, 30, 150, 90));
    }

    // Each picture pixel of an enlarged picture is a sharp block on the screen:
    // a one-pixel line stays black, with no grey beside it.
    void anEnlargedPictureIsNotBlurred()
    {
        showPicture(8, 8, 400, 400, [](int x, int) { return x == 3 ? 0x000000u : 0xFFFFFFu; });
        const QImage shown = imageOf(p->w)->grab().toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < shown.height(); y += 7)
            for (int x = 0; x < shown.width(); ++x)
                colours.insert(shown.pixel(x, y) & 0xFFFFFF);
        QCOMPARE(colours, (QSet<QRgb>{0x000000, 0xFFFFFF}));
        QCOMPARE(shown.pixel(175, 200) & 0xFFFFFF, 0x000000u); // column 3 covers 150..199
        QCOMPARE(shown.pixel(149, 200) & 0xFFFFFF, 0xFFFFFFu);
    }

    void anImageThreeTimesWiderThanThePictureCanGiveAnEmptyArea()
    {
        showPicture(100, 100, 300, 300);
        drag(30, 30, 31, 60);
        QCOMPARE(p->w.scanSettings().ScanStartX, 10.0);
        QCOMPARE(p->w.scanSettings().ScanEndX, 10.0);
        QVERIFY(!(!p->w.marking().hasArea())); // accepted here; the scan refuses it later
    }

    void aPictureThreeTimesWiderThanTheImageIsScaledDown()
    {
        showPicture(1200, 600, 400, 200);
        drag(100, 50, 101, 150);
        QCOMPARE(p->w.scanSettings().ScanStartX, 300.0);
        QCOMPARE(p->w.scanSettings().ScanEndX, 303.0);
        QCOMPARE(p->w.scanSettings().ScanStartY, 150.0);
        QCOMPARE(p->w.scanSettings().ScanEndY, 450.0);
    }
};

QTEST_MAIN(MarkingTest)
#include "MarkingTest.moc"
