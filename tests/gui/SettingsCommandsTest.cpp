// File > Save Settings... and Load Settings...: one calibration saved from
// the window, scanned by the scanner, and loaded onto another picture.
#include "GuiTestSupport.h"

#include "../Calibrated.h"

#include "../../cli/ScanCommand.h"
#include "../BmpFile.h"
#include "../../files/SettingsFile.h"
#include "Report.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include <sstream>
#include <sys/stat.h>

using namespace plotrun;
using namespace plotrun::test;

namespace {

const char* const kChart = PLOTRUN_SOURCE_DIR "/resources/samples/sample-chart.bmp";

ScanSettings sampleCalibration()
{
    ScanSettings s = sampleChartCalibration();
    s.RealOriginX = -1.5;
    s.ScanWidth = 13;
    s.Threshold = 128;
    s.WeightedX = true;
    s.HasRealRefX = s.HasRealRefY = true;
    return s;
}

OutputFields someFields()
{
    OutputFields f;
    f.delimiter = " ; ";
    f.scanningParameters = true;
    f.columnNames = true;
    f.sdev = f.sdevY = f.bitmapCoordinates = true;
    f.names[0] = "time";
    return f;
}

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class SettingsCommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // The options dialog's OK on the settings, as the user would give them.
    static void applyAsOk(Program& p, const ScanSettings& s)
    {
        const OptionVerdict v = checkSettings(s, 640, 480);
        QVERIFY2(v.inputValid, v.messages.c_str());
        p.optionsBox<QCheckBox>("SelWt")->setChecked(s.WeightedX); // as OK leaves it
        p.w.applyOptions(v);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void theCommandsAreEnabledWithOptionsAndWithExecute()
    {
        Program p;
        QVERIFY(!p.action("LoadSettings")->isEnabled());
        QVERIFY(!p.action("SaveSettings")->isEnabled());
        p.w.openPicture(kChart);
        QVERIFY(p.action("LoadSettings")->isEnabled());
        QVERIFY(!p.action("SaveSettings")->isEnabled());
        applyAsOk(p, sampleCalibration());
        QVERIFY(p.action("SaveSettings")->isEnabled());
        const QList<QAction*> file = p.w.menuBar()->actions().value(0)->menu()->actions();
        QVERIFY(file.indexOf(p.action("LoadSettings")) > file.indexOf(p.action("SaveAs")));
        QVERIFY(file.indexOf(p.action("SaveSettings")) < file.indexOf(p.action("Print")));
    }

    // Window -> file -> scanner: the scanner writes the window's own output.
    void theScannerWithTheSavedSettingsWritesTheWindowsOutput()
    {
        Program p;
        p.w.openPicture(kChart);
        applyAsOk(p, sampleCalibration());
        p.output.setFields(someFields());
        p.optionsBox("Threshold")->setText("140");
        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(p.w.statusText(), QString("Done"));

        const QString path = dir.filePath("window.json");
        p.w.commonDialogs().saveSettingsFile = [path] { return path; };
        QVERIFY(trigger(p, "SaveSettings"));
        QCOMPARE(p.w.statusText(), QString("Settings saved to window.json"));

        std::ostringstream out, err;
        QCOMPARE(runScanCommand({"--settings", path, kChart}, out, err), 0);
        QVERIFY(p.w.outputLines().size() > 20);
        QCOMPARE(QString::fromStdString(out.str()), QString::fromStdString(joinLines(p.w.outputLines())));
        QCOMPARE(readSettingsFile(path).record.Threshold, 140);
    }

    // File -> window: marks, area, dialogs and Execute as after an OK.
    void loadingPutsTheSettingsOnThePictureAndFillsTheDialogs()
    {
        SavedSettings s;
        s.record = checkSettings(sampleCalibration(), 640, 480).record;
        s.record.Threshold = 150;
        s.pictureWidth = 640;
        s.pictureHeight = 480;
        s.fields = someFields();
        s.copyToClipboard = false;
        const QString path = dir.filePath("load.json");
        QCOMPARE(writeSettingsFile(path, s), QString());

        Program p;
        p.w.openPicture(kChart);
        QVERIFY(!p.action("Execute")->isEnabled());
        p.w.commonDialogs().openSettingsFile = [path] { return path; };
        QVERIFY(trigger(p, "LoadSettings"));
        QCOMPARE(p.w.statusText(), QString("Settings loaded from load.json"));
        QVERIFY(p.w.scanSettings() == s.record);
        QVERIFY(p.action("Execute")->isEnabled());
        QCOMPARE(p.w.marking().markX(MarkingTool::X1Mark), 580.0);
        QCOMPARE(p.w.marking().area().x2, 580.0);
        QVERIFY(p.output.fields() == s.fields);
        QCOMPARE(p.optionsBox("Threshold")->text(), QString("150"));
        QVERIFY(p.optionsBox<QCheckBox>("SelWt")->isChecked());
        QVERIFY(!p.optionsBox<QCheckBox>("SelCpy")->isChecked());
        QVERIFY(p.outputBox("XEdit")->isEnabled()); // the name boxes follow "Column names:"

        QVERIFY(trigger(p, "Execute"));
        std::ostringstream out, err;
        QCOMPARE(runScanCommand({"--settings", path, kChart}, out, err), 0);
        QCOMPARE(QString::fromStdString(out.str()), QString::fromStdString(joinLines(p.w.outputLines())));

        // Loading is one step of undo: the settings and the output fields go
        // back together, and redo brings both again.
        QVERIFY(trigger(p, "Undo"));
        QVERIFY(p.w.scanSettings() == ScanSettings{});
        QVERIFY(p.output.fields() == OutputFields{});
        QVERIFY(!p.action("Execute")->isEnabled());
        QVERIFY(trigger(p, "Redo"));
        QVERIFY(p.w.scanSettings() == s.record);
        QVERIFY(p.output.fields() == s.fields);
    }

    // A file without a start point leaves no Start mark from before on the
    // picture, whether it has no follow group or one with following off.
    void loadingShowsTheStartMarkExactlyWhenTheFileHasOne()
    {
        SavedSettings with;
        with.record = checkSettings(sampleCalibration(), 640, 480).record;
        with.record.Follow.On = true;
        with.record.Follow.StartX = 300;
        with.record.Follow.StartY = 200;
        with.pictureWidth = 640;
        with.pictureHeight = 480;
        SavedSettings none = with;
        none.record.Follow = FollowSettings{};
        SavedSettings off = none;
        off.record.Follow.Gap = 5; // a follow group is written, with following off and no start point
        const QString withPath = dir.filePath("start.json"), nonePath = dir.filePath("nostart.json"),
                      offPath = dir.filePath("followoff.json");
        QCOMPARE(writeSettingsFile(withPath, with), QString());
        QCOMPARE(writeSettingsFile(nonePath, none), QString());
        QCOMPARE(writeSettingsFile(offPath, off), QString());

        Program p;
        p.w.openPicture(kChart);
        PictureView* view = imageOf(p.w);
        const auto startShown = [view] {
            const Shape& s = view->shape(Mark::Start);
            return s.visible && s.bounds.intersects(view->frame());
        };
        // A Start mark placed with the mouse first.
        QVERIFY(trigger(p, "tlbtnMarkStart"));
        const QPoint at(view->width() / 2, view->height() / 2);
        QTest::mousePress(view, Qt::LeftButton, {}, at);
        QTest::mouseRelease(view, Qt::LeftButton, {}, at);
        QVERIFY(trigger(p, "tlbtnMarkStart"));
        QVERIFY(startShown());

        const std::pair<QString, bool> loads[] = {
            {nonePath, false}, {withPath, true}, {offPath, false}, {withPath, true}, {nonePath, false}};
        for (const auto& [path, shown] : loads) {
            p.w.commonDialogs().openSettingsFile = [path] { return path; };
            QVERIFY(trigger(p, "LoadSettings"));
            QCOMPARE(p.w.statusText(), "Settings loaded from " + QFileInfo(path).fileName());
            QVERIFY2(startShown() == shown, qPrintable(path));
            QCOMPARE(p.w.scanSettings().Follow.StartX, shown ? 300.0 : -1.0);
            if (shown) {
                const int x = p.w.marking().bitmapToWindowX(300), y = p.w.marking().bitmapToWindowY(200);
                QCOMPARE(view->shape(Mark::Start).bounds, QRect(x - 5, y - 5, 10, 10));
            }
        }
    }

    void aRefusedFileChangesNothing()
    {
        Program p;
        p.w.openPicture(kChart);
        const ScanSettings before = p.w.scanSettings();
        const OutputFields fieldsBefore = p.output.fields();
        const QString path = dir.filePath("bad.json");
        QVERIFY(writeFile(path, "{\"format\": \"plotrun-settings\", \"version\": 1}"));
        p.w.commonDialogs().openSettingsFile = [path] { return path; };
        const SeenBox box = boxAfter(p, "LoadSettings");
        QCOMPARE(box.title, QString("Invalid settings file!"));
        QVERIFY(box.text.contains("the key \"picture\" is missing"));
        QVERIFY(p.w.scanSettings() == before);
        QVERIFY(p.output.fields() == fieldsBefore);
        QVERIFY(!p.action("Execute")->isEnabled());
    }

    void settingsThatDoNotFitThePictureAreRefusedWithItsSize()
    {
        SavedSettings s;
        s.record = checkSettings(sampleCalibration(), 640, 480).record;
        s.record.Threshold = 128;
        s.pictureWidth = 640;
        s.pictureHeight = 480;
        const QString path = dir.filePath("big.json");
        QCOMPARE(writeSettingsFile(path, s), QString());
        const QString small = dir.filePath("small.bmp");
        writeBmp(small, 320, 240, [](int, int) { return 0xFFFFFFu; });

        Program p;
        p.w.openPicture(small);
        p.w.commonDialogs().openSettingsFile = [path] { return path; };
        const SeenBox box = boxAfter(p, "LoadSettings");
        QVERIFY(box.text.contains("the key \"area.endX\": End X scan point out of range."));
        QVERIFY(box.text.contains("made on a picture of 640 x 480 pixels; this one has 320 x 240"));
        QVERIFY(p.w.scanSettings() == ScanSettings{});
    }

    // A name without a suffix gets ".json", as Save As gives ".txt"; a name
    // with a suffix of its own keeps it.
    void saveSettingsAddsJsonToANameWithoutASuffix()
    {
        Program p;
        p.w.openPicture(kChart);
        applyAsOk(p, sampleCalibration());
        const QString bare = dir.filePath("bare");
        p.w.commonDialogs().saveSettingsFile = [bare] { return bare; };
        QVERIFY(trigger(p, "SaveSettings"));
        QCOMPARE(p.w.statusText(), QString("Settings saved to bare.json"));
        QVERIFY(!QFileInfo::exists(bare));
        QCOMPARE(readSettingsFile(bare + ".json").record, p.w.scanSettings());

        const QString own = dir.filePath("chart.settings");
        p.w.commonDialogs().saveSettingsFile = [own] { return own; };
        QVERIFY(trigger(p, "SaveSettings"));
        QCOMPARE(p.w.statusText(), QString("Settings saved to chart.settings"));
        QVERIFY(QFileInfo::exists(own) && !QFileInfo::exists(own + ".json"));
    }

    // A name picked by a slip: the picture being scanned, a link to it, or
    // another picture. Each stays as it was.
    void settingsAreNeverSavedOverAPicture()
    {
        const QString chart = dir.filePath("chart.bmp");
        QVERIFY(QFile::copy(kChart, chart));
        const QString link = dir.filePath("chart-link.json");
        QVERIFY(QFile::link(chart, link));
        const QString other = dir.filePath("other.png");
        QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(other));
        const QByteArray chartBefore = read(chart), otherBefore = read(other);
        Program p;
        p.w.openPicture(chart);
        applyAsOk(p, sampleCalibration());
        for (const QString& target : {chart, link, other}) {
            p.w.commonDialogs().saveSettingsFile = [target] { return target; };
            const SeenBox box = boxAfter(p, "SaveSettings");
            QCOMPARE(box.title, QString("Plotrun 1.1"));
            QVERIFY2(box.text.contains("it is a picture; the settings are not written over it"), qPrintable(box.text));
        }
        QCOMPARE(read(chart), chartBefore);
        QCOMPARE(read(other), otherBefore);
    }

    // A named pipe with no writer would hold the window until one wrote to
    // it; it is refused at once, for settings and pictures alike.
    void aNamedPipeIsRefusedWithoutWaiting()
    {
        const QString fifo = dir.filePath("settings.fifo");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        Program p;
        p.w.openPicture(kChart);
        const ScanSettings before = p.w.scanSettings();
        p.w.commonDialogs().openSettingsFile = [fifo] { return fifo; };
        std::vector<SeenBox> seen;
        ModalAnswers answers;
        answers.expectBox(seen);
        QVERIFY(trigger(p, "LoadSettings"));
        QTRY_VERIFY(answers.allAnswered());
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Invalid settings file!"));
        QCOMPARE(seen[0].text, "Cannot open \"" + fifo + "\": it is a named pipe, not a file.");
        QVERIFY(p.w.scanSettings() == before);

        p.w.commonDialogs().openFile = [fifo] { return fifo; };
        answers.expectBox(seen);
        QVERIFY(trigger(p, "Open"));
        QTRY_VERIFY(answers.allAnswered());
        QCOMPARE(seen.size(), size_t(2));
        QCOMPARE(seen[1].title, QString("Plotrun 1.1"));
        QCOMPARE(seen[1].text, "Cannot open \"" + fifo + "\": it is a named pipe, not a file.");
        QCOMPARE(p.optionsBox<QLabel>("FileNameLabel")->text().contains("sample-chart.bmp"), true);
    }

    void aThresholdThatCannotBeSavedIsRefusedBeforeTheFileDialog()
    {
        Program p;
        p.w.openPicture(kChart);
        applyAsOk(p, sampleCalibration());
        p.optionsBox("Threshold")->setText("300");
        bool asked = false;
        p.w.commonDialogs().saveSettingsFile = [&asked] {
            asked = true;
            return QString();
        };
        const SeenBox box = boxAfter(p, "SaveSettings");
        QCOMPARE(box.title, QString("Invalid input!"));
        QVERIFY(box.text.contains("the key \"scan.threshold\": Threshold must be between 1 and 255"));
        QVERIFY(!asked);
    }
};

QTEST_MAIN(SettingsCommandsTest)
#include "SettingsCommandsTest.moc"
