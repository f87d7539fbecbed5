// Scan > Find Axes and Find Area in the window: what was found shown over
// the picture, the proposal confirmed or cancelled in the options dialog,
// and an axis that cannot be read named in a box that changes nothing.
#include "GuiTestSupport.h"

#include "../AxesChart.h"
#include "ChartMap.h"
#include "FoundAxesOverlay.h"

#include <QTemporaryDir>

using namespace plotrun;
using namespace plotrun::test;

namespace {

AxesStyle turnedStyle()
{
    AxesStyle s;
    s.x = linearAxis(-10, 10, 2);
    s.y = linearAxis(0, 1, 0.2);
    s.grid = true;
    s.degrees = 1;
    return s;
}

} // namespace

class FindAxesCommandTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    std::unique_ptr<Program> programWith(const AxesChart& chart)
    {
        auto p = std::make_unique<Program>();
        const QString path = dir.filePath("chart.png");
        if (!chart.picture.save(path))
            return nullptr;
        p->w.openPicture(path);
        return p;
    }

    // Triggers a command that opens the options dialog, and answers it.
    static bool answerOptions(Program& p, const char* command, bool ok)
    {
        ModalAnswers answers;
        answers.expect(ok ? okOptions() : [](QWidget* w) {
            if (auto* d = qobject_cast<QDialog*>(w))
                d->reject();
        });
        if (!trigger(p, command))
            return false;
        const bool answered = QTest::qWaitFor([&] { return answers.allAnswered(); }, 20000);
        if (!answers.unexpected.isEmpty())
            qWarning("%s", qPrintable(answers.unexpected.join("; ")));
        return answered && answers.unexpected.isEmpty();
    }

private slots:
    void theProposalConfirmedWithOkCalibratesTheChart()
    {
        Program empty;
        QVERIFY(!empty.action("FindAxes")->isEnabled());
        QVERIFY(!empty.action("FindArea")->isEnabled());
        const AxesChart chart = drawAxesChart(turnedStyle());
        auto p = programWith(chart);
        QVERIFY(p && p->w.pictureLoaded());
        QVERIFY(answerOptions(*p, "FindAxes", true));
        const ScanSettings s = p->w.scanSettings();
        QCOMPARE(s.Calibration.Kind, CalibrationKind::ThreePoint);
        // Every tick that agrees is a reference point with its residual.
        QVERIFY(s.Calibration.Points.size() >= 12);
        QVERIFY2(chart.worstCurveError(s) < 0.1, qPrintable(QString::number(chart.worstCurveError(s))));
        QVERIFY(p->w.foundAxes().shown());
        QVERIFY(p->w.foundAxes().found().sure());
        QCOMPARE(p->w.undoStack().undoText(), QString("Find Axes"));

        // The area proposed with it lies inside the frame, and covers nearly all of it.
        const ChartMap map(s);
        const ChartPoint low = map.toChart(s.ScanStartX, s.ScanStartY), high = map.toChart(s.ScanEndX, s.ScanEndY);
        QVERIFY2(low.x > -10 && low.x < -9.7 && low.y > 0 && low.y < 0.015,
                 qPrintable(QString("%1 %2").arg(low.x).arg(low.y)));
        QVERIFY2(high.x < 10 && high.x > 9.7 && high.y < 1 && high.y > 0.985,
                 qPrintable(QString("%1 %2").arg(high.x).arg(high.y)));
        QVERIFY(p->action("Execute")->isEnabled());
        // Find Area alone proposes the same area.
        editSettings(p->w, [](ScanSettings& e) { e.ScanStartX = e.ScanStartY = e.ScanEndX = e.ScanEndY = 200; });
        QVERIFY(answerOptions(*p, "FindArea", true));
        QCOMPARE(p->w.scanSettings().ScanStartX, s.ScanStartX);
        QCOMPARE(p->w.scanSettings().ScanEndY, s.ScanEndY);
    }

    void aCancelChangesNothing()
    {
        auto p = programWith(drawAxesChart(turnedStyle()));
        QVERIFY(p);
        const ScanSettings before = p->w.scanSettings();
        const int steps = p->w.undoStack().count();
        QVERIFY(answerOptions(*p, "FindAxes", false));
        QVERIFY(p->w.scanSettings() == before);
        QCOMPARE(p->w.undoStack().count(), steps);
    }

    void anAxisThatCannotBeReadIsNamedAndNothingChanges()
    {
        AxesStyle s = turnedStyle();
        s.points = 1; // labels too small to read
        auto p = programWith(drawAxesChart(s));
        QVERIFY(p);
        const ScanSettings before = p->w.scanSettings();
        const SeenBox box = boxAfter(*p, "FindAxes");
        QCOMPARE(box.title, QString("Find Axes"));
        QVERIFY2(box.text.contains("x axis") && box.text.contains("Nothing was changed"), qPrintable(box.text));
        QVERIFY(p->w.scanSettings() == before);
    }
};

QTEST_MAIN(FindAxesCommandTest)
#include "FindAxesCommandTest.moc"
