#include "EdidImage.h"
#include "HexText.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestRegistry.h"

#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <memory>

namespace {

EdidImage validImage()
{
    EdidImage image;
    for (std::size_t i = 0; i < EdidImage::kSize; ++i)
        image.bytes[i] = static_cast<std::uint8_t>(i * 3 + 0x21);
    recalculateChecksums(image);
    return image;
}

QString textOf(const EdidImage &image)
{
    return QString::fromStdString(edidHexText(image));
}

// The valid image's text with the given bytes increased by one.
QString textWithWrongBytes(std::initializer_list<int> indexes)
{
    EdidImage image = validImage();
    for (int index : indexes)
        ++image.bytes[index];
    return textOf(image);
}

enum class Box { None, Question, FormatError };

} // namespace

class ChecksumCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        window = std::make_unique<MainWindow>();
        pane = window->findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
    }
    void cleanup() { window.reset(); }

    void outcomes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("box");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("paneAfter");
        const QString valid = textOf(validImage());
        QTest::newRow("correct, typed in lower case")
            << valid.toLower() << 0 << int(Box::None) << true << valid;
        QTest::newRow("block 1 wrong, Yes") << textWithWrongBytes({255}) << int(QMessageBox::Yes)
                                            << int(Box::Question) << true << valid;
        QTest::newRow("block 0 wrong, Yes") << textWithWrongBytes({127}) << int(QMessageBox::Yes)
                                            << int(Box::Question) << true << valid;
        QTest::newRow("contents changed, Yes")
            << textWithWrongBytes({3, 200}) << int(QMessageBox::Yes) << int(Box::Question) << true
            << textOf([] {
                   EdidImage image = validImage();
                   ++image.bytes[3];
                   ++image.bytes[200];
                   recalculateChecksums(image);
                   return image;
               }());
        const QString handEdited = textWithWrongBytes({127}).toLower() + "\n";
        QTest::newRow("wrong, No")
            << handEdited << int(QMessageBox::No) << int(Box::Question) << false << handEdited;
        const QString faulty = QString(valid).replace(30, 2, "ZZ");
        QTest::newRow("format error") << faulty << 0 << int(Box::FormatError) << false << faulty;
        QTest::newRow("empty pane")
            << QString() << 0 << int(Box::FormatError) << false << QString();
    }
    void outcomes()
    {
        QFETCH(QString, text);
        QFETCH(int, answer);
        QFETCH(int, box);
        QFETCH(bool, result);
        QFETCH(QString, paneAfter);
        pane->setPlainText(text);
        MessageBoxWatcher watcher;
        if (answer)
            watcher.answerNext(QMessageBox::StandardButton(answer));

        QCOMPARE(window->DoCalculateChkSum(), result);
        QCOMPARE(pane->toPlainText(), paneAfter);
        QCOMPARE(watcher.boxes().size(), box == int(Box::None) ? 0 : 1);
        if (box == int(Box::Question)) {
            const ShownBox &shown = watcher.boxes().first();
            QCOMPARE(shown.text, QStringLiteral("The EDID Checksum is not correct."));
            QCOMPARE(shown.informativeText,
                     QStringLiteral("Do you want to calculate a new checksum?"));
            QCOMPARE(shown.title, QString());
            QCOMPARE(shown.icon, QMessageBox::NoIcon);
            QCOMPARE(shown.buttons, QMessageBox::Yes | QMessageBox::No);
            QVERIFY(!shown.hasParent);
            QCOMPARE(shown.modality, Qt::ApplicationModal);
        } else if (box == int(Box::FormatError)) {
            const ShownBox &shown = watcher.boxes().first();
            QCOMPARE(shown.title, QStringLiteral("VARNEX"));
            QCOMPARE(shown.text, QStringLiteral("Hex Format Error"));
            QCOMPARE(shown.icon, QMessageBox::Warning);
            QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(shown.hasParent);
        }
        if (result) {
            // Re-rendered: the checksum bytes stand out again.
            QTextCursor cursor(pane->document());
            cursor.setPosition(3 * 255 + 1);
            QCOMPARE(cursor.charFormat().foreground().color(), QColor(Qt::red));
        }
    }

private:
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
};

VARNEX_REGISTER_TEST(ChecksumCommandTest);
#include "tst_ChecksumCommand.moc"
