#include "Cli.h"
#include "Console.h"
#include "EdidFileStore.h"
#include "EdidSamples.h"
#include "SampleEdids.h"
#include "TestDeviceClock.h"
#include "VirtualTool.h"

#include <QBuffer>
#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {

const auto with = [](QByteArray b, int at, char v) { return b.replace(at, 1, QByteArray(1, v)); };

} // namespace

class CliTest : public QObject {
    Q_OBJECT

    TestDeviceClock clock;
    QTemporaryDir folder;
    const QByteArray sink = bytesOf({sampleEdid(0xA0)});
    const QByteArray custom6 = bytesOf({sampleEdid(0xB2)});
    const QByteArray bad = with(with(sink, 0, 0x55), 255, 0x55); // both checksums wrong
    QByteArray out, err;

    // One run of the program in a fresh process's state: the virtual tool starts from the state
    // file. fault > 0: that command packet's row is not stored; < 0: no replies from packet -fault.
    int run(const QString &commandLine, int fault = 0)
    {
        virtualTool().reset();
        fault > 0 ? virtualTool().discardWrite(fault) : virtualTool().withholdRepliesFrom(-fault);
        QBuffer outBuffer(&out), errBuffer(&err);
        outBuffer.open(QIODevice::WriteOnly | QIODevice::Truncate);
        errBuffer.open(QIODevice::WriteOnly | QIODevice::Truncate);
        Console console(outBuffer, errBuffer, false);
        return runCli(("varnex-edid --virtual " + commandLine).split(' '), console);
    }

private slots:
    void init()
    {
        QVERIFY(QDir(folder.path()).removeRecursively() && QDir().mkpath(folder.path()));
        QVERIFY(QDir::setCurrent(folder.path()));
        qputenv("XDG_RUNTIME_DIR", folder.path().toLocal8Bit()); // where the state file goes
        QVERIFY(saveFileAtomically("s.bin", sink).isNull());
        QVERIFY(saveFileAtomically("bad.bin", bad).isNull());
        QVERIFY(saveFileAtomically("junk", QByteArray(1313, 'x')).isNull()); // a state's size
    }

    void reader_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("read"); // the 256 bytes, or how the error message starts
        const auto row = [](const char *name, const QByteArray &input, const QByteArray &read) {
            QTest::newRow(name) << input << read;
        };
        const QByteArray all = QByteArray::fromHex("00ff01fe10ef7f80a55ac33c0ff09966").repeated(16);
        const QByteArray spaced = "00 ff 01 fe 10 ef 7f 80 a5 5a c3 3c 0f f0 99 66\n";
        // clang-format off
        row("binary, 256 bytes", sink, sink);
        const QByteArray block = QByteArray(100, 0) + QByteArray(28, '\n'); // binary: a 0x00 in it
        row("binary, 128 bytes", block, block + QByteArray(128, 0));
        row("window's hex text", spaced.toUpper().repeated(16).chopped(1), all);
        row("xrandr --verbose", "\tEDID: \n" + QByteArray("\t\t00ff01fe10ef7f80a55ac33c0ff09966\n").repeated(16), all);
        row("edid-decode", "edid-decode (hex):\n\n" + (spaced.repeated(8) + '\n').repeated(2) + "----------------\n\nBlock 0, Base EDID:\n", all);
        const QByteArray cArray = "0X00,0xFF, 0x01,0xfe,0x10, 0xEF,0x7f,0x80,\r\n0xA5,0x5a,0xc3,0x3C,0x0f,0xf0,0x99,0x66,\r\n";
        row("0x, commas, CRLF", cArray.repeated(16), all);
        row("colons, runs, any count per line", QByteArray("00:ff:01:fe 10ef7f80\ta55a,c33c 0ff0\n9966 ").repeated(16), all);
        row("one block of text", spaced.repeated(8), all.left(128) + QByteArray(128, 0));
        row("text after a byte-order mark", "\xEF\xBB\xBF" + spaced.repeated(16), all);
        row("odd digit count", "00 ff\n00 f 01\n", "in:2:4: odd number of hex digits");
        row("non-hex character", "00 ff 0g\n", "in:1:8: 'g' is not a hex digit");
        row("0x alone", "0x00 0x ff", "in:1:6: 0x without hex digits");
        row("257 bytes", spaced.repeated(16) + "\n  77 \n", "in:18:3: more than 256 bytes");
        row("129 bytes", spaced.repeated(8) + " 77 ", "in:9:4: the dump ends after 129 bytes; an EDID has 128 or 256");
        row("binary, 255 bytes", sink.left(255), "in: a binary EDID has 128 or 256 bytes, not 255");
        row("over 64 KiB", QByteArray(64 * 1024 + 1, ' '), "in: larger than 64 KiB");
        // clang-format on
    }
    // Through convert: the form read, the binary file saved.
    void reader()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, read);
        QVERIFY(saveFileAtomically("in", input).isNull());
        const bool refused = read.size() != 256;
        QCOMPARE(run("convert in out.bin"), refused ? 2 : 0);
        QCOMPARE(readFileStart("out.bin", 512).content, refused ? QByteArray() : read);
        QVERIFY2(refused ? err.startsWith("varnex-edid: " + read) : err.isEmpty(), err);
        QCOMPARE(out, refused ? "" : "in saved to out.bin as binary\n");
    }

    void commands_data()
    {
        QTest::addColumn<QString>("commands"); // run one after the other; all but the last succeed
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out"); // part of standard output; empty: nothing there
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<QByteArray>("custom6"); // what custom6 holds at the end; empty: its sample
        QTest::addColumn<int>("fault");          // of the last run, as run() takes it
        const auto row = [](const char *name, const char *commands, int code, const QByteArray &out,
                            const QByteArray &err, const QByteArray &custom6 = {}, int fault = 0) {
            QTest::newRow(name) << QString(commands) << code << out << err << custom6 << fault;
        };
        const QByteArray lost = with(sink, 10, char(0xB2)), half = with(custom6, 10, char(0xA0));
        // clang-format off
        row("read", "read sink", 0, "00 FF FF FF FF FF FF 00 59 D8 A0 20 00 00 00 00\n30 24", "");
        row("read into a file", "read sink -o r.bin", 0, "sink saved to r.bin\n", "");
        row("read as JSON", "read custom8 --json", 0, "\"edid\": \"00FFFFFFFFFFFF0059D8B620", "");
        row("round trip", "write s.bin --to custom6;read custom6 -o c;diff c tool:custom6", 0, "identical", "", sink);
        row("not kept", "write s.bin --to custom6", 1, "", "custom6 did not keep the EDID: the read-back differs at 1 of 256 offsets (offset, written, read back):\n  0x0A  A0  B2\n", lost, 2);
        row("unverified", "write s.bin --to custom6 --no-verify", 0, "not verified", "", lost, 2);
        row("quiet write", "write s.bin --to custom6 -q", 0, "", "", sink);
        row("write unanswered", "write s.bin --to custom6", 4, "", "writing custom6 was interrupted: the custom EDID may now be incomplete", half, -5);
        row("read unanswered", "read sink", 4, "", "reading sink failed", {}, -3);
        row("no read-back", "write s.bin --to custom6", 4, "", "reading custom6", sink, -33);
        row("checksums refused", "write bad.bin --to custom6", 2, "", "0x13; nothing written");
        row("fixed", "write bad.bin --to custom6 --fix-checksums", 0, "bad.bin written to custom6 and verified: all 256 bytes match", "", with(with(sink, 0, 0x55), 127, char(0xB6)));
        row("forced", "write bad.bin --to custom6 --force", 0, "verified", "", bad);
        row("both", "write bad.bin --to custom6 --force --fix-checksums", 2, "", "exclude");
        row("sink never written", "write s.bin --to sink", 2, "", "sink cannot be written");
        row("no tool at index 1", "read sink --device 1", 3, "", "no tool found");
        row("damaged state", "read sink --virtual-state junk", 2, "", "state junk is damaged");
        row("state not saved", "write s.bin --to custom6 --virtual-state no/dir/s", 2, "", "state no/dir/s: No such file or directory", sink);
        row("check", "check s.bin bad.bin", 1, "ok\nbad.bin: block 0 checksum is 0x0B, should be 0xB6; block 1 checksum is 0x55", "");
        row("diff", "diff bad.bin s.bin", 1, "0x00  55  00\n0xFF  55  13\n", "");
        row("unreadable", "check missing s.bin --json", 2, "\"ok\": true", "cannot read missing");
        row("fix in place", "fix bad.bin;check bad.bin", 0, "bad.bin: ok", "");
        row("diff as JSON", "diff s.bin tool:custom6 --json", 1, "\"a\": \"s.bin\",\n    \"b\": \"tool:custom6\"", "");
        row("list", "list", 0, "0  2011  Varnex HDMI Virtual Tool\n", "");
        row("list as JSON", "list --json", 0, "\"access\": true,\n        \"index\": 0,\n        \"product\": \"Varnex HDMI Virtual Tool\",\n        \"serial\": \"2011\"", "");
        row("help", "--help", 0, "edid-decode print them. 128 bytes get a second\nblock of zeros", "");
        row("help of a command", "check --help", 0, "Exit status 1 when one is wrong, 2 when a file is unreadable", "");
        row("unknown command", "frob", 2, "", "unknown command 'frob'");
        row("unknown source", "diff s.bin tool:sinks", 2, "", "unknown source in 'tool:sinks'");
        row("missing argument", "read", 2, "", "usage: varnex-edid read SOURCE [options]");
        row("bad format", "read sink --format txt", 2, "", "--format takes hex or bin");
        row("unwritable", "read sink -o no/such/dir", 2, "", "cannot write no/such/dir: No such file or directory");
        row("decode", "decode s.bin", 1, "  Manufacturer: VNX\n", "");
        row("decode two, one unreadable", "decode missing tool:custom8", 2, "custom8:\nBlock 0: base EDID\n", "cannot read missing");
        row("decode as JSON", "decode tool:sink --json", 1, "\"serial_text\": \"2011\",\n        \"source\": \"sink\"", "");
        // clang-format on
    }
    // On a terminal only: drawn in place, wiped before anything else is said.
    void progressBar()
    {
        QBuffer err;
        err.open(QIODevice::WriteOnly);
        Console console(err, err, true);
        console.progress("w")(8, 32);
        console.error("stopped");
        QCOMPARE(err.data(),
                 "\rw [########                        ]\r\033[Kvarnex-edid: stopped\n");
    }

    void commands()
    {
        QFETCH(QString, commands);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(QByteArray, custom6);
        QFETCH(int, fault);
        const QStringList runs = commands.split(';');
        for (const QString &command : runs.mid(0, runs.size() - 1))
            QCOMPARE(run(command), 0);
        QCOMPARE(run(runs.last(), fault), code);
        QVERIFY2(this->out.contains(out) && this->out.isEmpty() == out.isEmpty(), this->out);
        QVERIFY2(this->err.contains(err) && this->err.isEmpty() == err.isEmpty(), this->err);
        QVERIFY(!commands.contains("--json") || !QJsonDocument::fromJson(this->out).isNull());
        QCOMPARE(bytesOf({virtualTool().image(0xB2)}), custom6.isEmpty() ? this->custom6 : custom6);
    }
};

QTEST_MAIN(CliTest)
#include "tst_Cli.moc"
