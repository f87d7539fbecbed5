#include "TAboutBox.h"

#include "ui_TAboutBox.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TAboutBox>())
{
    ui_->setupUi(this);
    setFixedSize(486, 292);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui_->OKButton, &QPushButton::clicked, this, &TAboutBox::accept);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::showEvent(QShowEvent* event)
{
    // Centred on the desktop, not on the main window.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
