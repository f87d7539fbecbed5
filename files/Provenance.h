#pragma once
// A record of how the numbers of a scan were made, in the header block: the
// picture's SHA-256 and size, the program's version, the time of the scan and
// every setting in effect, each under its settings-file key, so that a
// settings file can be made from the record and gives the same numbers.

#include "SettingsFile.h"

#include <QDateTime>
#include <QString>

#include <string>
#include <vector>

namespace plotrun {

// The hex SHA-256 of a file's bytes and their count; empty and -1 when the
// file cannot be read.
struct FileDigest {
    std::string sha256;
    qint64 bytes = -1;
};
FileDigest fileDigest(const QString& path);

// "Picture SHA-256:", "Picture bytes:", "Plotrun:", "Scanned (UTC):" and a
// "Setting:" line for each key of the settings file, its value in JSON.
std::vector<std::string> provenanceLines(const FileDigest& picture, const SavedSettings& settings,
                                         const QDateTime& when);

// The settings that the "Setting:" lines of an output text record, judged as
// a settings file is. Throws SettingsFileError.
SavedSettings settingsFromProvenance(const std::string& text, const std::string& delimiter);

// "The picture "NAME" is not the one that the settings were saved with: its
// SHA-256 differs." when the settings recorded another picture's hash; empty
// when they recorded none or the same.
std::string otherPictureWarning(const SavedSettings& settings, const FileDigest& picture, const QString& name);

} // namespace plotrun
