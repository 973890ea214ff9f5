#pragma once

#include "EdidDescriptionTree.h"

#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

// What the pane's EDID says, beside the main window: the findings first, then the description in
// the order of the bytes, each row with the bytes it comes from. It follows the pane as the
// operator edits, and a selected row's bytes are marked in the pane without touching its text.
class EdidDetailsWindow : public QWidget {
    Q_OBJECT

public:
    // parent: the main window, whose pane is followed; the details are a window of their own.
    EdidDetailsWindow(QTextEdit *pane, QWidget *parent);

    // Decodes the pane's text again and shows it; the row the operator selected stays selected
    // whenever the description has a row of the same labels.
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void scheduleRefresh();
    // Makes the rows below parent (the top when null) show these lines, reusing the rows there.
    void syncLines(const std::vector<DescriptionLine> &lines, QTreeWidgetItem *parent);
    // Selects the first row whose label or value holds the find text; next: after the selected.
    void findRow(bool next);
    // Marks the selected row's bytes in the pane as an extra selection.
    void markSelectedBytes();

    QTextEdit *pane_;
    QLabel *problem_;
    QLineEdit *find_;
    QTreeWidget *tree_;
    bool refreshPending_ = false;
    bool reshaped_ = false; // rows came or went in the last refresh
    bool syncing_ = false;
    QStringList selectedPath_; // the labels of the row the operator selected
};
