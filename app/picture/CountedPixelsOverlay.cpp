#include "CountedPixelsOverlay.h"

#include "../../files/PictureFile.h"
#include "ChartCounted.h"
#include "CurveFollow.h"
#include "SeriesColours.h"
#include "Series.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace plotrun {

namespace {

// The reduced mask never holds more pixels than the display copy of the picture.
constexpr double kOverlayPixels = 4'000'000;
// An area of more pixels is shown first as the screen's sample; a smaller one
// is refined at once, in about the time the sample would take.
constexpr double kSampledAbove = 4'000'000;

// What decides which pixels count; along the picture the calibration does
// not, in the other kinds it places the area.
ScanSettings countingKey(ScanSettings s)
{
    if (!s.Calibration.aligned()) {
        s.WeightedX = false;
        return s;
    }
    s.OriginX = s.OriginY = s.RefX = s.RefY = 0;
    s.RealOriginX = s.RealOriginY = s.RealRefX = s.RealRefY = 0;
    s.HasRealOriginX = s.HasRealOriginY = s.HasRealRefX = s.HasRealRefY = false;
    s.WeightedX = false;
    return s;
}

// Following or line removal: the removed lines in their own tint, the runs
// left out in a faint one, and the pixels that make the points in the tint
// of every counted pixel, drawn last so that they show where blocks share.
void paintFollowPlan(const FollowPlan& plan, int k, QRgb tint, QImage& ov)
{
    const auto put = [&](const CountedPixel& p, QRgb colour) {
        const int64_t c = (p.x - plan.area.left) / k, r = (p.r - plan.top) / k;
        if (c >= 0 && r >= 0 && c < ov.width() && r < ov.height())
            reinterpret_cast<QRgb*>(ov.scanLine(int(r)))[c] = colour;
    };
    for (const CountedPixel& p : plan.removed)
        put(p, qPremultiply(CountedPixelsOverlay::removedLinesTint().rgba()));
    const int64_t width = plan.area.columns / std::max<int64_t>(1, int64_t(plan.runs.size()));
    const auto chosen = [&](const CountedPixel& p) {
        const size_t s = size_t((p.x - plan.area.left) / std::max<int64_t>(1, width));
        if (s >= plan.chosen.size() || plan.chosen[s] == -1)
            return false;
        if (plan.chosen[s] < 0)
            return true;
        const StripRun& run = plan.runs[s][size_t(plan.chosen[s])];
        return p.r >= run.first && p.r <= run.last;
    };
    for (const CountedPixel& p : plan.pixels)
        if (!chosen(p))
            put(p, qPremultiply(CountedPixelsOverlay::leftOutTint().rgba()));
    for (const CountedPixel& p : plan.pixels)
        if (chosen(p))
            put(p, qPremultiply(tint));
}

} // namespace

QColor CountedPixelsOverlay::removedLinesTint() { return QColor(0, 160, 255, 210); }
QColor CountedPixelsOverlay::leftOutTint() { return QColor(150, 150, 150, 150); }

struct CountedPixelsOverlay::Job {
    int generation = 0;
    QImage picture;
    ScanSettings settings;
    // In the kinds other than the axes kind: the settings as given, while
    // `settings` walks the picture rectangle that holds their area.
    std::optional<ScanSettings> chart;
    // The picture rows on the screen (from the top), and the picture pixels
    // across one screen pixel.
    int64_t shownTop = 0, shownBottom = 0;
    double step = 1;
};

struct CountedPixelsOverlay::Result {
    int generation = 0;
    bool refined = false;
    QImage overlay;
    int reduction = 1;
    CountedArea area;
    int64_t top = 0;
};

namespace {

int64_t areaTopOf(const QImage& picture, const ScanSettings& s) { return areaTop(picture.height(), s); }

// Tints, in `line`, each block of `k` columns of the `rows` rows of `mask`
// that holds a counted pixel. The rows are merged into the first, which is
// overwritten; then each search jumps to the next block with a counted pixel,
// so a chart of thin curves and a filled one cost alike.
void tintBlocks(uint8_t* mask, int64_t rows, int64_t columns, int k, QRgb tint, QRgb* line)
{
    for (int64_t r = 1; r < rows; ++r) {
        const uint8_t* from = mask + r * columns;
        for (int64_t i = 0; i < columns; ++i)
            mask[i] |= from[i];
    }
    const uint8_t* m = mask;
    const uint8_t* end = mask + columns;
    while (m < end && (m = static_cast<const uint8_t*>(std::memchr(m, 1, size_t(end - m)))) != nullptr) {
        const int64_t block = (m - mask) / k;
        line[block] = tint;
        m = mask + (block + 1) * k;
    }
}

} // namespace

// The screen's sample: for each block of picture pixels that about one
// screen pixel shows, the middle row of the block across the whole area, by
// the engine's test; only the blocks on the screen. A thin line along the
// rows can fall between the sampled rows until the refined mask comes.
void CountedPixelsOverlay::sampleOnScreen(const Job& job, Result& r, const std::function<bool()>& stopping)
{
    const ScanSettings& s = job.settings;
    const CountedArea& a = r.area;
    const int k = std::max(1, int(std::floor(job.step)));
    const int64_t top = areaTopOf(job.picture, s);
    const int64_t blocks = (a.rows + k - 1) / k;
    const auto blockOf = [&](int64_t row) { return std::clamp<int64_t>((row - top) / k, 0, blocks); };
    const int64_t first = blockOf(job.shownTop), last = std::max(first, blockOf(job.shownBottom + k - 1));
    r.reduction = k;
    r.top = top + first * k;
    if (last == first)
        return;
    QImage ov(int((a.columns + k - 1) / k), int(last - first), QImage::Format_ARGB32_Premultiplied);
    ov.fill(Qt::transparent);
    const QRgb tint = qPremultiply(CountedPixelsOverlay::tintFor(s).rgba());
    const PixelView view = pixelView(job.picture);
    std::vector<uint8_t> mask(size_t(a.columns));
    for (int64_t b = first; b < last; ++b) {
        if (stopping())
            return;
        const int64_t r0 = b * k, r1 = std::min(a.rows, r0 + k);
        const int64_t row = r0 + (r1 - r0) / 2;
        countedMask(view, s, a, row, row + 1, mask.data());
        if (job.chart)
            keepInsideStrips(job.picture.height(), *job.chart, s, row, row + 1, mask.data());
        tintBlocks(mask.data(), 1, a.columns, k, tint, reinterpret_cast<QRgb*>(ov.scanLine(int(b - first))));
    }
    r.overlay = std::move(ov);
}

// Every picture pixel of the area, reduced to at most kOverlayPixels; false
// when a newer job came first.
bool CountedPixelsOverlay::refineAtPictureResolution(const Job& job, Result& r, const std::function<bool()>& cancelled)
{
    const ScanSettings& s = job.settings;
    const CountedArea& a = r.area;
    r.top = areaTopOf(job.picture, s);
    if (a.columns <= 0)
        return true;
    const int k = std::max(1, int(std::ceil(std::sqrt(double(a.columns) * double(a.rows) / kOverlayPixels))));
    r.reduction = k;
    QImage ov(int((a.columns + k - 1) / k), int((a.rows + k - 1) / k), QImage::Format_ARGB32_Premultiplied);
    ov.fill(Qt::transparent);
    const PixelView view = pixelView(job.picture);
    // The pixels of one reading of the picture, in one tint; false when cancelled.
    const auto paint = [&](const ScanSettings& one, QRgb tint) {
        if (one.Follow.active()) {
            paintFollowPlan(planFollow(view, one), k, tint, ov);
            return true;
        }
        std::vector<uint8_t> mask(size_t(a.columns) * size_t(k));
        std::vector<QRgb> layer;
        for (int64_t r0 = 0; r0 < a.rows; r0 += k) {
            if (cancelled())
                return false;
            const int64_t r1 = std::min(a.rows, r0 + k);
            countedMask(view, one, a, r0, r1, mask.data());
            if (job.chart)
                keepInsideStrips(job.picture.height(), *job.chart, one, r0, r1, mask.data());
            auto* shown = reinterpret_cast<QRgb*>(ov.scanLine(int(r0 / k)));
            if (s.Series.empty()) {
                tintBlocks(mask.data(), r1 - r0, a.columns, k, qPremultiply(tint), shown);
                continue;
            }
            // A later series paints over an earlier one where both count a pixel.
            layer.assign(size_t(ov.width()), 0);
            tintBlocks(mask.data(), r1 - r0, a.columns, k, qPremultiply(tint), layer.data());
            for (size_t c = 0; c < layer.size(); ++c)
                if (layer[c])
                    shown[c] = layer[c];
        }
        return true;
    };
    // Each series in its own colour, counted as it alone is scanned.
    for (size_t i = 0; i < s.Series.size(); ++i)
        if (!paint(settingsOfSeries(s, s.Series[i]), seriesTint(seriesColour(s.Series, i)).rgba()))
            return false;
    if (s.Series.empty() && !paint(s, CountedPixelsOverlay::tintFor(s).rgba()))
        return false;
    r.overlay = std::move(ov);
    return true;
}

CountedPixelsOverlay::CountedPixelsOverlay(PictureView& view, QObject* parent) : QObject(parent), view_(view)
{
    view_.addOverlay(this);
    connect(&view_, &PictureView::pictureChanged, this, &CountedPixelsOverlay::pictureChanged);
    picture_ = view_.picture();
}

CountedPixelsOverlay::~CountedPixelsOverlay()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

// Whatever is running or waiting is left, and its results are not shown.
void CountedPixelsOverlay::abandon()
{
    {
        const std::lock_guard lock(mutex_);
        pending_.reset();
    }
    requested_ = done_ = shownGeneration_ = ++latest_;
}

void CountedPixelsOverlay::pictureChanged()
{
    picture_ = view_.picture();
    dirty_ = true;
    overlay_ = QImage();
    refined_ = false;
    abandon();
    if (shown_)
        request();
}

void CountedPixelsOverlay::setSettings(const ScanSettings& settings)
{
    const ScanSettings key = countingKey(settings);
    if (haveSettings_ && key == settings_ && !dirty_)
        return;
    settings_ = key;
    haveSettings_ = true;
    dirty_ = true;
    if (shown_)
        request();
}

void CountedPixelsOverlay::setShown(bool shown)
{
    shown_ = shown;
    if (shown && dirty_)
        request();
    if (!shown) {
        // A mask not yet refined is made anew when the view comes back.
        if (!settled() || !refined_)
            dirty_ = true;
        abandon();
    }
    view_.update();
}

QColor CountedPixelsOverlay::tintFor(const ScanSettings& s)
{
    const QColor ink(int(s.Ink.Ink & 0xFF), int((s.Ink.Ink >> 8) & 0xFF), int((s.Ink.Ink >> 16) & 0xFF));
    if (!s.Ink.On || ink.hsvSaturation() < 60 || ink.value() < 60)
        return QColor(255, 0, 220, 210); // magenta, against black, grey and dark ink
    return QColor::fromHsv((ink.hsvHue() + 180) % 360, 255, 255, 210);
}

void CountedPixelsOverlay::request()
{
    if (!haveSettings_ || picture_.isNull())
        return;
    dirty_ = false;
    auto job = std::make_unique<Job>();
    job->generation = requested_ = ++latest_;
    job->picture = picture_;
    job->settings = settings_;
    const ScreenMap map = view_.screenMap();
    job->shownBottom = picture_.height();
    if (!map.empty()) {
        const QRectF shown = map.pictureRect(QRectF(view_.shownRect()));
        job->shownTop = int64_t(std::floor(shown.top()));
        job->shownBottom = int64_t(std::ceil(shown.bottom()));
        job->step = std::min(map.pictureStepX(), map.pictureStepY());
    }
    {
        const std::lock_guard lock(mutex_);
        pending_ = std::move(job);
    }
    wake_.notify_one();
    if (!worker_.joinable())
        worker_ = std::thread([this] { work(); });
}

void CountedPixelsOverlay::work()
{
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || pending_; });
            if (stop_)
                return;
            job = std::move(pending_);
        }
        const auto stopping = [this] {
            const std::lock_guard lock(mutex_);
            return stop_;
        };
        const auto cancelled = [&] { return latest_.load() != job->generation || stopping(); };
        const auto hand = [this](const std::shared_ptr<Result>& result) {
            QMetaObject::invokeMethod(
                this, [this, result] { finish(result); }, Qt::QueuedConnection);
        };
        try {
            if (!job->settings.Calibration.aligned()) {
                job->chart = job->settings;
                job->settings = countedBoxOf(job->picture.width(), job->picture.height(), *job->chart);
            }
            const CountedArea area = countedArea(job->settings);
            if (!job->settings.Follow.active() && job->settings.Series.empty() &&
                double(area.columns) * double(area.rows) > kSampledAbove) {
                auto sample = std::make_shared<Result>();
                sample->generation = job->generation;
                sample->area = area;
                sampleOnScreen(*job, *sample, stopping);
                if (stopping())
                    return;
                hand(sample);
            }
            auto refined = std::make_shared<Result>();
            refined->generation = job->generation;
            refined->refined = true;
            refined->area = area;
            if (refineAtPictureResolution(*job, *refined, cancelled))
                hand(refined);
        } catch (const std::exception&) {
            // Out of memory, above all a smoothed copy that does not fit: the
            // view shows nothing new, and Execute tells why.
        }
    }
}

void CountedPixelsOverlay::finish(const std::shared_ptr<Result>& result)
{
    // A newer mask, or the refinement of the sample shown.
    const bool newer = result->generation > shownGeneration_;
    if (!newer && !(result->generation == shownGeneration_ && result->refined && !refined_))
        return;
    overlay_ = result->overlay;
    reduction_ = result->reduction;
    area_ = result->area;
    areaTop_ = result->top;
    refined_ = result->refined;
    shownGeneration_ = result->generation;
    if (refined_ && shownGeneration_ == requested_)
        done_ = requested_;
    view_.update();
    emit updated();
}

void CountedPixelsOverlay::paintOver(QPainter& p, const ScreenMap& map) const
{
    if (!shown_ || overlay_.isNull() || map.empty())
        return;
    const QRectF target =
        map.viewRect(QRectF(double(area_.left), double(areaTop_), double(overlay_.width()) * reduction_,
                            double(overlay_.height()) * reduction_));
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(target, overlay_);
}

} // namespace plotrun
