#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include <deque>

// A message box as tests record and expect it: "title|text|informative|icon N, buttons 0xN,
// owned or not". Most boxes are the window's own warnings, hence the defaults.
inline QString messageBox(const QString &text, const QString &title = QStringLiteral("VARNEX"),
                          bool owned = true, const QString &informative = {},
                          QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                          QMessageBox::Icon icon = QMessageBox::Warning)
{
    return QStringList{title, text, informative,
                       QStringLiteral("icon %1, buttons 0x%2, %3")
                           .arg(icon)
                           .arg(buttons.toInt(), 0, 16)
                           .arg(owned ? "owned" : "no owner")}
        .join('|');
}

// Answers every modal message box that opens while it lives and records it, its detailed text too.
// Boxes take the queued answers in turn, then OK (or their first button). An input dialog is
// recorded as "title|label|the text it offers" and takes the next queued text, or what it offers.
class MessageBoxWatcher {
public:
    MessageBoxWatcher()
    {
        timer_.callOnTimeout([this] { poll(); });
        timer_.start(5);
    }
    void answerNext(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
    void typeNext(const QString &text) { texts_.push_back(text); }

    QStringList boxes;
    QStringList details; // the detailed texts of the boxes that have one

private:
    void poll()
    {
        if (auto *input = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
            boxes << QStringList{input->windowTitle(), input->labelText(), input->textValue()}.join(
                '|');
            if (!texts_.empty()) {
                input->setTextValue(texts_.front());
                texts_.pop_front();
            }
            input->accept();
            return;
        }
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        boxes << messageBox(box->text(), box->windowTitle(), box->parentWidget(),
                            box->informativeText(), box->standardButtons(), box->icon());
        if (!box->detailedText().isEmpty())
            details << box->detailedText();
        QAbstractButton *button =
            box->button(answers_.empty() ? QMessageBox::Ok : answers_.front());
        if (!answers_.empty())
            answers_.pop_front();
        (button ? button : box->buttons().first())->click();
    }

    QTimer timer_;
    std::deque<QMessageBox::StandardButton> answers_;
    std::deque<QString> texts_;
};
