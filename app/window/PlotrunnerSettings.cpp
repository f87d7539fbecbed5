// The settings file commands: one calibration, area and set of output fields
// saved where the user chooses, and loaded onto another picture.
#include "Plotrunner.h"

#include "../../dialogs/Notice.h"
#include "../../dialogs/TGOptions.h"
#include "../../dialogs/TGOutput.h"
#include "../../files/SettingsFile.h"
#include "NumberText.h"

#include <QFileDialog>
#include <QFileInfo>

#include <stdexcept>

namespace plotrun {

namespace {

const char* const kSettingsFilter = "Plotrun settings (*.json);;All files (*)";
const char* const kInvalidSettingsTitle = "Invalid settings file!";

} // namespace

void TPlotrunner::SaveSettingsClick()
{
    // The settings of the next scan, which reads the threshold box.
    const QString thresholdText = GOptions->thresholdText();
    const std::optional<int32_t> threshold = readWhole(thresholdText.toStdString());
    if (!threshold)
        throw std::runtime_error(QString("'%1' is not a valid integer value").arg(thresholdText).toStdString());
    SavedSettings s;
    s.record = settings_;
    s.record.Threshold = *threshold;
    s.pictureWidth = picWidth_;
    s.pictureHeight = picHeight_;
    s.fields = GOutput->fields();
    s.decimalSeparator = decimalSeparator();
    s.copyToClipboard = GOptions->copyToClipboard();
    // Nothing is saved that could not be loaded again.
    try {
        settingsFromJson(settingsToJson(s));
    } catch (const SettingsFileError& e) {
        showNotice(this, "Invalid input!", QString::fromStdString(e.what()));
        return;
    }
    const QString path = dialogs_.saveSettingsFile
                             ? dialogs_.saveSettingsFile()
                             : QFileDialog::getSaveFileName(this, "Save Settings", {}, kSettingsFilter);
    if (path.isEmpty())
        return;
    const QString reason = writeSettingsFile(path, s);
    if (!reason.isEmpty())
        throw std::runtime_error(QString("Cannot write file \"%1\": %2").arg(path, reason).toStdString());
    setStatus("Settings saved to " + QFileInfo(path).fileName());
}

void TPlotrunner::LoadSettingsClick()
{
    const QString path = dialogs_.openSettingsFile
                             ? dialogs_.openSettingsFile()
                             : QFileDialog::getOpenFileName(this, "Load Settings", {}, kSettingsFilter);
    if (path.isEmpty())
        return;
    SavedSettings s;
    try {
        s = readSettingsFile(path);
    } catch (const SettingsFileError& e) {
        showNotice(this, kInvalidSettingsTitle, QString::fromStdString(e.what()));
        return;
    }
    // The marks and the area go onto the current picture, judged as the
    // options dialog's OK judges them; a refusal changes nothing.
    const OptionVerdict v = checkSettings(s.record, picWidth_, picHeight_);
    if (!v.inputValid) {
        QString text = QString("The settings file \"%1\" does not fit this picture:\n").arg(QFileInfo(path).fileName());
        text += QString::fromStdString(messagesWithKeys(v.messages));
        if (s.pictureWidth != picWidth_ || s.pictureHeight != picHeight_)
            text += QString("The settings were made on a picture of %1 x %2 pixels; this one has %3 x %4.")
                        .arg(s.pictureWidth)
                        .arg(s.pictureHeight)
                        .arg(picWidth_)
                        .arg(picHeight_);
        showNotice(this, kInvalidSettingsTitle, text);
        return;
    }
    applyOptions(
        v,
        [&] {
            GOutput->setFields(s.fields);
            GOptions->setScanBoxes(s.record.Threshold, s.record.WeightedX, s.copyToClipboard);
            GOptions->setAxisAndInkBoxes(v.record);
        },
        "Load Settings");
    setStatus("Settings loaded from " + QFileInfo(path).fileName());
}

} // namespace plotrun
