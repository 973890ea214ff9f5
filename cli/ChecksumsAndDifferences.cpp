#include "ChecksumsAndDifferences.h"

#include <QJsonObject>
#include <QStringList>

namespace {

QString hexByte(std::uint8_t value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

std::vector<WrongChecksum> wrongChecksums(const EdidImage &image)
{
    std::vector<WrongChecksum> wrong;
    for (std::size_t block = 0; block < EdidImage::kBlockCount; ++block)
        if (const BlockChecksum checksum = blockChecksum(image, block); !checksum.isCorrect())
            wrong.push_back({static_cast<int>(block), checksum.stored, checksum.correct});
    return wrong;
}

QString describe(const std::vector<WrongChecksum> &wrong)
{
    QStringList parts;
    for (const WrongChecksum &checksum : wrong)
        parts << QStringLiteral("block %1 checksum is 0x%2, should be 0x%3")
                     .arg(checksum.block)
                     .arg(hexByte(checksum.stored), hexByte(checksum.correct));
    return parts.join(QLatin1String("; "));
}

QJsonArray toJson(const std::vector<WrongChecksum> &wrong)
{
    QJsonArray array;
    for (const WrongChecksum &checksum : wrong)
        array.append(QJsonObject{{QStringLiteral("block"), checksum.block},
                                 {QStringLiteral("stored"), checksum.stored},
                                 {QStringLiteral("correct"), checksum.correct}});
    return array;
}

std::vector<ByteDifference> differences(const EdidImage &a, const EdidImage &b)
{
    std::vector<ByteDifference> found;
    for (std::size_t offset = 0; offset < EdidImage::kSize; ++offset)
        if (a.bytes[offset] != b.bytes[offset])
            found.push_back({static_cast<int>(offset), a.bytes[offset], b.bytes[offset]});
    return found;
}

QString describe(const ByteDifference &difference)
{
    return QStringLiteral("0x%1  %2  %3")
        .arg(hexByte(static_cast<std::uint8_t>(difference.offset)), hexByte(difference.a),
             hexByte(difference.b));
}

QJsonArray toJson(const std::vector<ByteDifference> &differences)
{
    QJsonArray array;
    for (const ByteDifference &difference : differences)
        array.append(QJsonObject{{QStringLiteral("offset"), difference.offset},
                                 {QStringLiteral("a"), difference.a},
                                 {QStringLiteral("b"), difference.b}});
    return array;
}
