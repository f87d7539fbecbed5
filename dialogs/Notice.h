#pragma once
// The program's own messages: a modal box with a title, a text, one OK
// button and no icon.

#include <QString>

#include <string>

class QWidget;

namespace plotrun {

void showNotice(QWidget* parent, const QString& title, const QString& text);

struct Notice;
// One of the engine's notices: its title and its text.
void showNotice(QWidget* parent, const Notice& notice);

// The user's decimal separator, from the locale (QLocale's default, which
// follows the system unless the program sets another).
std::string decimalSeparator();

} // namespace plotrun
