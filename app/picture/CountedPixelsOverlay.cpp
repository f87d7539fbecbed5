#include "CountedPixelsOverlay.h"

#include "../../files/PictureFile.h"
#include "CurveFollow.h"

#include <QPainter>

#include <cmath>
#include <cstring>
#include <vector>

namespace plotrun {

namespace {

// The reduced mask never holds more pixels than the display copy of the picture.
constexpr double kOverlayPixels = 4'000'000;
constexpr int kPauseMs = 120;

// What decides which pixels count; the calibration does not.
ScanSettings countingKey(ScanSettings s)
{
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

struct CountedPixelsOverlay::Result {
    QImage overlay;
    int reduction = 1;
    CountedArea area;
    int64_t top = 0;
};

CountedPixelsOverlay::CountedPixelsOverlay(PictureView& view, QObject* parent) : QObject(parent), view_(view)
{
    timer_.setSingleShot(true);
    timer_.setInterval(kPauseMs);
    connect(&timer_, &QTimer::timeout, this, [this] { start(); });
    view_.addOverlay(this);
    connect(&view_, &PictureView::pictureChanged, this, &CountedPixelsOverlay::pictureChanged);
    picture_ = view_.picture();
}

CountedPixelsOverlay::~CountedPixelsOverlay() { stopWorker(); }

void CountedPixelsOverlay::pictureChanged()
{
    picture_ = view_.picture();
    dirty_ = true;
    overlay_ = QImage();
    if (shown_)
        timer_.start();
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
        timer_.start(); // a burst of typing restarts the pause
}

void CountedPixelsOverlay::setShown(bool shown)
{
    shown_ = shown;
    if (shown && dirty_)
        start();
    if (!shown) {
        timer_.stop();
        stopWorker();
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

void CountedPixelsOverlay::stopWorker()
{
    ++generation_; // the running pass sees it after its current rows
    if (worker_.joinable())
        worker_.join();
}

void CountedPixelsOverlay::start()
{
    timer_.stop();
    stopWorker();
    if (!shown_ || !haveSettings_ || picture_.isNull())
        return;
    dirty_ = false;
    const int generation = ++generation_;
    worker_ = std::thread([this, generation, picture = picture_, s = settings_] {
        const auto cancelled = [&] { return generation_.load() != generation; };
        auto result = std::make_shared<Result>();
        result->area = countedArea(s);
        const CountedArea& a = result->area;
        result->top = static_cast<int64_t>(std::trunc(double(picture.height()) - s.ScanEndY));
        if (a.columns > 0) {
            const int k = std::max(1, int(std::ceil(std::sqrt(double(a.columns) * double(a.rows) / kOverlayPixels))));
            result->reduction = k;
            QImage ov(int((a.columns + k - 1) / k), int((a.rows + k - 1) / k), QImage::Format_ARGB32_Premultiplied);
            ov.fill(Qt::transparent);
            const QRgb tint = tintFor(s).rgba();
            const QRgb premultiplied = qPremultiply(tint);
            const PixelView view = pixelView(picture);
            if (s.Follow.active()) {
                paintFollowPlan(planFollow(view, s), k, tint, ov);
                result->overlay = std::move(ov);
                QMetaObject::invokeMethod(
                    this, [this, generation, result] { finish(generation, result); }, Qt::QueuedConnection);
                return;
            }
            std::vector<uint8_t> mask(size_t(a.columns) * size_t(k));
            for (int64_t r0 = 0; r0 < a.rows; r0 += k) {
                if (cancelled())
                    return;
                const int64_t r1 = std::min(a.rows, r0 + k);
                countedMask(view, s, a, r0, r1, mask.data());
                auto* line = reinterpret_cast<QRgb*>(ov.scanLine(int(r0 / k)));
                const uint8_t* m = mask.data();
                const uint8_t* end = m + (r1 - r0) * a.columns;
                // Counted pixels are few on a chart: jump from one to the next.
                while ((m = static_cast<const uint8_t*>(std::memchr(m, 1, size_t(end - m)))) != nullptr) {
                    const int64_t i = m - mask.data();
                    line[(i % a.columns) / k] = premultiplied;
                    ++m;
                }
            }
            result->overlay = std::move(ov);
        }
        QMetaObject::invokeMethod(
            this, [this, generation, result] { finish(generation, result); }, Qt::QueuedConnection);
    });
}

void CountedPixelsOverlay::finish(int generation, std::shared_ptr<Result> result)
{
    if (generation != generation_.load())
        return;
    if (worker_.joinable())
        worker_.join(); // it has handed its result over and ends
    overlay_ = std::move(result->overlay);
    reduction_ = result->reduction;
    area_ = result->area;
    areaTop_ = result->top;
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
