#include "EdidFile.h"
#include "EdidSamples.h"
#include "HexText.h"

#include <QTest>

class EdidTest : public QObject {
    Q_OBJECT

    const QByteArray ascending = bytesOf(ascendingEdid());
    const QByteArray canonical = ::hexText(ascending).toLatin1();

private slots:
    void checksumRule_data()
    {
        QTest::addColumn<QByteArray>("contents"); // a block's first bytes; the rest are zero
        QTest::addColumn<int>("checksum");
        QTest::newRow("all zero") << QByteArray() << 0x00;
        QTest::newRow("sum 01") << QByteArray("\x01") << 0xFF;
        QTest::newRow("sum 80") << QByteArray("\x40\x40") << 0x80;
        QTest::newRow("EDID header") << QByteArray::fromHex("00FFFFFFFFFFFF00") << 0x06;
        QTest::newRow("sum wraps") << QByteArray(127, '\xFF') << 0x7F;
        QTest::newRow("last covered byte") << QByteArray(126, '\0') + '\x10' << 0xF0;
    }
    // Both blocks hold the contents; one checksum byte at a time holds some value.
    void checksumRule()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, checksum);
        EdidImage correct;
        for (std::size_t block : {0, 128}) {
            std::copy(contents.begin(), contents.end(), &correct.bytes[block]);
            correct.bytes[block + 127] = static_cast<std::uint8_t>(checksum);
        }
        QVERIFY(hasCorrectChecksums(correct));
        for (std::size_t checksumByte : {127, 255}) {
            EdidImage image = correct;
            image.bytes[checksumByte] ^= 0x5A; // never part of its own block's sum
            QCOMPARE(int(BlockChkSum(&image.bytes[checksumByte - 127])), checksum);
            QVERIFY(!hasCorrectChecksums(image));
            recalculateChecksums(image); // both checksum bytes rewritten, nothing else changes
            QVERIFY(image.bytes == correct.bytes);
        }
    }

    void hexText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes"); // what the text parses to; empty: a format error
        const QByteArray text = canonical;
        QTest::newRow("rendered layout") << text << ascending;
        QTest::newRow("lower-case digits") << text.toLower() << ascending;
        QTest::newRow("no final newline") << text.chopped(1) << ascending;
        QTest::newRow("trailing white space") << text + " \n\t\r\n  " << ascending;
        for (const char *group : {"ZZ", "G0", "0G", "-1", "\xE9\x30", "005"})
            QTest::addRow("group %s", QByteArray(group).toPercentEncoding().constData())
                << QByteArray(text).replace(15, 2, group) << QByteArray();
        const QList<QPair<const char *, QByteArray>> refused{
            {"two spaces", QByteArray(text).replace(2, 1, "  ")},
            {"tab", QByteArray(text).replace(2, 1, "\t")},
            {"NUL", QByteArray(text).replace(2, 1, QByteArray(1, '\0'))},
            {"CR LF line ends", QByteArray(text).replace("\n", "\r\n")},
            {"255 groups", text.left(3 * 255)},
            {"257 groups", text + "00"},
            {"empty", {}}};
        for (const auto &[name, refusedText] : refused)
            QTest::newRow(name) << refusedText << QByteArray();
    }
    void hexText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        EdidImage image;
        image.bytes.fill(0xEE);
        QCOMPARE(parseEdidHexText(text.toStdString(), image), bytes.isEmpty() ? -1 : 256);
        // A refused text leaves the image exactly as it was.
        QCOMPARE(bytesOf(image), bytes.isEmpty() ? QByteArray(256, '\xEE') : bytes);
        if (!bytes.isEmpty()) // two upper-case digits a byte, a newline after every 16th
            QCOMPARE(QByteArray::fromStdString(edidHexText(image)), canonical);
    }

    void edidFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("expected"); // the image, or the text for the pane
        const QByteArrayList lines = canonical.chopped(1).split('\n');
        QTest::newRow("binary") << ascending << true << ascending;
        QTest::newRow("short binary")
            << ascending.left(128) << true << ascending.left(128) + QByteArray(128, 0);
        QTest::newRow("48 columns, CR LF") << (lines.join(" \r\n") + " \r\n") << false << canonical;
        QTest::newRow("48 columns, LF") << (lines.join(" \n") + " \n") << false << canonical;
        QTest::newRow("hex layout, LF") << canonical << false << canonical;
        const QByteArray broken = lines[0] + "\r\n" + (lines.join(" \r\n") + " \r\n");
        QTest::newRow("a short first line stops the conversion") << broken << false << broken;
        QTest::newRow("text ends at a zero byte")
            << QByteArray("<b>A0</b>\0 11", 13) << false << QByteArray("<b>A0</b>");
        const QByteArrayList longer = lines + lines.mid(0, 8); // 1200 bytes
        QTest::newRow("48-column lines beyond 1024 bytes")
            << (longer.join(" \r\n") + " \r\n") << false
            << (longer.mid(0, 20).join("\n") + "\n") + longer[20].left(24);
        QTest::newRow("1024 bytes without a zero")
            << QByteArray(3000, 'A') << false << QByteArray(1024, 'A');
    }
    void edidFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, binary);
        QFETCH(QByteArray, expected);
        const EdidFileContent content = interpretEdidFile(file.toStdString());
        QCOMPARE(content.isBinary, binary);
        QCOMPARE(binary ? bytesOf(content.image) : QByteArray::fromStdString(content.text),
                 expected);
    }
};

QTEST_GUILESS_MAIN(EdidTest)
#include "tst_Edid.moc"
