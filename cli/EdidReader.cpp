#include "EdidReader.h"

#include "HexText.h"

#include <QList>
#include <QStringList>

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

bool completeImage(const std::vector<std::uint8_t> &bytes, EdidInput &input)
{
    if (bytes.size() != EdidImage::kSize && bytes.size() != EdidImage::kBlockSize)
        return false;
    input.image = EdidImage{};
    input.size = bytes.size();
    std::copy(bytes.begin(), bytes.end(), input.image.bytes.begin());
    return true;
}

// The lines of an xrandr output that hold one output's EDID, as [first, end) line indexes.
struct XrandrEdid {
    QByteArray output;
    int first = 0;
    int end = 0;
};

// A property's value line: indented, and nothing but hex digits.
bool isIndentedHexLine(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    return !line.isEmpty() && isSeparator(line[0]) && !trimmed.isEmpty() &&
           std::all_of(trimmed.begin(), trimmed.end(),
                       [](char c) { return hexDigitValue(c) >= 0; });
}

// An output's heading starts its line: "HDMI-1 connected primary 1920x1080+0+0 (...)". Its
// properties follow, indented; the EDID's are one run of hex digits a line after "EDID:".
std::vector<XrandrEdid> xrandrEdids(const QList<QByteArray> &lines)
{
    std::vector<XrandrEdid> found;
    QByteArray output;
    for (int at = 0; at < lines.size(); ++at) {
        const QByteArray &line = lines[at];
        const QList<QByteArray> words = line.simplified().split(' ');
        if (!line.isEmpty() && !isSeparator(line[0]) && words.size() >= 2 &&
            (words[1] == "connected" || words[1] == "disconnected" || words[1] == "unknown")) {
            output = words[0];
            continue;
        }
        if (output.isEmpty() || line.trimmed() != "EDID:")
            continue;
        XrandrEdid edid{output, at + 1, at + 1};
        while (edid.end < lines.size() && isIndentedHexLine(lines[edid.end]))
            ++edid.end;
        found.push_back(edid);
    }
    return found;
}

// Reads a hex dump; stops at the first fault with its 1-based line and column.
class DumpReader {
public:
    EdidInput read(const QList<QByteArray> &lines, int first, int end)
    {
        for (line_ = first + 1; line_ <= end; ++line_) {
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
        if (!completeImage(bytes_, input_))
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

QString connectorUnused(const QString &connector)
{
    return QStringLiteral("--connector %1 needs a whole xrandr --props output").arg(connector);
}

EdidInput readText(const QByteArray &content, const QString &connector)
{
    // Any of the three line ends ends a line; a lone CR as old Macs and some terminals write.
    const QList<QByteArray> lines =
        QByteArray(content).replace("\r\n", "\n").replace('\r', '\n').split('\n');
    const std::vector<XrandrEdid> edids = xrandrEdids(lines);
    if (edids.empty()) {
        EdidInput input = DumpReader().read(lines, 0, int(lines.size()));
        if (input.error.isNull() && !connector.isEmpty())
            input.error = QStringLiteral("1: ") + connectorUnused(connector);
        return input;
    }
    QStringList names;
    for (const XrandrEdid &edid : edids) {
        if (edid.output == connector.toUtf8() || (connector.isEmpty() && edids.size() == 1))
            return DumpReader().read(lines, edid.first, edid.end);
        names << QString::fromUtf8(edid.output);
    }
    EdidInput input;
    input.error =
        (connector.isEmpty()
             ? QStringLiteral("1: the xrandr output holds the EDIDs of ")
             : QStringLiteral("1: no output %1 with an EDID; there are ").arg(connector)) +
        names.join(QStringLiteral(", ")) +
        (connector.isEmpty() ? QStringLiteral(": choose one with --connector NAME") : QString());
    return input;
}

} // namespace

EdidInput parseEdidInput(const QByteArray &content, const QString &connector)
{
    // Editors put a byte-order mark before text they save as UTF-8; it is no EDID byte.
    static const QByteArray byteOrderMark("\xEF\xBB\xBF");
    if (content.startsWith(byteOrderMark) && !isBinary(content.mid(byteOrderMark.size())))
        return readText(content.mid(byteOrderMark.size()), connector);
    if (!isBinary(content))
        return readText(content, connector);
    EdidInput input;
    input.binary = true;
    if (!completeImage({content.begin(), content.end()}, input))
        input.error =
            QStringLiteral("a binary EDID has 128 or 256 bytes, not %1").arg(content.size());
    else if (!connector.isEmpty())
        input.error = connectorUnused(connector);
    return input;
}
