#include "EdidFile.h"
#include "EdidFileStore.h"
#include "EdidMessageBoxes.h"
#include "FileNameDialogs.h"
#include "MainWindow.h"

#include <QColor>
#include <QMessageBox>
#include <QStatusBar>

bool MainWindow::DoLoadEDIDfromFile()
{
    const QString fileName = askFileNameToOpen(this);
    if (fileName.isEmpty())
        return false;

    // A short file is no error: whatever it lacks of the first 1024 bytes counts as zero.
    const FileStart start = readFileStart(fileName, static_cast<qint64>(kEdidFileReadLimit));
    if (!start.error.isNull()) {
        QMessageBox::warning(this, tr("VARNEX"),
                             tr("Cannot read file %1:\n%2.").arg(fileName, start.error),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }

    const EdidFileContent edid =
        interpretEdidFile(std::string_view(start.content.constData(), start.content.size()));
    if (edid.isBinary)
        ShowEDIDtext(&edid.image);
    else
        showPlainText(QString::fromLatin1(edid.text), QColor(0, 0, 255, 255));
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

    const QByteArray bytes(reinterpret_cast<const char *>(image.bytes.data()),
                           static_cast<int>(image.bytes.size()));
    const QString error = saveFileAtomically(fileName, bytes, [this] {
        statusBar()->showMessage(tr("Saving file..."), kStatusMessageMs);
    });
    if (!error.isNull()) {
        statusBar()->clearMessage();
        QMessageBox::warning(this, tr("VARNEX"),
                             tr("Cannot write file %1:\n%2.").arg(fileName, error), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return false;
    }
    statusBar()->showMessage(tr("File saved"), kStatusMessageMs);
    return true;
}
