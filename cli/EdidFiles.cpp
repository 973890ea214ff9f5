#include "EdidFiles.h"

#include "FileIo.h"
#include "HexText.h"

namespace {

// Far beyond any dump of 256 bytes; a larger file is not read whole.
constexpr qint64 kLargestInput = 64 * 1024;

} // namespace

std::optional<EdidFormat> edidFormat(const QString &path, const QString &option)
{
    if (option == QLatin1String("hex"))
        return EdidFormat::HexText;
    if (option == QLatin1String("bin"))
        return EdidFormat::Binary;
    if (!option.isEmpty())
        return std::nullopt;
    return path.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive) ? EdidFormat::Binary
                                                                     : EdidFormat::HexText;
}

QByteArray encodeEdid(const EdidImage &image, EdidFormat format, std::size_t size)
{
    if (format == EdidFormat::Binary)
        return QByteArray(reinterpret_cast<const char *>(image.bytes.data()), qsizetype(size));
    // Byte n starts at character 3n: the first blocks' lines are the whole text's first lines.
    return QByteArray::fromStdString(edidHexText(image).substr(0, 3 * size));
}

EdidInput readEdidFile(const QString &path, const QString &connector)
{
    const FileStart start = readFileStart(path, kLargestInput + 1);
    EdidInput input;
    if (!start.error.isNull()) {
        input.error = QStringLiteral("cannot read %1: %2").arg(path, start.error);
        return input;
    }
    if (start.content.size() > kLargestInput) {
        input.error = QStringLiteral("%1: larger than 64 KiB, not an EDID").arg(path);
        return input;
    }
    input = parseEdidInput(start.content, connector);
    // "file:LINE:COLUMN: what" for text, as compilers name a place; "file: what" for binary.
    if (!input.error.isNull())
        input.error.prepend(path + QLatin1String(input.binary ? ": " : ":"));
    return input;
}

QString saveEdidFile(const QString &path, const EdidImage &image, EdidFormat format,
                     std::size_t size)
{
    const QString error = saveFileAtomically(path, encodeEdid(image, format, size));
    return error.isNull() ? error : QStringLiteral("cannot write %1: %2").arg(path, error);
}
