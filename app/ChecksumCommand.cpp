#include "EdidImage.h"
#include "EdidTextPane.h"
#include "MainWindow.h"

#include <QMessageBox>

bool MainWindow::DoCalculateChkSum()
{
    EdidImage image;
    if (ParseEDIDtext(&image) < 0) {
        showHexFormatError(this);
        return false;
    }
    if (hasCorrectChecksums(image)) {
        ShowEDIDtext(&image);
        return true;
    }

    QMessageBox question;
    question.setText(QStringLiteral("The EDID Checksum is not correct."));
    question.setInformativeText(QStringLiteral("Do you want to calculate a new checksum?"));
    question.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    if (question.exec() != QMessageBox::Yes)
        return false;

    recalculateChecksums(image);
    ShowEDIDtext(&image);
    return true;
}
