#pragma once
// The counted pixels view: every pixel of the scan area that the next scan
// would count, tinted over the picture. The mask is computed at picture
// resolution by the engine's own test, off the window's thread, and reduced
// to at most a few megapixels for display. A change of the settings restarts
// the work after a short pause; an unchanged one costs nothing.

#include "PictureView.h"

#include "ColumnScan.h"
#include "ScanSettings.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace plotrun {

class CountedPixelsOverlay : public QObject, public PictureOverlay {
    Q_OBJECT

public:
    // Shows the counted pixels of the picture that `view` shows.
    explicit CountedPixelsOverlay(PictureView& view, QObject* parent = nullptr);
    ~CountedPixelsOverlay() override;

    // The settings of the next scan; recomputed after a pause when they
    // change what is counted.
    void setSettings(const ScanSettings& settings);
    void setShown(bool shown);
    bool shown() const { return shown_; }

    // The reduced mask as shown: one pixel per block of `reduction` x
    // `reduction` picture pixels of the area, tinted when the block holds a
    // counted pixel. Null until the first result.
    const QImage& overlay() const { return overlay_; }
    int reduction() const { return reduction_; }
    const CountedArea& area() const { return area_; }
    int64_t areaTop() const { return areaTop_; }
    // No work pending or running.
    bool settled() const { return !timer_.isActive() && !worker_.joinable(); }
    // The colour of the tint: one that stands out from the ink.
    static QColor tintFor(const ScanSettings& settings);
    // Following or line removal: the tint of the lines left out, and that of
    // the runs of a strip that did not make its point.
    static QColor removedLinesTint();
    static QColor leftOutTint();

    void paintOver(QPainter& painter, const ScreenMap& map) const override;

signals:
    void updated();

private:
    struct Result;
    void pictureChanged();
    void start();
    void stopWorker();
    void finish(int generation, std::shared_ptr<Result> result);

    PictureView& view_;
    QImage picture_;
    ScanSettings settings_;
    bool haveSettings_ = false;
    bool shown_ = false;
    bool dirty_ = true;
    QTimer timer_; // the pause after a change
    std::thread worker_;
    std::atomic<int> generation_{0};

    QImage overlay_;
    int reduction_ = 1;
    CountedArea area_;
    int64_t areaTop_ = 0;
};

} // namespace plotrun
