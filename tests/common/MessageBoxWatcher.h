#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <deque>

// Answers every modal message box that opens while it lives and records it as
// "title|text|informative text|icon buttons owner". Boxes take the queued answers in turn, then
// OK (or their first button).
class MessageBoxWatcher {
public:
    MessageBoxWatcher()
    {
        timer_.callOnTimeout([this] { poll(); });
        timer_.start(5);
    }
    void answerNext(QMessageBox::StandardButton answer) { answers_.push_back(answer); }

    QStringList boxes;

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        const QMessageBox::StandardButtons buttons = box->standardButtons();
        // clang-format off
        const char *icon = box->icon() == QMessageBox::Warning ? "warning" : box->icon() == QMessageBox::NoIcon ? "no-icon" : "icon";
        const char *choice = buttons == QMessageBox::Ok ? "OK" : buttons == (QMessageBox::Yes | QMessageBox::No) ? "Yes/No" : "buttons";
        // clang-format on
        boxes << QStringList{box->windowTitle(), box->text(), box->informativeText(),
                             QString::asprintf("%s %s %s", icon, choice,
                                               box->parentWidget() ? "parent" : "no-parent")}
                     .join('|');
        QAbstractButton *button =
            box->button(answers_.empty() ? QMessageBox::Ok : answers_.front());
        if (!answers_.empty())
            answers_.pop_front();
        (button ? button : box->buttons().first())->click();
    }

    QTimer timer_;
    std::deque<QMessageBox::StandardButton> answers_;
};
