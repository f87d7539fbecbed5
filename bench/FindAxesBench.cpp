// Find Axes on a 2000 x 1500 figure: lines, ticks, the labels read with
// Tesseract and the fit, with the reader made for the run as the scanner
// and the window make it.
#include "AxesChart.h"
#include "AxisFinder.h"
#include "LabelReader.h"
#include "PictureFile.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

void findAxesOnLargeFigure(benchmark::State& state)
{
    using namespace plotrun;
    test::AxesStyle style;
    style.points = 24;
    style.grid = true;
    style.x = test::linearAxis(-10, 10, 2);
    style.y = test::linearAxis(0, 1, 0.1);
    const test::AxesChart chart = test::drawAxesChart(style, 2000, 1500);
    const QImage pixels = toScanPixels(chart.picture);
    for (auto _ : state) {
        LabelReader reader;
        const FoundAxes found = findAxes(pixelView(pixels), reader.reading());
        if (!found.sure())
            state.SkipWithError(found.doubt().c_str());
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(findAxesOnLargeFigure)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
