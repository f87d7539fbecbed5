#include "TGOutput.h"

#include "Notice.h"
#include "ui_TGOutput.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QShowEvent>

using namespace plotrun;

TGOutput::TGOutput(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TGOutput>())
{
    ui_->setupUi(this);
    setFixedSize(508, 472);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    for (QString& t : savedTexts_)
        t.clear();
    // The start delimiter never collides with the user's decimal separator.
    ui_->SelDelim->setText(QString::fromStdString(startDelimiter(decimalSeparator())));
    connect(ui_->ColNamesCheckBox, &QCheckBox::toggled, this, &TGOutput::ColNamesCheckBoxClick);
    connect(ui_->OKBtn, &QPushButton::clicked, this, [this] {
        if (delimiterTaken())
            accept();
    });
    connect(ui_->CancelBtn, &QPushButton::clicked, this, &TGOutput::CancelBtnClick);
}

TGOutput::~TGOutput() = default;

std::array<QCheckBox*, 11> TGOutput::checks() const
{
    return {ui_->ScanCheckBox,       ui_->ColNamesCheckBox, ui_->RealCheckBox, ui_->SdevCheckBox,
            ui_->SdevyCheckBox,      ui_->BitmapCheckBox,   ui_->UxCheckBox,   ui_->UyCheckBox,
            ui_->ProvenanceCheckBox, ui_->YLowCheckBox,     ui_->YHighCheckBox};
}

std::array<QLineEdit*, kFieldCount> TGOutput::names() const
{
    return {ui_->XEdit,  ui_->YEdit,  ui_->SdevEdit, ui_->SdevyEdit, ui_->XbEdit,
            ui_->YbEdit, ui_->UxEdit, ui_->UyEdit,   ui_->YLowEdit,  ui_->YHighEdit};
}

OutputFields TGOutput::fields() const
{
    OutputFields f;
    f.delimiter = ui_->SelDelim->text().toStdString();
    f.scanningParameters = ui_->ScanCheckBox->isChecked();
    f.columnNames = ui_->ColNamesCheckBox->isChecked();
    f.realCoordinates = ui_->RealCheckBox->isChecked();
    f.sdev = ui_->SdevCheckBox->isChecked();
    f.sdevY = ui_->SdevyCheckBox->isChecked();
    f.bitmapCoordinates = ui_->BitmapCheckBox->isChecked();
    f.ux = ui_->UxCheckBox->isChecked();
    f.uy = ui_->UyCheckBox->isChecked();
    f.yLow = ui_->YLowCheckBox->isChecked();
    f.yHigh = ui_->YHighCheckBox->isChecked();
    f.provenance = ui_->ProvenanceCheckBox->isChecked();
    for (int i = 0; i < kFieldCount; ++i)
        f.names[i] = names()[i]->text().toStdString();
    return f;
}

void TGOutput::setFields(const OutputFields& f)
{
    ui_->SelDelim->setText(QString::fromStdString(f.delimiter));
    ui_->ScanCheckBox->setChecked(f.scanningParameters);
    ui_->ColNamesCheckBox->setChecked(f.columnNames); // the name boxes follow it
    ui_->RealCheckBox->setChecked(f.realCoordinates);
    ui_->SdevCheckBox->setChecked(f.sdev);
    ui_->SdevyCheckBox->setChecked(f.sdevY);
    ui_->BitmapCheckBox->setChecked(f.bitmapCoordinates);
    ui_->UxCheckBox->setChecked(f.ux);
    ui_->UyCheckBox->setChecked(f.uy);
    ui_->YLowCheckBox->setChecked(f.yLow);
    ui_->YHighCheckBox->setChecked(f.yHigh);
    ui_->ProvenanceCheckBox->setChecked(f.provenance);
    for (int i = 0; i < kFieldCount; ++i)
        names()[i]->setText(QString::fromStdString(f.names[i]));
}

void TGOutput::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TGOutput::FormShow()
{
    for (size_t i = 0; i < savedChecks_.size(); ++i)
        savedChecks_[i] = checks()[i]->isChecked();
    for (int i = 0; i < kFieldCount; ++i)
        savedTexts_[size_t(i)] = names()[size_t(i)]->text();
    savedTexts_.back() = ui_->SelDelim->text();
}

void TGOutput::ColNamesCheckBoxClick()
{
    QWidget* labels[] = {ui_->xLbl,  ui_->yLbl,  ui_->sdevLbl, ui_->sdevyLbl, ui_->bxLbl,
                         ui_->byLbl, ui_->uxLbl, ui_->uyLbl,   ui_->yLowLbl,  ui_->yHighLbl};
    for (QWidget* w : labels)
        w->setEnabled(!w->isEnabled());
    for (QLineEdit* w : names())
        w->setEnabled(!w->isEnabled());
}

void TGOutput::CancelBtnClick()
{
    // Restoring the column-names box raises its change event, so the name
    // boxes follow it.
    for (size_t i = 0; i < savedChecks_.size(); ++i)
        checks()[i]->setChecked(savedChecks_[i]);
    for (int i = 0; i < kFieldCount; ++i)
        names()[size_t(i)]->setText(savedTexts_[size_t(i)]);
    ui_->SelDelim->setText(savedTexts_.back());
    QDialog::reject();
}

// Escape is the Cancel button.
void TGOutput::reject() { CancelBtnClick(); }

// The title bar's close keeps the changes, like OK.
void TGOutput::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (delimiterTaken())
        done(QDialog::Rejected);
}

// A delimiter that would run the numbers of a line together keeps the
// dialog open, with the box to mend it.
bool TGOutput::delimiterTaken()
{
    if (delimiterIsValid(ui_->SelDelim->text().toStdString(), decimalSeparator()))
        return true;
    showNotice(this, kInvalidDelimiterTitle, kInvalidDelimiterText);
    ui_->SelDelim->setFocus();
    ui_->SelDelim->selectAll();
    return false;
}

void TGOutput::done(int result)
{
    // Every close leaves at least one data column.
    if (!ui_->RealCheckBox->isChecked() && !ui_->BitmapCheckBox->isChecked() && !ui_->SdevCheckBox->isChecked() &&
        !ui_->SdevyCheckBox->isChecked() && !ui_->UxCheckBox->isChecked() && !ui_->UyCheckBox->isChecked()) {
        ui_->RealCheckBox->setChecked(true);
        showNotice(this, kMissingFieldTitle, kMissingFieldText);
    }
    QDialog::done(result);
}
