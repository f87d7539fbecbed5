// Plotrun: a graph digitizer. Start-up creates the main window and then its
// three dialogs, which live until the program ends.
#include "PlotrunApplication.h"
#include "Plotrunner.h"
#include "StandardErrorBox.h"

#include "../dialogs/TAboutBox.h"
#include "../dialogs/TGOptions.h"
#include "../dialogs/TGOutput.h"

#include <QImageReader>

int main(int argc, char* argv[])
{
    plotrun::PlotrunApplication app(argc, argv);
    // Charts scanned at high resolution easily pass Qt's default limit of
    // 256 MB; the loader checks the memory that is really free instead.
    QImageReader::setAllocationLimit(0);

    // An error that escapes start-up or the message loop is shown, and the
    // program ends; the exit code is 0 in every case.
    plotrun::guarded([&] {
        plotrun::TPlotrunner Plotrunner;
        TGOptions GOptions(Plotrunner, &Plotrunner);
        TGOutput GOutput(&Plotrunner);
        TAboutBox AboutBox(&Plotrunner);
        Plotrunner.attachDialogs(&GOptions, &GOutput, &AboutBox);
        Plotrunner.show();
        app.exec();
    });
    return 0;
}
