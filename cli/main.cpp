// plotrun-scan: the command-line front end of the scan engine.
#include "ScanCommand.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return plotrun::runScanCommand(args, std::cout, std::cerr);
}
