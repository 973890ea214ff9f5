#include "EdidDetailsWindow.h"

#include "EdidDocument.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { kLabel, kValue, kBytes };
constexpr QSize kUsualSize(760, 620);    // the Bytes column in view beside the widest values
constexpr int kRangeRole = Qt::UserRole; // the row's bytes as (offset, length)

QString bytesText(const ByteRange &bytes)
{
    if (bytes.length == 0)
        return QString();
    const auto hex = [](std::size_t offset) {
        return QStringLiteral("0x%1")
            .arg(offset, 2, 16, QLatin1Char('0'))
            .toUpper()
            .replace(QStringLiteral("0X"), QStringLiteral("0x"));
    };
    return bytes.length == 1
               ? hex(bytes.offset)
               : hex(bytes.offset) + QLatin1Char('-') + hex(bytes.offset + bytes.length - 1);
}

// The labels from the top to this row: what names a row across refreshes.
QStringList labelPath(const QTreeWidgetItem *item)
{
    QStringList path;
    for (; item; item = item->parent())
        path.prepend(item->text(kLabel));
    return path;
}

QTreeWidgetItem *findPath(QTreeWidget *tree, const QStringList &path)
{
    QTreeWidgetItem *found = nullptr;
    for (const QString &label : path) {
        const int count = found ? found->childCount() : tree->topLevelItemCount();
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; i < count && !next; ++i) {
            QTreeWidgetItem *child = found ? found->child(i) : tree->topLevelItem(i);
            if (child->text(kLabel) == label)
                next = child;
        }
        if (!next)
            return nullptr;
        found = next;
    }
    return found;
}

} // namespace

EdidDetailsWindow::EdidDetailsWindow(EdidDocument *document, QWidget *parent)
    : QWidget(parent, Qt::Window), document_(document), problem_(new QLabel(this)),
      find_(new QLineEdit(this)), tree_(new QTreeWidget(this)), changes_(new QLabel(this))
{
    setObjectName(QStringLiteral("EdidDetails"));
    setWindowTitle(tr("EDID Details"));
    tree_->setObjectName(QStringLiteral("EdidDetailsTree"));
    tree_->setColumnCount(3);
    tree_->setHeaderLabels({tr("Field"), tr("Value"), tr("Bytes")});
    // The value takes what the label and the bytes leave; those two are fitted to their rows
    // when rows come or go, not on every keystroke.
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(kValue, QHeaderView::Stretch);
    tree_->setUniformRowHeights(true);
    problem_->setObjectName(QStringLiteral("EdidDetailsProblem"));
    problem_->setWordWrap(true);
    problem_->hide();
    find_->setObjectName(QStringLiteral("EdidDetailsFind"));
    find_->setPlaceholderText(tr("Find a field or a value (Enter: the next one)"));
    find_->setClearButtonEnabled(true);
    connect(find_, &QLineEdit::textEdited, this, [this] { findRow(false); });
    connect(find_, &QLineEdit::returnPressed, this, [this] { findRow(true); });
    find_->installEventFilter(this);
    changes_->setObjectName(QStringLiteral("EdidDetailsChanges"));
    changes_->setWordWrap(true);
    changes_->setTextFormat(Qt::PlainText);
    changes_->hide();
    auto *layout = new QVBoxLayout(this);
    auto *bar = new QMenuBar(this);
    addEditMenu(bar);
    layout->setMenuBar(bar);
    layout->addWidget(problem_);
    layout->addWidget(find_);
    layout->addWidget(tree_);
    layout->addWidget(changes_); // below, so that the rows stay where they are
    resize(kUsualSize);

    connect(document_, &EdidDocument::changed, this, [this] {
        // A change that was no step of the Edit menu ends the steps back.
        undo_->setEnabled(document_->canUndo());
        if (!document_->lastStep())
            changes_->hide();
        // A hidden window catches up when it is shown again.
        if (isVisible())
            refresh();
    });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        // The operator's choice, kept through texts that are no whole EDID for a moment.
        if (!syncing_)
            selectedPath_ = labelPath(current);
        markSelectedBytes();
    });
}

void EdidDetailsWindow::placeBeside(const QWidget *window)
{
    // This window's frame is taken to be as thick as the other's, which is shown already.
    const QRect free = window->screen()->availableGeometry();
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    resize(kUsualSize.boundedTo(free.size().shrunkBy(frame)));
    QRect placed(outer.topRight() + QPoint(8, 0), size().grownBy(frame));
    placed.moveRight(std::min(placed.right(), free.right()));
    placed.moveBottom(std::min(placed.bottom(), free.bottom()));
    placed.moveLeft(std::max(placed.left(), free.left()));
    placed.moveTop(std::max(placed.top(), free.top()));
    move(placed.topLeft());
}

bool EdidDetailsWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Ctrl+Z in an empty find box steps back through the edits, whatever was typed there before.
    if (watched == find_ && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Undo) && find_->text().isEmpty()) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void EdidDetailsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void EdidDetailsWindow::refresh()
{
    const bool whole = document_->holdsEdid();
    problem_->setVisible(!whole);
    problem_->setText(whole ? QString()
                            : tr("The pane holds no whole EDID: %1.")
                                  .arg(QString::fromStdString(document_->problem())));
    std::vector<DescriptionLine> sections;
    if (whole) {
        sections = describeEdid(*document_->description());
        // What is wrong comes first, where the operator looks.
        std::rotate(sections.rbegin(), sections.rbegin() + 1, sections.rend());
    }
    for (QAction *edit : std::as_const(edits_))
        edit->setEnabled(whole &&
                         (document_->size() == EdidImage::kSize ||
                          !edidEditInfo(EdidEditKind(edit->data().toInt())).needsExtension));
    reshaped_ = false;
    syncing_ = true;
    syncLines(sections, nullptr);
    if (reshaped_) {
        tree_->resizeColumnToContents(kLabel);
        tree_->resizeColumnToContents(kBytes);
    }
    QTreeWidgetItem *again = findPath(tree_, selectedPath_);
    if (again != tree_->currentItem())
        tree_->setCurrentItem(again);
    else
        markSelectedBytes(); // the same row, perhaps with other bytes
    syncing_ = false;
}

void EdidDetailsWindow::syncLines(const std::vector<DescriptionLine> &lines,
                                  QTreeWidgetItem *parent)
{
    // Rows keep their place while the EDID keeps its shape, so that a keystroke only rewrites the
    // values that changed.
    const auto count = [&] { return parent ? parent->childCount() : tree_->topLevelItemCount(); };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const DescriptionLine &line = lines[i];
        QTreeWidgetItem *item = int(i) < count()
                                    ? (parent ? parent->child(int(i)) : tree_->topLevelItem(int(i)))
                                    : nullptr;
        const bool added = !item;
        if (added) {
            item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
            reshaped_ = true;
        }
        const QString texts[] = {QString::fromStdString(line.label),
                                 QString::fromStdString(line.value), bytesText(line.bytes)};
        for (int column : {kLabel, kValue, kBytes})
            if (item->text(column) != texts[column])
                item->setText(column, texts[column]);
        item->setToolTip(kValue, texts[kValue]);
        item->setData(kLabel, kRangeRole, QPoint(int(line.bytes.offset), int(line.bytes.length)));
        syncLines(line.children, item);
        if (added)
            item->setExpanded(true);
    }
    while (count() > int(lines.size())) {
        delete (parent ? parent->takeChild(count() - 1) : tree_->takeTopLevelItem(count() - 1));
        reshaped_ = true;
    }
}

void EdidDetailsWindow::findRow(bool next)
{
    const QString wanted = find_->text();
    if (wanted.isEmpty())
        return;
    // In the order of the rows: from the top, or from the one after the selected round to it.
    std::vector<QTreeWidgetItem *> rows;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it)
        rows.push_back(*it);
    const auto current = std::find(rows.begin(), rows.end(), tree_->currentItem());
    if (next && current != rows.end())
        std::rotate(rows.begin(), current + 1, rows.end());
    for (QTreeWidgetItem *row : rows)
        if (row->text(kLabel).contains(wanted, Qt::CaseInsensitive) ||
            row->text(kValue).contains(wanted, Qt::CaseInsensitive)) {
            tree_->setCurrentItem(row);
            tree_->scrollToItem(row);
            return;
        }
}

void EdidDetailsWindow::markSelectedBytes()
{
    const QTreeWidgetItem *item = tree_->currentItem();
    const QPoint range = item ? item->data(kLabel, kRangeRole).toPoint() : QPoint();
    document_->markBytes({std::size_t(range.x()), std::size_t(range.y())});
}
