#include "Cli.h"
#include "Console.h"
#include "ExitCode.h"
#include "LibusbTransport.h"
#include "LibusbUsbLibrary.h"
#include "VirtualTool.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace {

// Bytes outside ASCII as \xHH, so that the name shows what it holds.
QString escaped(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes)
        text += static_cast<unsigned char>(c) < 0x80
                    ? QString(QLatin1Char(c))
                    : QStringLiteral("\\x%1").arg(static_cast<unsigned char>(c), 2, 16,
                                                  QLatin1Char('0'));
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QFile out;
    QFile err;
    // On a terminal each result shows as it comes, not when the program ends.
    out.open(stdout, QIODevice::WriteOnly |
                         (isatty(STDOUT_FILENO) == 1 ? QIODevice::Unbuffered : QIODevice::NotOpen));
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    Console console(out, err, isatty(STDERR_FILENO) == 1);
    // Qt would turn bytes that are not UTF-8 into U+FFFD: such a file name would name another
    // file.
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (QFile::encodeName(QFile::decodeName(argument)) != argument)
            return console.fail(kExitBadInput,
                                QStringLiteral("'%1' is not valid UTF-8; varnex-edid takes names "
                                               "in UTF-8 only")
                                    .arg(escaped(argument)));
    }
    // With --virtual the virtual tool, else real tools through libusb.
    VirtualTool virtualTool;
    const UsbLibraries libraries{virtualTool, []() -> LibusbUsbLibrary & {
                                     static LibusbUsbLibrary libusb(
                                         std::make_unique<LibusbTransport>());
                                     return libusb;
                                 }};
    const int code = runCli(application.arguments(), console, libraries);
    // A result that never reached its reader (a full disk, a closed pipe) is no success.
    if (!out.flush() || out.error() != QFileDevice::NoError) {
        console.error(QStringLiteral("cannot write standard output: %1").arg(out.errorString()));
        return code == kExitSuccess ? kExitBadInput : code;
    }
    return code;
}
