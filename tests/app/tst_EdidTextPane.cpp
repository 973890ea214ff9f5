#include "EdidImage.h"
#include "HexText.h"
#include "MainWindow.h"
#include "TestRegistry.h"

#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <memory>

namespace {

EdidImage steppedImage()
{
    EdidImage image;
    for (std::size_t i = 0; i < EdidImage::kSize; ++i)
        image.bytes[i] = static_cast<std::uint8_t>(i * 5 + 1);
    return image;
}

QTextCharFormat formatOfCharacter(QTextEdit *pane, int position)
{
    QTextCursor cursor(pane->document());
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    return cursor.charFormat();
}

} // namespace

class EdidTextPaneTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        window = std::make_unique<MainWindow>();
        pane = window->findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
    }
    void cleanup() { window.reset(); }

    void renderingHighlightsTheChecksums()
    {
        pane->setPlainText(QStringLiteral("earlier text\nthat goes"));
        const EdidImage image = steppedImage();
        window->ShowEDIDtext(&image);
        QCOMPARE(pane->toPlainText(), QString::fromStdString(edidHexText(image)));
        for (int n = 0; n < 256; ++n) {
            for (int digit = 0; digit < 2; ++digit) {
                const QTextCharFormat format = formatOfCharacter(pane, 3 * n + digit);
                const bool checksum = n == 127 || n == 255;
                QCOMPARE(format.foreground().color(),
                         checksum ? QColor(Qt::red) : QColor(Qt::black));
                QCOMPARE(format.foreground().style(), Qt::SolidPattern);
                QCOMPARE(format.fontWeight(), checksum ? QFont::Bold : QFont::Normal);
            }
        }
    }

    void parsingThePane_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        const QString rendered = QString::fromStdString(edidHexText(steppedImage()));
        QTest::newRow("typed in lower case, trailing newlines") << rendered.toLower() + "\n\n"
                                                                << 256;
        QTest::newRow("empty pane") << QString() << -1;
        QTest::newRow("half an EDID") << rendered.left(383) << -1;
        QTest::newRow("a letter beyond Latin-1")
            << QString(rendered).replace(0, 1, QChar(0x0100)) << -1;
    }
    void parsingThePane()
    {
        QFETCH(QString, text);
        QFETCH(int, result);
        pane->setPlainText(text);
        EdidImage image;
        QCOMPARE(window->ParseEDIDtext(&image), result);
        if (result == 256)
            QVERIFY(image.bytes == steppedImage().bytes);
        QCOMPARE(pane->toPlainText(), text);
    }

private:
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
};

VARNEX_REGISTER_TEST(EdidTextPaneTest);
#include "tst_EdidTextPane.moc"
