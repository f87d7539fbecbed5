#include "TGOptions.h"

#include "Notice.h"
#include "NumberText.h"
#include "OptionChecks.h"
#include "ScanOptions.h"
#include "ui_TGOptions.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>
#include <cmath>

using namespace plotrun;

TGOptions::TGOptions(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TGOptions>())
{
    ui_->setupUi(this);
    // The boxes of the option table, found by the names it gives them; a
    // box that two rows share (X1's x is the reference X) is taken once.
    for (const ScanOption& o : scanOptions())
        for (const OptionControl& c : o.controls) {
            QLineEdit* text = c.text ? findChild<QLineEdit*>(c.name) : nullptr;
            if (text &&
                std::none_of(textBoxes_.begin(), textBoxes_.end(), [&](const auto& b) { return b.first == text; }))
                textBoxes_.emplace_back(text, c.text);
            if (QCheckBox* check = c.check ? findChild<QCheckBox*>(c.name) : nullptr)
                checkBoxes_.emplace_back(check, c.check);
        }
    setFixedSize(767, 446);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->UpDown->setBuddy(ui_->SelSW);
    ui_->UpDown1->setBuddy(ui_->Threshold);
    ui_->InkTolUpDown->setBuddy(ui_->SelInkTol);
    ui_->SmoothUpDown->setBuddy(ui_->SelSmooth);
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
    if (ui_->UpDown->maximum() < 1)
        ui_->UpDown->setMaximum(1);
    for (const auto& [box, text] : textBoxes_)
        box->setText(QString::fromStdString(b.*text));
    for (const auto& [box, check] : checkBoxes_)
        box->setChecked(b.*check);
    inkColour_ = b.InkColour;
    paperColour_ = b.PaperColour;
    showColours();
    const double sx = working_.ScanStartX, ex = working_.ScanEndX;
    if ((sx > 0 || ex > 0) && sx + 1 <= ex)
        ui_->UpDown->setMaximum(int(std::min(std::trunc(std::trunc(ex) - sx), 32767.0)));
}

OptionBoxes TGOptions::typedBoxes() const
{
    OptionBoxes typed;
    for (const auto& [box, text] : textBoxes_)
        typed.*text = box->text().toStdString();
    for (const auto& [box, check] : checkBoxes_)
        typed.*check = box->isChecked();
    typed.InkColour = inkColour_;
    typed.PaperColour = paperColour_;
    return typed;
}

void TGOptions::OKBtnClick()
{
    const OptionBoxes typed = typedBoxes();

    verdict_ = checkOptions(typed, working_, picture_.width(), picture_.height(), decimalSeparator());
    const OptionVerdict& v = verdict_;

    // Refused entries show their fallbacks; accepted ones keep what was typed.
    for (const auto& [box, text] : textBoxes_)
        if (v.boxes.*text != typed.*text)
            box->setText(QString::fromStdString(v.boxes.*text));
    for (const auto& [box, check] : checkBoxes_)
        box->setChecked(v.boxes.*check);

    if (!v.inputValid)
        showNotice(this, "Invalid input!", QString::fromStdString(v.messages));
    accept();
}
