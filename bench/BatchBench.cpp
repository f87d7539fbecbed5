// The scanner on a batch of pictures against only decoding them with Qt in
// as many threads: 900 x 600 PNG charts (400 unless PLOTRUN_BATCH_PICTURES
// says otherwise), drawn into a temporary folder at the start.
#include "ChartPicture.h"
#include "ScanCommand.h"
#include "SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace plotrun;

struct Batch {
    QTemporaryDir dir;
    QStringList pictures;
    QString settings;
    int jobs = int(std::max(1u, std::thread::hardware_concurrency()));

    Batch()
    {
        const char* env = std::getenv("PLOTRUN_BATCH_PICTURES");
        const int count = env ? std::max(1, std::atoi(env)) : 400;
        const std::vector<uint32_t> pixels = bench::drawCurves(900, 600);
        QImage chart(reinterpret_cast<const uchar*>(pixels.data()), 900, 600, QImage::Format_RGBX8888);
        for (int i = 0; i < count; ++i) {
            // Each picture a little different, as a series of exports is.
            QImage picture = chart.copy();
            picture.setPixel(i % 900, (i * 7) % 600, qRgb(0, 0, 0));
            const QString path = dir.filePath(QString("strip-%1.png").arg(i, 3, 10, QChar('0')));
            picture.save(path);
            pictures << path;
        }
        SavedSettings s;
        s.record.OriginX = 0;
        s.record.OriginY = 0;
        s.record.RefX = 900;
        s.record.RefY = 600;
        s.record.RealRefX = 10;
        s.record.RealRefY = 100;
        s.record.HasRealRefX = s.record.HasRealRefY = true;
        s.record.ScanStartX = 0;
        s.record.ScanStartY = 0;
        s.record.ScanEndX = 900;
        s.record.ScanEndY = 600;
        s.record.Threshold = 128;
        s.pictureWidth = 900;
        s.pictureHeight = 600;
        s.fields.sdev = true;
        settings = dir.filePath("settings.json");
        writeSettingsFile(settings, s);
    }
};

Batch& batch()
{
    static Batch b;
    return b;
}

// Qt's decoding alone, in as many threads as the scanner runs.
void decodeAll(const Batch& b)
{
    std::atomic<int> next = 0;
    const auto work = [&] {
        for (int i = next++; i < b.pictures.size(); i = next++) {
            QImageReader reader(b.pictures[i]);
            benchmark::DoNotOptimize(reader.read());
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < b.jobs; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
}

void scanAll(const Batch& b)
{
    std::ostringstream out, err;
    const QString folder = b.dir.filePath("out");
    const int code = runScanCommand(
        QStringList{"--settings", b.settings, "-O", folder, "-j", QString::number(b.jobs)} + b.pictures, out, err);
    if (code != 0)
        throw std::runtime_error(err.str());
}

void BM_DecodeOnlyWithQt(benchmark::State& state)
{
    const Batch& b = batch();
    for (auto _ : state)
        decodeAll(b);
    state.counters["pictures/s"] =
        benchmark::Counter(double(b.pictures.size()) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["jobs"] = b.jobs;
}

void BM_ScanBatch(benchmark::State& state)
{
    const Batch& b = batch();
    for (auto _ : state)
        scanAll(b);
    state.counters["pictures/s"] =
        benchmark::Counter(double(b.pictures.size()) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["jobs"] = b.jobs;
}

// Both in turn, and the ratio of their times: the scanner's whole work
// (decode, convert, judge, scan, write) over decoding alone.
void BM_ScanOverDecodeRatio(benchmark::State& state)
{
    const Batch& b = batch();
    double decode = 0, scan = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        decodeAll(b);
        auto t1 = std::chrono::steady_clock::now();
        scanAll(b);
        auto t2 = std::chrono::steady_clock::now();
        decode += std::chrono::duration<double>(t1 - t0).count();
        scan += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["ratio"] = scan / decode;
}

BENCHMARK(BM_DecodeOnlyWithQt)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ScanBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ScanOverDecodeRatio)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    batch(); // the pictures are drawn before anything is timed
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
