#include "DeviceWarningBox.h"

#include "DeviceWarning.h"

#include <QMessageBox>

void installDeviceWarningBox()
{
    setDeviceWarningHandler([](const char *text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral(" "), QString::fromLatin1(text),
                        QMessageBox::Ok);
        // Application-modal: no command can start inside the operation that raised the box.
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    });
}
