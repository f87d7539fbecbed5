// plotrun-scan: the command-line front end of the scan engine.
#include "ScanCommand.h"

#include "../files/PageFile.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <csignal>
#include <memory>
#include <iostream>
#include <unistd.h>

int main(int argc, char* argv[])
{
    // Under a file size limit the write then fails with a message, and the
    // old output file stays; by default the signal would end the scanner
    // silently.
    std::signal(SIGXFSZ, SIG_IGN);
    // The text of an SVG drawing needs fonts, and fonts a platform: a scan
    // of one starts the platform that shows nothing. Other scans start as
    // they always did, without one.
    const bool drawings = std::any_of(argv + 1, argv + argc, [](const char* a) {
        return plotrun::pageFormat(QString::fromLocal8Bit(a)) == plotrun::PageFormat::Svg;
    });
    if (drawings)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        drawings ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return plotrun::runScanCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO));
}
