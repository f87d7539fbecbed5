// Precise marking: the loupe, the keys on the picture, zoom by the wheel,
// undo and redo of edits, and the shortcuts of the commands.
#include "GuiTestSupport.h"

#include "Loupe.h"
#include "ZoomArea.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QUndoStack>

using namespace plotrun;
using namespace plotrun::test;

class PreciseMarkingTest : public QObject {
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

    void press(int x, int y) { QTest::mousePress(imageOf(p->w), Qt::LeftButton, {}, {x, y}); }
    void release(int x, int y) { QTest::mouseRelease(imageOf(p->w), Qt::LeftButton, {}, {x, y}); }
    void move(int x, int y, Qt::MouseButtons held = Qt::LeftButton)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), imageOf(p->w)->mapToGlobal(QPointF(x, y)), Qt::NoButton, held,
                      {});
        QApplication::sendEvent(imageOf(p->w), &e);
    }
    void hover(int x, int y) { move(x, y, Qt::NoButton); }
    void drag(int x1, int y1, int x2, int y2)
    {
        press(x1, y1);
        move(x2, y2);
        release(x2, y2);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(imageOf(p->w), k, m); }
    void markMode(const char* button) { QVERIFY(trigger(*p, button)); }
    void placeMark(const char* button, int x, int y)
    {
        markMode(button);
        press(x, y);
        release(x, y);
        markMode(button);
    }
    QString status() const { return p->w.statusText(); }
    const Loupe& loupe() const { return p->w.loupe(); }
    QWidget* loupeWidget() const { return p->w.findChild<QWidget*>("LoupeView"); }
    // The colour of the loupe's block for the picture pixel at (dx, dy) from its centre.
    QRgb loupeBlock(int dx, int dy) const
    {
        const QImage shown = loupeWidget()->grab().toImage();
        const int half = Loupe::kSpan / 2;
        return shown.pixel(1 + (half + dx) * Loupe::kZoom + 2, 1 + (half + dy) * Loupe::kZoom + 2) & 0xFFFFFF;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    // With none of it used, the window is as it was: fitted, no loupe, no
    // step to undo, and keys outside a mark mode change nothing.
    void unusedItChangesNothing()
    {
        showPicture(200, 100, 400, 200);
        QVERIFY(p->w.zoom().fitted());
        QCOMPARE(imageOf(p->w)->geometry(), QRect(0, 0, 400, 200));
        QVERIFY(p->action("Loupe")->isChecked() && loupeWidget()->isHidden());
        QVERIFY(!p->action("Undo")->isEnabled() && !p->action("Redo")->isEnabled());
        drag(20, 20, 120, 80);
        hover(50, 50);
        QVERIFY(loupeWidget()->isHidden()); // no mark mode, no drag
        const ScanSettings before = p->w.scanSettings();
        for (Qt::Key k : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Escape})
            key(k);
        QCOMPARE(p->w.scanSettings(), before);
        QCOMPARE(status(), QString("Scan area set to: (10, 60) - (60, 90)"));
    }

    void theLoupeShowsThePixelThatAClickTakes()
    {
        // One red pixel in column 50, row 30 (bitmap y 70).
        showPicture(200, 100, 400, 200, [](int x, int row) { return x == 50 && row == 30 ? 0xFF0000u : 0xFFFFFFu; });
        markMode("tlbtnMarkO");
        hover(101, 60);
        QVERIFY(!loupeWidget()->isHidden());
        QCOMPARE(loupe().centre(), QPoint(50, 30));
        QCOMPARE(loupeBlock(0, 0), 0xFF0000u);
        QCOMPARE(loupeBlock(1, 0), 0xFFFFFFu);
        QCOMPARE(loupeBlock(0, -1), 0xFFFFFFu);
        QCOMPARE(loupeWidget()->width(), Loupe::kSide + 2);
        // Away from the cursor at the upper left: in the lower right corner.
        QVERIFY(loupeWidget()->geometry().left() > 200 && loupeWidget()->geometry().bottom() < 200);
        press(101, 60);
        release(101, 60);
        QCOMPARE(status(), QString("Origin set to: (50 , 70 )"));
        hover(390, 190);
        QVERIFY(loupeWidget()->geometry().right() < 200 && loupeWidget()->geometry().top() < 100);
        // View > Loupe off: none is shown.
        QVERIFY(trigger(*p, "Loupe"));
        hover(101, 60);
        QVERIFY(loupeWidget()->isHidden());
        QVERIFY(trigger(*p, "Loupe"));
        markMode("tlbtnMarkO");
        hover(101, 60);
        QVERIFY(loupeWidget()->isHidden()); // no mode
        press(30, 30);                      // drawing the area shows it
        move(101, 60);
        QVERIFY(!loupeWidget()->isHidden());
        QCOMPARE(loupe().centre(), QPoint(50, 30));
        release(101, 60);
        QVERIFY(loupeWidget()->isHidden());
    }

    // Leaving the mark mode takes the loupe away at once, without a move of
    // the mouse: by Escape and by the mode's button alike.
    void theLoupeGoesWithTheMarkMode()
    {
        showPicture(200, 100, 400, 200);
        markMode("tlbtnMarkO");
        hover(101, 60);
        QVERIFY(!loupeWidget()->isHidden());
        key(Qt::Key_Escape);
        QCOMPARE(int(p->w.marking().mode()), 0);
        QVERIFY(loupeWidget()->isHidden());
        markMode("tlbtnMarkY");
        hover(101, 60);
        QVERIFY(!loupeWidget()->isHidden());
        markMode("tlbtnMarkY");
        QVERIFY(loupeWidget()->isHidden());
        hover(120, 70); // and it stays away
        QVERIFY(loupeWidget()->isHidden());
    }

    // A picture above the display copy's size: the display is smoothed, the
    // loupe shows every pixel as it is.
    void theLoupeReadsThePictureNotTheDisplay()
    {
        const auto colour = [](int x, int row) {
            if (x == 1203 && row == 998)
                return 0x000000u;
            return (x + row) % 2 ? 0xFFFFFFu : 0x00FF00u;
        };
        showPicture(2400, 2000, 400, 200, colour);
        markMode("tlbtnMarkO");
        hover(200, 100);
        QCOMPARE(loupe().centre(), QPoint(1200, 1000));
        const QImage shown = loupeWidget()->grab().toImage();
        const int half = Loupe::kSpan / 2;
        for (int dy = -half; dy <= half; ++dy)
            for (int dx = -half; dx <= half; ++dx) {
                if (std::abs(dx) <= 1 && std::abs(dy) <= 1)
                    continue; // the cross hair's box
                const QPoint at(1 + (half + dx) * Loupe::kZoom + 2, 1 + (half + dy) * Loupe::kZoom + 2);
                QCOMPARE(shown.pixel(at) & 0xFFFFFF, colour(1200 + dx, 1000 + dy));
            }
        QCOMPARE(loupeBlock(3, -2), 0x000000u);
    }

    void arrowKeysMoveTheMarkWithTheTextAndChecksOfTheMouse()
    {
        showPicture(200, 100, 400, 200);
        markMode("tlbtnMarkO");
        press(100, 100);
        release(100, 100);
        QCOMPARE(status(), QString("Origin set to: (50 , 50 )"));
        key(Qt::Key_Right);
        QCOMPARE(status(), QString("Origin set to: (51 , 50 )"));
        key(Qt::Key_Up);
        key(Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(status(), QString("Origin set to: (41 , 51 )"));
        QCOMPARE(p->w.scanSettings().OriginX, 41.0);
        QCOMPARE(p->w.scanSettings().OriginY, 51.0);
        // The mark lands where a mouse placement of that pixel puts it.
        const MarkingTool& m = p->w.marking();
        QCOMPARE(imageOf(p->w)->shape(Mark::Origin).bounds, QRect(82 - 8, 98 - 8, 16, 16));
        QCOMPARE(m.windowToBitmapX(82), 41.0);
        QCOMPARE(std::trunc(m.windowToBitmapY(98)), 51.0);
        key(Qt::Key_Escape); // leaves the mode as the button does
        QCOMPARE(int(m.mode()), 0);
        QVERIFY(!p->action("tlbtnMarkO")->isChecked() && p->action("tlbtnMarkX")->isEnabled());

        // X1 at or left of the origin: the same text and Execute disabled.
        acceptSettings(p->w);
        placeMark("tlbtnMarkX", 100, 100); // x 50
        markMode("tlbtnMarkX");
        QVERIFY(p->action("Execute")->isEnabled());
        key(Qt::Key_Up); // X1 is only an x
        QCOMPARE(status(), QString("X1 set to: 50"));
        for (int i = 0; i < 9; ++i)
            key(Qt::Key_Left);
        QCOMPARE(status(), QString("X1 set to: 41 => Out of range!"));
        QVERIFY(!p->action("Execute")->isEnabled());
        for (int i = 0; i < 3; ++i)
            key(Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(status(), QString("X1 set to: 11 => Out of range!"));
        for (int i = 0; i < 3; ++i)
            key(Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(p->w.scanSettings().RefX, 0.0); // stays on the picture
        markMode("tlbtnMarkX");

        // The origin moved past a reference: the mouse's warning. X1 at 0
        // counts as not set.
        placeMark("tlbtnMarkY", 100, 140); // y 30
        markMode("tlbtnMarkO");
        key(Qt::Key_Down, Qt::ShiftModifier);
        key(Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(status(), QString("Origin set to: (41 , 31 ) => Reference Y1 is out of range!"));
        markMode("tlbtnMarkO");
        placeMark("tlbtnMarkX", 100, 100); // x 50
        markMode("tlbtnMarkO");
        key(Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(status(), QString("Origin set to: (51 , 31 ) => References X1 and Y1 are out of ranges!"));
    }

    void aMarkNotYetPlacedStartsInTheMiddle()
    {
        showPicture(200, 100, 400, 200);
        markMode("tlbtnMarkY");
        key(Qt::Key_Down);
        QCOMPARE(status(), QString("Y1 set to: 49"));
        QCOMPARE(imageOf(p->w)->shape(Mark::Y1).bounds, QRect(0, p->w.marking().bitmapToWindowY(49), 400, 1));
    }

    void cornerKeysMoveTheScanArea()
    {
        showPicture(200, 100, 400, 200);
        drag(20, 20, 120, 80); // (10, 60) - (60, 90)
        key(Qt::Key_C);
        QCOMPARE(int(p->w.marking().corner()), int(MarkingTool::StartCorner));
        QVERIFY(imageOf(p->w)->shape(Mark::Corner).visible);
        key(Qt::Key_Right);
        QCOMPARE(status(), QString("Scan area set to: (11, 60) - (60, 90)"));
        key(Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(status(), QString("Scan area set to: (11, 50) - (60, 90)"));
        key(Qt::Key_C);
        key(Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(status(), QString("Scan area set to: (11, 50) - (60, 100)"));
        key(Qt::Key_Up); // the top edge of the picture
        QCOMPARE(p->w.scanSettings().ScanEndY, 100.0);
        QCOMPARE(imageOf(p->w)->shape(Mark::ScanArea).bounds, QRect(22, 0, 98, 100));
        key(Qt::Key_Escape);
        QCOMPARE(int(p->w.marking().corner()), int(MarkingTool::NoCorner));
        QVERIFY(!imageOf(p->w)->shape(Mark::Corner).visible);
        key(Qt::Key_Left);
        QCOMPARE(p->w.scanSettings().ScanStartX, 11.0);
        // Locked, the corners stay.
        QVERIFY(trigger(*p, "btnScanLock"));
        key(Qt::Key_C);
        key(Qt::Key_Right);
        QCOMPARE(p->w.scanSettings().ScanStartX, 11.0);
    }

    void ctrlWheelZoomsAtTheCursor()
    {
        showPicture(200, 100, 400, 200);
        // The picture leaves the wheel to the scroll area's viewport, under it.
        QWidget* viewport = p->w.findChild<ZoomArea*>("ZoomArea")->viewport();
        QWheelEvent in(QPointF(100, 50), viewport->mapToGlobal(QPointF(100, 50)), {}, QPoint(0, 120), Qt::NoButton,
                       Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &in);
        QCOMPARE(p->w.zoom().scale(), 3.0);
        QVERIFY(p->action("FitToWindow")->isEnabled());
        // The picture point under the cursor stays under it: x 50 of the picture.
        QCOMPARE(imageOf(p->w)->pos().x() + 150, 100);
        QVERIFY(trigger(*p, "FitToWindow"));
        QVERIFY(p->w.zoom().fitted());
        QCOMPARE(imageOf(p->w)->geometry(), QRect(0, 0, 400, 200));
    }

    // A mixed sequence, undone step by step to the start and redone to the
    // end, passes through the Scan settings of the sequence itself.
    void undoAndRedoRetraceAMixedSequence()
    {
        showPicture(200, 100, 400, 200);
        std::vector<ScanSettings> seen{p->w.scanSettings()};
        std::vector<OutputFields> fields{p->output.fields()};
        const auto step = [&] {
            seen.push_back(p->w.scanSettings());
            fields.push_back(p->output.fields());
        };
        placeMark("tlbtnMarkO", 40, 160);
        step();
        placeMark("tlbtnMarkX", 300, 160);
        step();
        markMode("tlbtnMarkX");
        key(Qt::Key_Right, Qt::ShiftModifier);
        step();
        markMode("tlbtnMarkX");
        drag(60, 20, 300, 150);
        step();
        QVERIFY(trigger(*p, "btnScanLock"));
        step();
        QVERIFY(trigger(*p, "btnScanLock"));
        step();
        QVERIFY(trigger(*p, "btnRemoveScan"));
        step();
        drag(70, 30, 200, 140);
        step();
        key(Qt::Key_C);
        key(Qt::Key_Left);
        step();
        editSettings(p->w, [](ScanSettings& r) {
            r.RealRefX = 10;
            r.ScanWidth = 3;
        });
        step();
        ModalAnswers answers;
        answers.expect([](QWidget* w) {
            w->findChild<QCheckBox*>("SdevCheckBox")->setChecked(true);
            w->findChild<QAbstractButton*>("OKBtn")->click();
        });
        QVERIFY(trigger(*p, "Output1"));
        QVERIFY(answers.allAnswered());
        step();
        QVERIFY(fields.back().sdev && !fields.front().sdev);
        QCOMPARE(p->w.undoStack().count(), int(seen.size()) - 1);

        for (size_t i = seen.size() - 1; i > 0; --i) {
            QVERIFY(trigger(*p, "Undo"));
            QCOMPARE(p->w.scanSettings(), seen[i - 1]);
            QVERIFY(p->output.fields() == fields[i - 1]);
        }
        QVERIFY(!p->action("Undo")->isEnabled());
        QVERIFY(!p->w.marking().hasArea() && p->w.marking().markX(MarkingTool::OriginMark) == -1);
        QCOMPARE(imageOf(p->w)->shape(Mark::Origin).bounds, QRect(QPoint(-16, -16), QPoint(0, 0)));
        for (size_t i = 1; i < seen.size(); ++i) {
            QVERIFY(trigger(*p, "Redo"));
            QCOMPARE(p->w.scanSettings(), seen[i]);
            QVERIFY(p->output.fields() == fields[i]);
        }
        QVERIFY(!p->action("Redo")->isEnabled());
        // The shapes are where the redone positions put them.
        const MarkingTool& m = p->w.marking();
        QCOMPARE(imageOf(p->w)->shape(Mark::X1).bounds.left(), m.bitmapToWindowX(m.markX(MarkingTool::X1Mark)));
        QVERIFY(imageOf(p->w)->shape(Mark::ScanArea).visible && m.hasArea());

        // Undoing a lock unlocks, with the buttons following.
        QVERIFY(trigger(*p, "btnScanLock"));
        QVERIFY(!p->action("btnRemoveScan")->isEnabled());
        QVERIFY(trigger(*p, "Undo"));
        QVERIFY(!m.locked() && p->action("btnRemoveScan")->isEnabled());
    }

    void undoNeverUndoesAScanAndANewPictureClearsTheSteps()
    {
        showPicture(640, 480, 640, 480, workedExamplePixel);
        editSettings(p->w, [](ScanSettings& r) { r = workedExampleSettings(); });
        QVERIFY(trigger(*p, "Execute"));
        const std::vector<std::string> output = p->w.outputLines();
        QVERIFY(!output.empty());
        QVERIFY(trigger(*p, "Undo")); // the options
        QCOMPARE(p->w.scanSettings().OriginX, -1.0);
        QCOMPARE(p->w.outputLines(), output);
        QVERIFY(p->action("Save")->isEnabled() && p->action("Copy")->isEnabled());
        QVERIFY(!p->action("Undo")->isEnabled());
        QVERIFY(trigger(*p, "Redo"));
        QCOMPARE(p->w.scanSettings().OriginX, 50.0);

        const QString path = dir.filePath("other.bmp");
        writeBmp(path, 700, 500, [](int, int) { return 0xFFFFFFu; }); // not smaller: no notice
        p->w.openPicture(path);
        QCOMPARE(p->w.undoStack().count(), 0);
        QVERIFY(!p->action("Undo")->isEnabled() && !p->action("Redo")->isEnabled());
        QCOMPARE(p->w.scanSettings().OriginX, 50.0); // the picture changes no edit
    }

    void everyCommandHasItsOwnShortcut()
    {
        p = std::make_unique<Program>();
        const std::pair<const char*, const char*> keys[] = {
            {"Open", "Ctrl+O"},  {"Save", "Ctrl+S"},   {"SaveAs", "Ctrl+Shift+S"}, {"Print", "Ctrl+P"},
            {"Exit", "Ctrl+Q"},  {"Undo", "Ctrl+Z"},   {"Redo", "Ctrl+Shift+Z"},   {"Copy", "Ctrl+C"},
            {"Paste", "Ctrl+V"}, {"ZoomIn", "Ctrl++"}, {"ZoomOut", "Ctrl+-"},      {"FitToWindow", "Ctrl+0"},
            {"Execute", "F5"},   {"Contents", "F1"},   {"tlbtnMarkO", "Ctrl+1"},   {"btnRemoveScan", "Del"}};
        for (const auto& [name, key] : keys)
            QVERIFY2(p->action(name)->shortcut() == QKeySequence(key), name);
        QSet<QString> taken;
        for (QAction* a : p->w.findChildren<QAction*>()) {
            if (a->objectName().isEmpty() || a->isSeparator())
                continue;
            QVERIFY2(!a->shortcut().isEmpty(), qPrintable(a->objectName()));
            QVERIFY2(!taken.contains(a->shortcut().toString()), qPrintable(a->objectName()));
            taken.insert(a->shortcut().toString());
        }
        QVERIFY(p->w.findChild<QMenu*>("ViewMenu")->menuAction()->isVisible());
    }
};

QTEST_MAIN(PreciseMarkingTest)
#include "PreciseMarkingTest.moc"
