#include "EdidImage.h"
#include "HexText.h"
#include "TestRegistry.h"

#include <QTest>

#include <algorithm>
#include <random>
#include <string>

Q_DECLARE_METATYPE(EdidImage)

namespace {

EdidImage ascendingImage()
{
    EdidImage image;
    for (std::size_t i = 0; i < EdidImage::kSize; ++i)
        image.bytes[i] = static_cast<std::uint8_t>(i);
    return image;
}

EdidImage filledImage(std::uint8_t value)
{
    EdidImage image;
    image.bytes.fill(value);
    return image;
}

EdidImage randomImage(unsigned seed)
{
    std::mt19937 generator(seed);
    EdidImage image;
    for (std::uint8_t &byte : image.bytes)
        byte = static_cast<std::uint8_t>(generator());
    return image;
}

QByteArray canonicalText()
{
    return QByteArray::fromStdString(edidHexText(ascendingImage()));
}

// The canonical text with group `index` (two characters) replaced.
QByteArray withGroup(int index, const QByteArray &group)
{
    return canonicalText().replace(3 * index, 2, group);
}

} // namespace

class HexTextTest : public QObject {
    Q_OBJECT

private slots:
    void rendersTheLayout()
    {
        const std::string text = edidHexText(ascendingImage());
        QCOMPARE(text.size(), std::size_t(768));
        QCOMPARE(text.substr(0, 48),
                 std::string("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"));
        QCOMPARE(text.substr(720),
                 std::string("F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\n"));
    }

    void renderedTextParsesBack_data()
    {
        QTest::addColumn<EdidImage>("image");
        QTest::newRow("every value ascending") << ascendingImage();
        EdidImage descending = ascendingImage();
        std::reverse(descending.bytes.begin(), descending.bytes.end());
        QTest::newRow("every value descending") << descending;
        QTest::newRow("all zero") << filledImage(0x00);
        QTest::newRow("all FF") << filledImage(0xFF);
        for (unsigned seed = 1; seed <= 8; ++seed)
            QTest::addRow("random %u", seed) << randomImage(seed);
    }
    void renderedTextParsesBack()
    {
        QFETCH(EdidImage, image);
        EdidImage parsed = filledImage(0xEE);
        QCOMPARE(parseEdidHexText(edidHexText(image), parsed), 256);
        QVERIFY(parsed.bytes == image.bytes);
    }

    void parsesOnlyAWholeEdid_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("result");
        const QByteArray text = canonicalText();
        QTest::newRow("canonical") << text << 256;
        QTest::newRow("lower-case digits") << text.toLower() << 256;
        QTest::newRow("no final newline") << text.chopped(1) << 256;
        QTest::newRow("trailing white space") << text + " \n\t\r\n  " << 256;
        QTest::newRow("one line") << QByteArray(text).replace('\n', ' ').trimmed() << 256;
        QTest::newRow("one group a line") << QByteArray(text).replace(' ', '\n') << 256;
        QTest::newRow("two spaces") << QByteArray(text).replace(2, 1, "  ") << -1;
        QTest::newRow("tab") << QByteArray(text).replace(2, 1, "\t") << -1;
        QTest::newRow("comma") << QByteArray(text).replace(2, 1, ",") << -1;
        QTest::newRow("CR LF line ends") << QByteArray(text).replace("\n", "\r\n") << -1;
        QTest::newRow("space before a newline") << QByteArray(text).replace(47, 1, " \n") << -1;
        QTest::newRow("leading space") << " " + text << -1;
        QTest::newRow("NUL separator") << QByteArray(text).replace(2, 1, QByteArray(1, '\0')) << -1;
        QTest::newRow("ZZ") << withGroup(5, "ZZ") << -1;
        QTest::newRow("G0") << withGroup(5, "G0") << -1;
        QTest::newRow("0G") << withGroup(5, "0G") << -1;
        QTest::newRow("minus one") << withGroup(255, "-1") << -1;
        QTest::newRow("Latin-1 letter") << withGroup(200, "\xE9"
                                                          "0")
                                        << -1;
        QTest::newRow("three digits") << withGroup(5, "005") << -1;
        QTest::newRow("255 groups") << text.left(3 * 255) << -1;
        QTest::newRow("257 groups") << text + "00" << -1;
        QTest::newRow("last group of one character") << text.left(3 * 255) + "F" << -1;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("white space only") << QByteArray("\n \n") << -1;
        QTest::newRow("341 groups") << (text + text).left(1023) << -1;
        QTest::newRow("100000 characters") << QByteArray(100000, '0') << -1;
    }
    void parsesOnlyAWholeEdid()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, result);
        EdidImage image = filledImage(0xEE);
        QCOMPARE(parseEdidHexText(text.toStdString(), image), result);
        // A refused text leaves the image exactly as it was.
        QVERIFY(image.bytes == (result == 256 ? ascendingImage() : filledImage(0xEE)).bytes);
    }

    void convertsOneGroup_data()
    {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("byte");
        QTest::newRow("upper case, space") << QByteArray("4A ") << 0 << 0x4A;
        QTest::newRow("lower case, newline") << QByteArray("4a\n") << 0 << 0x4A;
        QTest::newRow("end of text") << QByteArray("fF", 3) << 0 << 0xFF;
        QTest::newRow("zero") << QByteArray("00 ") << 0 << 0x00;
        QTest::newRow("G0") << QByteArray("G0 ") << 1 << 0xEE;
        QTest::newRow("0G") << QByteArray("0G ") << 1 << 0xEE;
        QTest::newRow("ZZ") << QByteArray("ZZ ") << 1 << 0xEE;
        QTest::newRow("minus one") << QByteArray("-1 ") << 1 << 0xEE;
        QTest::newRow("8-bit character") << QByteArray("\xC1"
                                                       "0 ")
                                         << 1 << 0xEE;
        QTest::newRow("tab") << QByteArray("00\t") << 1 << 0xEE;
        QTest::newRow("carriage return") << QByteArray("00\r") << 1 << 0xEE;
        QTest::newRow("third digit") << QByteArray("000") << 1 << 0xEE;
    }
    void convertsOneGroup()
    {
        QFETCH(QByteArray, group);
        QFETCH(int, result);
        QFETCH(int, byte);
        std::uint8_t value = 0xEE;
        QCOMPARE(HexPairToByte(group.constData(), &value), result);
        QCOMPARE(int(value), byte);
    }
};

VARNEX_REGISTER_TEST(HexTextTest);
#include "tst_HexText.moc"
