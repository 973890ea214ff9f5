#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Files on disk as the window and the command-line program read and write them: the start of a
// file, read without blocking, and a replacement that is whole or nothing.

// The start of a file, or why it could not be read (an errorString-like text, no final period).
struct FileStart {
    QByteArray content;
    QString error;      // null when the content was read
    bool empty = false; // the file was read and held no byte
};

// Reads at most limit bytes from the start of a file. Only a regular file (after following
// symbolic links) is opened: a pipe or a device could block or never end. A file of zero bytes
// holds no EDID and is refused.
FileStart readFileStart(const QString &path, qint64 limit);

// Replaces the file with bytes once they are completely on disk; the old file stays as it was on
// any failure, and no temporary file is left behind. The new file keeps the old one's owner,
// group and mode; a path that exists and is not a regular file is refused ("Not a regular file").
// opened runs once the new file could be created, before anything is written. Returns the failure's
// text, or a null string. The first call makes the process ignore SIGXFSZ: beyond a file-size limit
// a write then fails instead of ending the process.
QString saveFileAtomically(const QString &path, const QByteArray &bytes,
                           const std::function<void()> &opened = {});
