#include "Cli.h"
#include "Console.h"
#include "EdidEdit.h"
#include "EdidMerge.h"
#include "EdidModeList.h"
#include "EdidPresets.h"
#include "EdidSamples.h"
#include "ExitCode.h"
#include "FileIo.h"
#include "JsonText.h"
#include "SampleEdids.h"
#include "TestDeviceClock.h"
#include "ToolFaults.h"
#include "VirtualState.h"
#include "VirtualTool.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const auto with = [](QByteArray b, int at, char v) { return b.replace(at, 1, QByteArray(1, v)); };

// The names a section of a help text lists under its heading, in order.
QStringList listed(const QByteArray &help, const QString &heading)
{
    QStringList names;
    for (const QString &line :
         QString(help).section(heading + '\n', 1).section("\n\n", 0, 0).split('\n'))
        if (line.startsWith("  ") && line[2] != ' ')
            names << line.mid(2).section("  ", 0, 0);
    return names;
}

} // namespace

Q_DECLARE_METATYPE(Json)

class CliTest : public QObject {
    Q_OBJECT

    TestDeviceClock clock;
    VirtualTool tool;
    QTemporaryDir folder;
    const QByteArray sink = bytesOf(sampleEdid(0xA0));
    const QByteArray custom6 = bytesOf(sampleEdid(0xB2));
    const QByteArray bad = with(with(sink, 0, 0x55), 255, 0x55); // both checksums wrong
    const QByteArray base = with(sink.left(128), 127, 0x00);     // a lone block, checksum wrong
    // An HDMI VSDB of its OUI alone, too short for a physical address.
    const QByteArray shortVsdb =
        with(sink, sink.indexOf(QByteArray::fromHex("030C00"), 128) - 1, 0x63);
    QByteArray out, err;

    // A lone block as the window's hex text shows it.
    static QByteArray blockText(const QByteArray &block)
    {
        return hexText(block + QByteArray(128, 0)).left(384).toLatin1();
    }

    // One run of the program in a fresh process's state: the virtual tool starts from the state
    // file.
    int run(const QString &commandLine, const ToolFaults &faults = {})
    {
        tool.reset();
        faults.applyTo(tool);
        QBuffer outBuffer(&out), errBuffer(&err);
        outBuffer.open(QIODevice::WriteOnly | QIODevice::Truncate);
        errBuffer.open(QIODevice::WriteOnly | QIODevice::Truncate);
        Console console(outBuffer, errBuffer, false);
        const UsbLibraries libraries{
            tool, []() -> LibusbUsbLibrary & { qFatal("every run is on the virtual tool"); }};
        return runCli(("varnex-edid --virtual " + commandLine).split(' '), console, libraries);
    }

private slots:
    void init()
    {
        QVERIFY(QDir(folder.path()).removeRecursively() && QDir().mkpath(folder.path()));
        QVERIFY(QDir::setCurrent(folder.path()));
        qputenv("XDG_RUNTIME_DIR", folder.path().toLocal8Bit()); // where the state file goes
        QVERIFY(saveFileAtomically("s.bin", sink).isNull());
        QVERIFY(saveFileAtomically("bad.bin", bad).isNull());
        QVERIFY(saveFileAtomically("short.bin", shortVsdb).isNull());
        QVERIFY(saveFileAtomically("junk", QByteArray(1313, 'x')).isNull()); // a state's size
        QVERIFY(mkfifo("fifo", 0600) == 0);
        // The kernel's layout: a card, a display on card0, on card1 none and one of four blocks.
        qputenv("VARNEX_DRM_ROOT", "drm");
        for (const auto &[file, bytes] :
             std::map<QString, QByteArray>{{"card0/dev", "226:0\n"},
                                           {"card0-HDMI-A-1/edid", sink},
                                           {"card1-DP-1/edid", {}},
                                           {"card1-DP-1/status", "disconnected\n"},
                                           {"card1-DP-2/edid", sink + sink}})
            QVERIFY(QDir().mkpath("drm/" + file.section('/', 0, 0)) &&
                    saveFileAtomically("drm/" + file, bytes).isNull());
    }

    void reader_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("read");  // the image; empty: refused
        QTest::addColumn<QByteArray>("error"); // how the error message starts
        QTest::addColumn<QString>("options");
        const auto row = [](const char *name, const QByteArray &input, const QByteArray &read,
                            const QByteArray &error = {}, const QString &options = {}) {
            QTest::newRow(name) << input << read << error << options;
        };
        const QByteArray all = QByteArray::fromHex("00ff01fe10ef7f80a55ac33c0ff09966").repeated(16);
        const QByteArray spaced = "00 ff 01 fe 10 ef 7f 80 a5 5a c3 3c 0f f0 99 66\n";
        row("binary, 256 bytes", sink, sink);
        const QByteArray block = QByteArray(100, 0) + QByteArray(28, '\n'); // binary: a 0x00 in it
        row("binary, 128 bytes", block, block);
        row("window's hex text", spaced.toUpper().repeated(16).chopped(1), all);
        const QByteArray xrandrEdid =
            "\tEDID: \n" + QByteArray("\t\t00ff01fe10ef7f80a55ac33c0ff09966\n").repeated(16);
        row("xrandr --verbose", xrandrEdid, all);
        row("edid-decode",
            "edid-decode (hex):\n\n" + (spaced.repeated(8) + '\n').repeated(2) +
                "----------------\n\nBlock 0, Base EDID:\n",
            all);
        const QByteArray cArray = "0X00,0xFF, 0x01,0xfe,0x10, "
                                  "0xEF,0x7f,0x80,\r\n0xA5,0x5a,0xc3,0x3C,0x0f,0xf0,0x99,0x66,\r\n";
        row("0x, commas, CRLF", cArray.repeated(16), all);
        row("colons, runs, any count per line",
            QByteArray("00:ff:01:fe 10ef7f80\ta55a,c33c 0ff0\n9966 ").repeated(16), all);
        row("one block of text", spaced.repeated(8), all.left(128));
        row("CR line ends, label line",
            "EDID:\r" + QByteArray(spaced).replace('\n', '\r').repeated(16), all);
        const QByteArray hdmi =
            "HDMI-1 connected primary 1920x1080+0+0 (normal left inverted right x axis y axis) "
            "531mm x 299mm\n" +
            xrandrEdid + "\tmax bpc: 12 \n\t\trange: (6, 16)\n   1920x1080     60.00*+  50.00\n";
        const QByteArray dp = "DP-2 connected 2560x1440+1920+0 (normal left inverted right x axis "
                              "y axis) 597mm x 336mm\n" +
                              QByteArray(xrandrEdid).replace("ff01", "ff02") +
                              "\tlink-status: Good \n";
        const QByteArray xrandr =
            "Screen 0: minimum 320 x 200, current 4480 x 1440, maximum 16384 x 16384\n" + hdmi +
            "DP-1 disconnected (normal left inverted right x axis y axis)\n\tmax bpc: 12 \n";
        row("xrandr --props, one display", xrandr, all);
        row("xrandr --props, two displays", xrandr + dp, {},
            "in:1: the xrandr output holds the EDIDs of HDMI-1, DP-2: choose one with "
            "--connector NAME");
        row("xrandr --props, --connector", xrandr + dp,
            QByteArray::fromHex("00ff02fe10ef7f80a55ac33c0ff09966").repeated(16), {},
            "--connector DP-2");
        row("xrandr --props, no such output", xrandr + dp, {},
            "in:1: no output DP-1 with an EDID; there are HDMI-1, DP-2", "--connector DP-1");
        row("text after a byte-order mark", "\xEF\xBB\xBF" + spaced.repeated(16), all);
        row("odd digit count", "00 ff\n00 f 01\n", {}, "in:2:4: odd number of hex digits");
        row("non-hex character", "00 ff 0g\n", {}, "in:1:8: 'g' is not a hex digit");
        row("0x alone", "0x00 0x ff", {}, "in:1:6: 0x without hex digits");
        row("257 bytes", spaced.repeated(16) + "\n  77 \n", {}, "in:18:3: more than 256 bytes");
        row("129 bytes", spaced.repeated(8) + " 77 ", {},
            "in:9:4: the dump ends after 129 bytes; an EDID has 128 or 256");
        row("binary, 255 bytes", sink.left(255), {},
            "in: a binary EDID has 128 or 256 bytes, not 255");
        row("over 64 KiB", QByteArray(64 * 1024 + 1, ' '), {}, "in: larger than 64 KiB");
    }
    // Through convert: the form read, the binary file saved.
    void reader()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, error);
        QFETCH(QString, options);
        QVERIFY(saveFileAtomically("in", input).isNull());
        QCOMPARE(run(("convert in out.bin " + options).trimmed()), read.isEmpty() ? 2 : 0);
        QCOMPARE(readFileStart("out.bin", 512).content, read);
        QVERIFY2(error.isEmpty() ? err.isEmpty() : err.startsWith("varnex-edid: " + error), err);
        QCOMPARE(out, read.isEmpty() ? "" : "in saved to out.bin as binary\n");
    }

    // The file a command names last: a lone base block (its checksum wrong) in binary and text,
    // and a read-only copy of bad.bin; what it holds after and its mode.
    void savedFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("mode");
        const QByteArray fixed = with(with(sink, 0, 0x55), 127, char(0xE9));
        QTest::newRow("fix keeps a base block") << "fix b128.bin" << sink.left(128) << 0644;
        QTest::newRow("fix keeps a base block's text")
            << "fix b128.txt" << blockText(sink.left(128)) << 0644;
        QTest::newRow("convert keeps a base block")
            << "convert b128.bin new.txt" << blockText(base) << 0644;
        QTest::newRow("fix keeps the mode") << "fix ro.bin" << fixed << 0440;
    }
    void savedFile()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, bytes);
        QFETCH(int, mode);
        QVERIFY(saveFileAtomically("b128.bin", base).isNull());
        QVERIFY(saveFileAtomically("b128.txt", blockText(base)).isNull());
        QVERIFY(saveFileAtomically("ro.bin", bad).isNull() && chmod("ro.bin", 0440) == 0);
        umask(022);
        QCOMPARE(run(command), 0);
        const QString file = command.section(' ', -1);
        QCOMPARE(readFileStart(file, 1024).content, bytes);
        struct stat status {};
        QVERIFY(stat(qPrintable(file), &status) == 0);
        QCOMPARE(int(status.st_mode & 07777), mode);
    }

    // A second run waits for the state, then gives up as on a tool that is in use.
    void stateInUse()
    {
        const int held = open("varnex-edid-virtual.state.lock", O_RDWR | O_CREAT, 0600);
        QVERIFY(held >= 0 && flock(held, LOCK_EX) == 0);
        const auto start = clock.elapsed();
        QCOMPARE(run("write s.bin --to custom6"), 4);
        close(held);
        QCOMPARE(err, "varnex-edid: the virtual tool is in use by another program\n");
        QVERIFY(clock.elapsed() - start >= std::chrono::seconds(10));
        QCOMPARE(bytesOf(tool.image(0xB2)), custom6);
    }

    void defaultState_data()
    {
        QTest::addColumn<QByteArray>("runtime");
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QString>("path"); // below the test folder; null: none
        const QByteArray here = folder.path().toLocal8Bit();
        const QString name = "/varnex-edid-virtual.state";
        QTest::newRow("runtime folder") << here + "/run" << here << "/run" + name;
        QTest::newRow("relative runtime") << QByteArray("run") << here << "/.cache" + name;
        QTest::newRow("no home") << QByteArray("run") << QByteArray() << QString();
    }
    void defaultState()
    {
        QFETCH(QByteArray, runtime);
        QFETCH(QByteArray, home);
        QFETCH(QString, path);
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("HOME", home);
        qunsetenv("XDG_CACHE_HOME");
        QCOMPARE(defaultVirtualStatePath(), path.isNull() ? path : folder.path() + path);
    }

    void commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out"); // part of standard output; empty: nothing there
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<QByteArray>("custom6"); // what custom6 holds at the end; empty: its sample
        QTest::addColumn<ToolFaults>("faults");  // of its run
        QTest::addColumn<QStringList>("before"); // commands run before it, each successfully
        const auto row = [](const char *name, const char *command, int code, const QByteArray &out,
                            const QByteArray &err, const QByteArray &custom6 = {},
                            const ToolFaults &faults = {}, const QStringList &before = {}) {
            QTest::newRow(name) << QString(command) << code << out << err << custom6 << faults
                                << before;
        };
        const QByteArray lost = with(sink, 10, char(0xB2)), half = with(custom6, 10, char(0xA0));
        // What custom6 keeps: the merge of the sink and short.bin with the identity of the second.
        EdidImage shortImage;
        std::copy(shortVsdb.begin(), shortVsdb.end(), shortImage.bytes.begin());
        MergeOptions second;
        second.identityFrom = 1;
        const QByteArray merged =
            bytesOf(mergeEdids({decodeEdid(sampleEdid(0xA0)), decodeEdid(shortImage)}, second)
                        .merged->image);
        row("read", "read sink", 0, "00 FF FF FF FF FF FF 00 59 D8 A0 20 00 00 00 00\n30 24", "");
        row("read into a file", "read sink -o r.bin", 0, "sink saved to r.bin\n", "");
        row("read as JSON", "read custom8 --json", 0, "\"edid\": \"00FFFFFFFFFFFF0059D8B620", "");
        row("round trip", "diff c tool:custom6", 0, "identical", "", sink, {},
            {"write s.bin --to custom6", "read custom6 -o c"});
        row("not kept", "write s.bin --to custom6", 1, "",
            "custom6 did not keep the EDID: the read-back differs at 1 of 256 offsets (offset, "
            "written, read back):\n  0x0A  A0  B2\n",
            lost, ToolFaults().discardWrite(2));
        row("unverified", "write s.bin --to custom6 --no-verify", 0, "not verified", "", lost,
            ToolFaults().discardWrite(2));
        row("quiet write", "write s.bin --to custom6 -q", 0, "", "", sink);
        row("write unanswered", "write s.bin --to custom6", 4, "",
            "writing custom6 was interrupted: the custom EDID may now be incomplete", half,
            ToolFaults().silentFrom(5));
        row("read unanswered", "read sink", 4, "", "reading sink failed", {},
            ToolFaults().silentFrom(3));
        row("no read-back", "write s.bin --to custom6", 4, "", "reading custom6", sink,
            ToolFaults().silentFrom(33));
        row("checksums refused", "write bad.bin --to custom6", 2, "", "0xD1; nothing written");
        row("fixed", "write bad.bin --to custom6 --fix-checksums", 0,
            "bad.bin written to custom6 and verified: all 256 bytes match", "",
            with(with(sink, 0, 0x55), 127, char(0xE9)));
        row("forced", "write bad.bin --to custom6 --force", 0, "verified", "", bad);
        row("both", "write bad.bin --to custom6 --force --fix-checksums", 2, "", "exclude");
        row("sink never written", "write s.bin --to sink", 2, "", "sink cannot be written");
        row("no tool at index 1", "read sink --device 1", 3, "", "no tool found");
        row("damaged state", "read sink --virtual-state junk", 2, "", "state junk is damaged");
        row("state in no folder", "write s.bin --to custom6 --virtual-state no/dir/s", 2, "",
            "state no/dir/s.lock: No such file or directory");
        row("no state file name", "read sink --virtual-state=", 2, "",
            "--virtual-state needs a file name");
        row("read to standard output", "read sink -o -", 0, "00 FF FF FF FF FF FF 00 59 D8 A0 20",
            "");
        row("never onto a FIFO", "read sink -o fifo", 2, "",
            "cannot write fifo: Not a regular file");
        row("failed read as JSON", "read sink --json", 4, "\"error\": \"reading sink failed",
            "reading sink failed", {}, ToolFaults().silentFrom(3));
        row("usage error as JSON", "diff s.bin --json", 2, "\"exit_status\": 2",
            "usage: varnex-edid diff A B");
        row("check", "check s.bin bad.bin", 1,
            "ok\nbad.bin: block 0 checksum is 0x3E, should be 0xE9; block 1 checksum is 0x55", "");
        row("diff", "diff bad.bin s.bin", 1, "0x00  55  00\n0xFF  55  D1\n", "");
        row("unreadable", "check missing s.bin --json", 2, "\"ok\": true", "cannot read missing");
        row("fix in place", "check bad.bin", 0, "bad.bin: ok", "", {}, {}, {"fix bad.bin"});
        row("diff as JSON", "diff s.bin tool:custom6 --json", 1,
            "\"a\": \"s.bin\",\n    \"b\": \"tool:custom6\"", "");
        row("list", "list", 0, "0  2011  Varnex HDMI Virtual Tool\n", "");
        row("list as JSON", "list --json", 0,
            "\"access\": true,\n        \"index\": 0,\n        \"product\": \"Varnex HDMI Virtual "
            "Tool\",\n        \"serial\": \"2011\"",
            "");
        row("unknown command", "frob", 2, "", "unknown command 'frob'");
        row("help of no command", "help frob", 2, "", "unknown command 'frob'");
        row("unknown source", "diff s.bin tool:sinks", 2, "", "unknown source in 'tool:sinks'");
        row("missing argument", "read", 2, "", "usage: varnex-edid read SOURCE [options]");
        row("bad format", "read sink --format txt", 2, "", "--format takes hex or bin");
        row("unwritable", "read sink -o no/such/dir", 2, "",
            "cannot write no/such/dir: No such file or directory");
        row("decode", "decode s.bin", 0, "  Manufacturer: VNX\n", "");
        row("decode two, one unreadable", "decode missing tool:custom8", 2,
            "custom8:\nBlock 0: base EDID\n", "cannot read missing");
        row("decode's audio as JSON", "decode tool:sink --json", 0,
            "\"format_code\": 2,\n                    \"max_bitrate_kbps\": 640,", "");
        row("decode as JSON", "decode tool:sink --json", 0,
            "\"serial_text\": \"2011\",\n        \"source\": \"sink\"", "");
        const char *lgTv = "decode " VARNEX_EDID_CORPUS "/0294c5a146ff.bin --json";
        row("each data block's place in JSON", lgTv, 1,
            "\"blocks\": [\n                {\n                    \"extended_tag\": null,\n"
            "                    \"length\": 26,\n                    \"offset\": 132,",
            "");
        row("deep colour in JSON", lgTv, 1, "\"deep_color\": [\n                    30\n", "");
        row("no physical address in JSON", "decode short.bin --json", 1,
            "\"physical_address\": null", "");
        // edit: the operations in the order given; a refused one writes nothing.
        const int address = sink.indexOf(QByteArray::fromHex("030C00"), 128) + 3; // after the OUI
        const QByteArray addressed = with(with(sink, address, 0x20), 255, char(sink[255] - 0x10));
        const QByteArray newAddress = "Physical address: 1.0.0.0 -> 2.0.0.0\n";
        row("edit in order", "edit s.bin --dry-run --set-audio lpcm2 --add-audio dts", 0,
            "Audio descriptor 2 removed: AC-3, 6 channels, 32 44.1 48 kHz, up to 640 kb/s\n"
            "Audio descriptor 2 added: DTS",
            "");
        row("edit in the other order", "edit s.bin --dry-run --add-audio dts --set-audio lpcm2", 0,
            "Audio descriptor 2 removed: AC-3, 6 channels, 32 44.1 48 kHz, up to 640 kb/s\n"
            "Speaker",
            "");
        row("edit written and verified", "edit s.bin --to custom6 --set-physical-address 2.0.0.0",
            0, "written to custom6 and verified", newAddress, addressed);
        row("edit saved", "edit tool:sink -o - --format bin --set-physical-address 2.0.0.0", 0,
            addressed, newAddress);
        row("edit refused", "edit s.bin --to custom6 --set-name ok --set-physical-address 1.0.2.1",
            2, "",
            "varnex-edid: --set-physical-address '1.0.2.1': physical address 1.0.2.1 has a "
            "non-zero digit after a zero; nothing written\n");
        row("the sources read names", "read --help", 0,
            "  SOURCE                  current, sink, custom6, custom7 or custom8\n", "");
        row("edit with a note", "edit s.bin --dry-run --limit 1280x720@60", 0,
            "DTD 1: 1920x1080p, 60.000 Hz",
            "varnex-edid: --limit '1280x720@60': DTD 1, 1920x1080p60, was above 1280x720p60, "
            "which takes its place\n");
        row("edit saved to a file", "edit s.bin -o e.bin --set-name x", 0,
            "the edited EDID saved to e.bin\n", "Product name: 'VNX Sink' -> 'x'\n");
        row("edit unwritable", "edit s.bin -o no/dir/e.bin --set-name x", 2, "",
            "cannot write no/dir/e.bin");
        row("edit nowhere", "edit s.bin --set-name x", 2, "", "edit needs -o FILE, --to custom6");
        row("edit no operation", "edit s.bin --dry-run", 2, "", "edit needs an operation");
        row("identity, then a name",
            "edit s.bin --dry-run --identity-from tool:custom8 --set-name X", 0,
            "Product code: 8352 -> 8374\nProduct name: 'VNX Sink' -> 'X'\n", "");
        row("a name, then the identity",
            "edit s.bin --dry-run --set-name X --identity-from tool:custom8", 0,
            "Product code: 8352 -> 8374\nProduct name: 'VNX Sink' -> 'VNX Custom 8'\n", "");
        row("identity unreadable", "edit s.bin -o e.bin --identity-from missing", 2, "",
            "cannot read missing");
        row("fields differ", "diff --fields s.bin bad.bin", 1,
            "Header: valid -> not 00 FF FF FF FF FF FF 00\n", "");
        row("decode drm:", "decode drm:HDMI-A-1 --json", 0, "\"connector\": \"HDMI-A-1\"", "");
        row("unknown connector", "decode drm:HDMI-A-2", 2, "",
            "drm:HDMI-A-2: no connector named 'HDMI-A-2'; those with an EDID: HDMI-A-1, DP-2\n");
        row("connector without EDID", "edit drm:DP-1 --dry-run --set-name x", 2, "",
            "drm:DP-1: the kernel holds no EDID for this connector (disconnected)\n");
        row("write drm:", "write drm:HDMI-A-1 --to custom6", 0,
            "drm:HDMI-A-1 written to custom6 and verified", "", sink);
        row("displays", "list --displays", 0,
            "HDMI-A-1  VNX  VNX Sink\nDP-2  unreadable: the EDID has 512 bytes; varnex-edid "
            "reads 128 or 256, as many as the tool keeps\n",
            "");
        row("displays as JSON", "list --displays --json", 0,
            "\"connector\": \"HDMI-A-1\",\n        \"name\": \"VNX Sink\",\n        "
            "\"product\": 8352,\n        \"status\": null,\n        \"vendor\": \"VNX\"",
            "");
        row("fields the same", "diff --fields s.bin tool:sink --json", 0,
            "\"differences\": [\n    ],\n    \"identical\": true", "");
        // new: a preset or a list of modes, saved or written and verified; or nothing written.
        row("presets", "new --list", 0,
            "dvi-1080p60           DVI monitor: 1920x1080 at 60 Hz, no audio\nhdmi-1080p60  ", "");
        row("presets as JSON", "new --list --json", 0,
            "[\n    {\n        \"description\": \"DVI monitor: 1920x1080 at 60 Hz, no audio\",\n"
            "        \"name\": \"dvi-1080p60\"\n    },",
            "");
        row("preset written", "new hdmi-1080p60 --to custom6", 0,
            "preset hdmi-1080p60 written to custom6 and verified", "",
            bytesOf(*presetEdid("hdmi-1080p60").image));
        row("preset of one block", "new dvi-1080p60 -o - --format hex", 0,
            "00 FF FF FF FF FF FF 00 59 D8 01 50 00 00 00 00\n00 24 01 03 80 35 1E 78 0E EE 91 A3 "
            "54 4C 99 26\n",
            "");
        ModeListRequest twoModes;
        twoModes.modes = {{"1600x900@75", false}, {"1920x1080@60", false}};
        row("modes written", "new --mode 1600x900@75 --mode 1920x1080@60 --to custom6 -q", 0, "",
            "", bytesOf(*modeListEdid(twoModes).image));
        row("modes saved", "decode m.txt", 0, "  Product code: 20480\n", "", {}, {},
            {"new --modeline 74.25,1280,1390,1430,1650,720,725,730,750,+hsync,+vsync --name "
             "Studio -o m.txt"});
        const char *modes = "new needs a PRESET, --mode or --modeline ('new --list' lists the "
                            "presets)";
        row("new refused", "new hdmi-4k --to custom6", 2, "",
            "varnex-edid: no preset is named 'hdmi-4k'; 'new --list' lists them; nothing "
            "written\n");
        row("new into the sink", "new hdmi-1080p60 --to sink", 2, "", "sink cannot be written");
        row("new nowhere", "new hdmi-1080p60", 2, "", "new needs -o FILE or --to custom6");
        row("new in two places", "new hdmi-1080p60 -o a --to custom6", 2, "",
            "new takes -o or --to, not both");
        row("new of nothing", "new --to custom6", 2, "", modes);
        row("preset and modes", "new hdmi-1080p60 --mode 1920x1080@60 --to custom6", 2, "",
            "new takes a PRESET or --mode and --modeline, not both");
        row("preset with audio", "new hdmi-1080p60 --audio lpcm8 --to custom6", 2, "",
            "--audio belongs to a list of modes, not to a preset");
        row("list and more", "new --list --mode 1920x1080@60", 2, "",
            "new --list takes no PRESET and no modes");
        row("rate refused", "new --mode 1920x1080@0 --to custom6", 2, "",
            "varnex-edid: '1920x1080@0': a rate is above 0 and at most 1000 Hz; nothing "
            "written\n");
        row("modeline refused", "new --modeline 148.5,1920,2008,2052,2200,1080,1084,1089 -o m", 2,
            "", "has 8 of the 9 numbers; nothing written");
        row("too many modes",
            "new --mode 1000x700@60 --mode 1001x700@60 --mode 1002x700@60 --mode 1003x700@60 "
            "--mode 1004x700@60 --mode 1005x700@60 --mode 1006x700@60 --mode 1007x700@60 --to "
            "custom6",
            2, "", "8 modes are more than fit");
        // merge: where each value came from, then the result saved or written and verified;
        // refused with one line and nothing written.
        row("merge", "merge s.bin tool:custom8 -o m.bin", 0,
            "Preferred timing 1920x1080p60: input 1's\nTiming 1280x720p60: all inputs have it\n",
            "");
        row("merge written", "merge tool:sink short.bin --to custom6 --identity from:2", 0,
            "Identity VNX 8352 'VNX Sink': input 2's\n",
            "short.bin: block 1 checksum is 0xD1, should be 0xD6; read as it is\n", merged);
        row("merge as JSON", "merge s.bin drm:HDMI-A-1 -o m.bin --json --audio union", 0,
            "\"action\": \"union\",\n            \"field\": \"audio\",", "");
        const auto refused = [&row](const char *name, const char *command, const QByteArray &err) {
            row(name, command, 2, "", "varnex-edid: " + err + "\n");
        };
        refused("merge one", "merge s.bin --to custom6",
                "usage: varnex-edid merge INPUT INPUT... [options]");
        refused("merge unreadable", "merge s.bin missing --to custom6",
                "cannot read missing: No such file or directory");
        refused(
            "merge no EDID", "merge s.bin bad.bin --to custom6",
            "input 2 holds no EDID: its header is not 00 FF FF FF FF FF FF 00; nothing written");
        refused("merge no common timing",
                "merge s.bin " VARNEX_EDID_CORPUS "/0160c116a2d9.bin --to custom6",
                "no timing is accepted by all inputs; nothing written");
        refused("merge audio of nothing", "merge s.bin s.bin --audio all --to custom6",
                "--audio takes common, union, first or from:N");
        refused("merge identity of no input", "merge s.bin s.bin --identity from:3 --to custom6",
                "--identity from:3: there are 2 inputs");
        refused("merge nowhere", "merge s.bin s.bin",
                "merge takes -o FILE or --to custom6, custom7 or custom8");
    }
    // The overview lists every command, and nothing else; a command's help its arguments and
    // options, then those every command takes.
    void help_data()
    {
        QTest::addColumn<QString>("synopsis"); // the command and its arguments
        QTest::addColumn<QStringList>("options");
        const auto row = [](const char *synopsis, const QStringList &options) {
            QTest::newRow(synopsis) << QString(synopsis) << options;
        };
        const QString connector = "--connector <NAME>", format = "--format <FORMAT>";
        row("list", {"--any", "--displays", "--json"});
        row("read SOURCE", {"-o, --output <FILE>", format, "--json"});
        row("write INPUT",
            {"--to <SOURCE>", "--fix-checksums", "--force", "--no-verify", connector});
        row("check FILE...", {"--json", connector});
        row("fix FILE", {"-o, --output <FILE>", connector});
        row("convert IN OUT", {format, connector});
        row("diff A B", {"--json", connector, "--fields"});
        row("decode INPUT...", {"--json", connector});
        QStringList edits{"-o, --output <FILE>",    format,      connector,
                          "--to <SOURCE>",          "--dry-run", "--no-verify",
                          "--identity-from <INPUT>"};
        for (const EdidEditInfo &edit : edidEditKinds()) // each edit an option of its own
            edits << QString("--%1%2").arg(
                edit.name, edit.argument ? QString(" <%1>").arg(edit.argument) : QString());
        row("edit INPUT", edits);
        row("new [PRESET]",
            {"--list", "--json", "-o, --output <FILE>", format, "--to <SOURCE>", "--no-verify",
             "--mode <MODE>", "--modeline <MODELINE>", "--audio <AUDIO>", "--name <TEXT>",
             "--physical-address <A.B.C.D>", "--hdr"});
        row("merge INPUT INPUT...",
            {"-o, --output <FILE>", format, connector, "--json", "--to <SOURCE>", "--no-verify",
             "--video <WHICH>", "--audio <WHICH>", "--identity <from:N>"});
    }
    void help()
    {
        QFETCH(QString, synopsis);
        QFETCH(QStringList, options);
        const QRegularExpression listing("^" + QRegularExpression::escape(synopsis) + "( |$)",
                                         QRegularExpression::MultilineOption);
        QCOMPARE(run("--help"), 0);
        const QByteArray overview = out;
        // The exit statuses as scripts read them, each with the value the program exits with.
        const std::pair<ExitCode, const char *> statuses[] = {
            {kExitSuccess, "success"},
            {kExitDifference, "a check or verification found a difference"},
            {kExitBadInput, "bad usage or\ninput"},
            {kExitNoTool, "no tool or no access"},
            {kExitDeviceFailed, "a device exchange failed or timed out"}};
        for (const auto &[code, meaning] : statuses)
            QVERIFY2(overview.contains(QByteArray::number(int(code)) + ' ' + meaning), meaning);
        QVERIFY(run("help") == 0 && out == overview);
        const QStringList commands = listed(out, "Commands:");
        QVERIFY(commands.join('\n').contains(listing));
        QCOMPARE(commands.size(), 11); // each of them a row here
        QCOMPARE(run(synopsis.section(' ', 0, 0) + " --help"), 0);
        const QByteArray help = out;
        QVERIFY(run("help " + synopsis.section(' ', 0, 0)) == 0 && out == help);
        QVERIFY(out.startsWith(("Usage: varnex-edid " + synopsis + " [options]\n").toUtf8()));
        QCOMPARE(listed(out, "Arguments:"), synopsis.split(' ').mid(1));
        const QStringList common{"--virtual", "--virtual-state <FILE>", "--device <N>",
                                 "-q, --quiet", "-h, --help"};
        QCOMPARE(listed(out, "Options:"), options + common);
    }

    // Every edit of the table and every option of new is in the man page and the completion.
    void editOptionsDocumented()
    {
        QFile manual(VARNEX_CLI_SOURCE "/varnex-edid.1");
        QFile completion(VARNEX_CLI_SOURCE "/varnex-edid.bash-completion");
        QVERIFY(manual.open(QIODevice::ReadOnly) && completion.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(manual.readAll());
        const QString words = QString::fromUtf8(completion.readAll());
        QStringList names{"identity-from"};
        for (const EdidEditInfo &info : edidEditKinds())
            names << QString::fromLatin1(info.name);
        QCOMPARE(run("new --help"), 0);
        for (const QString &option : listed(out, "Options:"))
            if (option.startsWith("--") && !option.startsWith("--virtual"))
                names << option.section(' ', 0, 0).mid(2);
        for (const QString &name : names) {
            QVERIFY2(page.contains("\\-\\-" + QString(name).replace('-', "\\-") + ' ') ||
                         page.contains("\\-\\-" + QString(name).replace('-', "\\-") + '\n'),
                     qPrintable(name));
            QVERIFY2(QRegularExpression("--" + name + "(?![\\w-])").match(words).hasMatch(),
                     qPrintable(name));
        }
    }

    // decode --json prints without Qt's containers what Qt would print.
    void jsonAsQtPrintsIt_data()
    {
        QTest::addColumn<Json>("ours");
        QTest::addColumn<QJsonValue>("qt");
        const char *escapes = "tab\there \"q\" back\\slash \x01\x1f\x7f\n\r\b\f";
        QTest::newRow("escapes") << Json(escapes) << QJsonValue(QString::fromLatin1(escapes));
        QTest::newRow("Latin-1 text") << Json(latin1ToUtf8("Caf\xE9 \xFF"))
                                      << QJsonValue(QString::fromLatin1("Caf\xE9 \xFF"));
        for (const double number : {100000.0, 59.94, -0.0, 1e21, -1e6, 0.5, 123456789012.25})
            QTest::addRow("%g", number) << Json(number) << QJsonValue(number);
        QTest::newRow("not a number") << Json(std::nan("")) << QJsonValue(std::nan(""));
        QTest::newRow("beyond 2^53")
            << Json(std::int64_t(-9007199254740993)) << QJsonValue(qint64(-9007199254740993));
        QTest::newRow("nested") << Json(Json::Object{{"b", Json::Array{}},
                                                     {"a", Json::Object{}},
                                                     {"c", Json::Array{1, true, nullptr, "x"}}})
                                << QJsonValue(
                                       QJsonObject{{"b", QJsonArray{}},
                                                   {"a", QJsonObject{}},
                                                   {"c", QJsonArray{1, true, QJsonValue(), "x"}}});
    }
    void jsonAsQtPrintsIt()
    {
        QFETCH(Json, ours);
        QFETCH(QJsonValue, qt);
        QCOMPARE(QByteArray::fromStdString("[\n" + ours.indentedItem(1) + "\n]\n"),
                 QJsonDocument(QJsonArray{qt}).toJson(QJsonDocument::Indented));
        QCOMPARE(QJsonDocument(QJsonArray{ours.toQJsonValue()}).toJson(),
                 QJsonDocument(QJsonArray{qt}).toJson());
    }

    // On a terminal only: drawn in place, wiped before anything else is said.
    void progressBar()
    {
        QBuffer err;
        err.open(QIODevice::WriteOnly);
        Console console(err, err, true);
        console.progress("w")(0, 0); // nothing to do yet
        console.progress("w")(8, 32);
        console.error("stopped");
        QCOMPARE(err.data(),
                 "\rw [                                ]\rw [########                        ]"
                 "\r\033[Kvarnex-edid: stopped\n");
    }

    void commands()
    {
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(QByteArray, custom6);
        QFETCH(ToolFaults, faults);
        QFETCH(QStringList, before);
        for (const QString &earlier : before)
            QCOMPARE(run(earlier), 0);
        QCOMPARE(run(command, faults), code);
        QVERIFY2(this->out.contains(out) && this->out.isEmpty() == out.isEmpty(), this->out);
        QVERIFY2(this->err.contains(err) && this->err.isEmpty() == err.isEmpty(), this->err);
        QVERIFY(!command.contains("--json") || !QJsonDocument::fromJson(this->out).isNull());
        QCOMPARE(bytesOf(tool.image(0xB2)), custom6.isEmpty() ? this->custom6 : custom6);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_Cli.moc"
