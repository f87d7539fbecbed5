#pragma once
// Up and down arrows beside an edit box. They step the number in the box
// within their limits, but never judge what the user types into it.

#include <QWidget>

class QLineEdit;
class QToolButton;

class UpDownArrows : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int position READ position WRITE setPosition)

public:
    explicit UpDownArrows(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* edit);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int position() const { return position_; }
    void setMinimum(int v) { minimum_ = v; }
    void setMaximum(int v);
    void setPosition(int v);

    // One step up (+1) or down (-1) from the number in the box.
    void stepBy(int steps);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    QLineEdit* buddy_ = nullptr;
    QToolButton* up_;
    QToolButton* down_;
};
