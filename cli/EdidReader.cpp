#include "EdidReader.h"

#include "HexText.h"

#include <QList>

#include <algorithm>
#include <vector>

namespace {

bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == ',' || c == ':';
}

// Text is printable ASCII and white space; any other byte makes a file binary.
bool isBinary(const QByteArray &content)
{
    return std::any_of(content.begin(), content.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x7F || (byte < 0x20 && !(byte >= '\t' && byte <= '\r'));
    });
}

bool completeImage(const std::vector<std::uint8_t> &bytes, EdidImage &image)
{
    if (bytes.size() != EdidImage::kSize && bytes.size() != EdidImage::kBlockSize)
        return false;
    image = EdidImage{};
    std::copy(bytes.begin(), bytes.end(), image.bytes.begin());
    return true;
}

// Reads a hex dump; stops at the first fault with its 1-based line and column.
class DumpReader {
public:
    EdidInput read(const QByteArray &content)
    {
        const QList<QByteArray> lines = content.split('\n');
        for (line_ = 1; line_ <= lines.size(); ++line_) {
            const QByteArray &text = lines[line_ - 1];
            const QByteArray trimmed = text.trimmed();
            if (bytes_.empty() && (trimmed == "EDID:" || trimmed == "edid-decode (hex):"))
                continue;
            if (!bytes_.empty() && trimmed.startsWith("---") &&
                trimmed.count('-') == trimmed.size())
                break;
            if (!readLine(text))
                return input_;
        }
        if (!completeImage(bytes_, input_.image))
            fault(lastLine_, lastColumn_,
                  QStringLiteral("the dump ends after %1 bytes; an EDID has 128 or 256")
                      .arg(bytes_.size()));
        return input_;
    }

private:
    bool readLine(const QByteArray &text)
    {
        int at = 0;
        while (at < text.size()) {
            if (isSeparator(text[at])) {
                ++at;
                continue;
            }
            const int start = at;
            if (text[at] == '0' && at + 1 < text.size() &&
                (text[at + 1] == 'x' || text[at + 1] == 'X'))
                at += 2;
            const int digits = at;
            while (at < text.size() && hexDigitValue(text[at]) >= 0)
                ++at;
            if (at < text.size() && !isSeparator(text[at]))
                return fault(line_, at + 1,
                             QStringLiteral("'%1' is not a hex digit").arg(QChar(text[at])));
            if (at == digits)
                return fault(line_, start + 1, QStringLiteral("0x without hex digits"));
            if ((at - digits) % 2 != 0)
                return fault(line_, start + 1,
                             QStringLiteral("odd number of hex digits (%1)").arg(at - digits));
            for (int pair = digits; pair < at; pair += 2) {
                if (bytes_.size() == EdidImage::kSize)
                    return fault(line_, pair + 1, QStringLiteral("more than 256 bytes"));
                bytes_.push_back(static_cast<std::uint8_t>(hexDigitValue(text[pair]) * 16 +
                                                           hexDigitValue(text[pair + 1])));
            }
            lastLine_ = line_;
            lastColumn_ = at + 1;
        }
        return true;
    }

    bool fault(int line, int column, const QString &what)
    {
        input_.error = QStringLiteral("%1:%2: %3").arg(line).arg(column).arg(what);
        return false;
    }

    EdidInput input_;
    std::vector<std::uint8_t> bytes_;
    int line_ = 1;
    int lastLine_ = 1;
    int lastColumn_ = 1;
};

} // namespace

EdidInput parseEdidInput(const QByteArray &content)
{
    // Editors put a byte-order mark before text they save as UTF-8; it is no EDID byte.
    static const QByteArray byteOrderMark("\xEF\xBB\xBF");
    if (content.startsWith(byteOrderMark) && !isBinary(content.mid(byteOrderMark.size())))
        return DumpReader().read(content.mid(byteOrderMark.size()));
    if (!isBinary(content))
        return DumpReader().read(content);
    EdidInput input;
    input.binary = true;
    if (!completeImage({content.begin(), content.end()}, input.image))
        input.error =
            QStringLiteral("a binary EDID has 128 or 256 bytes, not %1").arg(content.size());
    return input;
}
