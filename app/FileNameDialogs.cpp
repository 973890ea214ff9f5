#include "FileNameDialogs.h"

#include <QFileDialog>

namespace {
FileNameAnswer &fileNameAnswer()
{
    static FileNameAnswer answer;
    return answer;
}
} // namespace

void setFileNameAnswer(FileNameAnswer answer)
{
    fileNameAnswer() = std::move(answer);
}

QString askFileNameToOpen(QWidget *parent)
{
    if (fileNameAnswer())
        return fileNameAnswer()(FileNameDialog::Open, parent);
    return QFileDialog::getOpenFileName(parent, QString(), QString(), QString(), nullptr,
                                        QFileDialog::Options());
}

QString askFileNameToSave(QWidget *parent)
{
    if (fileNameAnswer())
        return fileNameAnswer()(FileNameDialog::Save, parent);
    return QFileDialog::getSaveFileName(parent, QString(), QString(), QString(), nullptr,
                                        QFileDialog::Options());
}
