#pragma once
// The settings file commands, Load Settings and Save Settings: one
// calibration, area and set of output fields saved where the user chooses,
// and loaded onto another picture as the options dialog's OK would take them.

#include "CommonDialogs.h"
#include "Document.h"
#include "OptionChecks.h"

#include "../../files/SettingsFile.h"

#include <functional>

class QMainWindow;
class TGOptions;
class TGOutput;

namespace plotrun {

inline constexpr const char* kOtherPictureTitle = "Another picture";

// The settings that the next scan uses and Save Settings writes, with the
// threshold that the box holds.
SavedSettings settingsInEffect(const Document& document, int32_t threshold, const TGOptions& options,
                               const TGOutput& output);

class SettingsCommands {
public:
    // What the window does with loaded settings: what its options dialog's
    // OK does, with `fillDialogs` run first inside the same undo step.
    using ApplyOptions = std::function<void(const OptionVerdict&, const std::function<void()>& fillDialogs)>;

    // `document` is the window's: its record is saved, loaded settings must
    // fit its picture, and its picture's file is never replaced by settings.
    SettingsCommands(QMainWindow& window, const CommonDialogs& dialogs, const Document& document,
                     ApplyOptions applyOptions);

    // The dialogs hold the boxes that the record does not.
    void attachDialogs(TGOptions* options, TGOutput* output);

    void LoadSettingsClick();
    void SaveSettingsClick();

private:
    void setStatus(const QString& text);
    QString askSaveFileName();

    QMainWindow& window_;
    const CommonDialogs& dialogs_;
    const Document& document_;
    ApplyOptions applyOptions_;
    TGOptions* GOptions = nullptr;
    TGOutput* GOutput = nullptr;
};

} // namespace plotrun
