#pragma once
// The small dialog that a click in the reference point mode opens: the real
// x and y of the point clicked.

#include <QString>

#include <optional>
#include <utility>

class QWidget;

namespace plotrun {

// Asks the real values of the point at (x, y) of the picture; nothing when
// cancelled. Text that is not a number is asked again.
std::optional<std::pair<double, double>> askPointValues(QWidget* parent, double x, double y);

} // namespace plotrun
