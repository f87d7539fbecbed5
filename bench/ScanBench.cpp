// The column scan on a 10000 x 10000 chart: pixels per second, and how it
// compares with one plain read pass and with the literal reference scan; ink
// mode on the same chart, against the darkness scan; line removal where
// every pixel counts, against the same scan without it; and smoothing for
// halftoned pictures, alone and in the scan; a markers series of 10,000
// markers against the plain scan of the same picture; and three series of a
// figure against one of them alone.
#include "UnitCalibration.h"
#include "ChartPicture.h"
#include "ColumnScan.h"
#include "Markers.h"
#include "Series.h"
#include "CountedPixels.h"
#include "ReferenceScan.h"
#include "ScanFindings.h"
#include "Smoothing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace plotrun::bench {
namespace {

constexpr int kSide = 10000;

const std::vector<uint32_t>& chart()
{
    static const std::vector<uint32_t> pixels = drawCurves(kSide, kSide);
    return pixels;
}

PixelView chartView() { return {kSide, kSide, kSide, chart().data()}; }

ScanSettings chartSettings(int rows = kSide)
{
    ScanSettings s;
    setUnitCalibration(s, kSide, kSide, 0, kSide - rows, kSide, kSide);
    s.ScanWidth = 1;
    s.Threshold = 128;
    return s;
}

// One pass that reads every pixel once and does as little as possible.
uint32_t plainRead(const PixelView& v)
{
    uint32_t acc = 0;
    for (int r = 0; r < v.height; ++r) {
        const uint32_t* row = v.row(r);
        for (int x = 0; x < v.width; ++x)
            acc ^= row[x];
    }
    return acc;
}

template <class F>
double bestSeconds(int runs, F&& f)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

double plainReadSeconds()
{
    static const double s = bestSeconds(5, [] { benchmark::DoNotOptimize(plainRead(chartView())); });
    return s;
}

// The literal reference reads one pixel at a time down each strip; it is
// timed on a band of rows and scaled to the whole picture.
double referenceSeconds(bool spread)
{
    constexpr int kRows = 500;
    const double band = bestSeconds(1, [&] {
        benchmark::DoNotOptimize(test::referenceScan(chartView(), chartSettings(kRows), spread).rows.size());
    });
    return band * kSide / kRows;
}

// The first curve's colour as the ink: the other two curves are left out.
ScanSettings inkSettings()
{
    ScanSettings s = chartSettings();
    s.Ink.On = true;
    s.Ink.Ink = 20 | 20 << 8 | 120 << 16;
    return s;
}

double scanSeconds(const ScanSettings& settings, bool spread)
{
    return bestSeconds(3, [&] {
        ScanSettings s = settings;
        const ScanChecks checks = checkScan(s);
        benchmark::DoNotOptimize(runColumnScan(chartView(), s, checks, spread, {}));
    });
}

void scanChart(benchmark::State& state, bool spread, bool ink = false)
{
    const PixelView view = chartView();
    double best = 1e30;
    int32_t rows = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ScanSettings s = ink ? inkSettings() : chartSettings();
        const ScanChecks checks = checkScan(s);
        rows = runColumnScan(view, s, checks, spread,
                             {[](const ResultRow& r) { benchmark::DoNotOptimize(r); }, nullptr, nullptr});
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    const double pixels = double(kSide) * kSide;
    state.counters["rows"] = rows;
    state.counters["pixels_per_s"] = benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["x_plain_read"] = best / plainReadSeconds();
    if (ink)
        state.counters["x_darkness_scan"] = best / scanSeconds(chartSettings(), spread);
    else
        state.counters["reference_x_slower"] = referenceSeconds(spread) / best;
}

// The same chart read as turned by half a degree, through a three-point
// calibration: every counted pixel is mapped into the chart's frame. It
// costs at most 2 times the axes kind's scan: x_axes_scan.
void BM_ThreePointScan(benchmark::State& state)
{
    ScanSettings s = chartSettings();
    const double turn = 0.5 * 3.14159265358979 / 180;
    s.Calibration.Kind = CalibrationKind::ThreePoint;
    s.OriginX = s.OriginY = 100;
    s.RefX = 100 + 9000 * std::cos(turn);
    s.Calibration.X1Y = 100 + 9000 * std::sin(turn);
    s.Calibration.Y1X = 100 - 9000 * std::sin(turn);
    s.RefY = 100 + 9000 * std::cos(turn);
    s.ScanStartX = s.ScanStartY = 200;
    s.ScanEndX = s.ScanEndY = kSide - 200;
    ScanSettings axes = s;
    axes.Calibration = {};
    double best = 1e30;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ScanSettings run = s;
        const ScanChecks checks = checkScan(run);
        benchmark::DoNotOptimize(runColumnScan(chartView(), run, checks, false, {}));
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["x_axes_scan"] = best / scanSeconds(axes, false);
}
BENCHMARK(BM_ThreePointScan)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Curve following with line removal costs at most 2 times the plain scan:
// x_darkness_scan.
void BM_FollowAndRemoveLines(benchmark::State& state)
{
    ScanSettings settings = chartSettings();
    settings.Follow.On = true;
    settings.Follow.RemoveLines = true;
    double best = 1e30;
    int32_t rows = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ScanSettings s = settings;
        const ScanChecks checks = checkScan(s);
        rows = runColumnScan(chartView(), s, checks, false,
                             {[](const ResultRow& r) { benchmark::DoNotOptimize(r); }, nullptr, nullptr});
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["rows"] = rows;
    state.counters["x_darkness_scan"] = best / scanSeconds(chartSettings(), false);
}
BENCHMARK(BM_FollowAndRemoveLines)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Three series of one weight (darkness), one on each of the chart's curves,
// are followed together over one plan of runs: at most 2 times one series
// alone, x_one_series.
void BM_SeriesFollowedTogether(benchmark::State& state)
{
    const auto withSeries = [](int count) {
        ScanSettings s = chartSettings();
        const double amplitude[] = {0.30, 0.20, 0.35}, frequency[] = {3.0, 7.0, 1.5}, phase[] = {0.0, 1.0, 2.0};
        for (int i = 0; i < count; ++i) {
            SeriesSettings one;
            one.StartX = kSide / 10;
            const double t = 0.1 * 2 * M_PI;
            one.StartY = kSide - std::floor(kSide * (0.5 + amplitude[i] * std::sin(frequency[i] * t + phase[i])));
            s.Series.push_back(one);
        }
        return s;
    };
    const auto scan = [](ScanSettings s) {
        const ScanChecks checks = checkScan(s);
        return runColumnScan(chartView(), s, checks, false,
                             {[](const ResultRow& r) { benchmark::DoNotOptimize(r); }, nullptr, nullptr});
    };
    double best = 1e30, oneBest = 1e30;
    int32_t rows = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        rows = scan(withSeries(3));
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        state.PauseTiming();
        oneBest = std::min(oneBest, bestSeconds(1, [&] { benchmark::DoNotOptimize(scan(withSeries(1))); }));
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    state.counters["x_one_series"] = best / oneBest;
}
BENCHMARK(BM_SeriesFollowedTogether)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// An area that is all ink, at the widest ink tolerance: every row and every
// column of it is a line, as thick as the area. Line removal costs at most 3
// times the same scan without it: x_plain_scan.
constexpr int kInkWidth = 4000, kInkHeight = 3000;

ScanSettings allInkSettings(bool removeLines)
{
    ScanSettings s;
    setUnitCalibration(s, kInkWidth, kInkHeight, 0, 0, kInkWidth, kInkHeight);
    s.ScanWidth = 1;
    s.Threshold = 128;
    s.Ink.On = true;
    s.Ink.Ink = 20 | 20 << 8 | 120 << 16;
    s.Ink.Tolerance = InkSettings::kMaxTolerance;
    s.Follow.RemoveLines = removeLines;
    return s;
}

void BM_RemoveLinesAllInk(benchmark::State& state)
{
    static const std::vector<uint32_t> ink(size_t(kInkWidth) * kInkHeight, allInkSettings(true).Ink.Ink);
    const PixelView view{kInkWidth, kInkHeight, kInkWidth, ink.data()};
    const auto scan = [&](bool removeLines) {
        ScanSettings s = allInkSettings(removeLines);
        const ScanChecks checks = checkScan(s);
        return runColumnScan(view, s, checks, false,
                             {[](const ResultRow& r) { benchmark::DoNotOptimize(r); }, nullptr, nullptr});
    };
    // The plain scan is timed between the timed ones, so that both meet the
    // same load of a shared machine.
    double best = 1e30, plainBest = 1e30;
    int32_t rows = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        rows = scan(true);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        state.PauseTiming();
        plainBest = std::min(plainBest, bestSeconds(1, [&] { benchmark::DoNotOptimize(scan(false)); }));
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    state.counters["pixels_per_s"] =
        benchmark::Counter(double(kInkWidth) * kInkHeight, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["x_plain_scan"] = best / plainBest;
}
BENCHMARK(BM_RemoveLinesAllInk)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// What the scan saw, which the front ends always ask for, costs little
// beside the scan: x_plain_scan, against the same scan without asking, timed
// in turn. On the chart few pixels count; where all of them do, the most.
void findingsAgainstPlainScan(benchmark::State& state, const PixelView& view, const ScanSettings& settings)
{
    const auto scan = [&](bool ask) {
        ScanSettings s = settings;
        const ScanChecks checks = checkScan(s);
        ScanSinks sinks;
        int32_t lines = 0;
        if (ask)
            sinks.onFindings = [&](const ScanFindings& f) { lines = f.rowLines + f.columnLines; };
        return runColumnScan(view, s, checks, false, sinks) + lines;
    };
    double best = 1e30, plainBest = 1e30;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(scan(true));
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        state.PauseTiming();
        plainBest = std::min(plainBest, bestSeconds(1, [&] { benchmark::DoNotOptimize(scan(false)); }));
        state.ResumeTiming();
    }
    state.counters["pixels_per_s"] =
        benchmark::Counter(double(view.width) * view.height, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["x_plain_scan"] = best / plainBest;
}

void BM_FindingsOnChart(benchmark::State& state) { findingsAgainstPlainScan(state, chartView(), chartSettings()); }
BENCHMARK(BM_FindingsOnChart)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_FindingsAllInk(benchmark::State& state)
{
    static const std::vector<uint32_t> ink(size_t(kInkWidth) * kInkHeight, allInkSettings(false).Ink.Ink);
    findingsAgainstPlainScan(state, {kInkWidth, kInkHeight, kInkWidth, ink.data()}, allInkSettings(false));
}
BENCHMARK(BM_FindingsAllInk)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_PlainReadPass(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(plainRead(chartView()));
    state.counters["pixels_per_s"] =
        benchmark::Counter(double(kSide) * kSide, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PlainReadPass)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ScanWithoutSdev(benchmark::State& state) { scanChart(state, false); }
BENCHMARK(BM_ScanWithoutSdev)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ScanWithSdev(benchmark::State& state) { scanChart(state, true); }
BENCHMARK(BM_ScanWithSdev)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Ink mode costs at most 1.5 times the darkness scan: x_darkness_scan.
void BM_InkScanWithoutSdev(benchmark::State& state) { scanChart(state, false, true); }
BENCHMARK(BM_InkScanWithoutSdev)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_InkScanWithSdev(benchmark::State& state) { scanChart(state, true, true); }
BENCHMARK(BM_InkScanWithSdev)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The counted pixels view walks the same pixels through the same test, a
// band of rows at a time, into a mask.
void BM_CountedMask(benchmark::State& state)
{
    const ScanSettings s = inkSettings();
    const CountedArea a = countedArea(s);
    std::vector<uint8_t> mask(size_t(a.columns) * 4);
    for (auto _ : state)
        for (int64_t r = 0; r < a.rows; r += 4)
            countedMask(chartView(), s, a, r, std::min(a.rows, r + 4), mask.data());
    state.counters["pixels_per_s"] =
        benchmark::Counter(double(kSide) * kSide, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CountedMask)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Smoothing with the radius of the argument: the smoothed copy of the whole
// chart alone, and the scan that makes and reads it against the scan without
// smoothing (x_darkness_scan). Each pixel costs a few additions for each row
// of the disc, so the cost grows with the radius.
void BM_Smoothing(benchmark::State& state)
{
    const auto radius = static_cast<int32_t>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(SmoothedPicture(chartView(), radius, 0, kSide, 0, kSide).view().pixels);
    state.counters["pixels_per_s"] =
        benchmark::Counter(double(kSide) * kSide, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Smoothing)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

void BM_SmoothedScan(benchmark::State& state)
{
    ScanSettings settings = chartSettings();
    settings.Smooth = static_cast<int32_t>(state.range(0));
    double best = 1e30;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ScanSettings s = settings;
        const ScanChecks checks = checkScan(s);
        benchmark::DoNotOptimize(runColumnScan(chartView(), s, checks, false, {}));
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["x_darkness_scan"] = best / scanSeconds(chartSettings(), false);
}
BENCHMARK(BM_SmoothedScan)->Arg(4)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// 10,000 dark discs of radius 6 with soft edges, one in each cell of a 100
// x 100 grid, moved about within it.
const std::vector<uint32_t>& markerPicture()
{
    static const std::vector<uint32_t> pixels = [] {
        std::vector<uint32_t> p(size_t(kSide) * kSide, 0xFFFFFFFFu);
        uint32_t seed = 12345;
        const auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return double(seed >> 8) / double(1u << 24);
        };
        for (int i = 0; i < 100; ++i)
            for (int j = 0; j < 100; ++j) {
                const double cx = j * 100 + 50 + 60 * (next() - 0.5), cy = i * 100 + 50 + 60 * (next() - 0.5);
                for (int r = int(cy) - 8; r <= int(cy) + 8; ++r)
                    for (int x = int(cx) - 8; x <= int(cx) + 8; ++x) {
                        const double cover = std::clamp(6.5 - std::hypot(x - cx, r - cy), 0.0, 1.0);
                        const uint32_t g = uint32_t(std::lround(255 * (1 - cover)));
                        p[size_t(r) * kSide + size_t(x)] = 0xFF000000u | g | g << 8 | g << 16;
                    }
            }
        return p;
    }();
    return pixels;
}

// A markers series on it costs at most 3 times the plain scan of the same
// picture: x_plain_scan. Every marker is found: markers.
void BM_MarkersSeries(benchmark::State& state)
{
    const PixelView view{kSide, kSide, kSide, markerPicture().data()};
    const ScanSettings plain = chartSettings();
    ScanSettings s = plain;
    SeriesSettings markers;
    markers.Kind = SeriesKind::Markers;
    s.Series.push_back(markers);
    const auto run = [&view](ScanSettings settings) {
        const ScanChecks checks = checkScan(settings);
        return runColumnScan(view, settings, checks, false, {});
    };
    const double plainBest = bestSeconds(3, [&] { benchmark::DoNotOptimize(run(plain)); });
    double best = 1e30;
    int32_t rows = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        rows = run(s);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["markers"] = rows;
    state.counters["x_plain_scan"] = best / plainBest;
}
BENCHMARK(BM_MarkersSeries)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// --- A figure's series: three coloured curves on 4000 x 3000, each series
// with its ink and a Start on its curve, cost at most 2 times one of them
// alone: x_one_series.

constexpr int kFigureWidth = 4000, kFigureHeight = 3000;

PixelView figureView()
{
    static const std::vector<uint32_t> pixels = drawCurves(kFigureWidth, kFigureHeight);
    return {kFigureWidth, kFigureHeight, kFigureWidth, pixels.data()};
}

// drawCurves' curves: the first `count` as series.
ScanSettings figureSettings(size_t count)
{
    ScanSettings s;
    setUnitCalibration(s, kFigureWidth, kFigureHeight, 0, 0, kFigureWidth, kFigureHeight);
    s.ScanWidth = 1;
    s.Threshold = 128;
    const struct {
        double amplitude, frequency, phase;
        uint32_t ink;
    } curves[] = {{0.30, 3.0, 0.0, 0x781414}, {0.20, 7.0, 1.0, 0x000000}, {0.35, 1.5, 2.0, 0x1E1EC8}};
    for (size_t i = 0; i < count; ++i) {
        const double x = kFigureWidth / 4.0, t = x / kFigureWidth * 2 * M_PI;
        const double row =
            kFigureHeight * (0.5 + curves[i].amplitude * std::sin(curves[i].frequency * t + curves[i].phase));
        s.Series.push_back({.Name = "Series " + std::to_string(i + 1),
                            .HasInk = true,
                            .Ink = curves[i].ink,
                            .StartX = x,
                            .StartY = std::round(kFigureHeight - row)});
    }
    return s;
}

double seriesSeconds(size_t count, int runs)
{
    return bestSeconds(runs, [&] {
        ScanSettings s = figureSettings(count);
        const ScanChecks checks = checkScan(s);
        benchmark::DoNotOptimize(runColumnScan(figureView(), s, checks, false, {}));
    });
}

void scanSeries(benchmark::State& state, size_t count)
{
    double best = 1e30;
    int32_t rows = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ScanSettings s = figureSettings(count);
        const ScanChecks checks = checkScan(s);
        rows = runColumnScan(figureView(), s, checks, false,
                             {[](const ResultRow& r) { benchmark::DoNotOptimize(r); }, nullptr, nullptr});
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["rows"] = rows;
    // The best of many: other work on the machine only ever adds time.
    if (count > 1)
        state.counters["x_one_series"] = best / seriesSeconds(1, 20);
}

// One series alone, for its CPU time beside the three's.
void BM_OneSeries(benchmark::State& state) { scanSeries(state, 1); }
BENCHMARK(BM_OneSeries)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ThreeSeries(benchmark::State& state) { scanSeries(state, 3); }
BENCHMARK(BM_ThreeSeries)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace
} // namespace plotrun::bench

BENCHMARK_MAIN();
