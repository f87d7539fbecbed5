// Save Settings and Load Settings with a logarithmic y axis and ink mode:
// window -> file -> scanner gives the window's bytes, and loading fills the
// options dialog's logarithmic boxes and ink group.
#include "GuiTestSupport.h"

#include "../../cli/ScanCommand.h"
#include "../../files/SettingsFile.h"
#include "../BmpFile.h"
#include "../InkChart.h"
#include "Report.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sstream>

using namespace plotrun;
using namespace plotrun::test;

namespace {

// The ink chart's calibration with y read on a logarithmic axis from 1 to 10.
ScanSettings logYCalibration()
{
    ScanSettings s = InkChart::settings();
    s.RealOriginY = 1;
    s.RealRefY = 10;
    s.LogY = true;
    return s;
}

ScanSettings inkCalibration()
{
    ScanSettings s = InkChart::settings();
    s.Ink = {true, 0xC83C1E, 0xFEFEFE, 25}; // the blue sigmoid
    return s;
}

std::string scannerOutput(const QStringList& args)
{
    std::ostringstream out, err;
    const int code = runScanCommand(args, out, err);
    return code == kScanDone ? out.str() : "exit " + std::to_string(code) + ": " + err.str();
}

} // namespace

class SettingsGroupsCommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString chart;

    static void applyAsOk(Program& p, const ScanSettings& s)
    {
        const OptionVerdict v = checkSettings(s, 800, 600);
        QVERIFY2(v.inputValid, v.messages.c_str());
        p.w.applyOptions(v);
    }

    static OutputFields headerAndNames()
    {
        OutputFields f;
        f.scanningParameters = f.columnNames = true;
        f.sdev = true;
        return f;
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        chart = dir.filePath("chart.png");
        QVERIFY(InkChart::draw().save(chart));
    }

    void theScannerWithTheSavedSettingsWritesTheWindowsOutput_data()
    {
        QTest::addColumn<bool>("ink");
        QTest::newRow("log y") << false;
        QTest::newRow("ink") << true;
    }

    void theScannerWithTheSavedSettingsWritesTheWindowsOutput()
    {
        QFETCH(bool, ink);
        const ScanSettings settings = ink ? inkCalibration() : logYCalibration();
        Program p;
        p.w.openPicture(chart);
        applyAsOk(p, settings);
        p.output.setFields(headerAndNames());
        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(p.w.statusText(), QString("Done"));
        QVERIFY(p.w.outputLines().size() > 100);

        const QString path = dir.filePath("window.json");
        p.w.commonDialogs().saveSettingsFile = [path] { return path; };
        QVERIFY(trigger(p, "SaveSettings"));
        const SavedSettings saved = readSettingsFile(path);
        QCOMPARE(saved.record.LogY, settings.LogY);
        QVERIFY(saved.record.Ink == settings.Ink);

        QCOMPARE(QString::fromStdString(scannerOutput({"--settings", path, chart})),
                 QString::fromStdString(joinLines(p.w.outputLines())));
    }

    void loadingFillsTheLogarithmicBoxesAndTheInkGroup()
    {
        SavedSettings s;
        s.record = checkSettings(logYCalibration(), 800, 600).record;
        s.record.Ink = inkCalibration().Ink;
        s.pictureWidth = 800;
        s.pictureHeight = 600;
        s.fields = headerAndNames();
        const QString path = dir.filePath("load.json");
        QCOMPARE(writeSettingsFile(path, s), QString());

        Program p;
        p.w.openPicture(chart);
        p.w.commonDialogs().openSettingsFile = [path] { return path; };
        QVERIFY(trigger(p, "LoadSettings"));
        QVERIFY(p.w.scanSettings() == s.record);
        QVERIFY(p.optionsBox<QCheckBox>("LogYCheckBox")->isChecked());
        QVERIFY(!p.optionsBox<QCheckBox>("LogXCheckBox")->isChecked());
        QVERIFY(p.optionsBox<QCheckBox>("InkCheckBox")->isChecked());
        QCOMPARE(p.optionsBox("SelInkTol")->text(), QString("25"));

        // The dialog shows them, and its OK keeps them.
        p.options.setRecord(p.w.scanSettings(), QSize(800, 600));
        p.options.FormShow();
        p.options.OKBtnClick();
        QVERIFY(p.options.verdict().inputValid);
        QVERIFY(p.options.verdict().record.Ink == s.record.Ink);
        QVERIFY(p.options.verdict().record.LogY);

        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(QString::fromStdString(scannerOutput({"--settings", path, chart})),
                 QString::fromStdString(joinLines(p.w.outputLines())));
    }

    void anOldFileWithoutTheGroupsTurnsTheOptionsOff()
    {
        SavedSettings s;
        s.record = checkSettings(InkChart::settings(), 800, 600).record;
        s.pictureWidth = 800;
        s.pictureHeight = 600;
        QJsonObject o = QJsonDocument::fromJson(settingsToJson(s)).object();
        o.remove("axes");
        o.remove("ink");
        const QString path = dir.filePath("old.json");
        QVERIFY(writeFile(path, QJsonDocument(o).toJson()));

        Program p;
        p.w.openPicture(chart);
        ScanSettings on = logYCalibration();
        on.Ink = inkCalibration().Ink;
        applyAsOk(p, on);
        QVERIFY(p.w.scanSettings().LogY && p.w.scanSettings().Ink.On);
        p.w.commonDialogs().openSettingsFile = [path] { return path; };
        QVERIFY(trigger(p, "LoadSettings"));
        QVERIFY(!p.w.scanSettings().LogX && !p.w.scanSettings().LogY);
        QVERIFY(p.w.scanSettings().Ink == InkSettings{});
        QVERIFY(!p.optionsBox<QCheckBox>("LogYCheckBox")->isChecked());
        QVERIFY(!p.optionsBox<QCheckBox>("InkCheckBox")->isChecked());
        QCOMPARE(p.optionsBox("SelInkTol")->text(), QString("40"));
    }
};

QTEST_MAIN(SettingsGroupsCommandsTest)
#include "SettingsGroupsCommandsTest.moc"
