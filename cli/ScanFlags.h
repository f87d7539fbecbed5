#pragma once
// The scanner's flags: what they set, how each is read, and the usage text.

#include "../files/PictureFile.h"
#include "../files/SettingsFile.h"
#include "../scan/OptionChecks.h"
#include "../scan/ScanSettings.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plotrun {

extern const char* const kUsage;

struct UsageError {
    std::string text;
};

struct Options {
    OptionBoxes boxes;
    // The boxes that flags gave; over a settings file, only these change.
    std::vector<std::string OptionBoxes::*> givenBoxes;
    OutputFields fields;
    bool fieldListGiven = false;
    std::array<bool, kFieldCount> nameGiven{};
    std::optional<std::string> delimiter;
    std::optional<std::string> decimalSeparatorGiven;
    std::string decimalSeparator;
    QStringList images;
    QString output;
    QString outputDir;
    QString settingsPath;
    QString saveSettingsPath;
    std::optional<SavedSettings> settings;
    bool scaleWithPicture = false;
    int jobs = 0;
    qint64 maxPixels = kDefaultMaxPixels;
    bool help = false;
    bool inkCompanions = false; // --paper or --ink-tolerance given
    bool paperGiven = false;
    // --start, --gap and --max-jump; over the settings file's values.
    std::optional<std::pair<double, double>> followStart;
    std::optional<int32_t> followGap;
    std::optional<int32_t> followMaxJump;

    void setBox(std::string OptionBoxes::*box, std::string text)
    {
        boxes.*box = std::move(text);
        givenBoxes.push_back(box);
    }
};

// Reads the arguments, and the settings file they name; throws UsageError.
Options parseArguments(const QStringList& args);

} // namespace plotrun
