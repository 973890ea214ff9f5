#pragma once

#include <QString>

#include <functional>

class QWidget;

// The operator's choice of a file to load from or save to; empty when the dialog was cancelled.
QString askFileNameToOpen(QWidget *parent);
QString askFileNameToSave(QWidget *parent);

// Lets tests answer in place of the dialogs; an empty function brings the dialogs back.
enum class FileNameDialog { Open, Save };
using FileNameAnswer = std::function<QString(FileNameDialog dialog, QWidget *parent)>;
void setFileNameAnswer(FileNameAnswer answer);
