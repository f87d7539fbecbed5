#include "TGOptions.h"

#include "Notice.h"
#include "NumberText.h"
#include "OptionChecks.h"
#include "ui_TGOptions.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>
#include <array>
#include <cmath>

using namespace plotrun;

TGOptions::TGOptions(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TGOptions>())
{
    ui_->setupUi(this);
    setFixedSize(767, 416);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->UpDown->setBuddy(ui_->SelSW);
    ui_->UpDown1->setBuddy(ui_->Threshold);
    ui_->InkTolUpDown->setBuddy(ui_->SelInkTol);
    connect(ui_->OKBtn, &QPushButton::clicked, this, &TGOptions::OKBtnClick);
    connect(ui_->CancelBtn, &QPushButton::clicked, this, &TGOptions::reject);
    connect(ui_->InkColourBtn, &QPushButton::clicked, this, [this] { chooseColour(inkColour_, "Ink colour"); });
    connect(ui_->PaperColourBtn, &QPushButton::clicked, this, [this] { chooseColour(paperColour_, "Paper colour"); });
    connect(ui_->PickInkBtn, &QPushButton::clicked, this, [this] {
        resumeTyped_ = true;
        done(PickInk);
    });
    // Every change is announced, so that a view of the counted pixels can follow.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        connect(box, &QLineEdit::textChanged, this, [this] { announceTyped(); });
    for (QCheckBox* box : findChildren<QCheckBox*>())
        connect(box, &QCheckBox::toggled, this, [this] { announceTyped(); });
    showColours();
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

void TGOptions::setAxisAndInkBoxes(const ScanSettings& record)
{
    ui_->LogXCheckBox->setChecked(record.LogX);
    ui_->LogYCheckBox->setChecked(record.LogY);
    ui_->InkCheckBox->setChecked(record.Ink.On);
    inkColour_ = record.Ink.Ink;
    paperColour_ = record.Ink.Paper;
    ui_->SelInkTol->setText(QString::fromStdString(formatWhole(record.Ink.Tolerance)));
    showColours();
}

void TGOptions::setKeptBoxes(const QString& threshold, bool copyToClipboard)
{
    ui_->Threshold->setText(threshold);
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

namespace {

QColor qColourOf(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

uint32_t colourOf(const QColor& c) { return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16; }

} // namespace

void TGOptions::showColours()
{
    for (auto [button, colour] :
         {std::pair{ui_->InkColourBtn, inkColour_}, std::pair{ui_->PaperColourBtn, paperColour_}}) {
        const QColor c = qColourOf(colour);
        button->setStyleSheet(QString("background-color: %1; border: 1px solid gray;").arg(c.name()));
        button->setAccessibleName(c.name());
    }
}

void TGOptions::chooseColour(uint32_t& colour, const QString& title)
{
    const QColor chosen = QColorDialog::getColor(qColourOf(colour), this, title);
    if (!chosen.isValid())
        return;
    colour = colourOf(chosen);
    showColours();
    announceTyped();
}

void TGOptions::setPickedInk(uint32_t colour)
{
    inkColour_ = colour & 0xFFFFFFu;
    ui_->InkCheckBox->setChecked(true);
    showColours();
    announceTyped();
}

void TGOptions::announceTyped()
{
    if (isVisible())
        emit settingsTyped(typedSettings());
}

ScanSettings TGOptions::typedSettings() const
{
    const OptionBoxes typed = typedBoxes();
    ScanSettings s = checkOptions(typed, working_, picture_.width(), picture_.height(), decimalSeparator()).record;
    // The scan reads the threshold box as it is.
    if (const std::optional<int32_t> t = readWhole(typed.Threshold))
        s.Threshold = *t;
    return s;
}

void TGOptions::FormShow()
{
    if (resumeTyped_) {
        // Back from picking the ink: what was typed stays.
        resumeTyped_ = false;
        return;
    }
    // The threshold box and the clipboard box keep what they held.
    const OptionBoxes b = boxesFromRecord(working_, ui_->Threshold->text().toStdString(), decimalSeparator());
    ui_->SelSW->setText(QString::fromStdString(b.SelSW));
    ui_->SelWt->setChecked(b.SelWt);
    ui_->LogXCheckBox->setChecked(b.LogXCheckBox);
    ui_->LogYCheckBox->setChecked(b.LogYCheckBox);
    if (ui_->UpDown->maximum() < 1)
        ui_->UpDown->setMaximum(1);
    const std::pair<QLineEdit*, const std::string*> fill[] = {
        {ui_->SelOX, &b.SelOX},   {ui_->SelOY, &b.SelOY},   {ui_->SelX, &b.SelX},     {ui_->SelY, &b.SelY},
        {ui_->SelSX1, &b.SelSX1}, {ui_->SelSY1, &b.SelSY1}, {ui_->SelSX2, &b.SelSX2}, {ui_->SelSY2, &b.SelSY2},
        {ui_->SelOXR, &b.SelOXR}, {ui_->SelOYR, &b.SelOYR}, {ui_->SelXR, &b.SelXR},   {ui_->SelYR, &b.SelYR}};
    for (const auto& [box, text] : fill)
        box->setText(QString::fromStdString(*text));
    ui_->InkCheckBox->setChecked(b.InkCheckBox);
    ui_->FollowCheckBox->setChecked(b.FollowCheckBox);
    ui_->RemoveLinesCheckBox->setChecked(b.RemoveLinesCheckBox);
    inkColour_ = b.InkColour;
    paperColour_ = b.PaperColour;
    ui_->SelInkTol->setText(QString::fromStdString(b.SelInkTol));
    showColours();
    const double sx = working_.ScanStartX, ex = working_.ScanEndX;
    if ((sx > 0 || ex > 0) && sx + 1 <= ex)
        ui_->UpDown->setMaximum(int(std::min(std::trunc(std::trunc(ex) - sx), 32767.0)));
}

namespace {

using Text = std::string OptionBoxes::*;

// The edit boxes and the texts they hold.
std::array<std::pair<QLineEdit*, Text>, 15> textBoxes(const Ui::TGOptions& ui)
{
    return {{{ui.SelSW, &OptionBoxes::SelSW},
             {ui.Threshold, &OptionBoxes::Threshold},
             {ui.SelOX, &OptionBoxes::SelOX},
             {ui.SelOY, &OptionBoxes::SelOY},
             {ui.SelX, &OptionBoxes::SelX},
             {ui.SelY, &OptionBoxes::SelY},
             {ui.SelSX1, &OptionBoxes::SelSX1},
             {ui.SelSY1, &OptionBoxes::SelSY1},
             {ui.SelSX2, &OptionBoxes::SelSX2},
             {ui.SelSY2, &OptionBoxes::SelSY2},
             {ui.SelOXR, &OptionBoxes::SelOXR},
             {ui.SelOYR, &OptionBoxes::SelOYR},
             {ui.SelXR, &OptionBoxes::SelXR},
             {ui.SelYR, &OptionBoxes::SelYR},
             {ui.SelInkTol, &OptionBoxes::SelInkTol}}};
}

} // namespace

OptionBoxes TGOptions::typedBoxes() const
{
    const auto boxes = textBoxes(*ui_);
    OptionBoxes typed;
    for (const auto& [box, text] : boxes)
        typed.*text = box->text().toStdString();
    typed.SelWt = ui_->SelWt->isChecked();
    typed.LogXCheckBox = ui_->LogXCheckBox->isChecked();
    typed.LogYCheckBox = ui_->LogYCheckBox->isChecked();
    typed.InkCheckBox = ui_->InkCheckBox->isChecked();
    typed.InkColour = inkColour_;
    typed.PaperColour = paperColour_;
    typed.FollowCheckBox = ui_->FollowCheckBox->isChecked();
    typed.RemoveLinesCheckBox = ui_->RemoveLinesCheckBox->isChecked();
    return typed;
}

void TGOptions::OKBtnClick()
{
    const auto boxes = textBoxes(*ui_);
    const OptionBoxes typed = typedBoxes();

    verdict_ = checkOptions(typed, working_, picture_.width(), picture_.height(), decimalSeparator());
    const OptionVerdict& v = verdict_;

    // Refused entries show their fallbacks; accepted ones keep what was typed.
    for (const auto& [box, text] : boxes)
        if (v.boxes.*text != typed.*text)
            box->setText(QString::fromStdString(v.boxes.*text));
    ui_->InkCheckBox->setChecked(v.boxes.InkCheckBox);

    if (!v.inputValid)
        showNotice(this, "Invalid input!", QString::fromStdString(v.messages));
    accept();
}
