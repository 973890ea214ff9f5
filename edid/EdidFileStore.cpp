#include "EdidFileStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <csignal>

FileStart readFileStart(const QString &path, qint64 limit)
{
    FileStart start;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        start.error = QStringLiteral("Not a regular file");
        return start;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        start.error = file.errorString();
        return start;
    }
    start.content = file.read(limit);
    if (file.error() != QFileDevice::NoError)
        start.error = file.errorString();
    else if (start.content.isEmpty())
        start.error = QStringLiteral("The file is empty");
    return start;
}

QString saveFileAtomically(const QString &path, const QByteArray &bytes,
                           const std::function<void()> &opened)
{
    // Beyond a file-size limit the kernel would end the process; the write must fail instead.
    static const bool sizeSignalIgnored = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
    (void)sizeSignalIgnored;

    // Unbuffered, so that a write the disk refuses fails here and not unnoticed in a later flush.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (opened)
        opened();
    const char *data = bytes.constData();
    qint64 remaining = bytes.size();
    while (remaining > 0) {
        // A short write is retried; the retry then reports why the rest cannot be written.
        const qint64 written = file.write(data, remaining);
        if (written <= 0)
            return file.errorString(); // the new content is discarded, unseen
        data += written;
        remaining -= written;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}
