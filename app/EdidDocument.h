#pragma once

#include "EdidDescription.h"
#include "EdidEdit.h"
#include "EdidImage.h"

#include <QObject>
#include <QTimer>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class QTextEdit;

// An edit or an undo as the pane last took it: the EDID before and after, and what the edit
// says the user should know.
struct EdidStep {
    bool undone;
    EdidImage before;
    EdidImage after;
    std::vector<std::string> notes;
};

// What the window's pane says, for the views that show it. The pane stays the one store of the
// EDID, and every operation of the window parses it; this follows the pane's text, parses it once
// after each change, and holds the image it gives (or why it gives none), its description, and the
// images before each edit for Ctrl+Z. Edits and undos reach the pane through replaced(), which
// the main window shows.
class EdidDocument : public QObject {
    Q_OBJECT

public:
    EdidDocument(QTextEdit *pane, QObject *parent);

    // The pane's text as it stands: an EDID of 256 bytes, or a base block alone (128 bytes, its
    // block 1 taken as empty, as the command line reads a 128-byte dump); else the problem.
    bool holdsEdid() const { return parsed().size > 0; }
    const EdidImage &image() const { return parsed().image; }
    std::size_t size() const { return parsed().size; } // 0 when the pane holds no EDID
    const std::string &problem() const { return parsed().problem; }
    const std::optional<EdidDescription> &description() const { return parsed().description; }

    // Changes the pane's EDID by this edit; returns why it could not (the pane holds no EDID, or
    // the edit refused), empty when the result went to the pane.
    std::string applyEdit(const EdidEdit &edit);
    // Puts back the EDID from before the last edit. The steps back last while the pane holds what
    // the edits put there: any other change of the pane ends them.
    bool canUndo() const;
    void undo();
    // The last edit or undo, while the pane holds its result.
    const std::optional<EdidStep> &lastStep() const;

    // Marks these bytes of the pane (none: no mark); the pane's text and formats stay as they are.
    void markBytes(const ByteRange &bytes);

signals:
    // The pane's text changed: sent once after the changes that arrive together.
    void changed();
    // An edit's or an undo's result for the pane, as many bytes of it as the pane held.
    void replaced(const EdidImage &image, std::size_t size);
    void bytesMarked(const ByteRange &bytes);

private:
    struct Parsed {
        EdidImage image;
        std::size_t size = 0;
        std::string problem;
        std::optional<EdidDescription> description;
    };
    const Parsed &parsed() const;
    void paneChanged();
    void settle();
    void show(EdidStep step);
    bool paneHoldsLastStep() const { return paneChanges_ == changesAfterStep_; }

    QTextEdit *pane_;
    QTimer settling_;
    mutable std::optional<Parsed> parsed_; // of the pane's text since its last change
    unsigned long paneChanges_ = 0;        // the pane's changes, counted
    unsigned long changesAfterStep_ = 0;   // the count when the last step was shown
    std::vector<EdidImage> history_;       // the images before each edit, the last last
    std::optional<EdidStep> lastStep_;
};
