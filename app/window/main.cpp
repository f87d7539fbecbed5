// Plotrun: a graph digitizer. Start-up creates the main window and then its
// three dialogs, which live until the program ends. A picture named on the
// command line opens as File > Open would open it.
#include "PlotrunApplication.h"
#include "ProgramWindows.h"
#include "StandardErrorBox.h"

#include <QImageReader>
#include <QTimer>

#include <csignal>

int main(int argc, char* argv[])
{
    plotrun::PlotrunApplication app(argc, argv);
    // Charts scanned at high resolution easily pass Qt's default limit of
    // 256 MB; the loader checks the memory that is really free instead.
    QImageReader::setAllocationLimit(0);
    // Under a file size limit a save fails with a message, and the old file
    // stays, instead of the program being ended by the signal.
    std::signal(SIGXFSZ, SIG_IGN);
    plotrun::PlotrunApplication::setDesktopFileName("org.orvik.Plotrun");
    const QStringList arguments = app.arguments().mid(1);

    // An error that escapes start-up or the message loop is shown, and the
    // program ends; the exit code is 0 in every case.
    plotrun::guarded([&] {
        plotrun::ProgramWindows program;
        program.window.show();
        // Once the window is up, so that a message about the file shows over it.
        QTimer::singleShot(0, &program.window, [&] { program.openFromCommandLine(arguments); });
        app.exec();
    });
    return 0;
}
