#pragma once

#include <QDialog>

#include <vector>

class QComboBox;
class QDialogButtonBox;
class QListWidget;

// One EDID to merge: a file, or a source of the tool (an index into kEdidSources).
struct MergeInput {
    QString file;    // empty for a source of the tool
    int source = -1; // -1 for a file
};

// File > Merge...: the list of EDIDs to merge, built with "Add File..." and the tool's sources;
// OK once it holds two.
class MergeDialog : public QDialog {
    Q_OBJECT

public:
    explicit MergeDialog(QWidget *parent);

    const std::vector<MergeInput> &inputs() const { return inputs_; }

private:
    void add(const MergeInput &input, const QString &label);
    void removeSelected();

    std::vector<MergeInput> inputs_;
    QListWidget *list_;
    QComboBox *sources_;
    QDialogButtonBox *buttons_;
};
