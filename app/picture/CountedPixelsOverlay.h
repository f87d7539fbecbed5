#pragma once
// The counted pixels view: every pixel of the scan area that the next scan
// would count, tinted over the picture, by the engine's own test, off the
// window's thread. A change is shown at once at the screen's resolution
// (one picture row sampled for each block of picture pixels that a screen
// pixel shows, over the part of the area on the screen), then refined: the
// mask at picture resolution, reduced to at most a few megapixels for
// display. So the view follows a drag of the area and the typing in the
// options dialog on a picture of any size; an unchanged setting costs
// nothing.

#include "PictureView.h"

#include "ColumnScan.h"
#include "ScanSettings.h"

#include <QColor>
#include <QImage>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace plotrun {

class CountedPixelsOverlay : public QObject, public PictureOverlay {
    Q_OBJECT

public:
    // Shows the counted pixels of the picture that `view` shows.
    explicit CountedPixelsOverlay(PictureView& view, QObject* parent = nullptr);
    ~CountedPixelsOverlay() override;

    // The settings of the next scan; shown anew when they change what is
    // counted.
    void setSettings(const ScanSettings& settings);
    void setShown(bool shown);
    bool shown() const { return shown_; }

    // The mask as shown: one pixel per block of `reduction` x `reduction`
    // picture pixels from column `area().left` and row `areaTop()` on,
    // tinted when the block holds a counted pixel. Null until the first
    // result.
    const QImage& overlay() const { return overlay_; }
    int reduction() const { return reduction_; }
    const CountedArea& area() const { return area_; }
    int64_t areaTop() const { return areaTop_; }
    // The mask holds every picture pixel of the area, not the screen's sample.
    bool refined() const { return refined_; }
    // No work pending or running: the refined mask of the latest settings
    // is shown, or the view is off.
    bool settled() const { return done_ == requested_; }
    // The colour of the tint: one that stands out from the ink.
    static QColor tintFor(const ScanSettings& settings);
    // Following or line removal: the tint of the lines left out, and that of
    // the runs of a strip that did not make its point.
    static QColor removedLinesTint();
    static QColor leftOutTint();

    void paintOver(QPainter& painter, const ScreenMap& map) const override;

signals:
    // A new mask is shown: the screen's sample or the refined one.
    void updated();

private:
    struct Job;
    struct Result;
    void pictureChanged();
    void abandon();
    void request();
    void work();
    void finish(const std::shared_ptr<Result>& result);
    static void sampleOnScreen(const Job& job, Result& result, const std::function<bool()>& stopping);
    static bool refineAtPictureResolution(const Job& job, Result& result, const std::function<bool()>& cancelled);

    PictureView& view_;
    QImage picture_;
    ScanSettings settings_;
    bool haveSettings_ = false;
    bool shown_ = false;
    bool dirty_ = true;

    // The worker takes the latest job; a newer one makes it leave the
    // refinement, never the screen's sample, so that a drag is followed.
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<Job> pending_;
    bool stop_ = false;
    std::atomic<int> latest_{0}; // the generation of the newest job, or of a reset
    // On the window's thread: the newest job, the newest whose refined mask
    // is shown (or that nothing is owed for), and that of the mask shown.
    int requested_ = 0;
    int done_ = 0;
    int shownGeneration_ = 0;

    QImage overlay_;
    int reduction_ = 1;
    CountedArea area_;
    int64_t areaTop_ = 0;
    bool refined_ = false;
};

} // namespace plotrun
