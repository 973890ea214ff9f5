// The details window's Edit menu: each entry asks for what its edit needs and applies it to the
// pane's EDID through the pane's document, which hands the result to the main window for the pane.

#include "EdidDetailsWindow.h"

#include "EdidDocument.h"

#include "EdidFieldDiff.h"
#include "EdidModes.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <functional>
#include <tuple>

namespace {

constexpr int kChangesShown = 8; // lines of what an edit changed; a count says the rest

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

// "1920x1080@60", "1920x1080i@60": the form an edit finds a table mode by.
QString modeText(const VideoMode &mode)
{
    return QStringLiteral("%1x%2%3@%4")
        .arg(mode.hActive)
        .arg(mode.vActive)
        .arg(mode.interlaced ? QStringLiteral("i") : QString())
        .arg(fromStd(refreshText(refreshRate(mode))));
}

const HdmiVsdb *hdmiVsdb(const EdidDescription &description)
{
    if (description.cta)
        for (const CtaDataBlock &block : description.cta->dataBlocks)
            if (const auto *vsdb = std::get_if<HdmiVsdb>(&block.payload))
                return vsdb;
    return nullptr;
}

std::vector<ShortVideoDescriptor> videoDescriptors(const EdidDescription &description)
{
    std::vector<ShortVideoDescriptor> found;
    if (description.cta)
        for (const CtaDataBlock &block : description.cta->dataBlocks)
            if (const auto *video = std::get_if<VideoBlock>(&block.payload))
                found.insert(found.end(), video->descriptors.begin(), video->descriptors.end());
    return found;
}

QString vicText(unsigned vic)
{
    const VideoMode *mode = ctaVideoMode(vic);
    return QStringLiteral("VIC %1: %2")
        .arg(vic)
        .arg(mode ? fromStd(modeName(*mode)) : QStringLiteral("reserved"));
}

} // namespace

void EdidDetailsWindow::addEditMenu(QMenuBar *bar)
{
    QMenu *menu = bar->addMenu(tr("Edit"));
    menu->setObjectName(QStringLiteral("menuDetailsEdit"));
    undo_ = menu->addAction(tr("Undo Edit"), this, &EdidDetailsWindow::undoEdit);
    undo_->setObjectName(QStringLiteral("actionUndoEdit"));
    undo_->setShortcut(QKeySequence::Undo);
    undo_->setEnabled(false);
    menu->addSeparator();
    addFieldEdits(menu);
    addVicEdits(menu);
    QMenu *audio = menu->addMenu(tr("Audio"));
    audio->setObjectName(QStringLiteral("menuDetailsAudio"));
    const auto preset = [this](const char *name) {
        return [this, name] { applyEdit({EdidEditKind::SetAudio, name}); };
    };
    addEditEntry(audio, tr("No Audio"), "actionAudioNone", EdidEditKind::SetAudio, preset("none"));
    addEditEntry(audio, tr("Stereo LPCM"), "actionAudioLpcm2", EdidEditKind::SetAudio,
                 preset("lpcm2"));
    addEditEntry(audio, tr("8-Channel LPCM"), "actionAudioLpcm8", EdidEditKind::SetAudio,
                 preset("lpcm8"));
    menu->addSeparator();
    addBlockEdits(menu);
    addOtherEdits(menu);
}

// The entries are enabled only while the pane holds an EDID, which they describe; a base block
// alone takes the edits that need no extension (refresh() decides by the kind).
void EdidDetailsWindow::addEditEntry(QMenu *menu, const QString &text, const char *name,
                                     EdidEditKind kind, const std::function<void()> &ask)
{
    QAction *action = menu->addAction(text, this, [this, ask] {
        if (document_->holdsEdid())
            ask();
    });
    action->setObjectName(QLatin1String(name));
    action->setData(int(kind));
    edits_.append(action);
}

void EdidDetailsWindow::addFieldEdits(QMenu *menu)
{
    using K = EdidEditKind;
    addEditEntry(menu, tr("Set Name..."), "actionSetName", K::SetName, [this] {
        QString name;
        for (const Descriptor &descriptor : document_->description()->base.descriptors)
            if (descriptor.kind == Descriptor::Kind::ProductName)
                name = fromStd(std::get<DisplayText>(descriptor.payload).text);
        editWithText(K::SetName, tr("Set Name"), tr("Product name (up to 13 characters):"), name);
    });
    addEditEntry(menu, tr("Set Serial Number..."), "actionSetSerial", K::SetSerial, [this] {
        editWithText(K::SetSerial, tr("Set Serial Number"), tr("Serial number (0-4294967295):"),
                     QString::number(document_->description()->base.serialNumber.value));
    });
    addEditEntry(menu, tr("Set Physical Address..."), "actionSetPhysicalAddress",
                 K::SetPhysicalAddress, [this] {
                     const HdmiVsdb *vsdb = hdmiVsdb(*document_->description());
                     const std::array<unsigned, 4> address =
                         vsdb && vsdb->physicalAddress ? *vsdb->physicalAddress
                                                       : std::array<unsigned, 4>{1, 0, 0, 0};
                     editWithText(K::SetPhysicalAddress, tr("Set Physical Address"),
                                  tr("CEC physical address (A.B.C.D):"),
                                  fromStd(physicalAddressText(address)));
                 });
    addEditEntry(
        menu, tr("Set Preferred Timing..."), "actionSetPreferred", K::SetPreferred, [this] {
            // The EDID's own timings as the tree words them ("DTD 2", not "DTD
            // offset"), then the CTA-861 table.
            static const QRegularExpression dtdLabel(QStringLiteral("^DTD \\d+$"));
            QStringList items;
            QStringList arguments;
            for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
                const QString label = (*it)->text(0);
                if (dtdLabel.match(label).hasMatch()) {
                    items << label + QStringLiteral(": ") + (*it)->text(1);
                    arguments << QStringLiteral("dtd:") + label.mid(4);
                }
            }
            for (unsigned vic = 1; vic < 256; ++vic)
                if (ctaVideoMode(vic)) {
                    items << vicText(vic);
                    arguments << QStringLiteral("vic:%1").arg(vic);
                }
            editWithChoice(K::SetPreferred, tr("Set Preferred Timing"),
                           tr("The mode DTD 1 takes (or type WIDTHxHEIGHT@HZ or a modeline):"),
                           items, arguments, 0, true);
        });
}

void EdidDetailsWindow::chooseVic(EdidEditKind kind, const QString &title, unsigned highest)
{
    QStringList items;
    QStringList arguments;
    int current = 0;
    const QString selected = tree_->currentItem() ? tree_->currentItem()->text(0) : QString();
    for (const ShortVideoDescriptor &svd : videoDescriptors(*document_->description()))
        if (svd.vic <= highest && !arguments.contains(QString::number(svd.vic))) {
            if (selected == QStringLiteral("VIC %1").arg(svd.vic))
                current = int(items.size());
            items << vicText(svd.vic);
            arguments << QString::number(svd.vic);
        }
    if (items.isEmpty()) {
        QMessageBox::information(this, tr("EDID Details"),
                                 tr("The EDID lists no VIC that this edit takes."));
        return;
    }
    editWithChoice(kind, title, tr("VIC:"), items, arguments, current, false);
}

void EdidDetailsWindow::addVicEdits(QMenu *menu)
{
    using K = EdidEditKind;
    addEditEntry(menu, tr("Remove VIC..."), "actionRemoveVic", K::RemoveVic,
                 [this] { chooseVic(K::RemoveVic, tr("Remove VIC"), 255); });
    addEditEntry(menu, tr("Mark VIC Native..."), "actionSetNativeVic", K::SetNativeVic, [this] {
        chooseVic(K::SetNativeVic, tr("Mark VIC Native"), 64); // a native SVD: 1-64
    });
    addEditEntry(menu, tr("Limit to Mode..."), "actionLimit", K::Limit, [this] {
        // The EDID's own VICs and the usual limits, largest first.
        std::vector<VideoMode> modes;
        for (const ShortVideoDescriptor &svd : videoDescriptors(*document_->description()))
            if (const VideoMode *mode = ctaVideoMode(svd.vic))
                modes.push_back(*mode);
        for (unsigned vic : {97u, 95u, 16u, 31u, 4u})
            modes.push_back(*ctaVideoMode(vic));
        const auto key = [](const VideoMode &m) {
            return std::make_tuple(m.hActive * m.vActive, !m.interlaced, m.pixelClockKhz);
        };
        std::sort(modes.begin(), modes.end(),
                  [&](const VideoMode &a, const VideoMode &b) { return key(a) > key(b); });
        QStringList items;
        for (const VideoMode &mode : modes)
            if (!items.contains(modeText(mode)))
                items << modeText(mode);
        editWithChoice(K::Limit, tr("Limit to Mode"),
                       tr("Remove every timing above (or type WIDTHxHEIGHT@HZ):"), items, items,
                       std::max(0, int(items.indexOf(QStringLiteral("1920x1080@60")))), true);
    });
}

void EdidDetailsWindow::addBlockEdits(QMenu *menu)
{
    using K = EdidEditKind;
    const auto direct = [this](EdidEditKind kind) {
        return [this, kind] { applyEdit({kind, {}}); };
    };
    addEditEntry(menu, tr("Add HDMI VSDB"), "actionAddHdmiVsdb", K::AddHdmiVsdb,
                 direct(K::AddHdmiVsdb));
    addEditEntry(menu, tr("Remove HDR Static Metadata"), "actionRemoveHdr", K::RemoveHdr,
                 direct(K::RemoveHdr));
    addEditEntry(menu, tr("Remove YCbCr 4:2:0"), "actionRemoveYcbcr420", K::RemoveYcbcr420,
                 direct(K::RemoveYcbcr420));
    addEditEntry(menu, tr("Remove HDMI Forum Blocks"), "actionRemoveHdmiForum", K::RemoveHdmiForum,
                 direct(K::RemoveHdmiForum));
}

// Every edit of the table that has no entry above: "set-vendor" is "Set Vendor...", asking for
// its argument as the command line takes it.
void EdidDetailsWindow::addOtherEdits(QMenu *menu)
{
    QMenu *other = menu->addMenu(tr("Other Edits"));
    other->setObjectName(QStringLiteral("menuDetailsOther"));
    for (const EdidEditInfo &info : edidEditKinds()) {
        if (std::any_of(edits_.begin(), edits_.end(),
                        [&](const QAction *action) { return action->data() == int(info.kind); }))
            continue;
        QString title;
        for (const QString &word : QString::fromLatin1(info.name).split(QLatin1Char('-')))
            title += (title.isEmpty() ? QString() : QStringLiteral(" ")) + word.left(1).toUpper() +
                     word.mid(1);
        const QByteArray name = "action-" + QByteArray(info.name);
        const EdidEditKind kind = info.kind;
        if (!info.argument) {
            addEditEntry(other, title, name.constData(), kind, [this, kind] {
                applyEdit({kind, {}});
            });
            continue;
        }
        const QString label = QString::fromLatin1(info.description);
        addEditEntry(other, title + QStringLiteral("..."), name.constData(), kind,
                     [this, kind, title, label] { editWithText(kind, title, label, QString()); });
    }
}

void EdidDetailsWindow::editWithText(EdidEditKind kind, const QString &title, const QString &label,
                                     const QString &current)
{
    bool ok = false;
    const QString text = QInputDialog::getText(this, title, label, QLineEdit::Normal, current, &ok);
    if (ok)
        applyEdit({kind, text.toStdString()});
}

void EdidDetailsWindow::editWithChoice(EdidEditKind kind, const QString &title,
                                       const QString &label, const QStringList &items,
                                       const QStringList &arguments, int current, bool editable)
{
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, title, label, items, current, editable, &ok);
    if (!ok)
        return;
    const qsizetype index = items.indexOf(chosen);
    applyEdit({kind, (index < 0 ? chosen : arguments[index]).trimmed().toStdString()});
}

void EdidDetailsWindow::applyEdit(const EdidEdit &edit)
{
    if (!document_->holdsEdid()) {
        QMessageBox::warning(
            this, tr("EDID Details"),
            tr("The pane holds no whole EDID: %1.").arg(fromStd(document_->problem())));
        return;
    }
    const std::string refusal = document_->applyEdit(edit);
    if (!refusal.empty()) {
        QMessageBox::warning(this, tr("EDID Details"),
                             tr("The EDID was not changed: %1.").arg(fromStd(refusal)));
        return;
    }
    showSteps();
}

void EdidDetailsWindow::undoEdit()
{
    if (!document_->canUndo())
        return;
    document_->undo();
    showSteps();
}

void EdidDetailsWindow::showSteps()
{
    undo_->setEnabled(document_->canUndo());
    const std::optional<EdidStep> &step = document_->lastStep();
    if (!step)
        return;
    QStringList lines{(step->undone ? tr("Undone") : tr("Changed")) + QLatin1Char(':')};
    const std::vector<FieldDifference> differences =
        fieldDifferences(decodeEdid(step->before), decodeEdid(step->after));
    for (std::size_t i = 0; i < differences.size() && i < kChangesShown; ++i)
        lines << QStringLiteral("  ") + fromStd(differences[i].text());
    if (differences.size() > kChangesShown)
        lines << tr("  and %1 more").arg(differences.size() - kChangesShown);
    if (differences.empty())
        lines << tr("  nothing the EDID says changed");
    for (const std::string &note : step->notes)
        lines << fromStd(note);
    changes_->setText(lines.join(QLatin1Char('\n')));
    changes_->show();
}
