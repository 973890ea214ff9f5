#include "EdidFile.h"
#include "EdidMessageBoxes.h"
#include "FileNameDialogs.h"
#include "MainWindow.h"
#include "MainWindowForm.h"

#include <QColor>
#include <QFile>
#include <QMessageBox>
#include <QSaveFile>
#include <QStatusBar>

bool MainWindow::DoLoadEDIDfromFile()
{
    const QString fileName = askFileNameToOpen(this);
    if (fileName.isEmpty())
        return false;

    QFile file(fileName);
    const auto cannotRead = [this, &fileName, &file] {
        QMessageBox::warning(this, tr("VARNEX"),
                             tr("Cannot read file %1:\n%2.").arg(fileName, file.errorString()),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    };
    if (!file.open(QIODevice::ReadOnly))
        return cannotRead();
    // A short file is no error: whatever it lacks of the first 1024 bytes counts as zero.
    QByteArray content(static_cast<int>(kEdidFileReadLimit), '\0');
    const qint64 read = file.read(content.data(), content.size());
    if (read < 0)
        return cannotRead();
    content.truncate(read);

    const EdidFileContent edid =
        interpretEdidFile(std::string_view(content.constData(), content.size()));
    if (edid.isBinary) {
        ShowEDIDtext(&edid.image);
    } else {
        ui->EDIDtext->setFontPointSize(8);
        ui->EDIDtext->setTextColor(QColor(0, 0, 255, 255));
        ui->EDIDtext->setFontWeight(QFont::Bold);
        // A file's text is shown as it stands, never interpreted as markup.
        ui->EDIDtext->setPlainText(QString::fromLatin1(edid.text));
    }
    statusBar()->showMessage(tr("File loaded"), kStatusMessageMs);
    return true;
}

bool MainWindow::DoSaveEDIDtoFile()
{
    EdidImage image;
    if (ParseEDIDtext(&image) < 0) {
        showHexFormatError(this);
        return false;
    }
    const QString fileName = askFileNameToSave(this);
    if (fileName.isEmpty())
        return false;

    const auto cannotWrite = [this, &fileName](const QString &reason) {
        statusBar()->clearMessage();
        QMessageBox::warning(this, tr("VARNEX"),
                             tr("Cannot write file %1:\n%2.").arg(fileName, reason),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    };
    // The old file is replaced only once the new content is completely on disk. Unbuffered, so
    // that a write the disk refuses fails here and not unnoticed in a later flush.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return cannotWrite(file.errorString());
    statusBar()->showMessage(tr("Saving file..."), kStatusMessageMs);
    const char *data = reinterpret_cast<const char *>(image.bytes.data());
    qint64 remaining = static_cast<qint64>(image.bytes.size());
    while (remaining > 0) {
        // A short write is retried; the retry then reports why the rest cannot be written.
        const qint64 written = file.write(data, remaining);
        if (written <= 0)
            return cannotWrite(file.errorString()); // the new content is discarded, unseen
        data += written;
        remaining -= written;
    }
    if (!file.commit())
        return cannotWrite(file.errorString());
    statusBar()->showMessage(tr("File saved"), kStatusMessageMs);
    return true;
}
