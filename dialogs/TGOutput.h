#pragma once
// The output fields dialog. Its controls are the Output field settings: every
// scan reads them from here.

#include "ScanSettings.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>

#include <array>
#include <memory>

namespace Ui {
class TGOutput;
}

class TGOutput : public QDialog {
    Q_OBJECT

public:
    explicit TGOutput(QWidget* parent = nullptr);
    ~TGOutput() override;

    // The settings as the controls hold them now.
    plotrun::OutputFields fields() const;
    // Puts settings into the controls, as an undo or a loaded settings file does.
    void setFields(const plotrun::OutputFields& fields);

    void FormShow();
    void ColNamesCheckBoxClick();
    void CancelBtnClick();

    static constexpr const char* kMissingFieldTitle = "Missing output field!";
    static constexpr const char* kMissingFieldText =
        "At least one output field must be selected!\nReal coordinates output field is now in use.";

public slots:
    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool delimiterTaken();

    std::unique_ptr<Ui::TGOutput> ui_;
    // The check boxes (the two of the block first, then one for each field
    // or pair of fields) and the column-name boxes in the order of Field.
    std::array<QCheckBox*, 11> checks() const;
    std::array<QLineEdit*, plotrun::kFieldCount> names() const;

    std::array<bool, 11> savedChecks_{};
    std::array<QString, plotrun::kFieldCount + 1> savedTexts_; // the names, then the delimiter
};
