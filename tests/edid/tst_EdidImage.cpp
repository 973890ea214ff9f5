#include "EdidImage.h"
#include "TestRegistry.h"

#include <QTest>

class EdidImageTest : public QObject {
    Q_OBJECT

private slots:
    void blockChecksum_data()
    {
        QTest::addColumn<QByteArray>("contents"); // the block's first bytes; the rest are zero
        QTest::addColumn<int>("checksum");
        QTest::newRow("all zero") << QByteArray() << 0x00;
        QTest::newRow("sum 01") << QByteArray("\x01") << 0xFF;
        QTest::newRow("sum 80") << QByteArray("\x40\x40") << 0x80;
        QTest::newRow("EDID header") << QByteArray::fromHex("00FFFFFFFFFFFF00") << 0x06;
        QTest::newRow("sum wraps") << QByteArray(127, '\xFF') << 0x7F;
        QTest::newRow("last covered byte") << QByteArray(126, '\0') + '\x10' << 0xF0;
    }
    void blockChecksum()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, checksum);
        std::uint8_t block[EdidImage::kBlockSize] = {};
        std::copy(contents.begin(), contents.end(), block);
        // The checksum byte itself never enters the sum.
        for (int stored : {0x00, 0x5A, 0xFF}) {
            block[127] = static_cast<std::uint8_t>(stored);
            QCOMPARE(int(BlockChkSum(block)), checksum);
        }
    }

    void testAndRecalculation_data()
    {
        QTest::addColumn<bool>("block0Correct");
        QTest::addColumn<bool>("block1Correct");
        QTest::newRow("both correct") << true << true;
        QTest::newRow("block 0 wrong") << false << true;
        QTest::newRow("block 1 wrong") << true << false;
        QTest::newRow("both wrong") << false << false;
    }
    void testAndRecalculation()
    {
        QFETCH(bool, block0Correct);
        QFETCH(bool, block1Correct);
        EdidImage image;
        for (std::size_t i = 0; i < EdidImage::kSize; ++i)
            image.bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
        image.bytes[127] = static_cast<std::uint8_t>(BlockChkSum(&image.bytes[0]) + !block0Correct);
        image.bytes[255] =
            static_cast<std::uint8_t>(BlockChkSum(&image.bytes[128]) + !block1Correct);
        QCOMPARE(hasCorrectChecksums(image), block0Correct && block1Correct);

        EdidImage recalculated = image;
        recalculateChecksums(recalculated);
        QVERIFY(hasCorrectChecksums(recalculated));
        for (std::size_t i = 0; i < EdidImage::kSize; ++i) {
            const bool changes = (i == 127 && !block0Correct) || (i == 255 && !block1Correct);
            QCOMPARE(recalculated.bytes[i] != image.bytes[i], changes);
        }
    }
};

VARNEX_REGISTER_TEST(EdidImageTest);
#include "tst_EdidImage.moc"
