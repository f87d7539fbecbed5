#include "HelpViewer.h"

#include "../../dialogs/Notice.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTextBrowser>
#include <QUrl>

#include <stdexcept>

namespace plotrun {

QString readHelpDir()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, "Orvik", "Plotrun 1.1");
    const QVariant value = settings.value("HelpDir");
    if (!value.isValid())
        return {};
    if (value.typeId() != QMetaType::QString)
        throw std::runtime_error("Invalid data type for 'HelpDir'");
    return value.toString();
}

QString helpFileByRule(const QString& helpDir) { return helpDir + kHelpFileName; }

namespace {

// Where an installation puts the help: the data folder as seen from the
// program's folder, so that a moved installation still finds it, and the data
// folder the build was configured for.
QStringList installedHelpDirs()
{
    QStringList dirs;
#ifdef PLOTRUN_HELP_DIR_FROM_PROGRAM
    dirs << QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(PLOTRUN_HELP_DIR_FROM_PROGRAM));
#endif
#ifdef PLOTRUN_INSTALLED_HELP_DIR
    dirs << QString(PLOTRUN_INSTALLED_HELP_DIR);
#endif
    dirs.removeDuplicates();
    return dirs;
}

} // namespace

QString HelpViewer::findDocument(const QString& helpFile)
{
    QStringList places;
    if (QFileInfo(helpFile).fileName() == helpFile) {
        places << QDir(QCoreApplication::applicationDirPath()).filePath(helpFile);
        for (const QString& dir : installedHelpDirs())
            places << QDir(dir).filePath(helpFile);
        places << QDir::current().filePath(helpFile);
    } else {
        places << helpFile;
    }
    for (const QString& place : places) {
        QStringList names{place};
        if (place.endsWith(".hlp", Qt::CaseInsensitive))
            names << place.left(place.size() - 4) + ".html";
        for (const QString& name : names)
            if (QFileInfo(name).isFile())
                return QFileInfo(name).absoluteFilePath();
    }
    return {};
}

void HelpViewer::showTopic(const QString& helpFile, const QString& topic)
{
    const QString document = findDocument(helpFile);
    if (document.isEmpty()) {
        showNotice(
            QApplication::activeWindow(), "Plotrun Help",
            QString("Cannot find the help file \"%1\".\nCheck that it is installed beside the program.").arg(helpFile));
        return;
    }
    if (!window_) {
        window_ = new QTextBrowser;
        window_->setAttribute(Qt::WA_DeleteOnClose);
        window_->setAttribute(Qt::WA_QuitOnClose, false); // closing the main window ends the program
        window_->setObjectName("HelpWindow");
        window_->setWindowTitle("Plotrun Help");
        window_->setOpenExternalLinks(true);
        window_->resize(640, 720);
    }
    QUrl url = QUrl::fromLocalFile(document);
    url.setFragment(topic);
    window_->setSource(url);
    window_->scrollToAnchor(topic);
    window_->show();
    window_->raise();
}

} // namespace plotrun
