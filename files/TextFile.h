#pragma once
// Writes a text file whole or not at all.

#include <QString>

#include <string>

namespace plotrun {

// Writes `text` to `path` through a temporary file that replaces the target
// only when every byte was written, so a failed write (a full disk, a size
// limit, no permission) leaves the old file as it was. Returns the reason
// when it fails, or an empty text.
QString writeTextFile(const QString& path, const std::string& text);

} // namespace plotrun
