#include "Cli.h"

#include "Commands.h"
#include "Console.h"
#include "DeviceConnection.h"
#include "DeviceWarning.h"
#include "EdidEdit.h"
#include "ExitCode.h"
#include "LibusbUsbLibrary.h"
#include "Operands.h"
#include "ToolList.h"
#include "ToolTransfers.h"
#include "UsbAccess.h"
#include "VirtualState.h"
#include "VirtualTool.h"

#include <algorithm>
#include <vector>

namespace {

const QString kExitCodes = QStringLiteral(
    "Exit status: 0 success; 1 a check or verification found a difference; 2 bad usage or\n"
    "input; 3 no tool or no access; 4 a device exchange failed or timed out.");

const QString kCommands = QStringLiteral(
    "Reads, checks and writes the EDIDs of a Varnex USB HDMI tool.\n\n"
    "Commands:\n"
    "  list [--any]            the tools found: index, serial string, product string;\n"
    "                          --displays: this computer's display connectors with an EDID\n"
    "  read SOURCE             read an EDID from the tool\n"
    "  write INPUT --to SOURCE write an EDID into a custom image and read it back\n"
    "  check FILE...           test both block checksums of each file\n"
    "  fix FILE                recalculate both checksums\n"
    "  convert IN OUT          between raw binary and hex text\n"
    "  diff A B                byte-wise differences between two INPUTs\n"
    "  decode INPUT...         what an EDID says, and what is wrong with it\n"
    "  edit INPUT OPERATION... change what an EDID says, then save or write it\n"
    "  new [PRESET]            a built-in EDID, or one of the modes listed\n"
    "  merge INPUT INPUT...    one EDID that all these displays accept, then save or write it\n\n");

const QString kFilesRead = QStringLiteral(
    "Files read: raw binary of 128 or 256 bytes, or a hex dump of as many bytes: pairs of\n"
    "digits separated by white space, commas or colons, with or without 0x, as the window\n"
    "saves them and as xrandr --verbose and edid-decode print them. 128 bytes get a second\n"
    "block of zeros; any other count is refused.\n"
    "An INPUT is a file, tool:SOURCE read from the tool, or drm:CONNECTOR, the EDID the\n"
    "kernel holds for a display of this computer ('list --displays' names the connectors).\n"
    "'varnex-edid help COMMAND' or 'varnex-edid COMMAND --help' describes a command.\n\n");

QString overview()
{
    return kCommands +
           QStringLiteral("Sources: %1; only the custom ones can be written.\n")
               .arg(sourceNames(false, QStringLiteral(", "))) +
           kFilesRead;
}

struct Argument {
    const char *name;
    QString description;
};

struct Command {
    const char *name;
    std::vector<Argument> arguments;
    const char *description;
    std::vector<QCommandLineOption> options;
    int (*run)(Run &);

    // A last argument "NAME..." takes any number of words, at least one; "[NAME]" may be left out.
    bool takes(qsizetype words) const
    {
        const bool many = !arguments.empty() && QByteArray(arguments.back().name).endsWith("...");
        const auto optional = std::count_if(arguments.begin(), arguments.end(),
                                            [](const Argument &a) { return a.name[0] == '['; });
        const auto all = qsizetype(arguments.size());
        return many ? words >= all : words >= all - optional && words <= all;
    }

    QString synopsis() const
    {
        QString text = QLatin1String(name);
        for (const Argument &argument : arguments)
            text += QLatin1Char(' ') + QLatin1String(argument.name);
        return text;
    }
};

QCommandLineOption option(const QStringList &names, const QString &description,
                          const char *valueName = nullptr)
{
    return QCommandLineOption(names, description, QString::fromLatin1(valueName ? valueName : ""));
}

// "custom6, custom7 or custom8"
QString writableSources()
{
    return sourceNames(true, QStringLiteral(" or "));
}

// edit's options: where the result goes, and one option per operation.
std::vector<QCommandLineOption> editOptions(const std::vector<QCommandLineOption> &common)
{
    std::vector<QCommandLineOption> options = common;
    options.push_back(option(
        {"to"}, QStringLiteral("Write into %1 and verify.").arg(writableSources()), "SOURCE"));
    options.push_back(option({"dry-run"}, "Print what would change; save and write nothing."));
    options.push_back(option({"no-verify"}, "With --to: do not read the image back."));
    options.push_back(option({"identity-from"},
                             "Copy the manufacturer, product code, serial number, date, product "
                             "name and serial number text of the EDID of INPUT, nothing else.",
                             "INPUT"));
    for (const EdidEditInfo &info : edidEditKinds())
        options.push_back(option({info.name}, info.description, info.argument));
    return options;
}

// Options that several commands take, each described once.
struct SharedOptions {
    QCommandLineOption json = option({"json"}, "Print the result as JSON.");
    QCommandLineOption output =
        option({"o", "output"}, "Save to FILE instead; - is standard output.", "FILE");
    QCommandLineOption format =
        option({"format"}, "hex or bin; else from the file name: .bin is binary.", "FORMAT");
    QCommandLineOption connector =
        option({"connector"}, "In a whole xrandr --props output, the EDID of output NAME.", "NAME");
};

// new's options: where the EDID goes, the presets listed, the modes and what goes with them.
std::vector<QCommandLineOption> newOptions(const SharedOptions &shared)
{
    return {
        option({"list"}, "List the presets: name and what it is."),
        shared.json,
        shared.output,
        shared.format,
        option({"to"}, QStringLiteral("Write into %1 and verify.").arg(writableSources()),
               "SOURCE"),
        option({"no-verify"}, "With --to: do not read the image back."),
        option({"mode"}, "A mode: WIDTHxHEIGHT@HZ (1920x1080@60, 1280x720@59.94).", "MODE"),
        option({"modeline"}, "A mode as an X modeline, in quotes.", "MODELINE"),
        option({"audio"}, "With modes: none, lpcm2 (the default) or lpcm8.", "AUDIO"),
        option({"name"}, "With modes: the product name (default: VNX Modes).", "TEXT"),
        option({"physical-address"}, "With modes: the HDMI address (default: 1.0.0.0).", "A.B.C.D"),
        option({"hdr"}, "With modes: HDR10 and HLG with BT.2020 colorimetry."),
    };
}

// The commands that talk to the tool.
std::vector<Command> toolCommands(const SharedOptions &shared)
{
    const auto &[json, output, format, connector] = shared;
    return {
        {"list",
         {},
         "Lists the tools found: index (for --device), serial string, product string. With\n"
         "--displays, the connectors of this computer's displays instead: the name drm: takes,\n"
         "the display's manufacturer and product name.",
         {option({"any"}, "Also devices of the tool's kind outside its USB IDs."),
          option({"displays"}, "List the display connectors that have an EDID, not the tools."),
          json},
         runList},
        {"read",
         {{"SOURCE", sourceNames(false, QStringLiteral(" or "))}},
         "Reads SOURCE from the tool and prints it in the window's hex text layout, or saves it\n"
         "to a file (atomically: a file is never left half-written).",
         {output, format, json},
         runRead},
        {"write",
         {{"INPUT", "the EDID to write: a file, tool:SOURCE or drm:CONNECTOR"}},
         "Writes the EDID of INPUT into a custom image of the tool, reads it back and compares\n"
         "all 256 bytes: the exit status is 0 only when they match, else 1 with the offsets\n"
         "that differ. An EDID with a wrong checksum is refused. Exit status 4 when the write\n"
         "broke off: the custom image may then be incomplete.",
         {option({"to"}, writableSources() + QLatin1Char('.'), "SOURCE"),
          option({"fix-checksums"}, "Recalculate both checksums before writing."),
          option({"force"}, "Write wrong checksums as they are."),
          option({"no-verify"}, "Do not read the image back."), connector},
         runWrite},
    };
}

// The commands on EDID files' bytes.
std::vector<Command> fileCommands(const SharedOptions &shared)
{
    const auto &[json, output, format, connector] = shared;
    return {
        {"check",
         {{"FILE...", "EDID files, binary or hex text"}},
         "Tests both block checksums of each file; prints ok or the wrong block with its stored\n"
         "and its correct value. Exit status 1 when one is wrong, 2 when a file is unreadable.",
         {json, connector},
         runCheck},
        {"fix",
         {{"FILE", "an EDID file, binary or hex text"}},
         "Recalculates both checksums and saves the file in place (binary stays binary, text\n"
         "becomes the window's hex text), or to another file. A file of 128 bytes stays one.",
         {output, connector},
         runFix},
        {"convert",
         {{"IN", "an EDID file, binary or hex text"}, {"OUT", "the file to save"}},
         "Saves the EDID of IN to OUT as binary or hex text; OUT - is standard output.",
         {format, connector},
         runConvert},
    };
}

// The commands on what EDIDs say.
std::vector<Command> edidCommands(const SharedOptions &shared)
{
    const auto &[json, output, format, connector] = shared;
    return {
        {"diff",
         {{"A", "a file, tool:SOURCE or drm:CONNECTOR"},
          {"B", "a file, tool:SOURCE or drm:CONNECTOR"}},
         "Prints each offset where A and B differ, with the byte of each; with --fields, what\n"
         "they say differently, field by field. A and B are files, tool:SOURCE to read a\n"
         "source from the tool, or drm:CONNECTOR for the EDID the kernel holds for a display.\n"
         "Exit status 1 when they differ.",
         {json, connector, option({"fields"}, "Compare the decoded fields, not the bytes.")},
         runDiff},
        {"decode",
         {{"INPUT...", "EDID files, tool:SOURCE or drm:CONNECTOR"}},
         "Decodes each EDID: the base block and the CTA-861 extension, field by field in the\n"
         "order of the bytes, then what is wrong with it (findings: errors and warnings).\n"
         "Exit status 1 when an EDID has an error, 2 when an input is unreadable.",
         {json, connector},
         runDecode},
        {"edit",
         {{"INPUT", "an EDID file, tool:SOURCE or drm:CONNECTOR"}},
         "Applies the operations to the EDID of INPUT in the order given, then saves the result\n"
         "(-o) or writes it into a custom image and reads it back (--to). Prints what changed,\n"
         "field by field: on standard error, or as the result with --dry-run. An operation\n"
         "that cannot apply stops the run with exit status 2 and its reason: nothing is written.",
         editOptions({output, format, connector}),
         runEdit},
        {"new",
         {{"[PRESET]", "a built-in EDID: 'new --list' names them"}},
         "Makes an EDID: a built-in PRESET, or one of the modes given with --mode and\n"
         "--modeline, the first of them the preferred timing. Each WIDTHxHEIGHT@HZ becomes the\n"
         "CTA-861 VIC of that size and rate, else the VESA DMT mode, else a VESA CVT timing.\n"
         "Saves it (-o) or writes it into a custom image and reads it back (--to). A mode no\n"
         "EDID can carry, or more modes than fit, stops the run with exit status 2 and the\n"
         "reason: nothing is written.",
         newOptions(shared),
         runNew},
        {"merge",
         {{"INPUT", "an EDID file, tool:SOURCE or drm:CONNECTOR"}, {"INPUT...", "more of them"}},
         "Merges the EDIDs of several displays into one that all of them accept, as a splitter\n"
         "needs: the timings every display accepts (whether it lists them as VICs, DTDs,\n"
         "standard or established timings), the lowest TMDS clock, the colour formats, deep\n"
         "colour, HDR and colorimetry all have, the audio all play, range limits that take the\n"
         "timings; the identity and physical address of the first INPUT. Prints where each value\n"
         "came from and what was left out, then saves the result (-o) or writes it into a custom\n"
         "image and reads it back (--to). Exit status 2, nothing written, when an INPUT is\n"
         "unreadable or the displays share no timing.",
         {output, format, connector, json,
          option({"to"}, QStringLiteral("Write into %1 and verify.").arg(writableSources()),
                 "SOURCE"),
          option({"no-verify"}, "With --to: do not read the image back."),
          option({"video"}, "common (default): the timings all accept; first: the first's.",
                 "WHICH"),
          option({"audio"}, "common (default), union, first, or from:N: the audio of INPUT N.",
                 "WHICH"),
          option({"identity"}, "from:N: the identity and physical address of INPUT N.", "from:N")},
         runMerge},
    };
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = [] {
        const SharedOptions shared;
        std::vector<Command> all;
        for (auto part : {toolCommands, fileCommands, edidCommands})
            for (Command &command : part(shared))
                all.push_back(std::move(command));
        return all;
    }();
    return table;
}

// The options every command takes.
void addCommonOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        option({"virtual"}, "Use the virtual tool instead of real ones."),
        option({"virtual-state"}, "Where the virtual tool keeps its images between runs.", "FILE"),
        option({"device"}, "Use tool N of 'list' (default: the first with the tool's serial).",
               "N"),
        option({"q", "quiet"}, "No confirmations and no progress bar; results and errors only."),
        option({"h", "help"}, "Show this help."),
    });
}

// Prints the device link's warnings as errors while it lives.
struct DeviceWarningsOnConsole {
    explicit DeviceWarningsOnConsole(Console &console)
    {
        setDeviceWarningHandler(
            [&console](const char *text) { console.error(QString::fromLatin1(text)); });
    }
    ~DeviceWarningsOnConsole() { setDeviceWarningHandler(nullptr); }
};

// Qt's usage line names the program by the path it was started with.
int printHelp(Console &console, const QCommandLineParser &parser, const QString &usage)
{
    const QString help = parser.helpText();
    console.printBytes(QStringLiteral("Usage: varnex-edid %1\n%2")
                           .arg(usage, help.mid(help.indexOf(QLatin1Char('\n')) + 1))
                           .toUtf8());
    return kExitSuccess;
}

// The tool a run talks to: the index --device chose, and the virtual tool's state file (null for
// real tools, which keep no state and so leave no folder behind). Returns an exit code.
int readToolOptions(const QCommandLineParser &parser, Console &console,
                    std::optional<std::uint32_t> &device, QString &statePath)
{
    if (parser.isSet(QStringLiteral("device"))) {
        bool ok = false;
        device = parser.value(QStringLiteral("device")).toUInt(&ok);
        if (!ok)
            return console.fail(kExitBadInput,
                                QStringLiteral("--device takes an index that 'list' shows"));
    }
    const bool virtualTool = parser.isSet(QStringLiteral("virtual"));
    const bool stateGiven = parser.isSet(QStringLiteral("virtual-state"));
    if (stateGiven && !virtualTool)
        return console.fail(kExitBadInput, QStringLiteral("--virtual-state needs --virtual"));
    if (!virtualTool)
        return kExitSuccess;
    statePath =
        stateGiven ? parser.value(QStringLiteral("virtual-state")) : defaultVirtualStatePath();
    if (statePath.isEmpty())
        return console.fail(kExitBadInput,
                            stateGiven ? QStringLiteral("--virtual-state needs a file name")
                                       : QStringLiteral("no folder for the virtual tool's state "
                                                        "(no XDG_RUNTIME_DIR and no HOME): give "
                                                        "--virtual-state FILE"));
    return kExitSuccess;
}

int runCommand(const Command &command, const QStringList &arguments, Console &console,
               const UsbLibraries &libraries)
{
    QCommandLineParser parser;
    for (const QCommandLineOption &commandOption : command.options)
        parser.addOption(commandOption);
    addCommonOptions(parser);
    for (const Argument &argument : command.arguments)
        parser.addPositionalArgument(QLatin1String(argument.name), argument.description);
    parser.setApplicationDescription(QString::fromLatin1(command.description) +
                                     QStringLiteral("\n\n") + kExitCodes);
    const bool parsed = parser.parse(arguments);
    // A script that asked for JSON gets JSON, a usage error included.
    console.setJson(parsed ? parser.optionNames().contains(QStringLiteral("json"))
                           : arguments.contains(QStringLiteral("--json")));
    if (!parsed)
        return console.fail(kExitBadInput, parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        return printHelp(console, parser, command.synopsis() + QStringLiteral(" [options]"));
    const QStringList words = parser.positionalArguments().mid(1);
    if (!command.takes(words.size()))
        return console.fail(
            kExitBadInput,
            QStringLiteral("usage: varnex-edid %1 [options]").arg(command.synopsis()));
    std::optional<std::uint32_t> device;
    QString statePath;
    if (const int code = readToolOptions(parser, console, device, statePath))
        return code;

    console.setQuiet(parser.isSet(QStringLiteral("quiet")));
    VirtualTool *virtualTool = statePath.isNull() ? nullptr : &libraries.virtualTool;
    // The virtual tool is known by its serial and product strings alone.
    UsbLibraryLister virtualLister;
    LibusbLister realLister;
    useUsbLibrary(virtualTool ? static_cast<UsbLibrary *>(virtualTool) : &libraries.libusb());
    ToolLister &lister = virtualTool ? static_cast<ToolLister &>(virtualLister) : realLister;
    chooseDeviceIndex(device);
    const DeviceWarningsOnConsole warnings(console);
    ToolTransfers tool(console, lister, virtualTool, statePath, device);
    Run run{parser, words, console, tool, lister};
    const int code = command.run(run);
    useUsbLibrary(nullptr);
    return code;
}

} // namespace

int runCli(const QStringList &arguments, Console &console, const UsbLibraries &libraries)
{
    // First only the command's name: every option after it belongs to the command.
    QCommandLineParser parser;
    addCommonOptions(parser);
    parser.addOption(option({"version"}, "Show the program's version."));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.setApplicationDescription(overview() + kExitCodes);
    if (!parser.parse(arguments))
        return console.fail(kExitBadInput, parser.errorText());
    const QStringList words = parser.positionalArguments();
    if (words.isEmpty()) {
        if (parser.isSet(QStringLiteral("help")))
            return printHelp(console, parser, QStringLiteral("[options] COMMAND [ARGUMENTS]"));
        if (parser.isSet(QStringLiteral("version"))) {
            console.print(QStringLiteral("varnex-edid " VARNEX_VERSION));
            return kExitSuccess;
        }
        return console.fail(kExitBadInput,
                            QStringLiteral("no command given; 'varnex-edid --help' lists them"));
    }
    // "help COMMAND" is "COMMAND --help", and "help" alone "--help". Every word from the first
    // positional one on is positional, so the command's name stands that many words from the end.
    if (words.first() == QLatin1String("help")) {
        QStringList asked = arguments;
        asked.removeAt(arguments.size() - words.size());
        return runCli(asked << QStringLiteral("--help"), console, libraries);
    }
    for (const Command &command : commands())
        if (words.first() == QLatin1String(command.name))
            return console.finish(runCommand(command, arguments, console, libraries));
    return console.fail(kExitBadInput, QStringLiteral("unknown command '%1'; 'varnex-edid "
                                                      "--help' lists them")
                                           .arg(words.first()));
}
