// The options dialog and the output fields dialog, and one whole digitizing
// session driven by mouse and keyboard.
#include "GuiTestSupport.h"

#include "../../dialogs/UpDownArrows.h"
#include "Report.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

using namespace plotrun;
using namespace plotrun::test;

namespace {

std::function<void(QWidget*)> cancelDialog(std::function<void(QDialog&)> fill = {})
{
    return [fill](QWidget* w) {
        auto* d = qobject_cast<QDialog*>(w);
        if (!d)
            return;
        if (fill)
            fill(*d);
        d->findChild<QPushButton*>("CancelBtn")->click();
    };
}

void type(QDialog& d, const char* box, const QString& text) { d.findChild<QLineEdit*>(box)->setText(text); }
QString text(const QDialog& d, const char* box) { return d.findChild<QLineEdit*>(box)->text(); }
QCheckBox* check(const QDialog& d, const char* box) { return d.findChild<QCheckBox*>(box); }

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<Program> p;

    void openBlank(int w, int h)
    {
        p = std::make_unique<Program>();
        const QString path = dir.filePath("blank.bmp");
        writeBmp(path, w, h, [](int, int) { return 0xFFFFFFu; });
        p->w.openPicture(path);
    }

    // A complete set of valid boxes for a 50 x 40 picture.
    static void validBoxes(TGOptions& d)
    {
        type(d, "SelSX1", "0");
        type(d, "SelSY1", "0");
        type(d, "SelSX2", "50");
        type(d, "SelSY2", "40");
        type(d, "SelOX", "5");
        type(d, "SelOY", "4");
        type(d, "SelX", "45");
        type(d, "SelY", "35");
        type(d, "SelXR", "10");
        type(d, "SelYR", "100");
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    void theFirstShowDisplaysTheStartValues()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        answers.expect(cancelDialog([](QDialog& d) {
            QCOMPARE(d.windowTitle(), QString("Program Options"));
            QCOMPARE(text(d, "SelOXR"), QString("0"));
            QCOMPARE(text(d, "SelOYR"), QString("0"));
            for (const char* empty :
                 {"SelXR", "SelYR", "SelOX", "SelOY", "SelX", "SelY", "SelSX1", "SelSY1", "SelSX2", "SelSY2"})
                QVERIFY2(text(d, empty).isEmpty(), empty);
            QCOMPARE(text(d, "SelSW"), QString("1"));
            QCOMPARE(text(d, "Threshold"), QString("128"));
            QVERIFY(check(d, "SelCpy")->isChecked() && !check(d, "SelWt")->isChecked());
            QCOMPARE(d.size(), QSize(767, 478));
        }));
        QVERIFY(trigger(*p, "Options"));
        QVERIFY(answers.allAnswered());
        QCOMPARE(p->w.scanSettings().Threshold, 0); // until an OK accepts one
    }

    void theFirstOkWithEmptyBoxesShowsEveryMessageOnce()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expect(okOptions());
        answers.expectBox(seen);
        QVERIFY(trigger(*p, "Options"));
        QVERIFY(answers.allAnswered() && answers.unexpected.isEmpty());
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Invalid input!"));
        QCOMPARE(seen[0].icon, QMessageBox::NoIcon);
        QCOMPARE(seen[0].text, QString("Invalid X start scan value\nInvalid X end scan value\n"
                                       "Invalid Y start scan value\nInvalid Y end scan value\n"
                                       "Origin X is not a valid number\nOrigin Y is not a valid number\n"
                                       "Reference X is not a valid number\nReference Y is not a valid number\n"
                                       "Real reference X is not a valid number\n"
                                       "Real reference Y is not a valid number\n"));
        QVERIFY(!p->action("Execute")->isEnabled());
        QCOMPARE(p->w.scanSettings().ScanWidth, 1);
        QCOMPARE(p->w.scanSettings().Threshold, 128);
    }

    void aValidOkWritesTheRecordAndEnablesExecute()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        answers.expect(okOptions([](TGOptions& d) {
            validBoxes(d);
            type(d, "SelSW", "2");
            type(d, "SelSX1", "-0.5");
            check(d, "SelWt")->setChecked(true);
        }));
        QVERIFY(trigger(*p, "Options"));
        QVERIFY(answers.unexpected.isEmpty());
        QVERIFY(p->action("Execute")->isEnabled());
        QCOMPARE(p->w.scanSettings().ScanStartX, 0.0);
        QCOMPARE(p->w.scanSettings().ScanWidth, 2);
        QCOMPARE(p->w.scanSettings().RealRefY, 100.0);
        QVERIFY(p->w.scanSettings().WeightedX && p->w.scanSettings().HasRealRefX);
        QCOMPARE(p->w.marking().markX(MarkingTool::Mode(1)), 5.0);
        QCOMPARE(p->w.marking().markY(MarkingTool::Mode(3)), 35.0);
        QCOMPARE(p->w.marking().area().x2, 50.0);
        QCOMPARE(p->w.marking().area().y2, 40.0);
    }

    void refusedEntriesFallBackAndTheWidthReturnsToOne()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expect(okOptions([](TGOptions& d) {
            validBoxes(d);
            type(d, "SelSX2", "20");
            type(d, "SelSW", "5");
        }));
        QVERIFY(trigger(*p, "Options"));
        QVERIFY(p->action("Execute")->isEnabled());

        // End beyond the picture: the working end comes back; the area is
        // refused, so the record's scan width becomes 1 while the box keeps 5.
        answers.expect(okOptions([](TGOptions& d) {
            type(d, "SelSX2", "999");
            type(d, "SelXR", "0"); // equal to the real origin
        }));
        answers.expectBox(seen);
        QVERIFY(trigger(*p, "Options"));
        QCOMPARE(seen.back().text, QString("End X scan point out of range.\nReal X cannot be same as real origin X\n"));
        QCOMPARE(text(p->options, "SelSX2"), QString("20"));
        QCOMPARE(text(p->options, "SelSW"), QString("5"));
        QCOMPARE(text(p->options, "SelXR"), QString("10")); // the accepted one before
        QCOMPARE(p->w.scanSettings().ScanWidth, 1);
        QCOMPARE(p->w.scanSettings().RealRefX, 10.0);
        QVERIFY(!p->action("Execute")->isEnabled());
        answers.expect(cancelDialog([](QDialog& d) { QCOMPARE(text(d, "SelSW"), QString("1")); }));
        QVERIFY(trigger(*p, "Options"));
        QVERIFY(answers.allAnswered());
    }

    void cancelKeepsTypedTextUntilTheNextShow()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        answers.expect(cancelDialog([](QDialog& d) {
            type(d, "SelOX", "12");
            type(d, "Threshold", "200");
            check(d, "SelCpy")->setChecked(false);
        }));
        QVERIFY(trigger(*p, "Options"));
        QCOMPARE(text(p->options, "SelOX"), QString("12"));
        QCOMPARE(p->w.scanSettings().OriginX, -1.0);
        answers.expect(cancelDialog([](QDialog& d) {
            QCOMPARE(text(d, "SelOX"), QString()); // refilled from the record
            QCOMPARE(text(d, "Threshold"), QString("200"));
            QVERIFY(!check(d, "SelCpy")->isChecked());
        }));
        QVERIFY(trigger(*p, "Options"));
        QVERIFY(answers.allAnswered());
    }

    void theThresholdLeftByCancelIsUsedByTheNextScan()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        answers.expect(okOptions(validBoxes));
        QVERIFY(trigger(*p, "Options"));
        answers.expect(cancelDialog([](QDialog& d) { type(d, "Threshold", "37"); }));
        QVERIFY(trigger(*p, "Options"));
        check(p->output, "ScanCheckBox")->setChecked(true);
        QVERIFY(trigger(*p, "Execute"));
        QCOMPARE(p->w.scanSettings().Threshold, 37);
        QCOMPARE(QString::fromStdString(p->w.outputLines()[4]), QString("Threshold:,37"));
    }

    // Undo and redo of an OK put the boxes that a show keeps (the threshold
    // and the clipboard box) back as the step left them, and the next scan
    // reads the threshold so put back.
    void undoOfAnOkPutsTheThresholdBoxBack()
    {
        openBlank(50, 40);
        check(p->output, "ScanCheckBox")->setChecked(true); // the threshold is in the output
        ModalAnswers answers;
        answers.expect(okOptions([](TGOptions& d) {
            validBoxes(d);
            type(d, "Threshold", "100");
        }));
        QVERIFY(trigger(*p, "Options"));
        answers.expect(okOptions([](TGOptions& d) {
            type(d, "Threshold", "200");
            check(d, "SelCpy")->setChecked(false);
        }));
        QVERIFY(trigger(*p, "Options"));
        QCOMPARE(p->w.scanSettings().Threshold, 200);

        QVERIFY(trigger(*p, "Undo"));
        QCOMPARE(p->w.scanSettings().Threshold, 100);
        answers.expect(cancelDialog([](QDialog& d) {
            QCOMPARE(text(d, "Threshold"), QString("100"));
            QVERIFY(check(d, "SelCpy")->isChecked());
        }));
        QVERIFY(trigger(*p, "Options"));
        QVERIFY(answers.allAnswered());
        QVERIFY(trigger(*p, "Execute"));
        QCOMPARE(p->w.scanSettings().Threshold, 100);
        QCOMPARE(QString::fromStdString(p->w.outputLines()[4]), QString("Threshold:,100"));

        QVERIFY(trigger(*p, "Redo"));
        QCOMPARE(text(p->options, "Threshold"), QString("200"));
        QVERIFY(!check(p->options, "SelCpy")->isChecked());
        QVERIFY(trigger(*p, "Execute"));
        QCOMPARE(QString::fromStdString(p->w.outputLines()[4]), QString("Threshold:,200"));
    }

    void theArrowsStepWithinLimitsButTypingIsFree()
    {
        openBlank(50, 40);
        auto* arrows = p->options.findChild<UpDownArrows*>("UpDown");
        auto* threshold = p->options.findChild<UpDownArrows*>("UpDown1");
        QVERIFY(arrows && threshold);
        QCOMPARE(arrows->maximum(), 25); // width div 2
        type(p->options, "Threshold", "255");
        threshold->stepBy(1);
        QCOMPARE(text(p->options, "Threshold"), QString("255"));
        threshold->stepBy(-1);
        QCOMPARE(text(p->options, "Threshold"), QString("254"));
        // A typed number beyond the limits steps to the nearest limit first.
        type(p->options, "Threshold", "0");
        threshold->stepBy(1);
        QCOMPARE(text(p->options, "Threshold"), QString("1"));
        type(p->options, "Threshold", "300");
        threshold->stepBy(-1);
        QCOMPARE(text(p->options, "Threshold"), QString("255"));
        type(p->options, "Threshold", "-40");
        threshold->stepBy(-1);
        QCOMPARE(text(p->options, "Threshold"), QString("1"));
        type(p->options, "Threshold", "9999 or so"); // the box takes any text
        QCOMPARE(text(p->options, "Threshold"), QString("9999 or so"));

        // On show, an area sets the arrows' maximum to its width.
        editSettings(p->w, [&](ScanSettings& r) { r.ScanStartX = 10; });
        editSettings(p->w, [&](ScanSettings& r) { r.ScanEndX = 40; });
        ModalAnswers answers;
        answers.expect(cancelDialog());
        QVERIFY(trigger(*p, "Options"));
        QCOMPARE(arrows->maximum(), 30);
    }

    void theOutputDialogStartsFromTheDecimalSeparator()
    {
        QLocale::setDefault(QLocale(QLocale::German));
        {
            TGOutput output;
            QCOMPARE(text(output, "SelDelim"), QString(";"));
        }
        QLocale::setDefault(QLocale::c());
        TGOutput output;
        QCOMPARE(text(output, "SelDelim"), QString(","));
        QCOMPARE(output.windowTitle(), QString("Output Fields"));
        QCOMPARE(output.size(), QSize(508, 472));
    }

    void theNameBoxesFollowTheColumnNamesBox()
    {
        TGOutput output;
        auto* names = check(output, "ColNamesCheckBox");
        QVERIFY(!output.findChild<QLineEdit*>("XEdit")->isEnabled());
        QVERIFY(!output.findChild<QLabel*>("byLbl")->isEnabled());
        names->setChecked(true);
        QVERIFY(output.findChild<QLineEdit*>("XEdit")->isEnabled());
        QVERIFY(output.findChild<QLabel*>("byLbl")->isEnabled());
        names->setChecked(false);
        QVERIFY(!output.findChild<QLineEdit*>("YbEdit")->isEnabled());
    }

    void cancelRestoresTheOutputFieldsOfTheLastShow()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        answers.expect(cancelDialog([](QDialog& d) {
            check(d, "ColNamesCheckBox")->setChecked(true);
            type(d, "XEdit", "time");
            type(d, "SelDelim", "|");
            for (const char* c : {"RealCheckBox", "SdevCheckBox", "SdevyCheckBox", "BitmapCheckBox"})
                check(d, c)->setChecked(false);
        }));
        QVERIFY(trigger(*p, "Output1"));
        QVERIFY(answers.unexpected.isEmpty()); // no "Missing output field!"
        QVERIFY(!check(p->output, "ColNamesCheckBox")->isChecked());
        QVERIFY(!p->output.findChild<QLineEdit*>("XEdit")->isEnabled());
        QCOMPARE(text(p->output, "XEdit"), QString("X"));
        QCOMPARE(text(p->output, "SelDelim"), QString(","));
        QVERIFY(check(p->output, "RealCheckBox")->isChecked());
    }

    void okWithNoDataColumnChecksRealCoordinates()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expect([](QWidget* w) {
            auto* d = qobject_cast<QDialog*>(w);
            check(*d, "RealCheckBox")->setChecked(false);
            check(*d, "ScanCheckBox")->setChecked(true);
            d->findChild<QPushButton*>("OKBtn")->click();
        });
        answers.expectBox(seen);
        QVERIFY(trigger(*p, "Output1"));
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Missing output field!"));
        QCOMPARE(seen[0].text,
                 QString("At least one output field must be selected!\nReal coordinates output field is now in use."));
        QVERIFY(check(p->output, "RealCheckBox")->isChecked());
        QVERIFY(check(p->output, "ScanCheckBox")->isChecked());
    }

    // A delimiter that runs the numbers of a line together keeps the dialog
    // open until it is mended, by OK and by the title bar's close alike.
    void aDelimiterThatRunsNumbersTogetherIsRefused()
    {
        openBlank(50, 40);
        for (const char* bad : {"", "1", "-", "e", ".", ";\n"}) {
            ModalAnswers answers;
            std::vector<SeenBox> seen;
            bool stayedOpen = false;
            answers.expect([&stayedOpen, bad](QWidget* w) {
                auto* d = qobject_cast<QDialog*>(w);
                type(*d, "SelDelim", bad);
                d->findChild<QPushButton*>("OKBtn")->click(); // the box is answered in there
                stayedOpen = d->isVisible();
                type(*d, "SelDelim", " | ");
                d->close();
            });
            answers.expectBox(seen);
            QVERIFY(trigger(*p, "Output1"));
            QVERIFY(stayedOpen);
            QTRY_VERIFY(answers.allAnswered());
            QCOMPARE(seen.size(), size_t(1));
            QCOMPARE(seen[0].title, QString("Invalid delimiter!"));
            QCOMPARE(seen[0].text, QString("The delimiter cannot be empty, and cannot hold a digit, a sign, E, e, the "
                                           "decimal separator or a line break."));
            QCOMPARE(text(p->output, "SelDelim"), QString(" | "));
            QVERIFY(answers.unexpected.isEmpty());
        }
    }

    void theTitleBarCloseKeepsChangesLikeOk()
    {
        openBlank(50, 40);
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expect([](QWidget* w) {
            auto* d = qobject_cast<QDialog*>(w);
            check(*d, "RealCheckBox")->setChecked(false);
            check(*d, "ColNamesCheckBox")->setChecked(true);
            d->close();
        });
        answers.expectBox(seen);
        QVERIFY(trigger(*p, "Output1"));
        QCOMPARE(seen.size(), size_t(1));
        QVERIFY(check(p->output, "RealCheckBox")->isChecked());
        QVERIFY(check(p->output, "ColNamesCheckBox")->isChecked());
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
