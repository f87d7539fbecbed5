#pragma once
// The output fields dialog. Its controls are the Output field settings: every
// scan reads them from here.

#include "ScanSettings.h"

#include <QDialog>

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
    std::array<bool, 6> savedChecks_{};
    std::array<QString, 7> savedTexts_;
};
