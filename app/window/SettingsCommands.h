#pragma once
// The settings file commands, Load Settings and Save Settings: one
// calibration, area and set of output fields saved where the user chooses,
// and loaded onto another picture as the options dialog's OK would take them.

#include "CommonDialogs.h"
#include "OptionChecks.h"
#include "ScanSettings.h"

#include <QSize>

#include <functional>

class QMainWindow;
class TGOptions;
class TGOutput;

namespace plotrun {

class SettingsCommands {
public:
    // What the window does with loaded settings: what its options dialog's
    // OK does, with `fillDialogs` run first inside the same undo step.
    using ApplyOptions = std::function<void(const OptionVerdict&, const std::function<void()>& fillDialogs)>;

    // `settings` is the window's record, read when saving; `pictureSize`
    // gives the size of the picture that loaded settings must fit, and
    // `picturePath` its file (empty for a pasted picture), which saved
    // settings never replace.
    SettingsCommands(QMainWindow& window, const CommonDialogs& dialogs, const ScanSettings& settings,
                     std::function<QSize()> pictureSize, std::function<QString()> picturePath,
                     ApplyOptions applyOptions);

    // The dialogs hold the boxes that the record does not.
    void attachDialogs(TGOptions* options, TGOutput* output);

    void LoadSettingsClick();
    void SaveSettingsClick();

private:
    void setStatus(const QString& text);

    QMainWindow& window_;
    const CommonDialogs& dialogs_;
    const ScanSettings& settings_;
    std::function<QSize()> pictureSize_;
    std::function<QString()> picturePath_;
    ApplyOptions applyOptions_;
    TGOptions* GOptions = nullptr;
    TGOutput* GOutput = nullptr;
};

} // namespace plotrun
