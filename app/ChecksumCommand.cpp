#include "EdidImage.h"
#include "EdidMessageBoxes.h"
#include "MainWindow.h"

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

    if (!askAboutWrongChecksum(QStringLiteral("Do you want to calculate a new checksum?")))
        return false;

    recalculateChecksums(image);
    ShowEDIDtext(&image);
    return true;
}
