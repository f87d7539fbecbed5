// A whole session in the window, with the mouse and the keyboard as a user
// works, gives the same bytes as the scanner on the same settings.
#include "GuiTestSupport.h"

#include "../../cli/ScanCommand.h"
#include "Report.h"

#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <sstream>

using namespace plotrun;
using namespace plotrun::test;

class SessionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Program> p;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    // Open, marks, area, options, OK and Execute with the mouse and the
    // keyboard; the memo must equal what the scanner writes.
    void aWholeSessionEqualsTheScanner()
    {
        p = std::make_unique<Program>();
        const QString chart = PLOTRUN_SOURCE_DIR "/resources/samples/sample-chart.bmp";
        p->w.commonDialogs().openFile = [chart] { return chart; };
        QTest::mouseClick(p->w.findChild<QToolButton*>("OpenToolBtn"), Qt::LeftButton);
        QVERIFY(p->w.pictureLoaded());
        const QSize extra = p->w.size() - imageOf(p->w)->size();
        p->w.resize(640 + extra.width(), 480 + extra.height());
        QTRY_COMPARE(imageOf(p->w)->size(), QSize(640, 480)); // one window pixel a picture pixel

        QWidget* image = imageOf(p->w);
        const auto mark = [&](const char* button, QPoint at) {
            QTest::mouseClick(p->w.findChild<QToolButton*>(button), Qt::LeftButton);
            QTest::mousePress(image, Qt::LeftButton, {}, at);
            QTest::mouseRelease(image, Qt::LeftButton, {}, at);
            QTest::mouseClick(p->w.findChild<QToolButton*>(button), Qt::LeftButton);
        };
        mark("tlbtnMarkO", {60, 420});
        QCOMPARE(p->w.statusText(), QString("Origin set to: (60 , 60 )"));
        mark("tlbtnMarkX", {580, 420});
        mark("tlbtnMarkY", {60, 60});
        QTest::mousePress(image, Qt::LeftButton, {}, {61, 419});
        QMouseEvent drag(QEvent::MouseMove, QPointF(580, 61), image->mapToGlobal(QPointF(580, 61)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(image, &drag);
        QTest::mouseRelease(image, Qt::LeftButton, {}, {580, 61});
        QCOMPARE(p->w.statusText(), QString("Scan area set to: (61, 61) - (580, 419)"));

        ModalAnswers answers;
        answers.expect([](QWidget* w) {
            auto* d = qobject_cast<TGOptions*>(w);
            const auto retype = [d](const char* box, const char* text) {
                QLineEdit* e = d->findChild<QLineEdit*>(box);
                e->selectAll();
                QTest::keyClick(e, Qt::Key_Backspace);
                QTest::keyClicks(e, text);
            };
            retype("SelXR", "10");
            retype("SelYR", "100");
            retype("SelSW", "26");
            QTest::mouseClick(d->findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(p->w.findChild<QToolButton*>("OptionsToolBtn"), Qt::LeftButton);
        QVERIFY(answers.unexpected.isEmpty());
        QVERIFY(p->action("Execute")->isEnabled());
        QTest::mouseClick(p->w.findChild<QToolButton*>("ExecuteToolBtn"), Qt::LeftButton);
        QCOMPARE(p->w.statusText(), QString("Done"));

        std::ostringstream out, err;
        const int code = runScanCommand({"--origin", "60,60", "--ref", "580,420", "--real-ref", "10,100", "--area",
                                         "61,61,580,419", "--scan-width", "26", "--decimal-separator", ".", chart},
                                        out, err);
        QCOMPARE(code, 0);
        QCOMPARE(QString::fromStdString(joinLines(p->w.outputLines())), QString::fromStdString(out.str()));
        QCOMPARE(int(p->w.outputLines().size()), 17);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(out.str()));
    }
};

QTEST_MAIN(SessionTest)
#include "SessionTest.moc"
