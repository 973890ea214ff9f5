#include "MergeDialog.h"

#include "FileNameDialogs.h"
#include "ToolProtocol.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

MergeDialog::MergeDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Merge EDIDs"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("mergeInputs"));
    sources_ = new QComboBox(this);
    sources_->setObjectName(QStringLiteral("mergeSource"));
    for (const EdidSource &source : kEdidSources)
        sources_->addItem(QString::fromLatin1(source.name));
    auto *addFile = new QPushButton(tr("Add File..."), this);
    addFile->setObjectName(QStringLiteral("mergeAddFile"));
    auto *addSource = new QPushButton(tr("Add Source"), this);
    addSource->setObjectName(QStringLiteral("mergeAddSource"));
    auto *remove = new QPushButton(tr("Remove"), this);
    remove->setObjectName(QStringLiteral("mergeRemove"));
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(false);

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("The displays' EDIDs, the first one's identity kept:"), this),
                      0, 0, 1, 3);
    layout->addWidget(list_, 1, 0, 1, 3);
    layout->addWidget(addFile, 2, 0);
    layout->addWidget(sources_, 2, 1);
    layout->addWidget(addSource, 2, 2);
    layout->addWidget(remove, 3, 0);
    layout->addWidget(buttons_, 4, 0, 1, 3);

    connect(addFile, &QPushButton::clicked, this, [this] {
        const QString file = askFileNameToOpen(this);
        if (!file.isEmpty())
            add({file, -1}, file);
    });
    connect(addSource, &QPushButton::clicked, this, [this] {
        add({QString(), sources_->currentIndex()}, tr("Tool: %1").arg(sources_->currentText()));
    });
    connect(remove, &QPushButton::clicked, this, &MergeDialog::removeSelected);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void MergeDialog::add(const MergeInput &input, const QString &label)
{
    inputs_.push_back(input);
    list_->addItem(label);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(inputs_.size() >= 2);
}

void MergeDialog::removeSelected()
{
    const int row = list_->currentRow();
    if (row < 0)
        return;
    inputs_.erase(inputs_.begin() + row);
    delete list_->takeItem(row);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(inputs_.size() >= 2);
}
