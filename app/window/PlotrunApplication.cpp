#include "PlotrunApplication.h"

#include "StandardErrorBox.h"

#include <QImageReader>

namespace plotrun {

PlotrunApplication::PlotrunApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(kAppTitle);
    setOrganizationName("Orvik");
}

bool PlotrunApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace plotrun
