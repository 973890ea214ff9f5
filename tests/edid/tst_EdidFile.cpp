#include "EdidFile.h"
#include "EdidSamples.h"
#include "TestRegistry.h"

#include <QTest>

namespace {

// The 16 lines of the ascending image's hex text, without their newlines.
QList<QByteArray> hexLines()
{
    QList<QByteArray> lines = hexTextOf(ascendingEdid()).toLatin1().split('\n');
    lines.removeLast();
    return lines;
}

QByteArray joinedLines(const QList<QByteArray> &lines, const QByteArray &ending)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + ending;
    return text;
}

} // namespace

class EdidFileTest : public QObject {
    Q_OBJECT

private slots:
    void interpretsTheFirstKilobyte_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("expected"); // the image, or the text for the pane
        const QByteArray edid = bytesOf(ascendingEdid());
        const QByteArray canonical = joinedLines(hexLines(), "\n");
        QTest::newRow("binary") << edid << true << edid;
        QTest::newRow("short binary")
            << edid.left(128) << true << edid.left(128) + QByteArray(128, 0);
        QTest::newRow("longer binary") << edid + QByteArray(900, 'x') << true << edid;
        QTest::newRow("empty file") << QByteArray() << true << QByteArray(256, 0);
        QTest::newRow("48 columns, CR LF")
            << joinedLines(hexLines(), " \r\n") << false << canonical;
        QTest::newRow("48 columns, LF") << joinedLines(hexLines(), " \n") << false << canonical;
        QTest::newRow("hex layout, LF") << canonical << false << canonical;
        const QByteArray crlf = joinedLines(hexLines(), "\r\n");
        QTest::newRow("hex layout, CR LF") << crlf << false << crlf;
        const QByteArray broken = hexLines().first() + "\r\n" + joinedLines(hexLines(), " \r\n");
        QTest::newRow("a short first line stops the conversion") << broken << false << broken;
        QTest::newRow("text ends at a zero byte")
            << QByteArray("<b>A0</b>\0 11", 13) << false << QByteArray("<b>A0</b>");
        const QList<QByteArray> lines = hexLines() + hexLines().mid(0, 8); // 1200 bytes
        QTest::newRow("48-column lines beyond 1024 bytes")
            << joinedLines(lines, " \r\n") << false
            << joinedLines(lines.mid(0, 20), "\n") + lines[20].left(24);
        QTest::newRow("1024 bytes without a zero")
            << QByteArray(3000, 'A') << false << QByteArray(1024, 'A');
    }
    void interpretsTheFirstKilobyte()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, binary);
        QFETCH(QByteArray, expected);
        const EdidFileContent content = interpretEdidFile(file.toStdString());
        QCOMPARE(content.isBinary, binary);
        if (binary)
            QCOMPARE(bytesOf(content.image), expected);
        else
            QCOMPARE(QByteArray::fromStdString(content.text), expected);
    }
};

VARNEX_REGISTER_TEST(EdidFileTest);
#include "tst_EdidFile.moc"
