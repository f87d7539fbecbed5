#pragma once
// The options dialog: shows a Scan settings record, and on OK judges every
// box. Value in, value out: the owner hands the record in before showing it,
// and after OK takes the verdict (the record, and whether Execute may run).

#include "OptionChecks.h"
#include "ScanSettings.h"

#include <QDialog>
#include <QSize>

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Ui {
class TGOptions;
}
class QCheckBox;
class QComboBox;
class QLineEdit;

class TGOptions : public QDialog {
    Q_OBJECT

public:
    explicit TGOptions(QWidget* parent = nullptr);
    ~TGOptions() override;

    // Read by every scan.
    QString thresholdText() const;
    bool copyToClipboard() const;
    bool weightedBox() const;
    QString widthLabel() const;
    QString bitsPerPixelLabel() const;

    // Written by a loaded settings file: the boxes that only the dialog holds.
    void setScanBoxes(int threshold, bool weightedX, bool copyToClipboard);
    // The logarithmic boxes and the ink group, as the record holds them.
    void setAxisAndInkBoxes(const plotrun::ScanSettings& record);
    // The boxes that a show keeps as they are, as an undo step left them.
    void setKeptBoxes(const QString& threshold, bool copyToClipboard);

    // Written whenever a picture arrives.
    void setFileName(const QString& name);
    void setPictureInfo(int width, int height, const QString& bitsPerPixel);
    void setScanWidthMaximum(int maximum);
    int scanWidthMaximum() const;

    // The record shown next, and the size of the last accepted picture.
    void setRecord(const plotrun::ScanSettings& record, QSize picture);
    // The result of the checks of the last OK.
    const plotrun::OptionVerdict& verdict() const { return verdict_; }

    // What exec() answers after "Pick from picture": the dialog steps aside
    // for one click on the picture, and the next show resumes what was typed
    // with the picked colour as the ink.
    static constexpr int PickInk = 2;
    void setPickedInk(uint32_t colour);
    // The boxes as typed now, read as a record the way OK would read them
    // (refused texts replaced by their fallbacks, the threshold as typed).
    plotrun::ScanSettings typedSettings() const;

    void FormShow();
    void OKBtnClick();

    // The size in the axes kind, and with the calibration group beside it.
    static constexpr QSize kAlignedSize{767, 478};
    static constexpr QSize kCalibrationSize{1135, 478};

signals:
    // Any change of a box while the dialog is open, with the settings as typed.
    void settingsTyped(const plotrun::ScanSettings& settings);

protected:
    void showEvent(QShowEvent* event) override;

private:
    plotrun::OptionBoxes typedBoxes() const;
    void chooseColour(uint32_t& colour, const QString& title);
    void showColours();
    void announceTyped();
    // The calibration group, shown for the kind chosen.
    void showKind();
    void showPointRows(const std::vector<std::array<std::string, 4>>& rows);
    void showResiduals();

    std::unique_ptr<Ui::TGOptions> ui_;
    // The edit boxes and check boxes of the option table, and what they hold.
    std::vector<std::pair<QLineEdit*, std::string plotrun::OptionBoxes::*>> textBoxes_;
    std::vector<std::pair<QCheckBox*, bool plotrun::OptionBoxes::*>> checkBoxes_;
    std::vector<std::pair<QComboBox*, int32_t plotrun::OptionBoxes::*>> choiceBoxes_;
    uint32_t inkColour_ = 0x000000; // red in the low byte, as the scan reads pixels
    uint32_t paperColour_ = 0xFFFFFF;
    bool resumeTyped_ = false;      // the next show keeps the boxes as they are
    plotrun::ScanSettings working_; // the record as it was handed in
    QSize picture_;
    plotrun::OptionVerdict verdict_;
};
