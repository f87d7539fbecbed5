#pragma once
// The settings file: every setting that a scan depends on, as JSON. Written
// only when the user asks, where the user chooses; read strictly, so that a
// file is taken whole or not at all.

#include "../scan/OptionChecks.h"
#include "../scan/ScanOptions.h"
#include "../scan/ScanSettings.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace plotrun {

// The settings of one calibration, with the picture size it was made on.
// Every option of the option table has its key (the scanner ignores the
// window's "Copy the output to clipboard").
struct SavedSettings : OptionValues {
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;
    // The SHA-256 of the picture file they were saved with, in hex; empty
    // when none was recorded.
    std::string pictureSha256;

    bool operator==(const SavedSettings&) const = default;
};

// A file that cannot be taken; the message names the key and the problem.
class SettingsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kSettingsVersion = 1;

// Sets the value at a dotted key ("calibration.origin.x"), making the
// objects on the way.
void putAtKey(QJsonObject& object, const QString& key, const QJsonValue& value);

// The JSON text of the settings.
QByteArray settingsToJson(const SavedSettings& settings);

// Reads the JSON text. Throws SettingsFileError for an unknown format or
// version, a missing or unknown key, a value of the wrong type, or a value
// that the options checks refuse on the picture the settings were made on.
SavedSettings settingsFromJson(const QByteArray& json);

// The same for a file; `path` names it in the messages.
SavedSettings readSettingsFile(const QString& path);

// Writes the file whole or not at all; the reason when it fails, else empty.
QString writeSettingsFile(const QString& path, const SavedSettings& settings);

// The options dialog's boxes for a record, every number written so that it
// reads back exactly.
OptionBoxes exactBoxes(const ScanSettings& record);

// The options checks on the settings for a picture of width x height: the
// same verdict as the options dialog's OK on those values. Its messages name
// the settings file's keys.
OptionVerdict checkSettings(const ScanSettings& record, int32_t width, int32_t height);

// Each line of the checks' messages, prefixed with the key it is about.
std::string messagesWithKeys(const std::string& messages);

// The marks, the area, the scan width and following's Start mark, gap and
// maximum jump carried over to a picture of another size: scaled by the
// ratio of the widths (x) and of the heights (y), rounded to whole pixels.
ScanSettings scaledToPicture(const SavedSettings& settings, int32_t width, int32_t height);

} // namespace plotrun
