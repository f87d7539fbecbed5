#pragma once
// What Qt's JSON reader lets pass that JSON does not allow: a key twice in
// one object (Qt keeps the last, so a file would be half of what it says),
// and numbers such as "128." or ".5e1".

#include <QByteArray>
#include <QString>

namespace plotrun {

// The first such problem in `json`, naming the key by its full path
// ("output.delimiter"), or an empty text. Text that is not JSON at all gives
// an empty text too: Qt's reader says what is wrong with it.
QString strictJsonProblem(const QByteArray& json);

// A key as a message shows it: control characters written as \uXXXX, so
// that a key cannot cut a message short or send codes to a terminal.
QString printableKey(const QString& key);

} // namespace plotrun
