#include "TextFile.h"

#include <QSaveFile>

namespace plotrun {

QString writeTextFile(const QString& path, const std::string& text)
{
    QSaveFile file(path);
    // Unbuffered, so that a short write shows in write()'s result: QSaveFile
    // would otherwise commit a file cut short when its buffer's last flush
    // failed part way.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    qint64 done = 0;
    const qint64 size = qint64(text.size());
    while (done < size) {
        const qint64 n = file.write(text.data() + done, size - done);
        if (n <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason.isEmpty() ? QString("the file could not be written") : reason;
        }
        done += n;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace plotrun
