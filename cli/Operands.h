#pragma once

#include "EdidFiles.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <utility>

class Console;
class ToolLister;
class ToolTransfers;

// What the commands take and give: a command's run, the EDIDs it reads, the sources it names and
// the file or the custom image it writes. Every command file uses these; none calls another.

// What a command runs with: its parsed options, the arguments after its name, where to report,
// the tool and the list of tools. Each command returns the program's exit code.
struct Run {
    const QCommandLineParser &options;
    QStringList arguments;
    Console &console;
    ToolTransfers &tool;
    ToolLister &tools;

    bool json() const { return options.isSet(QStringLiteral("json")); }

    // An EDID file, with the EDID of the output --connector names in a whole xrandr output.
    EdidInput readFile(const QString &path) const;
    // Saves to path, or prints on standard output when path is "-". Returns the exit code after
    // telling what went wrong.
    int save(const QString &path, const EdidImage &image, EdidFormat format,
             std::size_t size = EdidImage::kSize);
    static bool isStandardOutput(const QString &path) { return path == QLatin1String("-"); }
};

// The index in kEdidSources of the source with this command-line name.
std::optional<std::size_t> sourceIndex(const QString &name);

// The command-line names of the sources, all or only those that can be written, the last two
// joined by lastJoin: sourceNames(true, " or ") is "custom6, custom7 or custom8".
QString sourceNames(bool writableOnly, const QString &lastJoin);

// Reads an INPUT, the operand of every command that takes an EDID from anywhere: a file,
// tool:SOURCE from the tool, or drm:CONNECTOR, the EDID the kernel holds for one of this
// computer's displays; size: the bytes it held (128 or 256). Returns the exit code, having said
// what went wrong.
int readOperand(Run &run, const QString &operand, EdidImage &image, std::size_t *size = nullptr);

// What an INPUT names, as a key and a value for JSON: {"file", path}, {"source", "sink"} or
// {"connector", "HDMI-A-1"}.
std::pair<QString, QString> operandOrigin(const QString &operand);

// The custom image --to names; returns the exit code after telling what is wrong. command names
// the command in the message.
int writableTarget(Run &run, const char *command, std::size_t &source);

// Writes the image into the source and, unless --no-verify, reads it back and compares all 256
// bytes: exit status 0 only when they match. what names the EDID in the confirmation.
int writeVerified(Run &run, std::size_t source, const EdidImage &image, const QString &what);
