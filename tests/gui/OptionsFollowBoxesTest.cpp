// The option table in the window: every control it names is in its dialog,
// and the Follow group's gap and maximum jump go through OK's checks into
// the record, undo and redo, and the settings file.
#include "GuiTestSupport.h"

#include "../../files/SettingsFile.h"
#include "ScanOptions.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

using namespace plotrun;
using namespace plotrun::test;

namespace {

QLineEdit* box(const QDialog& d, const char* name) { return d.findChild<QLineEdit*>(name); }

} // namespace

class OptionsFollowBoxesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<Program> p;

    // The worked example's picture, with its settings accepted.
    void openWorkedExample()
    {
        p = std::make_unique<Program>();
        const QString path = dir.filePath("worked.bmp");
        writeBmp(path, 640, 480, workedExamplePixel);
        p->w.openPicture(path);
        QVERIFY(p->w.pictureLoaded());
        const OptionVerdict v = checkSettings(workedExampleSettings(), 640, 480);
        QVERIFY2(v.inputValid, v.messages.c_str());
        p->w.applyOptions(v);
    }

    // Opens the options dialog, types the gap and the jump, and clicks OK;
    // the messages of a refusal are seen.
    void typeGapAndJump(const QString& gap, const QString& jump, std::vector<SeenBox>* seen = nullptr)
    {
        ModalAnswers answers;
        answers.expect(okOptions([&](TGOptions& d) {
            box(d, "SelGap")->setText(gap);
            box(d, "SelMaxJump")->setText(jump);
        }));
        if (seen)
            answers.expectBox(*seen);
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QVERIFY(answers.unexpected.isEmpty());
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    void everyControlOfTheTableIsInItsDialog()
    {
        p = std::make_unique<Program>();
        int found = 0;
        for (const ScanOption& row : scanOptions())
            for (const OptionControl& c : row.controls) {
                if (!c.name)
                    continue;
                QWidget* w = p->options.findChild<QWidget*>(c.name);
                if (!w)
                    w = p->output.findChild<QWidget*>(c.name);
                QVERIFY2(w, c.name);
                if (c.text)
                    QVERIFY2(qobject_cast<QLineEdit*>(w) && w->window() == &p->options, c.name);
                if (c.check)
                    QVERIFY2(qobject_cast<QCheckBox*>(w) && w->window() == &p->options, c.name);
                if (c.colour)
                    QVERIFY2(qobject_cast<QPushButton*>(w) && w->window() == &p->options, c.name);
                ++found;
            }
        QVERIFY(found >= 35);
    }

    void theFollowGroupHoldsTheGapAndTheMaximumJump()
    {
        p = std::make_unique<Program>();
        auto* group = p->optionsBox<QGroupBox>("FollowGroupBox");
        QVERIFY(group);
        for (const char* name : {"FollowCheckBox", "RemoveLinesCheckBox", "SelGap", "SelMaxJump"})
            QVERIFY2(group->findChild<QWidget*>(name), name);
        QCOMPARE(group->findChild<QLabel*>("GapLbl")->text(), QString("Gap:"));
        QCOMPARE(group->findChild<QLabel*>("MaxJumpLbl")->text(), QString("Maximum jump:"));
        // Inside the dialog, which keeps its size.
        QVERIFY(QRect(QPoint(), p->options.size()).contains(group->geometry()));
        QCOMPARE(p->options.size(), QSize(767, 478));
    }

    void okPutsTheGapAndTheJumpIntoTheRecordAndUndoTakesThemBack()
    {
        openWorkedExample();
        {
            // Shown from the record: the start values, the jump automatic.
            ModalAnswers answers;
            answers.expect(okOptions([](TGOptions& d) {
                QCOMPARE(box(d, "SelGap")->text(), QString("3"));
                QCOMPARE(box(d, "SelMaxJump")->text(), QString(""));
            }));
            QVERIFY(trigger(*p, "Options"));
            QTRY_VERIFY(answers.allAnswered());
        }
        typeGapAndJump("5", "9");
        QCOMPARE(p->w.scanSettings().Follow.Gap, 5);
        QCOMPARE(p->w.scanSettings().Follow.MaxJump, 9);
        QVERIFY(p->action("Execute")->isEnabled());
        QVERIFY(trigger(*p, "Undo"));
        QCOMPARE(p->w.scanSettings().Follow.Gap, 3);
        QCOMPARE(p->w.scanSettings().Follow.MaxJump, 0);
        QVERIFY(trigger(*p, "Redo"));
        QCOMPARE(p->w.scanSettings().Follow.Gap, 5);
        QCOMPARE(p->w.scanSettings().Follow.MaxJump, 9);
        // An empty jump, or 0, is the automatic one again.
        typeGapAndJump("5", "0");
        QCOMPARE(p->w.scanSettings().Follow.MaxJump, 0);
    }

    void aRefusedGapOrJumpShowsItsMessageAndFallsBack()
    {
        openWorkedExample();
        typeGapAndJump("4", "8");
        std::vector<SeenBox> seen;
        typeGapAndJump("0", "x", &seen);
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Invalid input!"));
        QCOMPARE(seen[0].text, QString("Gap must be 1 or more\nInvalid maximum jump\n"));
        QCOMPARE(box(p->options, "SelGap")->text(), QString("4"));
        QCOMPARE(box(p->options, "SelMaxJump")->text(), QString("8"));
        QCOMPARE(p->w.scanSettings().Follow.Gap, 4);
        QCOMPARE(p->w.scanSettings().Follow.MaxJump, 8);
        QVERIFY(!p->action("Execute")->isEnabled());
    }

    void theSettingsFileKeepsThemAndFillsTheBoxesAgain()
    {
        openWorkedExample();
        typeGapAndJump("6", "11");
        const QString path = dir.filePath("follow.json");
        p->w.commonDialogs().saveSettingsFile = [path] { return path; };
        QVERIFY(trigger(*p, "SaveSettings"));
        const SavedSettings saved = readSettingsFile(path);
        QCOMPARE(saved.record.Follow.Gap, 6);
        QCOMPARE(saved.record.Follow.MaxJump, 11);

        openWorkedExample();
        p->w.commonDialogs().openSettingsFile = [path] { return path; };
        QVERIFY(trigger(*p, "LoadSettings"));
        QCOMPARE(p->w.scanSettings().Follow.Gap, 6);
        QCOMPARE(p->w.scanSettings().Follow.MaxJump, 11);
        ModalAnswers answers;
        answers.expect(okOptions([](TGOptions& d) {
            QCOMPARE(box(d, "SelGap")->text(), QString("6"));
            QCOMPARE(box(d, "SelMaxJump")->text(), QString("11"));
        }));
        QVERIFY(trigger(*p, "Options"));
        QTRY_VERIFY(answers.allAnswered());
        QCOMPARE(p->w.scanSettings().Follow.MaxJump, 11);
    }
};

QTEST_MAIN(OptionsFollowBoxesTest)
#include "OptionsFollowBoxesTest.moc"
