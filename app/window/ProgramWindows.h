#pragma once
// The program's windows as start-up makes them: the main window first, then
// its three dialogs, which live as long as the window. The program, the
// tests and the benchmarks all assemble it here.

#include "Plotrunner.h"

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
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;
};

} // namespace plotrun
