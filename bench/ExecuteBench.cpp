// Execute's window side on a large result: the grid, the chart and the
// output text for 100 000 result rows, against the bare scan.
#include "ColumnScan.h"
#include "ProgramWindows.h"
#include "ResultGridModel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLocale>

#include <benchmark/benchmark.h>

namespace plotrun::bench {
namespace {

constexpr int kRows = 100'000;

struct Window {
    ProgramWindows program;
    TPlotrunner& w = program.window;
    TGOutput& output = program.output;
    QAction* execute = w.findChild<QAction*>("Execute");

    Window()
    {
        program.options.findChild<QCheckBox*>("SelCpy")->setChecked(false);
        // One dark pixel in every column: one result row a column.
        QImage image(kRows, 64, QImage::Format_RGB32);
        image.fill(Qt::white);
        for (int x = 0; x < kRows; ++x)
            image.setPixel(x, (x * 7) % 64, qRgb(0, 0, 0));
        w.acceptPicture(pictureFromImage(image), "bench");
        OptionVerdict v;
        ScanSettings& s = v.record;
        s.OriginX = 0;
        s.OriginY = 0;
        s.RefX = kRows;
        s.RefY = 64;
        s.RealRefX = 1;
        s.RealRefY = 1;
        s.ScanStartX = 0;
        s.ScanStartY = 0;
        s.ScanEndX = kRows;
        s.ScanEndY = 64;
        w.applyOptions(v);
    }
};

Window& window()
{
    static Window* w = new Window;
    return *w;
}

void BM_ScanOnly(benchmark::State& state)
{
    Window& win = window();
    for (auto _ : state) {
        ScanSettings s = win.w.scanSettings();
        const ScanChecks c = checkScan(s);
        benchmark::DoNotOptimize(runColumnScan(pixelView(win.w.picture().image), s, c, false, {}));
    }
}
BENCHMARK(BM_ScanOnly)->Unit(benchmark::kMillisecond);

void executeWith(benchmark::State& state, bool allFields)
{
    Window& win = window();
    for (const char* box : {"SdevCheckBox", "SdevyCheckBox", "BitmapCheckBox", "ScanCheckBox", "ColNamesCheckBox"})
        win.output.findChild<QCheckBox*>(box)->setChecked(allFields);
    for (auto _ : state)
        win.execute->trigger();
    state.counters["rows"] = double(win.w.grid().rowCount() - 1);
    state.counters["lines"] = double(win.w.outputLines().size());
}

void BM_ExecuteRealColumns(benchmark::State& state) { executeWith(state, false); }
BENCHMARK(BM_ExecuteRealColumns)->Unit(benchmark::kMillisecond);

void BM_ExecuteAllColumns(benchmark::State& state) { executeWith(state, true); }
BENCHMARK(BM_ExecuteAllColumns)->Unit(benchmark::kMillisecond);

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
