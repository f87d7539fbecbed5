#pragma once
// The application object: errors that escape any event end in the standard
// error box instead of ending the program.

#include <QApplication>

namespace plotrun {

class PlotrunApplication : public QApplication {
public:
    PlotrunApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace plotrun
