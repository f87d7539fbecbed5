// The views over a 10000 x 10000 chart in the window: how long the counted
// pixels view takes to show a change of the threshold (as typed) and of the
// scan area (as dragged), and how long until it holds every picture pixel.
// Each figure is the time from the change to the repaint it asks for, with
// the window's event loop running as it does for a user. Two charts: three
// curves on white (few counted pixels), and the same with the area under the
// middle curve filled grey (half of the pixels counted).
#include "UnitCalibration.h"
#include "ChartPicture.h"
#include "CountedPixelsOverlay.h"
#include "PictureView.h"
#include "ProgramWindows.h"

#include "../files/PictureFile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

namespace plotrun::bench {
namespace {

constexpr int kSide = 10000;
// What a change may take at most before the view is given up on.
constexpr int kGiveUpMs = 10'000;

enum class Chart { Curves, Filled };

QImage chartPicture(Chart chart)
{
    const std::vector<uint32_t> pixels = drawCurves(kSide, kSide);
    QImage image(kSide, kSide, QImage::Format_RGBX8888);
    for (int r = 0; r < kSide; ++r)
        std::memcpy(image.scanLine(r), pixels.data() + size_t(r) * kSide, size_t(kSide) * 4);
    if (chart == Chart::Filled) {
        // Grey from half way down to the bottom, under a wave.
        for (int x = 0; x < kSide; ++x) {
            const int from = kSide / 2 + int(kSide / 8 * std::sin(x * 6.283 / kSide * 3));
            for (int r = from; r < kSide; ++r)
                reinterpret_cast<uint32_t*>(image.scanLine(r))[x] = 0xFF606060u;
        }
    }
    return image;
}

struct Window {
    ProgramWindows program;
    TPlotrunner& w = program.window;
    PictureView* view = w.findChild<PictureView*>("Image");
    QLineEdit* threshold = program.options.findChild<QLineEdit*>("Threshold");

    explicit Window(Chart chart)
    {
        program.options.findChild<QCheckBox*>("SelCpy")->setChecked(false);
        w.acceptPicture(pictureFromImage(chartPicture(chart)), "bench");
        // A picture view of about 1000 x 800 window pixels, fitted.
        w.resize(1000, 900);
        w.show();
        setArea(kSide / 100, kSide / 100, kSide - kSide / 100, kSide - kSide / 100);
        w.findChild<QAction*>("CountedPixels")->trigger();
        settle();
    }

    const CountedPixelsOverlay& counted() const { return w.countedPixels(); }

    void setArea(double x1, double y1, double x2, double y2)
    {
        OptionVerdict v;
        v.record = w.scanSettings();
        setUnitCalibration(v.record, kSide, kSide, x1, y1, x2, y2);
        w.applyOptions(v);
    }

    // Runs the event loop until `done` holds; false when it never did.
    template <class F>
    bool runUntil(F&& done)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > kGiveUpMs)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        }
        return true;
    }

    bool settle()
    {
        return runUntil([this] { return counted().settled() && counted().refined(); });
    }

    // The view's next update after `change`.
    template <class F>
    bool nextUpdate(F&& change)
    {
        bool updated = false;
        const auto c = QObject::connect(&counted(), &CountedPixelsOverlay::updated, [&] { updated = true; });
        change();
        const bool seen = runUntil([&] { return updated; });
        QObject::disconnect(c);
        return seen;
    }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held)
    {
        QMouseEvent e(type, QPointF(at), view->mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, {});
        QApplication::sendEvent(view, &e);
    }
};

Window& window(const benchmark::State& state)
{
    static Window* windows[2] = {};
    const int kind = int(state.range(0));
    if (!windows[kind])
        windows[kind] = new Window(Chart(kind));
    return *windows[kind];
}

// Typing in the threshold box: every change shows.
void BM_CountedPixelsWhileTyping(benchmark::State& state)
{
    Window& win = window(state);
    win.settle();
    int i = 0;
    for (auto _ : state) {
        const bool seen = win.nextUpdate([&] {
            win.threshold->setText(QString::number(i++ % 2 ? 128 : 160));
            win.setArea(100, 100, kSide - 100, kSide - 100); // the window takes the box as the dialog's OK does
        });
        if (!seen) {
            state.SkipWithError("the view did not change");
            break;
        }
    }
    state.counters["view_px"] = double(win.view->width()) * win.view->height();
}
BENCHMARK(BM_CountedPixelsWhileTyping)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// Dragging a new area: every move of the mouse shows.
void BM_CountedPixelsWhileDragging(benchmark::State& state)
{
    Window& win = window(state);
    win.settle();
    win.w.findChild<QAction*>("btnRemoveScan")->trigger();
    const QSize size = win.view->size();
    win.mouse(QEvent::MouseButtonPress, {size.width() / 20, size.height() / 20}, Qt::LeftButton);
    int i = 0;
    for (auto _ : state) {
        const QPoint to(size.width() * (16 + i % 3) / 20, size.height() * (17 - i % 4) / 20);
        ++i;
        if (!win.nextUpdate([&] { win.mouse(QEvent::MouseMove, to, Qt::LeftButton); })) {
            state.SkipWithError("the view did not follow the drag");
            break;
        }
    }
    win.mouse(QEvent::MouseButtonRelease, {size.width() * 3 / 4, size.height() * 3 / 4}, Qt::NoButton);
    win.settle();
}
BENCHMARK(BM_CountedPixelsWhileDragging)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// A change until every picture pixel of the area is in the view.
void BM_CountedPixelsRefined(benchmark::State& state)
{
    Window& win = window(state);
    win.settle();
    int i = 0;
    for (auto _ : state) {
        win.threshold->setText(QString::number(i++ % 2 ? 128 : 160));
        win.setArea(100, 100, kSide - 100, kSide - 100);
        if (!win.settle()) {
            state.SkipWithError("the view never settled");
            break;
        }
    }
}
BENCHMARK(BM_CountedPixelsRefined)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace
} // namespace plotrun::bench

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
