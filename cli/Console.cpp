#include "Console.h"

#include <QFileDevice>
#include <QJsonObject>

Console::Console(QIODevice &out, QIODevice &err, bool errIsTerminal)
    : out_(out), err_(err), errIsTerminal_(errIsTerminal)
{}

void Console::print(const QString &line)
{
    out_.write(line.toUtf8() + '\n');
}

void Console::printBytes(const QByteArray &bytes)
{
    out_.write(bytes);
}

void Console::printJson(const QJsonDocument &document)
{
    out_.write(document.toJson(QJsonDocument::Indented));
    jsonPrinted_ = true;
}

void Console::printJsonItem(const Json &item)
{
    // The item before goes out with its separator, so that what is printed ends a line: an
    // error said in between stands on lines of its own.
    pendingJsonItem_ += jsonArrayOpen_ ? ",\n" : "[\n";
    out_.write(pendingJsonItem_.data(), qint64(pendingJsonItem_.size()));
    pendingJsonItem_ = item.indentedItem(1);
    jsonArrayOpen_ = true;
}

void Console::endJsonArray()
{
    pendingJsonItem_ += jsonArrayOpen_ ? "\n]\n" : "[\n]\n";
    out_.write(pendingJsonItem_.data(), qint64(pendingJsonItem_.size()));
    pendingJsonItem_.clear();
    jsonArrayOpen_ = false;
    jsonPrinted_ = true;
}

int Console::finish(int exitCode)
{
    if (json_ && exitCode != 0 && !jsonPrinted_)
        printJson(QJsonDocument(QJsonObject{{QStringLiteral("error"), lastError_},
                                            {QStringLiteral("exit_status"), exitCode}}));
    return exitCode;
}

void Console::flushOut()
{
    if (auto *file = qobject_cast<QFileDevice *>(&out_))
        file->flush();
}

void Console::note(const QString &line)
{
    if (!quiet_)
        print(line);
}

void Console::error(const QString &message)
{
    lastError_ = message;
    warning(message);
}

void Console::warning(const QString &message)
{
    endProgress();
    flushOut();
    err_.write(QStringLiteral("varnex-edid: %1\n").arg(message).toUtf8());
}

void Console::message(const QString &line)
{
    if (quiet_)
        return;
    endProgress();
    flushOut();
    err_.write(line.toUtf8() + '\n');
}

void Console::detail(const QString &line)
{
    flushOut();
    err_.write(QStringLiteral("  %1\n").arg(line).toUtf8());
}

int Console::fail(int exitCode, const QString &message)
{
    error(message);
    return exitCode;
}

TransferProgress Console::progress(const QString &label)
{
    if (!errIsTerminal_ || quiet_)
        return [](int, int) {};
    return [this, label](int value, int maximum) {
        constexpr int kWidth = 32;
        const int filled = maximum > 0 ? value * kWidth / maximum : 0;
        err_.write(QStringLiteral("\r%1 [%2%3]")
                       .arg(label, QString(filled, QLatin1Char('#')),
                            QString(kWidth - filled, QLatin1Char(' ')))
                       .toUtf8());
        barShown_ = true;
    };
}

void Console::endProgress()
{
    if (barShown_)
        err_.write("\r\033[K"); // back to the line's start and clear it
    barShown_ = false;
}
