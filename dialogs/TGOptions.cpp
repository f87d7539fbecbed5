#include "TGOptions.h"

#include "ChartMap.h"
#include "ChartScan.h"
#include "Notice.h"
#include "NumberText.h"
#include "OptionChecks.h"
#include "ScanOptions.h"
#include "ui_TGOptions.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>

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
            if (QComboBox* choice = c.choice ? findChild<QComboBox*>(c.name) : nullptr)
                choiceBoxes_.emplace_back(choice, c.choice);
        }
    QTableWidget* table = ui_->ReferencePointsTable;
    table->verticalHeader()->setDefaultSectionSize(22);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // The residual's title is the longest; the positions take what is left.
    table->horizontalHeader()->setSectionResizeMode(table->columnCount() - 1, QHeaderView::ResizeToContents);
    connect(table, &QTableWidget::itemChanged, this, [this] {
        showResiduals();
        announceTyped();
    });
    connect(ui_->AddPointBtn, &QPushButton::clicked, this, [this, table] {
        std::vector<std::array<std::string, 4>> rows = typedBoxes().ReferencePoints;
        rows.push_back({});
        showPointRows(rows);
        table->setCurrentCell(table->rowCount() - 1, 0);
        table->editItem(table->item(table->rowCount() - 1, 0));
    });
    connect(ui_->RemovePointBtn, &QPushButton::clicked, this, [this, table] {
        std::vector<std::array<std::string, 4>> rows = typedBoxes().ReferencePoints;
        const int row = table->currentRow();
        if (row < 0 || row >= int(rows.size()))
            return;
        rows.erase(rows.begin() + row);
        showPointRows(rows);
        announceTyped();
    });
    connect(ui_->CalibrationKind, &QComboBox::currentIndexChanged, this, [this] {
        showKind();
        announceTyped();
    });
    showKind();
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
        connect(box, &QLineEdit::textChanged, this, [this] {
            showResiduals();
            announceTyped();
        });
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
    for (const auto& [box, choice] : choiceBoxes_)
        box->setCurrentIndex(b.*choice);
    showPointRows(b.ReferencePoints);
    inkColour_ = b.InkColour;
    paperColour_ = b.PaperColour;
    showColours();
    showKind();
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
    for (const auto& [box, choice] : choiceBoxes_)
        typed.*choice = box->currentIndex();
    const QTableWidget* table = ui_->ReferencePointsTable;
    for (int row = 0; row < table->rowCount(); ++row) {
        std::array<std::string, 4>& cells = typed.ReferencePoints.emplace_back();
        for (int k = 0; k < 4; ++k)
            if (const QTableWidgetItem* item = table->item(row, k))
                cells[k] = item->text().toStdString();
    }
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
    for (const auto& [box, choice] : choiceBoxes_)
        box->setCurrentIndex(v.boxes.*choice);
    if (v.boxes.ReferencePoints != typed.ReferencePoints)
        showPointRows(v.boxes.ReferencePoints);

    // Marks that cannot fix the kind's map are refused as the scanner
    // refuses them.
    if (v.inputValid)
        if (const std::string refusal = calibrationRefusal(v.record); !refusal.empty()) {
            verdict_.inputValid = false;
            verdict_.messages = refusal;
        }
    if (!v.inputValid)
        showNotice(this, "Invalid input!", QString::fromStdString(v.messages));
    accept();
}

void TGOptions::showKind()
{
    const auto kind = static_cast<CalibrationKind>(ui_->CalibrationKind->currentIndex());
    const bool aligned = kind == CalibrationKind::Axes;
    // In the other kinds X1 and Y1 are full points: two boxes each, as the
    // origin has.
    ui_->SelX1Y->setVisible(!aligned);
    ui_->SelY1X->setVisible(!aligned);
    ui_->SelX->setGeometry(90, 30, aligned ? 100 : 70, 24);
    ui_->SelY->setGeometry(aligned ? 90 : 166, 30, aligned ? 100 : 70, 24);
    ui_->CalibrationGroupBox->setVisible(!aligned);
    for (QWidget* corner :
         {static_cast<QWidget*>(ui_->CornerLbl), static_cast<QWidget*>(ui_->SelCX), static_cast<QWidget*>(ui_->SelCY)})
        corner->setEnabled(kind == CalibrationKind::FourPoint);
    setFixedSize(aligned ? kAlignedSize : kCalibrationSize);
    showResiduals();
}

void TGOptions::showPointRows(const std::vector<std::array<std::string, 4>>& rows)
{
    QTableWidget* table = ui_->ReferencePointsTable;
    {
        const QSignalBlocker quiet(table);
        table->setRowCount(int(rows.size()));
        for (int row = 0; row < int(rows.size()); ++row) {
            for (int k = 0; k < 4; ++k)
                table->setItem(row, k, new QTableWidgetItem(QString::fromStdString(rows[size_t(row)][size_t(k)])));
            auto* residual = new QTableWidgetItem;
            residual->setFlags(Qt::ItemIsEnabled);
            table->setItem(row, 4, residual);
        }
    }
    showResiduals();
}

void TGOptions::showResiduals()
{
    QTableWidget* table = ui_->ReferencePointsTable;
    const QSignalBlocker quiet(table);
    for (int row = 0; row < table->rowCount(); ++row)
        if (QTableWidgetItem* item = table->item(row, 4))
            item->setText(QString());
    ui_->MarkResidualsLabel->clear();
    ui_->RmsLabel->clear();
    if (ui_->CalibrationGroupBox->isHidden())
        return;
    const ScanSettings typed = typedSettings();
    const ChartMap map(typed);
    const ChartFit* fit = map.fit();
    if (!fit || fit->problem != FitProblem::None || typed.Calibration.X1Y < 0 || typed.Calibration.Y1X < 0)
        return;
    const std::string sep = decimalSeparator();
    const auto shown = [&](double v) { return QString::fromStdString(formatReal(std::round(v * 1000) / 1000, sep)); };
    QStringList marks;
    for (const FitMark& m : fit->marks) {
        switch (m.kind) {
        case FitMark::Kind::Origin: marks << "O " + shown(m.residual); break;
        case FitMark::Kind::X1: marks << "X1 " + shown(m.residual); break;
        case FitMark::Kind::Y1: marks << "Y1 " + shown(m.residual); break;
        case FitMark::Kind::Corner: marks << "C " + shown(m.residual); break;
        case FitMark::Kind::Point: break; // by its row, below
        }
    }
    // Each row's own residual: how far the map puts its real values from
    // where it lies. A row not yet readable has none, and is left out.
    const std::vector<std::array<std::string, 4>> rows = typedBoxes().ReferencePoints;
    for (int row = 0; row < int(rows.size()); ++row) {
        std::optional<double> n[4];
        for (size_t k = 0; k < 4; ++k)
            n[k] = readReal(rows[size_t(row)][k], sep);
        if (!n[0] || !n[1] || !n[2] || !n[3])
            continue;
        const ChartPoint at = map.toPicture(*n[2], *n[3]);
        if (QTableWidgetItem* item = table->item(row, 4); item && std::isfinite(at.x) && std::isfinite(at.y))
            item->setText(shown(std::hypot(at.x - *n[0], at.y - *n[1])));
    }
    ui_->MarkResidualsLabel->setText("Residuals [px]: " + marks.join(", "));
    ui_->RmsLabel->setText("rms residual: " + shown(fit->rms) + " px" +
                           (fit->overdetermined ? QString() : QString(" (the marks fix the map exactly)")));
}
