// plotrun-scan: the command-line front end of the scan engine.
#include "ScanCommand.h"

#include <QCoreApplication>

#include <csignal>
#include <iostream>
#include <unistd.h>

int main(int argc, char* argv[])
{
    // Under a file size limit the write then fails with a message, and the
    // old output file stays; by default the signal would end the scanner
    // silently.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return plotrun::runScanCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO));
}
