#include "TextFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plotrun {

namespace {

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The file a chain of symbolic links leads to, even when it does not exist
// yet; `throughProc` tells whether a link on the way is one of /proc's links
// to a file the process holds open (/dev/stdout leads through one).
QString finalTarget(const QString& path, bool& throughProc)
{
    QString p = QFileInfo(path).absoluteFilePath();
    throughProc = false;
    for (int hops = 0; hops < 40; ++hops) {
        const QByteArray local = QFile::encodeName(p);
        struct stat st;
        if (lstat(local.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        if (p.startsWith("/proc/"))
            throughProc = true;
        char buffer[4096];
        const ssize_t n = readlink(local.constData(), buffer, sizeof buffer - 1);
        if (n <= 0)
            return p;
        const QString next = QFile::decodeName(QByteArray(buffer, int(n)));
        p = QDir::cleanPath(QFileInfo(next).isAbsolute() ? next : QFileInfo(p).absolutePath() + '/' + next);
    }
    return p;
}

bool writeAll(int fd, const char* data, size_t size, off_t at, bool positioned, int& error)
{
    while (size > 0) {
        const ssize_t n = positioned ? pwrite(fd, data, size, at) : write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

// Writes into a pipe, a device or a file the process holds open, as it is.
QString writeStraight(const QString& path, const std::string& text, int flags)
{
    const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | flags);
    if (fd < 0)
        return systemReason(errno);
    int error = 0;
    const bool ok = writeAll(fd, text.data(), text.size(), 0, false, error);
    const bool closed = close(fd) == 0 || errno == EINTR;
    if (!ok)
        return systemReason(error);
    return closed ? QString() : systemReason(errno);
}

enum class SaveResult { Done, Failed, NoTemporaryFile };

SaveResult writeThroughTemporary(const QString& path, const std::string& text, QString& reason)
{
    QSaveFile file(path);
    // Unbuffered, so that a short write shows in write()'s result: QSaveFile
    // would otherwise commit a file cut short when its buffer's last flush
    // failed part way.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return SaveResult::NoTemporaryFile;
    }
    qint64 done = 0;
    const qint64 size = qint64(text.size());
    while (done < size) {
        const qint64 n = file.write(text.data() + done, size - done);
        if (n <= 0) {
            reason = file.errorString();
            file.cancelWriting();
            if (reason.isEmpty())
                reason = "the file could not be written";
            return SaveResult::Failed;
        }
        done += n;
    }
    if (!file.commit()) {
        // Every byte went into the temporary file, and it could not take the
        // target's name (a name at the length limit leaves no room for the
        // temporary one's).
        reason = file.errorString();
        return SaveResult::NoTemporaryFile;
    }
    return SaveResult::Done;
}

} // namespace

QString writeTextFileInPlace(const QString& path, const std::string& text)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return systemReason(errno);
    struct stat st;
    std::string old;
    int error = 0;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = errno ? errno : EINVAL;
        close(fd);
        return systemReason(error);
    }
    old.resize(size_t(st.st_size));
    for (size_t got = 0; got < old.size();) {
        const ssize_t n = pread(fd, old.data() + got, old.size() - got, off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            close(fd);
            return systemReason(error);
        }
        got += size_t(n);
    }
    const auto restore = [&](int why) {
        int ignored = 0;
        writeAll(fd, old.data(), old.size(), 0, true, ignored);
        (void)ftruncate(fd, off_t(old.size()));
        close(fd);
        return systemReason(why);
    };
    // The part beyond the old end goes in first: a full disk or a size limit
    // then stops the write while every old byte is still in place, and the
    // overwrite that follows needs no new space.
    const size_t common = std::min(old.size(), text.size());
    if (text.size() > old.size() &&
        !writeAll(fd, text.data() + common, text.size() - common, off_t(common), true, error))
        return restore(error);
    if (!writeAll(fd, text.data(), common, 0, true, error))
        return restore(error);
    if (text.size() < old.size() && ftruncate(fd, off_t(text.size())) != 0)
        return restore(errno);
    if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return restore(errno);
    close(fd);
    return {};
}

QString writeTextFile(const QString& path, const std::string& text)
{
    bool throughProc = false;
    const QString target = finalTarget(path, throughProc);
    const QByteArray local = QFile::encodeName(target);
    // The kind of target through every link, /proc's too: their text need
    // not name a file ("pipe:[…]").
    struct stat st;
    const bool exists = stat(QFile::encodeName(path).constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return "it is a folder";
    if (exists && !S_ISREG(st.st_mode))
        return writeStraight(path, text, 0);
    if (exists && throughProc)
        // A file the process holds open, such as /dev/stdout sent to a file:
        // add to it, as the shell's redirection meant.
        return writeStraight(path, text, O_APPEND);

    QString reason;
    switch (writeThroughTemporary(target, text, reason)) {
    case SaveResult::Done: return {};
    case SaveResult::Failed: return reason;
    case SaveResult::NoTemporaryFile: break;
    }
    if (!exists || access(local.constData(), W_OK) != 0)
        return reason;
    return writeTextFileInPlace(target, text);
}

bool isSameFile(const QString& a, const QString& b)
{
    const std::optional<FileIdentity> ia = fileIdentity(a);
    return ia && ia == fileIdentity(b);
}

QString notARegularFile(const QString& path)
{
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString("Cannot open file \"%1\": %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISREG(st.st_mode))
        return {};
    const char* kind = S_ISDIR(st.st_mode)    ? "a folder"
                       : S_ISFIFO(st.st_mode) ? "a named pipe"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                                              : "a device";
    return QString("Cannot open \"%1\": it is %2, not a file.").arg(path, kind);
}

std::optional<FileIdentity> fileIdentity(const QString& path)
{
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity(st.st_dev, st.st_ino);
}

} // namespace plotrun
