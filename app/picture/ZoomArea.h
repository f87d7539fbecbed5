#pragma once
// The scroll area around the picture view. Fitted (the start), the view is
// stretched over the whole area as it always was; zoomed, the view is the
// picture times a fixed step and scrolls. Ctrl + wheel zooms at the cursor.

#include <QScrollArea>

namespace plotrun {

class PictureView;

class ZoomArea : public QScrollArea {
    Q_OBJECT

public:
    ZoomArea(PictureView* view, QWidget* parent);

    // The picture's size in picture pixels; a new picture is fitted.
    void setPictureSize(QSize size);

    void zoomIn();
    void zoomOut();
    void fit();
    bool fitted() const { return scale_ == 0; }
    // Window pixels per picture pixel; 0 when fitted.
    double scale() const { return scale_; }
    bool canZoomIn() const;
    bool canZoomOut() const;

    // The zoom steps, smallest first. Enlarged, only whole multiples, so that
    // every picture pixel is a block of the same size.
    static constexpr double kSteps[] = {0.125, 0.25, 0.5, 1, 2, 3, 4, 6, 8, 12, 16};

signals:
    void zoomChanged();

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    double shownScale() const;
    double nextStep(int direction) const;
    void zoomTo(double scale, QPoint anchor);

    PictureView* view_;
    QSize picture_;
    double scale_ = 0;
};

} // namespace plotrun
