#include "BatchRun.h"

#include "PictureJob.h"
#include "ScanCommand.h"

#include "../files/TextFile.h"
#include "../scan/Threads.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace plotrun {

namespace {

// Each line of a message, prefixed for standard error.
std::string prefixed(const std::string& prefix, const std::string& messages)
{
    std::string out;
    size_t at = 0;
    while (at < messages.size()) {
        size_t end = messages.find('\n', at);
        if (end == std::string::npos)
            end = messages.size();
        if (end > at)
            out += prefix + messages.substr(at, end - at) + "\n";
        at = end + 1;
    }
    return out;
}

// Output files are written by threads of their own: while one waits for the
// disk to take a file, the scanning threads go on with the next pictures, and
// the other writers with the next files. At most a few texts wait at a time:
// a scanning thread that finds the queue full waits for room.
class OutputWriter {
public:
    using Write = std::function<void(int, PictureScan)>;

    OutputWriter(int jobs, Write write) : limit_(size_t(std::max(2, 2 * jobs))), write_(std::move(write)) {}
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    // Writers mostly wait for the disk, which takes several files at once
    // as readily as one. One job has one writer, so that its pictures are
    // done in their order.
    static int writersFor(int jobs) { return std::clamp(jobs, 1, 8); }

    void write(int index, PictureScan scan)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return queue_.size() < limit_ || running_ == 0; });
        if (queue_.size() >= limit_) {
            // No writer could be started: the thread that scanned the
            // picture writes it, rather than wait for room forever.
            lock.unlock();
            write_(index, std::move(scan));
            return;
        }
        queue_.emplace_back(index, std::move(scan));
        changed_.notify_all();
    }

    // One writer: takes the files from the queue until it is closed and empty.
    void run()
    {
        {
            const std::lock_guard lock(mutex_);
            ++running_;
        }
        while (true) {
            std::pair<int, PictureScan> next;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return closed_ || !queue_.empty(); });
                if (queue_.empty())
                    return;
                next = std::move(queue_.front());
                queue_.pop_front();
            }
            changed_.notify_all();
            try {
                write_(next.first, std::move(next.second));
            } catch (...) { // the picture stays counted as failed
            }
        }
    }

    // No more pictures come; the writers finish what waits and stop.
    void close()
    {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
    }

private:
    const size_t limit_;
    Write write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<int, PictureScan>> queue_;
    int running_ = 0; // writers that have started
    bool closed_ = false;
};

} // namespace

int runBatch(const Options& o, std::ostream& err, bool errIsTerminal)
{
    QStringList outputs;
    std::map<QString, QString> taken;
    for (const QString& image : o.images) {
        // A picture named ".png" has no base name, and its output is not
        // made a hidden ".txt": it is named "png.txt".
        QString base = QFileInfo(image).completeBaseName();
        if (base.isEmpty())
            base = image.section('/', -1, -1, QString::SectionSkipEmpty).remove(QRegularExpression("^\\.+"));
        const QString file = base + ".txt";
        if (taken.count(file)) {
            err << "plotrun-scan: the pictures \"" << taken[file].toStdString() << "\" and \"" << image.toStdString()
                << "\" would both write " << file.toStdString() << "\nTry 'plotrun-scan --help'.\n";
            return kScanUsage;
        }
        taken[file] = image;
        outputs << QDir(o.outputDir).filePath(file);
    }
    if (!QDir().mkpath(o.outputDir)) {
        err << "plotrun-scan: cannot make the output folder \"" << o.outputDir.toStdString() << "\"\n";
        return kScanFileError;
    }

    // No output may be written through a link onto a picture of the batch
    // or onto the settings file: every input is known by its identity.
    std::map<FileIdentity, QString> inputs;
    for (const QString& image : o.images)
        if (const auto id = fileIdentity(image))
            inputs.emplace(*id, "the picture \"" + image + "\"");
    for (const QString& settings : {o.settingsPath, o.saveSettingsPath})
        if (const auto id = settings.isEmpty() ? std::nullopt : fileIdentity(settings))
            inputs.emplace(*id, "the settings file \"" + settings + "\"");
    const auto overwrites = [&](const QString& output) -> QString {
        const auto id = fileIdentity(output);
        const auto it = id ? inputs.find(*id) : inputs.end();
        return it == inputs.end() ? QString() : it->second;
    };

    const int count = int(o.images.size());
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const int jobs = std::min(count, o.jobs > 0 ? o.jobs : cores);
    // The pictures running at once share the cores: a large one is not split
    // further among threads that would only wait for each other.
    // And the memory: each picture that runs may take its share of what is
    // free now, so that N large pictures together do not take N times it.
    const PictureShare share{pictureMemoryBudget() / jobs, std::max(1, cores / jobs)};
    // A picture counts as failed until its result is in.
    std::vector<PictureScan> results(static_cast<size_t>(count), PictureScan{kScanFileError, {}, "not scanned\n"});
    std::atomic<int> next = 0;
    int finished = 0;
    std::mutex progress;
    QElapsedTimer clock;
    clock.start();
    // A picture is done once its result is in `results`; the progress line
    // counts it.
    const auto done = [&](int i, PictureScan r) {
        r.text.clear();
        results[size_t(i)] = std::move(r);
        try {
            const std::lock_guard lock(progress);
            ++finished;
            if (errIsTerminal)
                err << "\r[" << finished << "/" << count << "] " << pictureName(o.images[i]).toStdString() << "\x1b[K"
                    << std::flush;
        } catch (...) { // only the progress line is lost
        }
    };
    // Each output file is written whole, or not at all, by the writers.
    OutputWriter writer(jobs, [&](int i, PictureScan r) {
        try {
            const QString error = writeTextFile(outputs[i], r.text);
            if (!error.isEmpty()) {
                r.code = kScanFileError;
                r.messages += "cannot write \"" + outputs[i].toStdString() + "\": " + error.toStdString() + "\n";
            }
        } catch (const std::exception& e) {
            r.code = kScanFileError;
            r.messages += std::string(e.what()) + "\n";
        }
        done(i, std::move(r));
    });
    const auto work = [&] {
        for (int i = next++; i < count; i = next++) {
            try {
                PictureScan r;
                if (const QString input = overwrites(outputs[i]); !input.isEmpty()) {
                    r.code = kScanUsage;
                    r.messages = "the output file \"" + outputs[i].toStdString() + "\" is " + input.toStdString() +
                                 "; it is not written\n";
                } else {
                    r = scanPicture(o, o.images[i], share);
                }
                if (r.code == kScanDone)
                    writer.write(i, std::move(r));
                else
                    done(i, std::move(r));
            } catch (const std::exception& e) { // out of memory, above all
                try {
                    done(i, PictureScan{kScanFileError, {}, std::string(e.what()) + "\n"});
                } catch (...) { // the picture stays counted as failed
                }
            }
        }
    };
    // The scanning jobs on the calling thread's share, the writers beside
    // them; fewer threads than asked for when the system has none to spare.
    runShares(1 + OutputWriter::writersFor(jobs), [&](int t) {
        if (t > 0) {
            writer.run();
            return;
        }
        try {
            runShares(jobs, [&](int) { work(); });
        } catch (...) {
            writer.close();
            throw;
        }
        writer.close();
    });
    if (errIsTerminal)
        err << "\r\x1b[K";

    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const PictureScan& r = results[size_t(i)];
        const std::string prefix = "plotrun-scan: " + pictureName(o.images[i]).toStdString() + ": ";
        if (r.code != kScanDone) {
            ++failed;
            err << prefix << "failed\n" << prefixed(prefix, r.messages);
        } else if (!r.messages.empty()) {
            err << prefixed(prefix, r.messages);
        }
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    err << "plotrun-scan: " << count - failed << " of " << count << " pictures done, " << failed << " failed, in "
        << QString::number(seconds, 'f', 2).toStdString() << " s ("
        << QString::number(seconds > 0 ? count / seconds : 0, 'f', 1).toStdString() << " pictures/s) with " << jobs
        << (jobs == 1 ? " job" : " jobs") << "\n";
    return failed ? kScanFileError : kScanDone;
}

} // namespace plotrun
