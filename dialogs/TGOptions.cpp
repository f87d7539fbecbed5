#include "TGOptions.h"

#include "Notice.h"
#include "OptionChecks.h"
#include "ui_TGOptions.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>
#include <cmath>

using namespace plotrun;

TGOptions::TGOptions(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TGOptions>())
{
    ui_->setupUi(this);
    setFixedSize(767, 416);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->UpDown->setBuddy(ui_->SelSW);
    ui_->UpDown1->setBuddy(ui_->Threshold);
    connect(ui_->OKBtn, &QPushButton::clicked, this, &TGOptions::OKBtnClick);
    connect(ui_->CancelBtn, &QPushButton::clicked, this, &TGOptions::reject);
}

TGOptions::~TGOptions() = default;

QString TGOptions::thresholdText() const { return ui_->Threshold->text(); }
bool TGOptions::copyToClipboard() const { return ui_->SelCpy->isChecked(); }
bool TGOptions::weightedBox() const { return ui_->SelWt->isChecked(); }
QString TGOptions::widthLabel() const { return ui_->XPixLabel->text(); }
QString TGOptions::bitsPerPixelLabel() const { return ui_->BPPLabel->text(); }

void TGOptions::setScanBoxes(int threshold, bool weightedX, bool copyToClipboard)
{
    ui_->Threshold->setText(QString::number(threshold));
    ui_->SelWt->setChecked(weightedX);
    ui_->SelCpy->setChecked(copyToClipboard);
}

void TGOptions::setFileName(const QString& name) { ui_->FileNameLabel->setText(name); }

void TGOptions::setPictureInfo(int width, int height, const QString& bitsPerPixel)
{
    ui_->XPixLabel->setText(QString::number(width));
    ui_->YPixLabel->setText(QString::number(height));
    ui_->BPPLabel->setText(bitsPerPixel);
}

void TGOptions::setScanWidthMaximum(int maximum) { ui_->UpDown->setMaximum(maximum); }
int TGOptions::scanWidthMaximum() const { return ui_->UpDown->maximum(); }

void TGOptions::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TGOptions::setRecord(const ScanSettings& record, QSize picture)
{
    working_ = record;
    picture_ = picture;
}

void TGOptions::FormShow()
{
    // The threshold box and the clipboard box keep what they held.
    const OptionBoxes b = boxesFromRecord(working_, ui_->Threshold->text().toStdString(), decimalSeparator());
    ui_->SelSW->setText(QString::fromStdString(b.SelSW));
    ui_->SelWt->setChecked(b.SelWt);
    if (ui_->UpDown->maximum() < 1)
        ui_->UpDown->setMaximum(1);
    const std::pair<QLineEdit*, const std::string*> fill[] = {
        {ui_->SelOX, &b.SelOX},   {ui_->SelOY, &b.SelOY},   {ui_->SelX, &b.SelX},     {ui_->SelY, &b.SelY},
        {ui_->SelSX1, &b.SelSX1}, {ui_->SelSY1, &b.SelSY1}, {ui_->SelSX2, &b.SelSX2}, {ui_->SelSY2, &b.SelSY2},
        {ui_->SelOXR, &b.SelOXR}, {ui_->SelOYR, &b.SelOYR}, {ui_->SelXR, &b.SelXR},   {ui_->SelYR, &b.SelYR}};
    for (const auto& [box, text] : fill)
        box->setText(QString::fromStdString(*text));
    const double sx = working_.ScanStartX, ex = working_.ScanEndX;
    if ((sx > 0 || ex > 0) && sx + 1 <= ex)
        ui_->UpDown->setMaximum(int(std::min(std::trunc(std::trunc(ex) - sx), 32767.0)));
}

void TGOptions::OKBtnClick()
{
    using Text = std::string OptionBoxes::*;
    const std::pair<QLineEdit*, Text> boxes[] = {
        {ui_->SelSW, &OptionBoxes::SelSW},   {ui_->Threshold, &OptionBoxes::Threshold},
        {ui_->SelOX, &OptionBoxes::SelOX},   {ui_->SelOY, &OptionBoxes::SelOY},
        {ui_->SelX, &OptionBoxes::SelX},     {ui_->SelY, &OptionBoxes::SelY},
        {ui_->SelSX1, &OptionBoxes::SelSX1}, {ui_->SelSY1, &OptionBoxes::SelSY1},
        {ui_->SelSX2, &OptionBoxes::SelSX2}, {ui_->SelSY2, &OptionBoxes::SelSY2},
        {ui_->SelOXR, &OptionBoxes::SelOXR}, {ui_->SelOYR, &OptionBoxes::SelOYR},
        {ui_->SelXR, &OptionBoxes::SelXR},   {ui_->SelYR, &OptionBoxes::SelYR}};
    OptionBoxes typed;
    for (const auto& [box, text] : boxes)
        typed.*text = box->text().toStdString();
    typed.SelWt = ui_->SelWt->isChecked();

    verdict_ = checkOptions(typed, working_, picture_.width(), picture_.height(), decimalSeparator());
    const OptionVerdict& v = verdict_;

    // Refused entries show their fallbacks; accepted ones keep what was typed.
    for (const auto& [box, text] : boxes)
        if (v.boxes.*text != typed.*text)
            box->setText(QString::fromStdString(v.boxes.*text));

    if (!v.inputValid)
        showNotice(this, "Invalid input!", QString::fromStdString(v.messages));
    accept();
}
