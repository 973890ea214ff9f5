#pragma once

#include "EdidDescriptionTree.h"
#include "EdidEdit.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <vector>

class EdidDocument;
class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// What the pane's EDID says, beside the main window: the findings first, then the description in
// the order of the bytes, each row with the bytes it comes from. It follows the pane's document as
// the operator edits, and a selected row's bytes are marked in the pane without touching its text.
// Its Edit menu changes fields of the pane's EDID through the document.
class EdidDetailsWindow : public QWidget {
    Q_OBJECT

public:
    // parent: the main window, whose pane the document follows; the details are a window of
    // their own.
    EdidDetailsWindow(EdidDocument *document, QWidget *parent);

    // Beside this window where the screen has room, at the usual size or what the screen's free
    // area leaves; else as far to the right as fits.
    void placeBeside(const QWidget *window);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Shows what the document says; the row the operator selected stays selected whenever the
    // description has a row of the same labels.
    void refresh();
    // Makes the rows below parent (the top when null) show these lines, reusing the rows there.
    void syncLines(const std::vector<DescriptionLine> &lines, QTreeWidgetItem *parent);
    // Selects the first row from the top whose label or value holds the find text; next: the
    // first after the selected, round to the top.
    void findRow(bool next);
    // Marks the selected row's bytes in the pane as an extra selection.
    void markSelectedBytes();

    // The Edit menu: an entry for every edit of the table, and the dialogs that ask for an
    // edit's argument.
    void addEditMenu(QMenuBar *bar);
    void addEditEntry(QMenu *menu, const QString &text, const char *name, EdidEditKind kind,
                      const std::function<void()> &ask);
    void addFieldEdits(QMenu *menu);
    void addVicEdits(QMenu *menu);
    void addBlockEdits(QMenu *menu);
    void addOtherEdits(QMenu *menu);
    // Offers the EDID's VICs up to highest, the one selected in the tree first.
    void chooseVic(EdidEditKind kind, const QString &title, unsigned highest);
    void editWithText(EdidEditKind kind, const QString &title, const QString &label,
                      const QString &current);
    // items are shown, arguments handed to the edit; an editable list also takes typed text.
    void editWithChoice(EdidEditKind kind, const QString &title, const QString &label,
                        const QStringList &items, const QStringList &arguments, int current,
                        bool editable);
    // Changes the pane's EDID by this edit; a pane that holds no whole EDID, or an edit that
    // cannot apply, is said in a box and changes nothing.
    void applyEdit(const EdidEdit &edit);
    void undoEdit();
    // Says below the tree what the document's last step changed; enables Undo while there is one.
    void showSteps();

    EdidDocument *document_;
    QLabel *problem_;
    QLineEdit *find_;
    QTreeWidget *tree_;
    bool reshaped_ = false; // rows came or went in the last refresh
    bool syncing_ = false;
    QStringList selectedPath_; // the labels of the row the operator selected
    QLabel *changes_;          // what the last edit changed
    QAction *undo_ = nullptr;
    QList<QAction *> edits_; // need a whole EDID in the pane
};
