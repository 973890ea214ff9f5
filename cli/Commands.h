#pragma once

#include <QCommandLineParser>
#include <QStringList>

class Console;
class ToolSession;
struct EdidImage;

// What a command runs with: its parsed options, the arguments after its name, where to report,
// and the tool. Each command returns the program's exit code.
struct Run {
    const QCommandLineParser &options;
    QStringList arguments;
    Console &console;
    ToolSession &tool;

    bool json() const { return options.isSet(QStringLiteral("json")); }
};

int runList(Run &run);
int runRead(Run &run);
int runWrite(Run &run);
int runCheck(Run &run);
int runFix(Run &run);
int runConvert(Run &run);
int runDiff(Run &run);
int runDecode(Run &run);

// Reads an operand of diff and decode: a file, or tool:SOURCE from the tool. Returns the exit
// code, having said what went wrong.
int readOperand(Run &run, const QString &operand, EdidImage &image);
