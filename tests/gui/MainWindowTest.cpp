// The main window: start-up, pictures arriving, Execute, the error box and
// the help file.
#include "GuiTestSupport.h"

#include "NumberText.h"
#include "StandardErrorBox.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QImageReader>
#include <QMimeData>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>

using namespace plotrun;
using namespace plotrun::test;

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }

    QString picture(const QString& name, int w, int h, const std::function<uint32_t(int, int)>& px, int bpp = 24)
    {
        writeBmp(file(name), w, h, px, bpp);
        return file(name);
    }
    QString blank(const QString& name, int w, int h)
    {
        return picture(name, w, h, [](int, int) { return 0xFFFFFFu; });
    }

    // Opens a picture and answers the boxes it raises.
    static std::vector<SeenBox> open(Program& p, const QString& path)
    {
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        for (int i = 0; i < 3; ++i)
            answers.expectBox(seen);
        p.w.commonDialogs().openFile = [path] { return path; };
        if (!trigger(p, "Open"))
            qWarning("Open is disabled");
        return seen;
    }

    // Opens the worked example's chart and puts its settings in place, as an
    // accepted OK of the options dialog would.
    void readyWorkedExample(Program& p)
    {
        const auto seen = open(p, picture("chart.bmp", 640, 480, workedExamplePixel));
        QVERIFY(seen.empty());
        editSettings(p.w, [&](ScanSettings& r) { r = workedExampleSettings(); });
        p.outputBox<QCheckBox>("SdevCheckBox")->setChecked(true);
        p.outputBox<QCheckBox>("ScanCheckBox")->setChecked(true);
        p.outputBox<QCheckBox>("ColNamesCheckBox")->setChecked(true);
    }

    static QString memo(const Program& p) { return QString::fromStdString(joinLines(p.w.outputLines())); }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir.filePath("system"));
    }

    // The mouse hovers nothing in the windows of later tests.
    void cleanup() { QCursor::setPos(-1000, -1000); }

    void startsWithTheCommandsOfAnEmptyWindow()
    {
        Program p;
        QCOMPARE(p.w.windowTitle(), QString("Plotrun 1.1"));
        for (const char* on : {"Open", "Print", "PrintSetup", "Exit", "Paste", "View", "Chart", "Output1", "Contents",
                               "About", "btnRemoveScan", "btnScanLock", "tlbtnMarkO", "tlbtnMarkX", "tlbtnMarkY"})
            QVERIFY2(p.action(on) && p.action(on)->isEnabled(), on);
        for (const char* off : {"Save", "SaveAs", "Copy", "Options", "Execute"})
            QVERIFY2(p.action(off) && !p.action(off)->isEnabled(), off);
        QCOMPARE(p.action("Open")->text(), QString("&Open..."));
        QCOMPARE(p.action("Copy")->text(), QString("&Copy Data"));
        QCOMPARE(p.action("Copy")->shortcut(), QKeySequence("Ctrl+C"));
        QCOMPARE(p.action("Output1")->text(), QString("Output &Fields..."));
        QVERIFY(!p.action("View")->isChecked() && !p.action("Chart")->isChecked());

        // One action per command: the tool button is the menu item's action.
        auto* execute = p.w.findChild<QToolButton*>("ExecuteToolBtn");
        QVERIFY(execute);
        QCOMPARE(execute->defaultAction(), p.action("Execute"));
        QVERIFY(!execute->isEnabled());
        QCOMPARE(p.action("Execute")->toolTip(), QString("Execute"));
        QCOMPARE(p.action("Execute")->statusTip(), QString("Scan the bitmap graph to x,y values"));
        QCOMPARE(p.action("Contents")->statusTip(), QString("Contents"));
        QCOMPARE(p.action("btnScanLock")->statusTip(), QString("Lock or unlock scan area"));
        for (const char* name : {"OpenToolBtn", "SaveToolBtn", "CopyToolBtn", "PasteToolBtn", "OptionsToolBtn",
                                 "HelpToolBtn", "tlbtnMarkO"})
            QVERIFY2(p.w.findChild<QToolButton*>(name), name);

        QCOMPARE(p.w.scanSettings(), ScanSettings{});
        QVERIFY(!p.w.pictureLoaded() && !p.w.pictureShown());
        QCOMPARE(p.w.pictureSize().width(), -1);
        QCOMPARE(p.w.grid().columnCount(), 0);
        QVERIFY((!p.w.marking().hasArea()) && !p.w.marking().locked() && p.w.marking().mode() == 0);
        QVERIFY(!widgetOf(p.w, "BackPanel")->isHidden());
        QVERIFY(imageOf(p.w)->isHidden() && widgetOf(p.w, "Data")->isHidden() && p.w.chart().isHidden());
        QCOMPARE(imageOf(p.w)->shape(Mark::Origin).bounds, QRect(QPoint(-16, -16), QPoint(0, 0)));
        QCOMPARE(p.outputBox("SelDelim")->text(), QString(","));
        QCOMPARE(p.w.chart().bottomTitle(), QString("X"));
    }

    // A highlighted menu item leaves the status bar empty, whether the menu
    // was opened by mouse or by keyboard through the menu bar.
    void aHighlightedMenuItemEmptiesTheStatusBar()
    {
        Program p;
        QMenuBar* bar = p.w.menuBar();
        QMenu* file = bar->findChildren<QMenu*>().value(0);
        QVERIFY(file);
        const auto hint = [&] {
            QStatusTipEvent tip("Open a bitmap graph file");
            QApplication::sendEvent(p.w.findChild<QToolButton*>("OpenToolBtn"), &tip);
            QCOMPARE(p.w.statusText(), QString("Open a bitmap graph file"));
        };
        hint();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file->menuAction()).center());
        QTRY_VERIFY(file->isVisible());
        QTest::mouseMove(file, file->actionGeometry(actionOf(p.w, "Open")).center());
        QTRY_COMPARE(file->activeAction(), actionOf(p.w, "Open"));
        QCOMPARE(p.w.statusText(), QString());
        file->close();
        QTRY_VERIFY(!file->isVisible());

        hint();
        p.w.activateWindow();
        QTest::keyClick(&p.w, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(file->isVisible());
        QTest::keyClick(file, Qt::Key_Down);
        QTRY_VERIFY(file->activeAction() != nullptr);
        QCOMPARE(p.w.statusText(), QString());
        file->close();
    }

    void theStatusBarShowsTheLongHintAndMenusClearIt()
    {
        Program p;
        QStatusTipEvent tip("Open a bitmap graph file");
        QApplication::sendEvent(p.w.findChild<QToolButton*>("OpenToolBtn"), &tip);
        QCOMPARE(p.w.statusText(), QString("Open a bitmap graph file"));
        QMenu* file = p.w.menuBar()->findChildren<QMenu*>().value(0);
        QStatusTipEvent menuTip("Open a bitmap graph file");
        QApplication::sendEvent(file, &menuTip);
        QCOMPARE(p.w.statusText(), QString());
    }

    void tooSmallPicturesAreRefused_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::newRow("1 x 1") << 1 << 1;
        QTest::newRow("1 x 500") << 1 << 500;
        QTest::newRow("500 x 1") << 500 << 1;
    }

    void tooSmallPicturesAreRefused()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        Program p;
        const auto seen = open(p, blank("small.bmp", w, h));
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Too small bitmap!"));
        QCOMPARE(seen[0].text, QString("The size of the bitmap must be at least 2x2"));
        QCOMPARE(seen[0].icon, QMessageBox::NoIcon);
        QVERIFY(!p.w.pictureLoaded());
        QVERIFY(!p.action("Options")->isEnabled());
        QVERIFY(!widgetOf(p.w, "BackPanel")->isHidden());
    }

    void anAcceptedPictureFillsThePictureInfo()
    {
        Program p;
        QVERIFY(open(p, picture(
                            "two.bmp", 2, 2, [](int, int) { return 0u; }, 8))
                    .empty());
        QVERIFY(p.w.pictureLoaded() && p.w.pictureShown());
        QCOMPARE(p.w.pictureSize().width(), 2);
        QVERIFY(p.action("Options")->isEnabled());
        QVERIFY(widgetOf(p.w, "BackPanel")->isHidden() && !imageOf(p.w)->isHidden());
        QCOMPARE(imageOf(p.w)->cursor().shape(), Qt::CrossCursor);
        QCOMPARE(p.optionsBox<QLabel>("FileNameLabel")->text(), QString("two.bmp"));
        QCOMPARE(p.optionsBox<QLabel>("XPixLabel")->text(), QString("2"));
        QCOMPARE(p.optionsBox<QLabel>("YPixLabel")->text(), QString("2"));
        QCOMPARE(p.optionsBox<QLabel>("BPPLabel")->text(), QString("8"));
        QCOMPARE(p.options.scanWidthMaximum(), 1);
        QVERIFY(open(p, blank("wide.bmp", 70000, 2)).empty());
        QCOMPARE(p.options.scanWidthMaximum(), 32767);
        QCOMPARE(p.optionsBox<QLabel>("BPPLabel")->text(), QString("24"));
    }

    void aRefusedPictureAfterAnAcceptedOneKeepsTheOldFacts()
    {
        Program p;
        QVERIFY(open(p, blank("first.bmp", 40, 30)).empty());
        acceptSettings(p.w);
        QCOMPARE(open(p, blank("tiny.bmp", 1, 5)).size(), size_t(1));
        QVERIFY(imageOf(p.w)->isHidden());
        QVERIFY(widgetOf(p.w, "BackPanel")->isHidden());
        QVERIFY(!p.action("Options")->isEnabled());
        QVERIFY(p.action("Execute")->isEnabled());
        QVERIFY(p.w.pictureLoaded());
        QCOMPARE(p.w.pictureSize().width(), 40);
        QCOMPARE(p.optionsBox<QLabel>("XPixLabel")->text(), QString("40"));
        QCOMPARE(p.optionsBox<QLabel>("FileNameLabel")->text(), QString("tiny.bmp"));
    }

    // Execute scans the last accepted picture, never one that was refused;
    // with none accepted there is nothing to scan, and Execute is off.
    void aRefusedPictureIsNeverScanned()
    {
        Program p;
        readyWorkedExample(p);
        QVERIFY(trigger(p, "Execute"));
        const QString accepted = memo(p);
        QCOMPARE(accepted, QString(kWorkedExampleText));
        QCOMPARE(open(p, blank("tiny.bmp", 1, 1)).size(), size_t(1));
        QCOMPARE(p.w.picture().image.size(), QSize(640, 480));
        QVERIFY(p.action("Execute")->isEnabled());
        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(memo(p), accepted);
        QCOMPARE(p.w.statusText(), QString("Done"));

        // The undo steps of the accepted picture stay with it.
        QVERIFY(p.action("Undo")->isEnabled());

        Program none;
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expectBox(seen);
        QImage tiny(1, 1, QImage::Format_RGB32);
        tiny.fill(Qt::black);
        none.w.acceptPicture(pictureFromImage(tiny), "<NONE>");
        QCOMPARE(seen.size(), size_t(1));
        QVERIFY(none.w.picture().image.isNull());
        QVERIFY(!none.action("Execute")->isEnabled());
        QVERIFY(!none.w.pictureLoaded());
    }

    void aSmallerPictureWhileExecuteIsEnabledIsNotified()
    {
        Program p;
        QVERIFY(open(p, blank("first.bmp", 40, 30)).empty());
        acceptSettings(p.w);
        QVERIFY(open(p, blank("same.bmp", 40, 30)).empty());
        QVERIFY(p.action("Execute")->isEnabled());
        const auto seen = open(p, blank("narrow.bmp", 39, 300)); // narrower but taller
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Image size notification!"));
        QCOMPARE(seen[0].text, QString("Image width or height is reduced!\nCheck your parameters."));
        QVERIFY(!p.action("Execute")->isEnabled());
        QVERIFY(open(p, blank("smaller.bmp", 10, 10)).empty()); // Execute already disabled
    }

    void aDamagedFileEndsInTheErrorBoxAndKeepsThePicture()
    {
        Program p;
        QVERIFY(open(p, blank("good.bmp", 40, 30)).empty());
        QFile bad(file("bad.bmp"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("BM this is no picture");
        bad.close();
        const auto seen = open(p, file("bad.bmp"));
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Plotrun 1.1"));
        QCOMPARE(seen[0].icon, QMessageBox::Critical);
        QVERIFY(seen[0].text.contains("bad.bmp"));
        QCOMPARE(p.w.picture().image.width(), 40);
        QCOMPARE(p.optionsBox<QLabel>("FileNameLabel")->text(), QString("good.bmp"));
    }

    // The Open dialog keeps bitmaps as its first filter; the second reaches
    // every picture type that the loader reads, PNG and JPEG among them, and
    // PDF and SVG files, without a typed pattern.
    void theOpenDialogOffersBitmapsThenEveryPictureType()
    {
        Program p;
        QStringList filters;
        ModalAnswers answers;
        answers.expect([&filters](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d)
                return;
            filters = d->nameFilters();
            d->reject();
        });
        QVERIFY(trigger(p, "Open"));
        QTRY_VERIFY(answers.allAnswered());
        QVERIFY(answers.unexpected.isEmpty());
        QVERIFY(!p.w.pictureLoaded());

        QCOMPARE(filters.size(), 3);
        QCOMPARE(filters[0], QString("Bitmaps (*.bmp)"));
        QVERIFY2(filters[1].startsWith("Pictures (") && filters[1].endsWith(")"), qPrintable(filters[1]));
        const QStringList patterns = filters[1].mid(10, filters[1].size() - 11).split(' ');
        const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        QCOMPARE(patterns.size(), formats.size() + !formats.contains("pdf") + !formats.contains("svg"));
        for (const QByteArray& f : formats)
            QVERIFY2(patterns.contains("*." + QString::fromLatin1(f)), f.constData());
        for (const char* pattern : {"*.bmp", "*.png", "*.jpg", "*.jpeg", "*.pdf", "*.svg"})
            QVERIFY2(patterns.contains(pattern), pattern);
        QCOMPARE(filters[2], QString("All files (*)"));
    }

    // plotrun FILE opens the file as Open does, with the same message when it
    // cannot be read.
    void aPictureNamedOnTheCommandLineOpensLikeOpen()
    {
        Program p;
        p.program.openFromCommandLine({blank("start.bmp", 40, 30)});
        QVERIFY(p.w.pictureLoaded());
        QCOMPARE(p.optionsBox<QLabel>("FileNameLabel")->text(), QString("start.bmp"));

        Program q;
        const auto byOpen = open(q, file("missing.bmp"));
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expectBox(seen);
        q.program.openFromCommandLine({file("missing.bmp")});
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(byOpen.size(), size_t(1));
        QCOMPARE(seen[0].text, byOpen[0].text);
        QCOMPARE(seen[0].icon, QMessageBox::Critical);
        QVERIFY(!q.w.pictureLoaded());
    }

    void aDroppedFileOpensLikeOpen()
    {
        Program p;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(blank("dropped.bmp", 40, 30))});
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&p.w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&p.w, &drop);
        QVERIFY(p.w.pictureLoaded());
        QCOMPARE(p.w.pictureSize().width(), 40);
        QCOMPARE(p.optionsBox<QLabel>("FileNameLabel")->text(), QString("dropped.bmp"));
    }

    void aNewPictureEndsTheGridViewButNotTheChartView()
    {
        Program p;
        QVERIFY(open(p, blank("a.bmp", 40, 30)).empty());
        QVERIFY(trigger(p, "View"));
        QVERIFY(!widgetOf(p.w, "Data")->isHidden());
        QVERIFY(open(p, blank("b.bmp", 40, 30)).empty());
        QVERIFY(widgetOf(p.w, "Data")->isHidden() && !p.action("View")->isChecked() && p.w.pictureShown());
        QVERIFY(trigger(p, "Chart"));
        QVERIFY(open(p, blank("c.bmp", 40, 30)).empty());
        QVERIFY(!p.w.chart().isHidden() && p.action("Chart")->isChecked());
        QVERIFY(!p.w.pictureShown());
    }

    void executeBuildsGridChartMemoAndClipboard()
    {
        Program p;
        readyWorkedExample(p);
        QGuiApplication::clipboard()->setText("before");
        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(p.w.grid().columnCount(), 3);
        QCOMPARE(p.w.grid().rowCount(), 3);
        QCOMPARE(p.w.grid().cell(1, 0), std::string("X"));
        QCOMPARE(p.w.grid().cell(3, 0), std::string("SDEV"));
        QCOMPARE(p.w.grid().cell(0, 2), std::string("2"));
        QCOMPARE(p.w.grid().cell(1, 2), std::string("0.575"));
        QCOMPARE(p.w.grid().cell(2, 3), std::string("50"));
        QCOMPARE(p.w.grid().rowCount(), 3);
        QCOMPARE(p.w.chart().points(), (QList<QPointF>{{0.525, 50}, {0.575, 50}, {0.625, 50}}));
        QCOMPARE(p.w.chart().bottomTitle(), QString("X"));
        QCOMPARE(p.w.chart().leftTitle(), QString("Y"));
        const QString expected = kWorkedExampleText;
        QCOMPARE(memo(p), expected);
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);
        for (const char* on : {"Save", "SaveAs", "Copy"})
            QVERIFY2(p.action(on)->isEnabled(), on);
        QCOMPARE(p.w.statusText(), QString("Done"));
        QCOMPARE(p.w.scanSettings().Threshold, 128);
    }

    void executeLeavesTheClipboardAloneWhenNotAsked()
    {
        Program p;
        readyWorkedExample(p);
        p.optionsBox<QCheckBox>("SelCpy")->setChecked(false);
        QGuiApplication::clipboard()->setText("before");
        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("before"));
    }

    void theChartFollowsTheFirstGridColumns()
    {
        Program p;
        readyWorkedExample(p);
        p.outputBox<QCheckBox>("RealCheckBox")->setChecked(false);
        p.outputBox<QCheckBox>("BitmapCheckBox")->setChecked(true);
        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(p.w.grid().cell(1, 0), std::string("SDEV"));
        QCOMPARE(p.w.chart().bottomTitle(), QString("SDEV"));
        QCOMPARE(p.w.chart().leftTitle(), QString("X [px]"));
        QCOMPARE(p.w.chart().points().value(0), QPointF(0, 60.5));

        p.outputBox<QCheckBox>("BitmapCheckBox")->setChecked(false);
        p.outputBox("XEdit")->setText("time");
        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(p.w.grid().columnCount(), 1);
        QCOMPARE(p.w.grid().cell(2, 0), std::string()); // no trace of dropped columns
        QCOMPARE(p.w.chart().bottomTitle(), QString("time"));
        QCOMPARE(p.w.chart().points().value(2), QPointF(0.625, 0));
    }

    // The axes fit the data with a small margin and ticks on round values.
    void theChartAxesFitTheData()
    {
        const AxisFit f = fitAxisRange(0, 10);
        QCOMPARE(f.min, -0.2);
        QCOMPARE(f.max, 10.2);
        QCOMPARE(f.step, 2.0);
        QCOMPARE(f.firstTick, 0.0);
        const AxisFit g = fitAxisRange(0.0123, 0.0177);
        QVERIFY(qFuzzyCompare(g.step, 0.002));
        const AxisFit flat = fitAxisRange(5, 5);
        QVERIFY(flat.min < 5 && flat.max > 5);
    }

    // 1E300 units a pixel: the points are finite, their spread is not. No
    // number is written, and the window says why.
    void aResultThatIsNotFiniteIsNeverWritten()
    {
        Program p;
        const auto seen0 = open(p, picture("tall.bmp", 640, 480, [](int x, int row) {
                                    return x == 10 && (row == 100 || row == 300) ? 0u : 0xFFFFFFu;
                                }));
        QVERIFY(seen0.empty());
        editSettings(p.w, [&](ScanSettings& r) {
            r.OriginX = r.OriginY = 0;
            r.RefX = r.RefY = 1;
            r.RealRefX = r.RealRefY = 1e300;
            r.HasRealRefX = r.HasRealRefY = true;
            r.ScanStartX = 10;
            r.ScanStartY = 1;
            r.ScanEndX = 11;
            r.ScanEndY = 480;
        });
        p.outputBox<QCheckBox>("SdevCheckBox")->setChecked(true);
        ModalAnswers answers;
        std::vector<SeenBox> seen;
        answers.expectBox(seen);
        QVERIFY(trigger(p, "Execute"));
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].title, QString("Number out of range!"));
        QVERIFY(p.w.outputLines().empty());
        QVERIFY(!actionOf(p.w, "Save")->isEnabled() && !actionOf(p.w, "Copy")->isEnabled());
        QCOMPARE(p.w.grid().cell(3, 0), std::string("SDEV"));
        QCOMPARE(p.w.grid().cell(3, 1), std::string()); // no INF in the grid
        QVERIFY(answers.allAnswered());
    }

    void aThresholdThatIsNoNumberStopsExecuteInTheErrorBox()
    {
        Program p;
        readyWorkedExample(p);
        QVERIFY(trigger(p, "Execute"));
        const QString before = memo(p);
        p.optionsBox("Threshold")->setText("dark");
        const SeenBox box = boxAfter(p, "Execute");
        QCOMPARE(box.title, QString("Plotrun 1.1"));
        QCOMPARE(box.text, QString("'dark' is not a valid integer value."));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(memo(p), before);
        QCOMPARE(p.w.scanSettings().Threshold, 128);
    }

    void anAbortedHeightCheckLeavesOutputAndStatesAsTheyWere()
    {
        Program p;
        readyWorkedExample(p);
        QVERIFY(trigger(p, "Execute"));
        const QString before = memo(p);
        p.w.statusBar()->showMessage("kept");
        editSettings(p.w, [&](ScanSettings& r) { r.ScanEndY = r.ScanStartY; });
        const SeenBox box = boxAfter(p, "Execute");
        QCOMPARE(box.title, QString("Scan aborted!"));
        QCOMPARE(box.text, QString("Scan height is too small!\n"));
        QCOMPARE(memo(p), before);
        QCOMPARE(p.w.statusText(), QString("kept"));
        QCOMPARE(p.w.grid().rowCount(), 1); // the header row and one empty data row
        QCOMPARE(p.w.grid().cell(1, 1), std::string());
        QCOMPARE(p.w.grid().cell(1, 0), std::string("X"));
        QCOMPARE(p.w.chart().points().size(), 3);
    }

    // The last text before "Done" is painted, as the progress texts are.
    void finalizingIsSeen()
    {
        Program p;
        readyWorkedExample(p);
        struct PaintedTexts : QObject {
            QStringList texts;
            bool eventFilter(QObject* watched, QEvent* e) override
            {
                if (e->type() == QEvent::Paint)
                    texts << static_cast<QStatusBar*>(watched)->currentMessage();
                return false;
            }
        } painted;
        p.w.statusBar()->installEventFilter(&painted);
        QVERIFY(trigger(p, "Execute"));
        QVERIFY2(painted.texts.contains("Finalizing..."), qPrintable(painted.texts.join('|')));
    }

    void aTooWideScanWidthIsCutAndTheScanGoesOn()
    {
        Program p;
        readyWorkedExample(p);
        editSettings(p.w, [&](ScanSettings& r) { r.ScanWidth = 8; });
        const SeenBox box = boxAfter(p, "Execute");
        QCOMPARE(box.title, QString("Scan width out of range!"));
        QCOMPARE(box.text, QString("Scan width is too large!\nIt is now resized to 3"));
        QCOMPARE(p.w.scanSettings().ScanWidth, 3);
        QCOMPARE(p.w.grid().rowCount(), 1);
        QCOMPARE(p.w.grid().cell(1, 1), std::string("0.575"));
    }

    void theHelpFileFollowsTheHelpDirectory()
    {
        QSettings system(QSettings::NativeFormat, QSettings::SystemScope, "Orvik", "Plotrun 1.1");
        system.remove("HelpDir");
        system.sync();
        {
            Program p;
            QCOMPARE(p.w.helpFile(), QString("Plotrun Help.hlp"));
        }
        system.setValue("HelpDir", "/opt/plotrun/help/");
        system.sync();
        {
            Program p;
            QCOMPARE(p.w.helpFile(), QString("/opt/plotrun/help/Plotrun Help.hlp"));
        }
        system.setValue("HelpDir", "/opt/plotrun/help"); // glued, and so not found
        system.sync();
        {
            Program p;
            QCOMPARE(p.w.helpFile(), QString("/opt/plotrun/helpPlotrun Help.hlp"));
            ModalAnswers answers;
            std::vector<SeenBox> seen;
            answers.expectBox(seen);
            QVERIFY(trigger(p, "Contents"));
            QCOMPARE(seen.size(), size_t(1));
            QVERIFY(seen[0].text.contains("/opt/plotrun/helpPlotrun Help.hlp"));
        }
        system.setValue("HelpDir", QStringList{"not", "text"});
        system.sync();
        {
            ModalAnswers answers;
            std::vector<SeenBox> seen;
            answers.expectBox(seen);
            Program p;
            QTRY_COMPARE(seen.size(), size_t(1));
            QCOMPARE(seen[0].text, QString("Invalid data type for 'HelpDir'")); // ends in a quote: no full stop
            QCOMPARE(p.w.helpFile(), QString("Plotrun Help.hlp"));
        }
        system.setValue("HelpDir", QString(PLOTRUN_SOURCE_DIR "/resources/help/"));
        system.sync();
        {
            Program p;
            QVERIFY(trigger(p, "Contents"));
            QVERIFY(p.w.help().window() && p.w.help().window()->isVisible());
            QVERIFY(p.w.help().window()->source().toString().endsWith("Plotrun Help.html#PlotrunContents"));
            QVERIFY(p.w.help().window()->toPlainText().contains("Execute"));
        }
        system.remove("HelpDir");
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
