#include "HexText.h"
#include "MainWindow.h"
#include "MainWindowForm.h"

#include <QTextCharFormat>
#include <QTextCursor>

void MainWindow::ShowEDIDtext(const EdidImage *image)
{
    const QString text = QString::fromLatin1(edidHexText(*image));
    QTextCursor cursor = ui->EDIDtext->textCursor();
    QTextCharFormat insideFormat;
    QTextCharFormat lineEndFormat;

    ui->EDIDtext->clear();
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::Start, QTextCursor::MoveAnchor);
    for (std::size_t i = 0; i < EdidImage::kSize; ++i) {
        const QString group = text.mid(static_cast<int>(3 * i), 3);
        if (!endsEdidHexLine(i)) {
            insideFormat.setForeground(QBrush(Qt::black, Qt::SolidPattern));
            cursor.insertText(group, insideFormat);
            continue;
        }
        const bool checksum = isEdidChecksumByte(i);
        lineEndFormat.setFontWeight(checksum ? QFont::Bold : QFont::Normal);
        lineEndFormat.setForeground(QBrush(checksum ? Qt::red : Qt::black, Qt::SolidPattern));
        cursor.insertText(group.left(2), lineEndFormat);
        cursor.insertText(QStringLiteral("\n"));
    }
}

int MainWindow::ParseEDIDtext(EdidImage *image)
{
    // Characters outside Latin-1 become '?', which no hex digit matches.
    const QByteArray text = ui->EDIDtext->toPlainText().toLatin1();
    return parseEdidHexText(std::string_view(text.constData(), text.size()), *image);
}

void MainWindow::showPlainText(const QString &text, const QColor &color)
{
    // Start from an empty pane and a clean format: no selection, colour, font or italics of the
    // earlier text may carry over into the new one.
    ui->EDIDtext->clear();
    ui->EDIDtext->setCurrentCharFormat(QTextCharFormat());
    ui->EDIDtext->setFontPointSize(8);
    ui->EDIDtext->setTextColor(color);
    ui->EDIDtext->setFontWeight(QFont::Bold);
    // Never interpreted as markup: a file's text is shown as it stands.
    ui->EDIDtext->setPlainText(text);
}
