#pragma once
// The loupe: while a mark is placed or the scan area is drawn, the picture
// pixels around the one that a release would take, eight times enlarged
// without smoothing, with a cross hair on that pixel. It reads the picture
// itself, so every pixel of a huge picture can be seen, and sits in the
// corner of the shown picture away from the cursor.

#include <QImage>
#include <QWidget>

namespace plotrun {

class MarkingTool;
class PictureView;

class Loupe : public QWidget {
    Q_OBJECT

public:
    static constexpr int kZoom = 8;
    static constexpr int kSpan = 21; // picture pixels across; the middle one is taken
    static constexpr int kSide = kZoom * kSpan;

    // A child of the widget over which the view scrolls (the viewport).
    Loupe(PictureView& view, const MarkingTool& marking, QWidget* parent);

    // View > Loupe; on at the start.
    void setWanted(bool wanted);
    bool wanted() const { return wanted_; }
    // The picture pixel (column, row from the top) in the middle.
    QPoint centre() const { return centre_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(int x, int y);
    void render();

    PictureView& view_;
    const MarkingTool& marking_;
    bool wanted_ = true;
    QPoint centre_{-1, -1};
    QImage shown_;
};

} // namespace plotrun
