#pragma once
// Writes a text file without losing what the target held.

#include <QString>

#include <optional>
#include <string>
#include <utility>

namespace plotrun {

// Writes `text` to `path`, by the kind of target:
// - a regular file, or a name that does not exist yet, is written whole or not
//   at all: through a temporary file that replaces the target only when every
//   byte was written, so a failed write (a full disk, a size limit, no
//   permission) leaves the old file as it was. A symbolic link is followed,
//   and the file it leads to is replaced, keeping its permissions; the link
//   stays a link.
// - where no temporary file can be made next to a writable file (a folder
//   that is not writable), the file is written in place, and a failed write
//   puts the old contents back. The file is never left cut short.
// - anything else (a pipe, a character device, /dev/stdout) is written
//   straight into, since replacing it would destroy it.
// Returns the reason when it fails, or an empty text.
QString writeTextFile(const QString& path, const std::string& text);

// Writes in place, keeping the old contents for a failed write. Used by
// writeTextFile when no temporary file can be made.
QString writeTextFileInPlace(const QString& path, const std::string& text);

// Whether the two paths name one and the same file: after following links,
// or as two hard links. False when either does not exist.
bool isSameFile(const QString& a, const QString& b);

// Why the window does not open `path`: it is a folder, a named pipe, a
// device or a socket, which could hold the window until something is written
// to it, or it does not exist. Empty for a regular file (or a link to one).
QString notARegularFile(const QString& path);

// What tells one file from another however it is named: its device and
// inode, after following links. Empty when the file does not exist.
using FileIdentity = std::pair<unsigned long long, unsigned long long>;
std::optional<FileIdentity> fileIdentity(const QString& path);

} // namespace plotrun
