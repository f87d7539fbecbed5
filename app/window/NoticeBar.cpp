#include "NoticeBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace plotrun {

NoticeBar::NoticeBar(QWidget* parent) : QFrame(parent)
{
    setObjectName("NoticeBar");
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    // The colours of a tool tip: a note beside the work, not a part of it.
    QPalette note = palette();
    note.setColor(QPalette::Window, note.color(QPalette::ToolTipBase));
    note.setColor(QPalette::WindowText, note.color(QPalette::ToolTipText));
    setPalette(note);

    text_ = new QLabel(this);
    text_->setObjectName("NoticeText");
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* close = new QToolButton(this);
    close->setObjectName("NoticeClose");
    close->setAutoRaise(true);
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setToolTip("Close");
    connect(close, &QToolButton::clicked, this, &QWidget::hide);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 4, 4);
    layout->addWidget(text_, 1);
    layout->addWidget(close, 0, Qt::AlignTop);
    hide();
}

void NoticeBar::say(const QString& text, const QRect& area)
{
    text_->setText(text);
    placeOver(area);
    show();
    raise();
}

void NoticeBar::placeOver(const QRect& area)
{
    const int height = hasHeightForWidth() ? heightForWidth(area.width()) : sizeHint().height();
    setGeometry(area.x(), area.y(), area.width(), std::min(height, area.height()));
}

QString NoticeBar::text() const { return text_->text(); }

} // namespace plotrun
