#include "MainWindow.h"

#include "EdidImage.h"
#include "EdidMessageBoxes.h"
#include "EdidTextBuffer.h"
#include "EdidTransfer.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

void MainWindow::prepareProgressBar()
{
    // One bar serves every read and write, at the right end of the status bar.
    if (!progressBar) {
        progressBar = new QProgressBar(statusBar());
        progressBar->setTextVisible(false);
        statusBar()->addPermanentWidget(progressBar, 0);
    }
    progressBar->hide();
}

bool MainWindow::DoReadEDID()
{
    prepareProgressBar();
    const TransferResult result =
        readEdidFromTool([this](int value, int maximum) { on_ProgressChange(value, maximum); });
    if (result == TransferResult::ToolNotFound) {
        QMessageBox::warning(this, tr("VARNEX"), tr("Hardware not found"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return false;
    }
    on_ProgressChange(0, 0);
    if (result == TransferResult::Interrupted) {
        QMessageBox::warning(this, tr("VARNEX"), tr("The EDID could not be read."), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return false;
    }

    statusBar()->showMessage(tr("EDID values read."), kStatusMessageMs);
    showPlainText(QString::fromLatin1(EdidTextBuffer.data()), Qt::black);
    return true;
}

bool MainWindow::DoWriteEDID()
{
    prepareProgressBar();
    EdidImage image;
    if (ParseEDIDtext(&image) < 0) {
        showHexFormatError(this);
        return false;
    }

    if (!hasCorrectChecksums(image) && !askAboutWrongChecksum(QStringLiteral("Write anyway?")))
        return false;

    const TransferResult result = writeEdidToTool(
        image, [this](int value, int maximum) { on_ProgressChange(value, maximum); });
    if (result == TransferResult::ToolNotFound) {
        QMessageBox::warning(this, tr("Varnex HDMI"), tr("Varnex HDMI hardware not found"),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }
    on_ProgressChange(0, 0);
    if (result == TransferResult::Interrupted) {
        QMessageBox::warning(this, tr("VARNEX"),
                             tr("The EDID could not be written completely. The custom EDID "
                                "may now be incomplete."),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }

    statusBar()->showMessage(tr("EDID values written..."), kStatusMessageMs);
    return true;
}
