#include "MessageBoxWatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>

MessageBoxWatcher::MessageBoxWatcher()
{
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &MessageBoxWatcher::poll);
    timer_.start();
}

QStringList MessageBoxWatcher::texts() const
{
    QStringList texts;
    for (const ShownBox &box : boxes_)
        texts << box.text;
    return texts;
}

void MessageBoxWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (!box) {
        if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            ++cancelledDialogs_;
            dialog->reject();
        }
        return;
    }
    ShownBox shown;
    shown.title = box->windowTitle();
    shown.text = box->text();
    shown.informativeText = box->informativeText();
    shown.icon = box->icon();
    shown.buttons = box->standardButtons();
    shown.hasParent = box->parentWidget() != nullptr;
    shown.modality = box->windowModality();
    boxes_.append(shown);

    QMessageBox::StandardButton answer = QMessageBox::Ok;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    QAbstractButton *button = box->button(answer);
    if (!button && !box->buttons().isEmpty())
        button = box->buttons().first();
    if (button)
        button->click();
    else
        box->close();
}
