#include "FileIo.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileStart readFileStart(const QString &path, qint64 limit)
{
    FileStart start;
    // Opened without blocking, so that a pipe without a writer cannot hold the caller, and
    // looked at through the open descriptor, so that nothing can be put in the file's place.
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        start.error = descriptor < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                                     : QStringLiteral("Not a regular file");
        if (descriptor >= 0)
            ::close(descriptor);
        return start;
    }
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        start.error = file.errorString();
        return start;
    }
    start.content = file.read(limit);
    if (file.error() != QFileDevice::NoError)
        start.error = file.errorString();
    else if (start.content.isEmpty()) {
        start.empty = true;
        start.error = QStringLiteral("The file is empty");
    }
    return start;
}

QString saveFileAtomically(const QString &path, const QByteArray &bytes,
                           const std::function<void()> &opened)
{
    // Beyond a file-size limit the kernel would end the process; the write must fail instead.
    static const bool sizeSignalIgnored = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
    (void)sizeSignalIgnored;

    // Replacing a device, a pipe or a folder with a regular file would destroy it; a symbolic
    // link is followed, as QSaveFile writes its target.
    struct stat existing {};
    const bool replaces = ::stat(QFile::encodeName(path).constData(), &existing) == 0;
    if (replaces && !S_ISREG(existing.st_mode))
        return QStringLiteral("Not a regular file");

    // Unbuffered, so that a write the disk refuses fails here and not unnoticed in a later flush.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    // The new file takes the old one's place with its owner, group and mode, so that saving as
    // root leaves another user's file theirs. Only root may give a file away; for anyone else the
    // new file stays their own, as any editor's save would leave it.
    if (replaces) {
        if (::fchown(file.handle(), existing.st_uid, existing.st_gid) != 0)
            (void)!::fchown(file.handle(), static_cast<uid_t>(-1), existing.st_gid);
        if (::fchmod(file.handle(), existing.st_mode & 07777) != 0)
            return QString::fromLocal8Bit(std::strerror(errno));
    }
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
