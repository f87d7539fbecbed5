#pragma once
// The options dialog: shows the Scan settings, and on OK judges every box,
// writes the settings back and opens or closes the way to Execute.

#include "ScanSettings.h"

#include <QDialog>
#include <QSize>

#include <memory>

namespace Ui {
class TGOptions;
}

// What the options dialog needs of the window that owns the settings.
class OptionsTarget {
public:
    virtual ~OptionsTarget() = default;
    virtual plotrun::ScanSettings& scanSettings() = 0;
    // The size of the last accepted picture.
    virtual QSize pictureSize() const = 0;
    // The exact mark positions and scan rectangle kept for redrawing.
    virtual void takeExactPositions(const plotrun::ScanSettings& record) = 0;
    virtual void setExecuteEnabled(bool enabled) = 0;
    // Redraws the marks and the area when the picture is the current view.
    virtual void refitPicture() = 0;
};

class TGOptions : public QDialog {
    Q_OBJECT

public:
    TGOptions(OptionsTarget& target, QWidget* parent = nullptr);
    ~TGOptions() override;

    // Read by every scan.
    QString thresholdText() const;
    bool copyToClipboard() const;
    bool weightedBox() const;
    QString widthLabel() const;
    QString bitsPerPixelLabel() const;

    // Written whenever a picture arrives.
    void setFileName(const QString& name);
    void setPictureInfo(int width, int height, const QString& bitsPerPixel);
    void setScanWidthMaximum(int maximum);
    int scanWidthMaximum() const;

    void FormShow();
    void OKBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    OptionsTarget& target_;
    std::unique_ptr<Ui::TGOptions> ui_;
    plotrun::ScanSettings working_; // the record as it was at show time
    bool InputValid = true;
};
