#include "SettingsCommands.h"

#include "../../dialogs/Notice.h"
#include "../../dialogs/TGOptions.h"
#include "../../dialogs/TGOutput.h"
#include "../../files/PictureFile.h"
#include "../../files/Provenance.h"
#include "../../files/SettingsFile.h"
#include "../../files/TextFile.h"
#include "NumberText.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QStatusBar>

#include <stdexcept>

namespace plotrun {

namespace {

const char* const kSettingsFilter = "Plotrun settings (*.json);;All files (*)";
const char* const kSettingsSuffix = "json";

// The name Save Settings writes: as the file dialog's default suffix does,
// ".json" goes only onto a file name without any dot, so "chart.v2" stays.
QString withSettingsSuffix(const QString& path)
{
    if (path.isEmpty() || QFileInfo(path).fileName().contains('.') || QFileInfo(path).isDir())
        return path;
    return path + "." + kSettingsSuffix;
}

const char* const kInvalidSettingsTitle = "Invalid settings file!";

} // namespace

SettingsCommands::SettingsCommands(QMainWindow& window, const CommonDialogs& dialogs, const Document& document,
                                   ApplyOptions applyOptions)
    : window_(window), dialogs_(dialogs), document_(document), applyOptions_(std::move(applyOptions))
{
}

void SettingsCommands::attachDialogs(TGOptions* options, TGOutput* output)
{
    GOptions = options;
    GOutput = output;
}

void SettingsCommands::setStatus(const QString& text) { window_.statusBar()->showMessage(text); }

QString SettingsCommands::askSaveFileName()
{
    QFileDialog dialog(&window_, "Save Settings", {}, kSettingsFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(kSettingsSuffix);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

SavedSettings settingsInEffect(const Document& d, int32_t threshold, const TGOptions& options, const TGOutput& output)
{
    SavedSettings s;
    s.record = d.settings;
    s.record.Threshold = threshold;
    s.pictureWidth = d.picture.size.width();
    s.pictureHeight = d.picture.size.height();
    s.fields = output.fields();
    s.decimalSeparator = decimalSeparator();
    s.copyToClipboard = options.copyToClipboard();
    s.page = d.picture.page;
    return s;
}

void SettingsCommands::SaveSettingsClick()
{
    // The settings of the next scan, which reads the threshold box.
    const QString thresholdText = GOptions->thresholdText();
    const std::optional<int32_t> threshold = readWhole(thresholdText.toStdString());
    if (!threshold)
        throw std::runtime_error(QString("'%1' is not a valid integer value").arg(thresholdText).toStdString());
    SavedSettings s = settingsInEffect(document_, *threshold, *GOptions, *GOutput);
    // With provenance on, the picture they are made on, so that using them
    // on another says so.
    if (s.fields.provenance && !document_.picture.path.isEmpty())
        s.pictureSha256 = fileDigest(document_.picture.path).sha256;
    // Nothing is saved that could not be loaded again.
    try {
        settingsFromJson(settingsToJson(s));
    } catch (const SettingsFileError& e) {
        showNotice(&window_, "Invalid input!", QString::fromStdString(e.what()));
        return;
    }
    const QString path =
        withSettingsSuffix(dialogs_.saveSettingsFile ? dialogs_.saveSettingsFile() : askSaveFileName());
    if (path.isEmpty())
        return;
    // Saving over the picture, or over any picture, would destroy it.
    const QString picture = document_.picture.path;
    if ((!picture.isEmpty() && isSameFile(path, picture)) || holdsPicture(path))
        throw std::runtime_error(
            QString("Cannot write file \"%1\": it is a picture; the settings are not written over it")
                .arg(path)
                .toStdString());
    const QString reason = writeSettingsFile(path, s);
    if (!reason.isEmpty())
        throw std::runtime_error(QString("Cannot write file \"%1\": %2").arg(path, reason).toStdString());
    setStatus("Settings saved to " + QFileInfo(path).fileName());
}

void SettingsCommands::LoadSettingsClick()
{
    const QString path = dialogs_.openSettingsFile
                             ? dialogs_.openSettingsFile()
                             : QFileDialog::getOpenFileName(&window_, "Load Settings", {}, kSettingsFilter);
    if (path.isEmpty())
        return;
    // A named pipe or a device would hold the window until it gave something.
    if (const QString problem = notARegularFile(path); !problem.isEmpty()) {
        showNotice(&window_, kInvalidSettingsTitle, problem);
        return;
    }
    SavedSettings s;
    try {
        s = readSettingsFile(path);
    } catch (const SettingsFileError& e) {
        showNotice(&window_, kInvalidSettingsTitle, QString::fromStdString(e.what()));
        return;
    }
    // The marks and the area go onto the current picture, judged as the
    // options dialog's OK judges them; a refusal changes nothing.
    const QSize picture = document_.picture.size;
    const OptionVerdict v = checkSettings(s.record, picture.width(), picture.height());
    if (!v.inputValid) {
        QString text = QString("The settings file \"%1\" does not fit this picture:\n").arg(QFileInfo(path).fileName());
        text += QString::fromStdString(messagesWithKeys(v.messages));
        if (s.pictureWidth != picture.width() || s.pictureHeight != picture.height())
            text += QString("The settings were made on a picture of %1 x %2 pixels; this one has %3 x %4.")
                        .arg(s.pictureWidth)
                        .arg(s.pictureHeight)
                        .arg(picture.width())
                        .arg(picture.height());
        showNotice(&window_, kInvalidSettingsTitle, text);
        return;
    }
    applyOptions_(v, [&] {
        GOutput->setFields(s.fields);
        GOptions->setScanBoxes(s.record.Threshold, s.record.WeightedX, s.copyToClipboard);
        GOptions->setAxisAndInkBoxes(v.record);
    });
    setStatus("Settings loaded from " + QFileInfo(path).fileName());
    if (!document_.picture.path.isEmpty())
        if (const std::string other = otherPictureWarning(s, fileDigest(document_.picture.path),
                                                          QFileInfo(document_.picture.path).fileName());
            !other.empty())
            showNotice(&window_, kOtherPictureTitle, QString::fromStdString(other));
}

} // namespace plotrun
