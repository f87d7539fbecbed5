// Rendering a page of a PDF file, and an SVG drawing, at 600 dpi against
// loading a PNG picture of the same size (the page rendered once and saved):
// the counter x_png_load is the page's time over the PNG's, which should
// stay at most 2.
#include "PageChart.h"
#include "PageFile.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

using namespace plotrun;
using test::PageChart;

constexpr int kDpi = 600;

struct Pages {
    QTemporaryDir dir;
    QString pdf = dir.filePath("chart.pdf"), svg = dir.filePath("chart.svg"), png = dir.filePath("chart.png");
    Pages()
    {
        PageChart::writePdf(pdf);
        PageChart::writeSvg(svg);
        loadPage(pdf, 2, kDpi).image.save(png);
    }
};

const Pages& pages()
{
    static const Pages p;
    return p;
}

template <class Load>
double bestSeconds(int runs, const Load& load)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(load());
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

double pngSeconds()
{
    static const double s = bestSeconds(5, [] { return loadPicture(pages().png).image.width(); });
    return s;
}

void timePage(benchmark::State& state, const QString& path, int page)
{
    double best = 1e30;
    QSize size;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const Picture p = loadPage(path, page, kDpi);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        size = p.image.size();
    }
    state.counters["megapixels"] = size.width() * double(size.height()) / 1e6;
    state.counters["x_png_load"] = best / pngSeconds();
}

void BM_PdfPageAt600Dpi(benchmark::State& state) { timePage(state, pages().pdf, 2); }
BENCHMARK(BM_PdfPageAt600Dpi)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_SvgDrawingAt600Dpi(benchmark::State& state) { timePage(state, pages().svg, 1); }
BENCHMARK(BM_SvgDrawingAt600Dpi)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_PngOfTheSameSize(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(loadPicture(pages().png).image.width());
}
BENCHMARK(BM_PngOfTheSameSize)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv)
{
    // The chart's labels need fonts, and fonts a platform; none is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
