#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>

// What the operator was shown in one modal message box.
struct ShownBox {
    QString title;
    QString text;
    QString informativeText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool hasParent = false;
    Qt::WindowModality modality = Qt::NonModal;
};

// Answers every modal message box that opens while it lives and records what it showed.
// Boxes are answered with the queued answers in turn, then with OK (or the only button).
// Any other modal dialog (a file dialog) is cancelled and counted.
class MessageBoxWatcher : public QObject {
    Q_OBJECT

public:
    MessageBoxWatcher();

    void answerNext(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
    const QList<ShownBox> &boxes() const { return boxes_; }
    QStringList texts() const;
    int cancelledDialogs() const { return cancelledDialogs_; }

private:
    void poll();

    QTimer timer_;
    std::deque<QMessageBox::StandardButton> answers_;
    QList<ShownBox> boxes_;
    int cancelledDialogs_ = 0;
};
