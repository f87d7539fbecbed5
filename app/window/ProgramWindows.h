#pragma once
// The program's windows as start-up makes them: the main window first, then
// its three dialogs, which live as long as the window. The program, the
// tests and the benchmarks all assemble it here.

#include "Plotrunner.h"
#include "StandardErrorBox.h"

#include "../../dialogs/TAboutBox.h"
#include "../../dialogs/TGOptions.h"
#include "../../dialogs/TGOutput.h"

namespace plotrun {

struct ProgramWindows {
    TPlotrunner window;
    TGOptions options{&window};
    TGOutput output{&window};
    TAboutBox about{&window};

    ProgramWindows() { window.attachDialogs(&options, &output, &about); }

    // `plotrun FILE`: the picture named first opens as Open would open it,
    // and one that cannot be read gets the message Open gives.
    void openFromCommandLine(const QStringList& arguments)
    {
        if (!arguments.isEmpty())
            guarded([&] { window.openPicture(arguments.front()); });
    }
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;
};

} // namespace plotrun
