#pragma once

#include "EdidDescription.h"
#include "EdidDescriptionTree.h"
#include "EdidEdit.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <vector>

class QAction;
class QLabel;
class QMenuBar;
class QLineEdit;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

// What the pane's EDID says, beside the main window: the findings first, then the description in
// the order of the bytes, each row with the bytes it comes from. It follows the pane as the
// operator edits, and a selected row's bytes are marked in the pane without touching its text.
// Its Edit menu changes fields of the pane's EDID; the main window shows each result in the pane.
class EdidDetailsWindow : public QWidget {
    Q_OBJECT

public:
    // parent: the main window, whose pane is followed; the details are a window of their own.
    EdidDetailsWindow(QTextEdit *pane, QWidget *parent);

    // Decodes the pane's text again and shows it; the row the operator selected stays selected
    // whenever the description has a row of the same labels.
    void refresh();

    // Changes the pane's EDID by this edit and has the result shown; a pane that holds no whole
    // EDID, or an edit that cannot apply, is said in a box and changes nothing.
    bool applyEdit(const EdidEdit &edit);
    // Puts back the EDID from before the last edit. The steps back last while the pane holds
    // what the edits put there: text typed into the pane ends them (the pane undoes its own).
    void undoEdit();

signals:
    // An image for the pane, shown as a loaded binary file is: an edit's result or an undo's.
    void edidEdited(const EdidImage &image);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void scheduleRefresh();
    // The pane's text as an image; false, with the parser's problem, when it holds none.
    bool paneImage(EdidImage &image, std::string *problem = nullptr) const;
    // Makes the rows below parent (the top when null) show these lines, reusing the rows there.
    void syncLines(const std::vector<DescriptionLine> &lines, QTreeWidgetItem *parent);
    // Selects the first row whose label or value holds the find text; next: after the selected.
    void findRow(bool next);
    // Marks the selected row's bytes in the pane as an extra selection.
    void markSelectedBytes();

    // The Edit menu and the dialogs that ask for an edit's argument.
    void addEditMenu(QMenuBar *bar);
    void editWithText(EdidEditKind kind, const QString &title, const QString &label,
                      const QString &current);
    // items are shown, arguments handed to the edit; an editable list also takes typed text.
    void editWithChoice(EdidEditKind kind, const QString &title, const QString &label,
                        const QStringList &items, const QStringList &arguments, int current,
                        bool editable);
    // Shows after in the pane and says what changed from before.
    void showEdited(const EdidImage &before, const EdidImage &after, const QString &done,
                    const std::vector<std::string> &notes);
    void paneChanged();

    QTextEdit *pane_;
    QLabel *problem_;
    QLineEdit *find_;
    QTreeWidget *tree_;
    bool refreshPending_ = false;
    bool reshaped_ = false; // rows came or went in the last refresh
    bool syncing_ = false;
    QStringList selectedPath_; // the labels of the row the operator selected
    QLabel *changes_;          // what the last edit changed
    QAction *undo_ = nullptr;
    QList<QAction *> edits_;                     // need a whole EDID in the pane
    std::optional<EdidDescription> description_; // of the pane, when it holds a whole EDID
    std::vector<EdidImage> history_;             // the images before each edit, the last last
    bool showingEdit_ = false;
};
