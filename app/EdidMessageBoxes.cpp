#include "EdidMessageBoxes.h"

#include "MainWindow.h"

#include <QMessageBox>

void showHexFormatError(QWidget *window)
{
    QMessageBox::warning(window, MainWindow::tr("VARNEX"), MainWindow::tr("Hex Format Error"),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

bool askAboutWrongChecksum(const QString &question)
{
    QMessageBox box;
    box.setText(QStringLiteral("The EDID Checksum is not correct."));
    box.setInformativeText(question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
