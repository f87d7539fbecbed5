#include "UpDownArrows.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

UpDownArrows::UpDownArrows(QWidget* parent) : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setObjectName("Up");
    down_->setObjectName("Down");
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDownArrows::setBuddy(QLineEdit* edit)
{
    buddy_ = edit;
    edit->installEventFilter(this);
}

void UpDownArrows::setMaximum(int v)
{
    maximum_ = v;
    position_ = std::clamp(position_, minimum_, std::max(minimum_, maximum_));
}

void UpDownArrows::setPosition(int v) { position_ = std::clamp(v, minimum_, std::max(minimum_, maximum_)); }

void UpDownArrows::stepBy(int steps)
{
    // Step from the number in the box when it holds one, like the arrows of
    // any edit box; otherwise from the last position. A typed number beyond
    // the limits goes to the nearest limit first, whichever way the step is.
    bool ok = false;
    const int typed = buddy_ ? buddy_->text().trimmed().toInt(&ok) : 0;
    const int top = std::max(minimum_, maximum_);
    if (ok && (typed < minimum_ || typed > top))
        setPosition(typed);
    else
        setPosition((ok ? typed : position_) + steps);
    if (buddy_)
        buddy_->setText(QString::number(position_));
}

bool UpDownArrows::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
