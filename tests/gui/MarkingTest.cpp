// The mouse on the picture: marks, the scan area, lock and removal, and the
// refit of marks and outline when the picture's display size changes.
#include "GuiTestSupport.h"

#include <QTemporaryDir>

using namespace plotrun;
using namespace plotrun::test;

class MarkingTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<Program> p;

    // A picture of w x h pixels shown in an Image of iw x ih window pixels.
    void showPicture(int w, int h, int iw, int ih)
    {
        p = std::make_unique<Program>();
        const QString path = dir.filePath(QString("p%1x%2.bmp").arg(w).arg(h));
        writeBmp(path, w, h, [](int, int) { return 0xFFFFFFu; });
        p->w.openPicture(path);
        resizeImage(iw, ih);
    }

    void resizeImage(int iw, int ih)
    {
        const QSize extra = p->w.size() - p->w.Image->size();
        p->w.resize(iw + extra.width(), ih + extra.height());
        QTRY_COMPARE(p->w.Image->size(), QSize(iw, ih));
    }

    void press(int x, int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(p->w.Image, b, {}, {x, y}); }
    void release(int x, int y, Qt::MouseButton b = Qt::LeftButton)
    {
        QTest::mouseRelease(p->w.Image, b, {}, {x, y});
    }
    void move(int x, int y)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), p->w.Image->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                      Qt::LeftButton, {});
        QApplication::sendEvent(p->w.Image, &e);
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
        QCOMPARE(p->w.MarkingMode, uint8_t(1));
        press(30, 30);
        QVERIFY(p->w.PlacingMark);
        QCOMPARE(p->w.Image->shpOref.bounds, QRect(22, 22, 16, 16));
        move(100, 50);
        QCOMPARE(p->w.Image->shpOref.bounds, QRect(92, 42, 16, 16));
        QCOMPARE(status(), QString()); // only the release reports
        release(300, 150);             // the release's own position is not used
        QCOMPARE(status(), QString("Origin set to: (50 , 75 )"));
        QCOMPARE(p->w.settings.OriginX, 50.0);
        QCOMPARE(p->w.settings.OriginY, 75.0);
        QCOMPARE(p->w.MarkExactX[0], 50.0);
        QVERIFY(!p->w.PlacingMark);
    }

    void marksStayOnThePictureAtItsEdges()
    {
        showPicture(200, 100, 400, 200);
        markMode("tlbtnMarkO");
        press(10, 10);
        move(-50, 900);
        QCOMPARE(p->w.MarkX, 0);
        QCOMPARE(p->w.MarkY, 199);
        release(0, 0);
        QCOMPARE(status(), QString("Origin set to: (0 , 0 )"));
        markMode("tlbtnMarkO");
        markMode("tlbtnMarkX");
        press(10, 10);
        move(5000, 5000);
        QCOMPARE(p->w.Image->shpXref.bounds, QRect(399, 0, 1, 200));
        release(0, 0);
        QCOMPARE(status(), QString("X1 set to: 199"));
        markMode("tlbtnMarkX");
        markMode("tlbtnMarkY");
        press(10, 10);
        move(-5, -5);
        QCOMPARE(p->w.Image->shpYref.bounds, QRect(0, 0, 400, 1));
        release(0, 0);
        QCOMPARE(status(), QString("Y1 set to: 100"));
    }

    void aReferenceOnTheWrongSideDisablesExecute()
    {
        showPicture(200, 100, 400, 200);
        p->w.settings.OriginX = 50;
        p->w.settings.OriginY = 50;
        p->w.Execute->setEnabled(true);
        markMode("tlbtnMarkX");
        press(80, 0);
        release(80, 0);
        QCOMPARE(status(), QString("X1 set to: 40 => Out of range!"));
        QCOMPARE(p->w.settings.RefX, 40.0); // stored all the same
        QVERIFY(!p->action("Execute")->isEnabled());
        QVERIFY(!p->w.findChild<QToolButton*>("ExecuteToolBtn")->isEnabled());
        markMode("tlbtnMarkX");
        p->w.Execute->setEnabled(true);
        markMode("tlbtnMarkY");
        press(0, 80); // bitmap y 60: above the origin
        release(0, 80);
        QCOMPARE(status(), QString("Y1 set to: 60"));
        QVERIFY(p->action("Execute")->isEnabled());
    }

    void withNoOriginNoReferenceIsOutOfRange()
    {
        showPicture(200, 100, 400, 200);
        p->w.Execute->setEnabled(true);
        markMode("tlbtnMarkX");
        press(1, 1); // (0, 0) would mean the middle to QTest
        release(1, 1);
        QCOMPARE(status(), QString("X1 set to: 0"));
        QVERIFY(p->action("Execute")->isEnabled());
    }

    void movingTheOriginPastTheReferencesOnlyWarns()
    {
        showPicture(200, 100, 400, 200);
        p->w.settings.RefX = 20;
        p->w.settings.RefY = 10;
        p->w.Execute->setEnabled(true);
        markMode("tlbtnMarkO");
        press(100, 100); // (50, 50)
        release(0, 0);
        QCOMPARE(status(), QString("Origin set to: (50 , 50 ) => References X1 and Y1 are out of ranges!"));
        QVERIFY(p->action("Execute")->isEnabled());
        p->w.settings.RefY = 0; // 0 counts as not set
        press(100, 100);
        release(0, 0);
        QCOMPARE(status(), QString("Origin set to: (50 , 50 ) => Reference X1 is out of range!"));
        p->w.settings.RefX = 80;
        p->w.settings.RefY = 20;
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
        QVERIFY(!p->w.Image->shpOref.visible && !p->w.Image->shpYref.visible && p->w.Image->shpXref.visible);
        QVERIFY(!p->w.Image->shpScan.visible);
        markMode("tlbtnMarkX");
        QCOMPARE(p->w.MarkingMode, uint8_t(0));
        QVERIFY(p->action("tlbtnMarkO")->isEnabled() && p->action("tlbtnMarkY")->isEnabled());
        QVERIFY(p->w.Image->shpOref.visible && p->w.Image->shpYref.visible && p->w.Image->shpScan.visible);
        p->w.btnRemoveScanClick();
        markMode("tlbtnMarkO");
        markMode("tlbtnMarkO");
        QVERIFY(!p->w.Image->shpScan.visible); // no area: the outline stays hidden
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
        QCOMPARE(p->w.settings.ScanStartX, 10.0);
        QCOMPARE(p->w.settings.ScanStartY, 60.0);
        QCOMPARE(p->w.settings.ScanEndX, 60.0);
        QCOMPARE(p->w.settings.ScanEndY, 90.0);
        QCOMPARE(p->w.Image->shpScan.bounds, QRect(20, 20, 100, 60));
        QVERIFY(!p->w.NoScanArea && !p->w.Dragging);
    }

    void aDragLeavingThePictureEndsAtItsFarEdges()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 9000, 9000);
        QCOMPARE(p->w.settings.ScanEndX, 200.0);
        QCOMPARE(p->w.settings.ScanStartY, 0.0);
        QCOMPARE(p->w.Image->shpScan.bounds, QRect(20, 20, 380, 180));
    }

    void anEmptyRectangleSelectsNoArea()
    {
        showPicture(200, 100, 400, 200);
        p->w.settings.ScanStartX = 7;
        press(50, 50);
        release(50, 50);
        QCOMPARE(status(), QString("Scan area was not selected."));
        QVERIFY(p->w.NoScanArea && !p->w.Image->shpScan.visible);
        QCOMPARE(p->w.settings.ScanStartX, 7.0); // the settings keep what they held
        drag(50, 50, 150, 50); // purely horizontal
        QCOMPARE(status(), QString("Scan area was not selected."));
        drag(50, 50, 150, 60);
        QVERIFY(!p->w.NoScanArea);
    }

    void anExistingAreaMustBeRemovedBeforeANewOne()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        drag(200, 100, 300, 150);
        QCOMPARE(p->w.settings.ScanEndX, 60.0);
        QVERIFY(trigger(*p, "btnRemoveScan"));
        QVERIFY(p->w.NoScanArea);
        QCOMPARE(p->w.settings.ScanStartX, -1.0);
        QCOMPARE(p->w.AreaX2, -1.0);
        QCOMPARE(p->w.Image->shpScan.bounds, QRect(-1, -1, 0, 0));
        drag(200, 100, 300, 150);
        QCOMPARE(p->w.settings.ScanEndX, 150.0);
    }

    void aRightClickInsideTheAreaRemovesIt()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        press(50, 50, Qt::RightButton);
        release(50, 50, Qt::RightButton);
        QVERIFY(p->w.NoScanArea);
        QCOMPARE(p->w.settings.ScanEndY, -1.0);
        QCOMPARE(p->w.Image->shpScan.bounds, QRect(-1, -1, 0, 0));
    }

    void theLockBlocksDrawingAndRemoval()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        QVERIFY(trigger(*p, "btnScanLock"));
        QVERIFY(p->w.ScanLocked);
        QCOMPARE(p->w.btnScanLockPicture, 3);
        QCOMPARE(p->w.btnRemoveScanPicture, 1);
        QVERIFY(!trigger(*p, "btnRemoveScan")); // disabled
        press(50, 50, Qt::RightButton);
        release(50, 50, Qt::RightButton);
        QVERIFY(!p->w.NoScanArea);
        QCOMPARE(p->w.settings.ScanEndX, 60.0);
        markMode("tlbtnMarkO"); // marking works while locked
        press(10, 10);
        release(10, 10);
        QCOMPARE(p->w.settings.OriginX, 5.0);
        markMode("tlbtnMarkO");
        QVERIFY(trigger(*p, "btnScanLock"));
        QCOMPARE(p->w.btnScanLockPicture, 2);
        QVERIFY(trigger(*p, "btnRemoveScan"));
        QVERIFY(p->w.NoScanArea);
    }

    void aLockedEmptyPictureDrawsNothing()
    {
        showPicture(200, 100, 400, 200);
        QVERIFY(trigger(*p, "btnScanLock"));
        drag(20, 20, 120, 80);
        QVERIFY(p->w.NoScanArea);
        QCOMPARE(p->w.settings.ScanStartX, -1.0);
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
        const ScanSettings settings = p->w.settings;
        const QRect area = p->w.Image->shpScan.bounds, origin = p->w.Image->shpOref.bounds,
                    x1 = p->w.Image->shpXref.bounds;
        for (const QSize s : {QSize(333, 177), QSize(601, 419), QSize(257, 143), QSize(777, 333), QSize(400, 200)})
            resizeImage(s.width(), s.height());
        QCOMPARE(p->w.Image->shpScan.bounds, area);
        QCOMPARE(p->w.Image->shpOref.bounds, origin);
        QCOMPARE(p->w.Image->shpXref.bounds, x1);
        QCOMPARE(p->w.settings, settings);
        resizeImage(800, 400); // twice the size: the outline doubles
        QCOMPARE(p->w.Image->shpScan.bounds, QRect(42, 46, 200, 120));
    }

    void switchingBackFromTheGridRefitsTheMarks()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80);
        QVERIFY(trigger(*p, "View"));
        resizeImage(600, 300);
        QVERIFY(trigger(*p, "View"));
        QVERIFY(p->w.ImageShown);
        QCOMPARE(p->w.Image->shpScan.bounds, QRect(30, 30, 150, 90));
    }

    void anImageThreeTimesWiderThanThePictureCanGiveAnEmptyArea()
    {
        showPicture(100, 100, 300, 300);
        drag(30, 30, 31, 60);
        QCOMPARE(p->w.settings.ScanStartX, 10.0);
        QCOMPARE(p->w.settings.ScanEndX, 10.0);
        QVERIFY(!p->w.NoScanArea); // accepted here; the scan refuses it later
    }

    void aPictureThreeTimesWiderThanTheImageIsScaledDown()
    {
        showPicture(1200, 600, 400, 200);
        drag(100, 50, 101, 150);
        QCOMPARE(p->w.settings.ScanStartX, 300.0);
        QCOMPARE(p->w.settings.ScanEndX, 303.0);
        QCOMPARE(p->w.settings.ScanStartY, 150.0);
        QCOMPARE(p->w.settings.ScanEndY, 450.0);
    }
};

QTEST_MAIN(MarkingTest)
#include "MarkingTest.moc"
