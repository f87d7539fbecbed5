#pragma once
// A notice over the top of the window's client area: a sentence and a close
// button. It tells what a scan saw without a modal box in the way, so the
// user can look at the points at once; it stays until closed, the next
// scan or another picture.

#include <QFrame>

class QLabel;

namespace plotrun {

class NoticeBar : public QFrame {
public:
    explicit NoticeBar(QWidget* parent);

    // Shows the text over the top of `area`, in the parent's coordinates.
    void say(const QString& text, const QRect& area);
    // Follows the area when the window is resized.
    void placeOver(const QRect& area);
    QString text() const;

private:
    QLabel* text_ = nullptr;
};

} // namespace plotrun
