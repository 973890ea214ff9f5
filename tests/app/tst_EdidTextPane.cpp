#include "EdidSamples.h"
#include "MainWindow.h"
#include "TestRegistry.h"

#include <QTest>
#include <QTextEdit>

#include <memory>

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
        const EdidImage image = ascendingEdid();
        window->ShowEDIDtext(&image);
        QCOMPARE(pane->toPlainText(), hexTextOf(image));
        for (int n = 0; n < 256; ++n) {
            for (int digit = 0; digit < 2; ++digit) {
                const QTextCharFormat format = formatOfCharacter(pane->document(), 3 * n + digit);
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
        const QString rendered = hexTextOf(ascendingEdid());
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
            QVERIFY(image.bytes == ascendingEdid().bytes);
        QCOMPARE(pane->toPlainText(), text);
    }

private:
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
};

VARNEX_REGISTER_TEST(EdidTextPaneTest);
#include "tst_EdidTextPane.moc"
