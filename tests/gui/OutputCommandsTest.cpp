// Save, Save As, Copy, Paste, Print and the views.
#include "GuiTestSupport.h"

#include "../Calibrated.h"

#include "../FileSizeLimit.h"

#include "PrintLayout.h"
#include "Report.h"

#include <QCheckBox>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QClipboard>
#include <QLabel>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace plotrun;
using namespace plotrun::test;

class OutputCommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<Program> p;

    // A scan of the sample chart at scan width 1: several hundred data lines,
    // or none when no pixel can be as dark as the threshold.
    void scanSampleChart(bool rows = true)
    {
        p = std::make_unique<Program>();
        p->w.openPicture(PLOTRUN_SOURCE_DIR "/resources/samples/sample-chart.bmp");
        ScanSettings s = sampleChartCalibration();
        if (!rows) // Execute takes the threshold from the box
            p->options.findChild<QLineEdit*>("Threshold")->setText("255");
        editSettings(p->w, [&](ScanSettings& r) { r = s; });
        QVERIFY(trigger(*p, "Execute"));
    }

    static QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QString memo() const { return QString::fromStdString(joinLines(p->w.outputLines())); }

    static int pdfPages(const QString& path)
    {
        return int(QString::fromLatin1(read(path)).count(QRegularExpression("/Type\\s*/Page[^s]")));
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { p.reset(); }

    void saveDoesNothingWithoutOutput()
    {
        p = std::make_unique<Program>();
        bool asked = false;
        p->w.commonDialogs().saveFile = [&] {
            asked = true;
            return QString();
        };
        actionOf(p->w, "Save")->trigger();
        QVERIFY(!asked);
        QVERIFY(!p->action("Save")->isEnabled());
    }

    void theFirstSaveAsksWhereAndLaterSavesDoNot()
    {
        scanSampleChart();
        const QString path = dir.filePath("out.txt");
        int asked = 0;
        p->w.commonDialogs().saveFile = [&] {
            ++asked;
            return path;
        };
        QVERIFY(trigger(*p, "Save"));
        QCOMPARE(asked, 1);
        QCOMPARE(QString::fromLatin1(read(path)), memo());
        QVERIFY(read(path).endsWith("\r\n"));
        QCOMPARE(p->action("Save")->statusTip(), "Save the output to " + path);
        QCOMPARE(p->action("Save")->toolTip(), QString("Save"));

        QFile::remove(path);
        QVERIFY(trigger(*p, "Save"));
        QCOMPARE(asked, 1);
        QCOMPARE(QString::fromLatin1(read(path)), memo());
    }

    void saveAsWritesAnEmptyOutputToo()
    {
        scanSampleChart(false);
        QVERIFY(p->w.outputLines().empty());
        const QString path = dir.filePath("empty.txt");
        p->w.commonDialogs().saveFile = [&] { return path; };
        QVERIFY(trigger(*p, "SaveAs"));
        QVERIFY(QFile::exists(path));
        QCOMPARE(read(path), QByteArray());
        p->w.commonDialogs().saveFile = [] { return QString(); }; // cancelled: nothing changes
        QVERIFY(trigger(*p, "SaveAs"));
        QCOMPARE(p->w.savedFileName(), path);
    }

    void aFailedWriteKeepsTheOldFile()
    {
        scanSampleChart();
        const QString path = dir.filePath("kept.txt");
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old contents\r\n");
        }
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expectBox(seen);
        p->w.commonDialogs().saveFile = [&] { return path; };
        {
            const FileSizeLimit limit(100);
            QVERIFY(limit.active());
            QVERIFY(trigger(*p, "SaveAs"));
        }
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Plotrun 1.1"));
        QCOMPARE(seen[0].icon, QMessageBox::Critical);
        QVERIFY2(seen[0].text.contains(path), qPrintable(seen[0].text));
        QCOMPARE(read(path), QByteArray("old contents\r\n"));
        QCOMPARE(QDir(dir.path()).entryList({"kept.txt*"}, QDir::Files | QDir::Hidden).size(), 1);
        // The hint set before the write stays changed.
        QCOMPARE(p->action("Save")->statusTip(), "Save the output to " + path);

        answers.expectBox(seen);
        p->w.commonDialogs().saveFile = [&] { return dir.filePath("no/such/folder/out.txt"); };
        QVERIFY(trigger(*p, "SaveAs"));
        QCOMPARE(seen.size(), size_t(2));
        QVERIFY(seen[1].text.contains("no/such/folder/out.txt"));
    }

    // Saving over the picture being scanned, or a link to it, is refused
    // and the picture stays as it was.
    void saveNeverWritesOverThePicture()
    {
        const QString chart = dir.filePath("chart.bmp");
        QFile::remove(chart);
        QVERIFY(QFile::copy(PLOTRUN_SOURCE_DIR "/resources/samples/sample-chart.bmp", chart));
        const QByteArray before = read(chart);
        const QString link = dir.filePath("chart-link.bmp");
        QFile::remove(link);
        QVERIFY(QFile::link(chart, link));
        scanSampleChart();
        p->w.openPicture(chart);
        for (const QString& target : {chart, link}) {
            ModalAnswers answers;
            std::vector<SeenBox> seen;
            answers.expectBox(seen);
            p->w.commonDialogs().saveFile = [&] { return target; };
            QVERIFY(trigger(*p, "SaveAs"));
            QCOMPARE(seen.size(), size_t(1));
            QVERIFY2(seen[0].text.contains("picture being scanned"), qPrintable(seen[0].text));
            QCOMPARE(read(chart), before);
        }
    }

    void copyPutsTheOutputOnTheClipboard()
    {
        scanSampleChart();
        QGuiApplication::clipboard()->setText("something else");
        QVERIFY(trigger(*p, "Copy"));
        QCOMPARE(QGuiApplication::clipboard()->text(), memo());
    }

    void pasteTakesAPictureFromTheClipboard()
    {
        p = std::make_unique<Program>();
        QGuiApplication::clipboard()->setText("no picture here");
        QVERIFY(trigger(*p, "Paste"));
        QVERIFY(!p->w.pictureLoaded());

        QImage tiny(1, 5, QImage::Format_RGB32);
        tiny.fill(Qt::black);
        QGuiApplication::clipboard()->setImage(tiny);
        const SeenBox box = boxAfter(*p, "Paste");
        QCOMPARE(box.title, QString("Too small bitmap!"));
        QCOMPARE(p->options.findChild<QLabel*>("FileNameLabel")->text(), QString("<NONE>"));

        QImage chart(30, 20, QImage::Format_ARGB32);
        chart.fill(Qt::transparent); // transparent paper counts as white
        chart.setPixel(4, 6, qRgb(0, 0, 0));
        QGuiApplication::clipboard()->setImage(chart);
        QVERIFY(trigger(*p, "Paste"));
        QVERIFY(p->w.pictureLoaded());
        QCOMPARE(p->w.pictureSize().width(), 30);
        QCOMPARE(p->options.findChild<QLabel*>("BPPLabel")->text(), QString("32"));
        QCOMPARE(p->w.picture().image.pixel(0, 0), qRgb(255, 255, 255));
        QCOMPARE(p->w.picture().image.pixel(4, 6), qRgb(0, 0, 0));
    }

    void printWithoutOutputSaysNoData()
    {
        p = std::make_unique<Program>();
        bool asked = false;
        p->w.commonDialogs().printPages = [&](QPrinter&, int) { return asked = true; };
        const SeenBox box = boxAfter(*p, "Print");
        QCOMPARE(box.title, QString("No data!"));
        QCOMPARE(box.text, QString("Scan a graph before printing the data."));
        QVERIFY(!asked);
    }

    void pagesFollowTheLineHeightAndThePageHeight()
    {
        QCOMPARE(printLineHeight(10, 72), 14);
        QCOMPARE(printLineHeight(8.25, 600), 96);   // 8.25 x 600 / 72 = 68.75 -> 69, x 1.4
        QCOMPARE(printLinesPerPage(5100, 100), 50); // one line height of top margin
        QCOMPARE(printPageCount(100, 50), 2);
        QCOMPARE(printPageCount(101, 50), 3);
        QCOMPARE(printLinesPerPage(150, 100), 1); // too low for two lines: one a page

        const auto pageTwo = printPlan(100, 50, 20, 2, 2);
        QCOMPARE(int(pageTwo.size()), 50);
        QCOMPARE(pageTwo.front().line, 50);
        QCOMPARE(pageTwo.front().top, 20);
        QVERIFY(!pageTwo.front().newPageFirst);
        QCOMPARE(pageTwo.back().line, 99);

        const auto ten = printPlan(10, 50, 20, 1, 1);
        QCOMPARE(int(ten.size()), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(ten[size_t(i)].top, (i + 1) * 20);

        const auto all = printPlan(100, 50, 20, 1, 2);
        QCOMPARE(int(std::count_if(all.begin(), all.end(), [](const PrintedLine& l) { return l.newPageFirst; })), 1);
        QVERIFY(all[50].newPageFirst);
    }

    void printingToPdfGivesThePagesAsked()
    {
        scanSampleChart();
        const QString pdf = dir.filePath("all.pdf");
        int offered = 0;
        p->w.commonDialogs().printPages = [&](QPrinter& printer, int pages) {
            offered = pages;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        QVERIFY(trigger(*p, "Print"));
        QVERIFY(offered >= 2);
        QCOMPARE(pdfPages(pdf), offered);

        const QString second = dir.filePath("second.pdf");
        p->w.commonDialogs().printPages = [&](QPrinter& printer, int) {
            printer.setOutputFileName(second);
            printer.setPrintRange(QPrinter::PageRange); // as the dialog sets it for a range
            printer.setFromTo(2, 2);
            return true;
        };
        QVERIFY(trigger(*p, "Print"));
        QCOMPARE(pdfPages(second), 1);

        // The next print offers the whole document again, as the real dialog
        // is handed it: all pages chosen, and pages 1 to N in the range boxes.
        const QString third = dir.filePath("third.pdf");
        p->w.commonDialogs().printPages = [&](QPrinter& printer, int pages) {
            offered = pages;
            [&] {
                QCOMPARE(printer.printRange(), QPrinter::AllPages);
                QCOMPARE(printer.fromPage(), 1);
                QCOMPARE(printer.toPage(), pages);
            }();
            printer.setOutputFileName(third);
            return true;
        };
        QVERIFY(trigger(*p, "Print"));
        QCOMPARE(pdfPages(third), offered);

        p->w.commonDialogs().printPages = [&](QPrinter& printer, int) {
            printer.setOutputFileName(dir.filePath("cancelled.pdf"));
            return false;
        };
        QVERIFY(trigger(*p, "Print"));
        QVERIFY(!QFile::exists(dir.filePath("cancelled.pdf")));
    }

    // The chart's axes waste no part of the plot; a scan that finds nothing
    // puts them back where they started.
    void theChartAxesFitTheScannedPoints()
    {
        scanSampleChart();
        const QList<QPointF>& points = p->w.chart().points();
        QVERIFY(points.size() > 10);
        double lo = points[0].y(), hi = lo;
        for (const QPointF& pt : points) {
            lo = std::min(lo, pt.y());
            hi = std::max(hi, pt.y());
        }
        const auto left = p->w.chart().leftRange();
        QVERIFY(left.min <= lo && left.max >= hi);
        QVERIFY2(left.max - left.min <= 1.05 * (hi - lo),
                 qPrintable(QString("%1..%2 for %3..%4").arg(left.min).arg(left.max).arg(lo).arg(hi)));
        const auto bottom = p->w.chart().bottomRange();
        const double span = points.back().x() - points.front().x();
        QVERIFY(bottom.min <= points.front().x() && bottom.max >= points.back().x());
        QVERIFY(bottom.max - bottom.min <= 1.05 * span);

        p->options.findChild<QLineEdit*>("Threshold")->setText("255");
        QVERIFY(trigger(*p, "Execute"));
        QVERIFY(p->w.chart().points().isEmpty());
        QCOMPARE(p->w.chart().leftRange().min, 0.0);
        QCOMPARE(p->w.chart().leftRange().max, 1.0);
    }

    void theViewsToggleAndExcludeEachOther()
    {
        scanSampleChart();
        QVERIFY(p->w.pictureShown());
        QVERIFY(trigger(*p, "View"));
        QVERIFY(!widgetOf(p->w, "Data")->isHidden() && p->action("View")->isChecked() && !p->w.pictureShown());
        QCOMPARE(p->w.chart().series().count(), 0); // laid out only when seen
        QVERIFY(trigger(*p, "Chart"));
        QCOMPARE(p->w.chart().series().count(), p->w.chart().points().size());
        QVERIFY(p->w.chart().points().size() > 400);
        QVERIFY(widgetOf(p->w, "Data")->isHidden() && !p->action("View")->isChecked());
        QVERIFY(!p->w.chart().isHidden() && p->action("Chart")->isChecked() && !p->w.pictureShown());
        QVERIFY(trigger(*p, "Chart"));
        QVERIFY(p->w.chart().isHidden() && !p->action("Chart")->isChecked() && p->w.pictureShown());
        QVERIFY(trigger(*p, "View"));
        QVERIFY(trigger(*p, "View"));
        QVERIFY(widgetOf(p->w, "Data")->isHidden() && p->w.pictureShown());
    }

    // The chart view makes an empty chart of its own before the result chart
    // sets its own; that first chart must not outlive the replacement. Each
    // chart is seen as it takes its first child objects.
    void theChartViewDeletesTheEmptyChartItReplaces()
    {
        struct ChartsMade : QObject {
            std::vector<QPointer<QChart>> charts;
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                if (event->type() == QEvent::ChildAdded)
                    if (auto* chart = qobject_cast<QChart*>(watched))
                        if (std::find(charts.begin(), charts.end(), chart) == charts.end())
                            charts.emplace_back(chart);
                return false;
            }
        } made;
        qApp->installEventFilter(&made);
        auto view = std::make_unique<ResultChart>();
        qApp->removeEventFilter(&made);
        QCOMPARE(made.charts.size(), size_t(2)); // the view's own, then the result chart's
        QVERIFY(made.charts[0].isNull());
        QCOMPARE(made.charts[1].data(), view->chart());
        view.reset();
        QVERIFY(made.charts[1].isNull());
    }
};

QTEST_MAIN(OutputCommandsTest)
#include "OutputCommandsTest.moc"
