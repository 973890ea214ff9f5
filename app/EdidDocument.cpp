#include "EdidDocument.h"

#include "HexText.h"

#include <QTextEdit>

#include <string_view>

namespace {

// The text of a base block alone followed by an empty block 1: a whole EDID's text exactly when
// the text holds the 128 groups of a base block.
std::string withEmptyBlock1(std::string_view text)
{
    const std::size_t end = text.find_last_not_of(" \t\n\r\v\f");
    const std::string empty = edidHexText(EdidImage{});
    return std::string(text.substr(0, end == std::string_view::npos ? 0 : end + 1)) + '\n' +
           empty.substr(empty.size() / 2);
}

} // namespace

EdidDocument::EdidDocument(QTextEdit *pane, QObject *parent) : QObject(parent), pane_(pane)
{
    // Keystrokes that arrive together, and an image rendered group by group, are one change.
    settling_.setSingleShot(true);
    settling_.setInterval(0);
    connect(&settling_, &QTimer::timeout, this, &EdidDocument::settle);
    connect(pane_, &QTextEdit::textChanged, this, &EdidDocument::paneChanged);
}

const EdidDocument::Parsed &EdidDocument::parsed() const
{
    if (parsed_)
        return *parsed_;
    Parsed parsed;
    // Characters outside Latin-1 become '?', which no hex digit matches.
    const QByteArray text = pane_->toPlainText().toLatin1();
    const std::string_view view(text.constData(), std::size_t(text.size()));
    if (parseEdidHexText(view, parsed.image, &parsed.problem) >= 0)
        parsed.size = EdidImage::kSize;
    else if (parseEdidHexText(withEmptyBlock1(view), parsed.image) >= 0)
        parsed.size = EdidImage::kBlockSize;
    if (parsed.size > 0) {
        parsed.problem.clear();
        parsed.description = decodeEdid(parsed.image);
    }
    parsed_ = std::move(parsed);
    return *parsed_;
}

void EdidDocument::paneChanged()
{
    parsed_ = std::nullopt;
    ++paneChanges_;
    settling_.start();
}

void EdidDocument::settle()
{
    if (!paneHoldsLastStep()) {
        history_.clear();
        lastStep_ = std::nullopt;
        changesAfterStep_ = paneChanges_;
    }
    emit changed();
}

std::string EdidDocument::applyEdit(const EdidEdit &edit)
{
    if (!holdsEdid())
        return problem();
    const EditResult result = ::applyEdit(image(), edit);
    if (!result.image)
        return result.refusal;
    history_.push_back(image());
    show({false, image(), *result.image, result.notes});
    return {};
}

bool EdidDocument::canUndo() const
{
    return paneHoldsLastStep() && !history_.empty();
}

void EdidDocument::undo()
{
    if (!canUndo())
        return;
    EdidStep step{true, image(), history_.back(), {}};
    history_.pop_back();
    show(std::move(step));
}

const std::optional<EdidStep> &EdidDocument::lastStep() const
{
    static const std::optional<EdidStep> none;
    return paneHoldsLastStep() ? lastStep_ : none;
}

void EdidDocument::show(EdidStep step)
{
    const std::size_t size = this->size();
    lastStep_ = std::move(step);
    emit replaced(lastStep_->after, size);
    // Every change the pane reported while it took the image was this step's.
    changesAfterStep_ = paneChanges_;
}

void EdidDocument::markBytes(const ByteRange &bytes)
{
    emit bytesMarked(bytes);
}
