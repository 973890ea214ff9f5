#include "EdidFiles.h"

#include "EdidFile.h"
#include "FileIo.h"
#include "HexText.h"

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
    // One byte more than a dump may have tells a file that is too large.
    const FileStart start = readFileStart(path, qint64(kEdidDumpSizeLimit) + 1);
    if (!start.error.isNull()) {
        EdidInput input;
        input.error = QStringLiteral("cannot read %1: %2").arg(path, start.error);
        return input;
    }
    return interpretEdidContent(start.content, path, connector);
}

EdidInput interpretEdidContent(const QByteArray &bytes, const QString &name,
                               const QString &connector)
{
    const EdidFileContent content =
        interpretEdidFile(std::string_view(bytes.constData(), bytes.size()),
                          EdidFileRule::NonTextByteIsBinary, connector.toStdString());
    EdidInput input;
    input.image = content.image;
    input.size = content.size;
    input.binary = content.isBinary;
    // "file:LINE:COLUMN: what" for text, as compilers name a place; "file: what" for the rest.
    if (!content.problem.empty())
        input.error =
            (content.problemPlace.empty()
                 ? name
                 : name + QLatin1Char(':') + QString::fromStdString(content.problemPlace)) +
            QStringLiteral(": ") + QString::fromStdString(content.problem);
    return input;
}

QString saveEdidFile(const QString &path, const EdidImage &image, EdidFormat format,
                     std::size_t size)
{
    const QString error = saveFileAtomically(path, encodeEdid(image, format, size));
    return error.isNull() ? error : QStringLiteral("cannot write %1: %2").arg(path, error);
}
