#include "Cli.h"
#include "Console.h"
#include "ExitCode.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    Console console(out, err, isatty(STDERR_FILENO) == 1);
    const int code = runCli(application.arguments(), console);
    // A result that never reached its reader (a full disk, a closed pipe) is no success.
    if (!out.flush() || out.error() != QFileDevice::NoError) {
        console.error(QStringLiteral("cannot write standard output: %1").arg(out.errorString()));
        return code == kExitSuccess ? kExitBadInput : code;
    }
    return code;
}
