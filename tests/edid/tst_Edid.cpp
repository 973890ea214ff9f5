#include "EdidDescriptionTree.h"
#include "EdidEncoder.h"
#include "EdidFile.h"
#include "EdidModes.h"
#include "EdidSamples.h"
#include "HexText.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <optional>
#include <utility>
#include <vector>

namespace {

// A described line: its path of labels, the bytes it comes from, its value.
struct Line {
    QString path;
    int offset, length;
    QString value;
    bool operator==(const Line &o) const
    {
        return path == o.path && offset == o.offset && length == o.length && value == o.value;
    }
};

using Edits = std::vector<std::pair<int, std::uint8_t>>; // offset, new byte

// What a mode table holds of a mode, in one line: size, scan, clock and aspect, the porches and
// sync polarities where compared, the refresh rate to six places.
QString modeLine(const VideoMode &m, bool porches, QString refresh = {})
{
    const auto sign = [](bool positive) { return positive ? '+' : '-'; };
    QString line =
        QString::asprintf("%ux%u%c %u kHz %u:%u", m.hActive, m.vActive, m.interlaced ? 'i' : 'p',
                          m.pixelClockKhz, m.aspectWidth, m.aspectHeight);
    if (porches)
        line += QString::asprintf(" %u %u %u %c %u %u %u %c", m.hFront, m.hSync, m.hBack,
                                  sign(m.hSyncPositive), m.vFront, m.vSync, m.vBack,
                                  sign(m.vSyncPositive));
    return line + " at " +
           (refresh.isNull() ? QString::number(refreshRate(m).hz(), 'f', 6) : refresh);
}

} // namespace

Q_DECLARE_METATYPE(Line)
Q_DECLARE_METATYPE(Edits)

class EdidTest : public QObject {
    Q_OBJECT

    const QByteArray ascending = bytesOf(ascendingEdid());
    const QByteArray canonical = ::hexText(ascending).toLatin1();

private slots:
    void hexText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");   // what the text parses to; empty: refused
        QTest::addColumn<QByteArray>("problem"); // what the parser says of a refused text
        const QByteArray text = canonical;
        const auto refused = [](const char *name, const QByteArray &text,
                                const QByteArray &problem) {
            QTest::newRow(name) << text << QByteArray() << problem;
        };
        QTest::newRow("rendered layout") << text << ascending << QByteArray();
        QTest::newRow("lower-case digits") << text.toLower() << ascending << QByteArray();
        QTest::newRow("no final newline") << text.chopped(1) << ascending << QByteArray();
        QTest::newRow("trailing white space") << text + " \n\t\r\n  " << ascending << QByteArray();
        for (const char *group : {"ZZ", "G0", "0G", "-1"})
            QTest::addRow("group %s", group)
                << QByteArray(text).replace(3 * 37, 2, group) << QByteArray()
                << "byte 37 (line 3, column 16): '" + QByteArray(group) + "' is not two hex digits";
        refused("group of a byte above ASCII", QByteArray(text).replace(3 * 37, 2, "\xE9\x30"),
                "byte 37 (line 3, column 16): '\\xE90' is not two hex digits");
        refused("line ending in a space", QByteArray(text).replace(47, 1, " \n"),
                "line 1, column 48: ' \\n' between byte 15 and byte 16; one space or one line "
                "end separates two bytes");
        const QByteArray notOneSpace =
            " is followed by something else than one space or a line end";
        refused("group 005", QByteArray(text).replace(3 * 37, 2, "005"),
                "byte 37 (line 3, column 16)" + notOneSpace);
        refused("two spaces", QByteArray(text).replace(2, 1, "  "),
                "line 1, column 3: '  ' between byte 0 and byte 1; one space or one line end "
                "separates two bytes");
        refused("tab", QByteArray(text).replace(2, 1, "\t"),
                "byte 0 (line 1, column 1)" + notOneSpace);
        refused("NUL", QByteArray(text).replace(2, 1, QByteArray(1, '\0')),
                "byte 0 (line 1, column 1)" + notOneSpace);
        refused("CR LF line ends", QByteArray(text).replace("\n", "\r\n"),
                "byte 15 (line 1, column 46)" + notOneSpace);
        refused("255 groups", text.left(3 * 255), "the text ends after 255 bytes; an EDID has 256");
        refused("a group cut short", text.left(3 * 100 + 1),
                "the text ends after 100 bytes; an EDID has 256");
        refused("257 groups", text + "00",
                "the text goes on after byte 255; an EDID has 256 bytes");
        refused("empty", {}, "the text is empty");
    }
    void hexText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, problem);
        EdidImage image;
        image.bytes.fill(0xEE);
        std::string said;
        QCOMPARE(parseEdidHexText(text.toStdString(), image, &said), bytes.isEmpty() ? -1 : 256);
        QCOMPARE(QByteArray::fromStdString(said), problem);
        // A refused text leaves the image exactly as it was.
        QCOMPARE(bytesOf(image), bytes.isEmpty() ? QByteArray(256, '\xEE') : bytes);
        if (!bytes.isEmpty()) // two upper-case digits a byte, a newline after every 16th
            QCOMPARE(QByteArray::fromStdString(edidHexText(image)), canonical);
    }

    void edidFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("expected"); // the image, or the text for the pane
        const QByteArrayList lines = canonical.chopped(1).split('\n');
        QTest::newRow("binary") << ascending << true << ascending;
        QTest::newRow("short binary")
            << ascending.left(128) << true << ascending.left(128) + QByteArray(128, 0);
        QTest::newRow("48 columns, CR LF") << (lines.join(" \r\n") + " \r\n") << false << canonical;
        QTest::newRow("48 columns, LF") << (lines.join(" \n") + " \n") << false << canonical;
        QTest::newRow("hex layout, LF") << canonical << false << canonical;
        const QByteArray broken = lines[0] + "\r\n" + (lines.join(" \r\n") + " \r\n");
        QTest::newRow("a short first line stops the conversion") << broken << false << broken;
        QTest::newRow("text ends at a zero byte")
            << QByteArray("<b>A0</b>\0 11", 13) << false << QByteArray("<b>A0</b>");
        const QByteArrayList longer = lines + lines.mid(0, 8); // 1200 bytes
        QTest::newRow("48-column lines beyond 1024 bytes")
            << (longer.join(" \r\n") + " \r\n") << false
            << (longer.mid(0, 20).join("\n") + "\n") + longer[20].left(24);
        QTest::newRow("1024 bytes without a zero")
            << QByteArray(3000, 'A') << false << QByteArray(1024, 'A');
    }
    void edidFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, binary);
        QFETCH(QByteArray, expected);
        const EdidFileContent content = interpretEdidFile(file.toStdString());
        QCOMPARE(content.isBinary, binary);
        QCOMPARE(binary ? bytesOf(content.image) : QByteArray::fromStdString(content.text),
                 expected);
    }

    // ---- The decoder, on sample EDIDs whose values were checked against edid-decode's reports

private:
    static EdidImage corpusEdid(const QString &name)
    {
        QFile file(QStringLiteral(VARNEX_EDID_CORPUS "/%1.bin").arg(name));
        EdidImage image;
        if (file.open(QIODevice::ReadOnly))
            for (std::size_t n = 0; n < EdidImage::kSize && !file.atEnd(); ++n)
                file.getChar(reinterpret_cast<char *>(&image.bytes[n]));
        return image;
    }

    // Every described line, its path of labels from a section (named by its first word pair)
    // down, as "Block 1/Video data block/VIC 97".
    static void flatten(const std::vector<DescriptionLine> &lines, const QString &parent,
                        QList<Line> &out)
    {
        for (const DescriptionLine &line : lines) {
            const QString label = QString::fromStdString(line.label);
            const QString path = parent.isEmpty() ? label.section(':', 0, 0) : parent + '/' + label;
            out.append({path, int(line.bytes.offset), int(line.bytes.length),
                        QString::fromStdString(line.value)});
            flatten(line.children, path, out);
        }
    }

private slots:
    void decodedSamples_data()
    {
        QTest::addColumn<QString>("file"); // a sample, or "NAME/OFFSET=HEX" with a byte changed
        QTest::addColumn<bool>("withoutExtension"); // count 0, block 1 zeros, checksums fixed
        QTest::addColumn<QList<Line>>("lines");     // each among the described lines
        const auto row = [](const char *name, const char *file, bool withoutExtension,
                            const QList<Line> &lines) {
            QTest::newRow(name) << QString(file) << withoutExtension << lines;
        };
        row("1.3 monitor without extension", "00997928e173", true,
            {{"Block 0/Manufacturer", 8, 2, "SAM"},
             {"Block 0/Product code", 10, 2, "3233"},
             {"Block 0/Serial number", 12, 4, "1113211991"},
             {"Block 0/Made in", 16, 2, "week 15 of 2020"},
             {"Block 0/EDID version", 18, 2, "1.3"},
             {"Block 0/Screen size", 21, 2, "53 cm x 30 cm"},
             {"Block 0/Features/DPMS", 24, 1, "off"},
             {"Block 0/Chromaticity/Red", 27, 2, "0.6376, 0.3476"},
             {"Block 0/Established timings/1152x870@75", 37, 1, ""},
             {"Block 0/Standard timings/Standard timing 6", 48, 2, "1600x900@60 16:9 (DMT 0x53)"},
             {"Block 0/DTD 1", 54, 18,
              "1920x1080p, 60.000 Hz, 67.500 kHz, 148.500 MHz (preferred)"},
             {"Block 0/DTD 1/Vertical", 59, 7, "1080 active, 4 front porch, 5 sync, 36 back porch"},
             {"Block 0/DTD 1/Image size", 66, 3, "531 mm x 299 mm"},
             {"Block 0/Range limits", 72, 18, "50-75 Hz V, 30-81 kHz H, max pixel clock 170 MHz"},
             {"Block 0/Range limits/Timing formula", 82, 1, "default GTF"},
             {"Block 0/Product name", 90, 18, "'S24E450'"},
             {"Block 0/Serial number text", 108, 18, "'H4ZN400548'"},
             {"Block 0/Extension count", 126, 1, "0"},
             {"Findings", 0, 0, "none"}});
        row("HDMI TV with audio", "27b906f960ae", false,
            {{"Block 0/Manufacturer", 8, 2, "VIZ"},
             {"Block 1/Basic audio", 131, 1, "yes"},
             {"Block 1/Audio data block/Audio descriptor 1", 149, 3,
              "Linear PCM, 2 channels, 32 44.1 48 88.2 96 176.4 192 kHz, 16 20 24 bits"},
             {"Block 1/Audio data block/Audio descriptor 2", 152, 3,
              "AC-3, 6 channels, 32 44.1 48 kHz, up to 640 kb/s"},
             {"Block 1/Audio data block/Audio descriptor 3", 155, 3,
              "DTS, 6 channels, 32 44.1 48 kHz, up to 1536 kb/s"},
             {"Block 1/Speaker allocation data block", 167, 4, "FL/FR"},
             {"Block 1/HDMI vendor-specific data block/Physical address", 175, 2, "2.0.0.0"},
             {"Block 1/HDMI vendor-specific data block/Deep colour", 177, 1,
              "30, 36 bits, also YCbCr 4:4:4"},
             {"Block 1/HDMI vendor-specific data block/Max TMDS clock", 178, 1, "225 MHz"},
             {"Block 1/HDMI vendor-specific data block/Audio latency", 181, 1, "2 ms"},
             {"Block 1/HDMI Forum sink capability data block/Max TMDS character rate", 194, 1,
              "600 MHz"},
             {"Block 1/HDMI Forum sink capability data block/VRR", 198, 1, "40-60 Hz"}});
        row("4K60 with HDMI Forum VSDB and 4:2:0", "07589cac50c4", false,
            {{"Block 1/DTD offset", 130, 1, "101"},
             {"Block 1/Video data block", 132, 30, ""},
             {"Block 1/Video data block/VIC 97", 133, 1, "3840x2160p60 16:9"},
             {"Block 1/HDMI vendor-specific data block/HDMI VIC 4", 186, 1, "4096x2160p24 256:135"},
             {"Block 1/HDMI Forum vendor-specific data block/Max TMDS character rate", 192, 1,
              "600 MHz"},
             {"Block 1/HDMI Forum vendor-specific data block/4:2:0 deep colour", 194, 1,
              "30 bits, 36 bits"},
             {"Block 1/HDMI Forum vendor-specific data block/Max FRL rate", 194, 1,
              "12 Gbps on 4 lanes"},
             {"Block 1/HDMI Forum vendor-specific data block/VRR", 196, 1, "48-120 Hz"},
             {"Block 1/HDR static metadata data block/EOTFs", 210, 1,
              "traditional SDR, SMPTE ST 2084, hybrid log-gamma"},
             {"Block 1/YCbCr 4:2:0 capability map data block/SVD 8", 214, 1,
              "VIC 218: 4096x2160p100 256:135"},
             {"Block 1/Vendor-specific data block (OUI 00-00-1A)", 215, 14,
              "02 01 5A 78 00 00 00 00 00 00"},
             {"Block 1/Padding", 229, 26, "26 bytes, all zero"},
             {"Block 1/Checksum", 255, 1, "0x9A (correct)"}});
        // Byte 174 of this sample holds the FRL rate in its upper four bits.
        const char *frlRates[] = {"not supported",      "3 Gbps on 3 lanes", "6 Gbps on 3 lanes",
                                  "6 Gbps on 4 lanes",  "8 Gbps on 4 lanes", "10 Gbps on 4 lanes",
                                  "12 Gbps on 4 lanes", "reserved rate 7"};
        for (int rate = 0; rate < 8; ++rate)
            QTest::addRow("FRL rate %d", rate)
                << QStringLiteral("119b0bfc3034/174=%1b").arg(rate) << false
                << QList<Line>{{"Block 1/HDMI Forum vendor-specific data block/Max FRL rate", 174,
                                1, frlRates[rate]}};
        row("4:2:0 map of an SVD past the video block", "0de9f0b2bfb5/219=c1", false,
            {{"Block 1/YCbCr 4:2:0 capability map data block/SVD 8", 219, 1, "no such SVD"}});
        row("two blocks of tag 0", "07b8e6775f24", false,
            {{"Block 1/Data block of tag 0 (2)", 215, 1, "length 0"}});
        row("block past the collection", "10e9d338074b", false,
            {{"Block 0/Video input", 20, 1, "digital, 8 bits per colour, DisplayPort"},
             {"Block 0/DTD 2/Sync", 89, 1, "digital separate, H+ V-"},
             {"Block 1/HDR static metadata data block/Min luminance", 142, 1,
              "code 72 (0.198 cd/m2)"},
             {"Block 1/Audio data block", 157, 29, "runs past the collection"},
             {"Findings/Error", 157, 1,
              "block 1, byte 29: the audio data block at byte 29 declares 28 bytes and runs past "
              "the collection, which ends at byte 31 (the DTD offset points inside it)"}});
    }
    void decodedSamples()
    {
        QFETCH(QString, file);
        QFETCH(bool, withoutExtension);
        QFETCH(QList<Line>, lines);
        EdidImage image = corpusEdid(file.section('/', 0, 0));
        if (file.contains('/')) { // "NAME/OFFSET=HEX": one byte changed
            const QString patch = file.section('/', 1);
            image.bytes[patch.section('=', 0, 0).toUInt()] =
                std::uint8_t(patch.section('=', 1).toUInt(nullptr, 16));
            recalculateChecksums(image);
        }
        if (withoutExtension) {
            image.bytes[126] = 0;
            std::fill(image.bytes.begin() + 128, image.bytes.end(), 0);
            recalculateChecksums(image);
        }
        const EdidDescription description = decodeEdid(image);
        QList<Line> described;
        flatten(describeEdid(description), QString(), described);
        for (const Line &line : lines)
            QVERIFY2(described.contains(line), qPrintable(line.path + ": " + line.value));
        QCOMPARE(description.cta.has_value(), !withoutExtension);
    }

    // Each broken image brings its findings, and only those: "error base.week 16" is an error of
    // that kind pointing at byte 16. Decoding goes on past them.
    void findings_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("message"); // the first finding's, where the words matter
        const auto row = [](const char *name, const Edits &edits, const QStringList &found,
                            const char *message = "", const char *sample = "07589cac50c4") {
            QTest::newRow(name) << sample << edits << found << message;
        };
        row("clean", {}, {});
        row("header", {{0, 0x01}}, {"error base.header 0"});
        row("checksum", {{127, 0xEC}}, {"error checksum 127"},
            "block 0 checksum is 0xEC, should be 0xEB");
        row("version", {{19, 0x02}}, {"warning base.version 18"});
        row("version 2", {{18, 0x02}, {19, 0x00}}, {"error base.version 18"});
        row("two extensions", {{126, 0x02}}, {"error base.extension_count 126"});
        row("extension not counted", {{126, 0x00}}, {"warning base.extension_count 126"});
        row("manufacturer bit 15", {{8, 0x9E}}, {"error base.manufacturer 8"},
            "manufacturer ID 0x9E6D is not three letters A-Z");
        row("manufacturer letter 0", {{9, 0x60}}, {"error base.manufacturer 8"});
        row("week 55", {{16, 0x37}}, {"error base.week 16"});
        row("week 54 on 1.3", {{16, 54}}, {"error base.week 16"},
            "EDID 1.3 counts weeks 1-53, not 54");
        row("week 255 on 1.3", {{16, 0xFF}}, {"error base.week 16"},
            "week 255 marks a model year, which EDID 1.4 introduced; this EDID is 1.3");
        row("no horizontal blanking", {{57, 0x00}, {58, 0xF0}}, {"error dtd.blanking 57"});
        row("horizontal sync past blanking", {{62, 0xFF}, {65, 0xC0}}, {"error dtd.blanking 62"},
            "DTD 1: horizontal front porch, sync and borders (1111) exceed the blanking (560)");
        row("vertical sync past blanking", {{64, 0xFF}, {65, 0x0F}}, {"error dtd.blanking 64"});
        row("border past blanking", {{69, 0xFF}}, {"error dtd.blanking 62"});
        row("no active pixels", {{58, 0x02}},
            {"warning range_limits.outside 54", "error dtd.zero 56"});
        row("no sync", {{63, 0x00}}, {"error dtd.zero 56"}, "DTD 1 has no horizontal sync");
        row("1.3 preferred bit", {{24, 0x08}}, {"error base.preferred_timing 24"});
        row("first descriptor no timing", {{54, 0x00}, {55, 0x00}},
            {"error base.preferred_timing 54", "error descriptor.reserved 58"});
        row("descriptor's reserved byte", {{92, 0x01}}, {"error descriptor.reserved 92"});
        row("1.3 range limits' byte 4", {{94, 0x02}}, {"error descriptor.reserved 94"});
        row("range limits without line feed", {{101, 0x00}},
            {"error descriptor.range_limits_padding 101"});
        row("name padded without line feed", {{124, 0x20}},
            {"error descriptor.text_trailing_spaces 113"});
        row("text after the line feed", {{125, 0x41}}, {"warning descriptor.text_termination 113"});
        row("name padded with zeros", {{125, 0x00}}, {"warning descriptor.text_termination 113"});
        row("name unprintable", {{114, 0x07}}, {"warning descriptor.text_unprintable 113"});
        QStringList above590{"warning range_limits.outside 54"};
        for (int svd = 133; svd <= 140; ++svd)
            above590 << QStringLiteral("warning range_limits.outside %1").arg(svd);
        row("clock above range limit", {{99, 0x3B}}, above590,
            "DTD 1 lies outside the range limits: pixel clock 594.00 MHz above 590 MHz");
        row("VIC clock above range limit", {{99, 0x76}},
            {"warning range_limits.outside 135", "warning range_limits.outside 136",
             "warning range_limits.outside 139", "warning range_limits.outside 140"},
            "VIC 118 (3840x2160p120) needs a pixel clock of 1188 MHz, above the range limits' "
            "1180 MHz");
        row("refresh above range limit", {{96, 0x3B}},
            {"warning range_limits.outside 54", "warning range_limits.outside 72"},
            "DTD 1 lies outside the range limits: refresh 60.000 Hz outside 24-59 Hz");
        row("line rate below range limit", {{97, 0x88}}, {"warning range_limits.outside 54"});
        row("CTA revision 0", {{129, 0x00}}, {"error cta.revision 129", "error cta.revision 130"});
        row("CTA revision 1", {{129, 0x01}}, {"error cta.revision 130", "error cta.reserved 131"},
            "CTA-861 revision 1 holds no data blocks, but the DTD offset 101 leaves bytes 4-100 "
            "for them: they are not read");
        row("CTA revision 5", {{129, 0x05}}, {"warning cta.revision 129"});
        row("DTD offset 2", {{130, 0x02}}, {"error cta.dtd_offset 130"});
        // The data blocks are read up to the block's end: the HDMI VSDB is still found.
        row("DTD offset 128", {{130, 0x80}},
            {"error cta.dtd_offset 130", "warning cta.reserved_tag 229"});
        row("block past the collection", {{130, 0x60}}, {"error cta.block_overrun 215"},
            "the vendor-specific data block at byte 87 declares 13 bytes and runs past the "
            "collection, which ends at byte 96 (the DTD offset points inside it)");
        row("SVD 0", {{133, 0x00}}, {"warning cta.reserved_svd 133"});
        row("SVD 128", {{134, 0x80}}, {"warning cta.reserved_svd 134"});
        row("reserved VIC", {{135, 0xDC}}, {"warning cta.reserved_svd 135"});
        row("duplicate VIC", {{134, 0x61}, {145, 0x61}}, {"error cta.duplicate_vic 134"},
            "VIC 97 is listed again");
        row("native DTDs", {{131, 0xF3}}, {"warning cta.native_dtds 131"});
        row("basic audio off", {{131, 0xB1}}, {"error cta.audio_without_basic_audio 162"});
        row("padding", {{250, 0x11}}, {"warning cta.padding 250"});
        row("extended block of length 0", {{212, 0xE0}},
            {"error cta.extended_block_empty 212", "warning cta.reserved_tag 213"});
        row("tag 0 block", {{215, 0x0D}}, {"warning cta.reserved_tag 215"},
            "a data block has the reserved tag 0");
        row("short HDMI VSDB", {{172, 0x64}, {177, 0x6E}},
            {"error cta.hdmi_vsdb_length 172", "warning cta.reserved_tag 217",
             "error cta.block_overrun 222"},
            "the HDMI VSDB is 4 bytes long, shorter than 5");
        row("physical address", {{176, 0x10}, {177, 0x20}}, {"error cta.physical_address 176"},
            "physical address 1.0.2.0 has a non-zero digit after a zero");
        // Without the HDMI Forum block's OUI its 600 MHz go: 4K above 60 Hz is too fast even as
        // YCbCr 4:2:0, and so are the DTDs.
        row("modes above the TMDS clock", {{188, 0x00}},
            {"warning cta.above_max_tmds 54", "warning cta.above_max_tmds 72",
             "error cta.above_max_tmds 135", "error cta.above_max_tmds 136",
             "error cta.above_max_tmds 139", "error cta.above_max_tmds 140"},
            "DTD 1 (3840x2160p60) needs 594 MHz, more than the 340 MHz TMDS clock the HDMI VSDB "
            "allows");
        row("audio without HDMI VSDB", {{173, 0x04}}, {"error cta.no_hdmi_vsdb 131"},
            "there is no HDMI VSDB although the extension declares audio: a source then treats "
            "the display as DVI and sends no audio");
        row("audio block without HDMI VSDB", {{173, 0x04}, {131, 0x31}},
            {"error cta.no_hdmi_vsdb 162", "error cta.audio_without_basic_audio 162"});
        row("YCbCr without HDMI VSDB", {{173, 0x04}, {131, 0x21}, {162, 0xE9}},
            {"error cta.no_hdmi_vsdb 131"},
            "there is no HDMI VSDB although the extension declares YCbCr: a source then treats "
            "the display as DVI and sends RGB only");
        row("4:2:0 without HDMI VSDB", {{173, 0x04}, {131, 0x01}, {162, 0xE9}},
            {"error cta.no_hdmi_vsdb 212"},
            "there is no HDMI VSDB although the extension declares YCbCr 4:2:0 modes: a source "
            "then treats the display as DVI and sends none of them");
        row("audio length", {{162, 0x28}},
            {"warning cta.audio_length 162", "warning cta.reserved_tag 171"});
        row("other extension", {{128, 0x70}}, {"warning extension.not_cta 128"});
        row("empty slot among the extension's DTDs", {{159, 0x00}, {160, 0x00}},
            {"error cta.descriptor_order 159", "error descriptor.reserved 163"},
            "these 18 bytes have no pixel clock, so they are no DTD, but DTDs follow them",
            "0007c66ee1b2");
    }
    void findings()
    {
        QFETCH(QString, sample);
        QFETCH(Edits, edits);
        QFETCH(QStringList, found);
        QFETCH(QString, message);
        EdidImage image = corpusEdid(sample);
        const EdidDescription clean = decodeEdid(image);
        for (int pass = 0; pass < 2; ++pass) { // a changed checksum byte stays as it is written
            for (const auto &[offset, value] : edits)
                image.bytes[offset] = value;
            if (pass == 0)
                recalculateChecksums(image);
        }
        const auto named = [](const EdidFinding &f) {
            return QStringLiteral("%1 %2 %3")
                .arg(f.severity == EdidFinding::Severity::Error ? "error" : "warning",
                     findingKindId(f.kind))
                .arg(f.offset);
        };
        QStringList before;
        for (const EdidFinding &f : clean.findings)
            before << named(f);
        const EdidDescription description = decodeEdid(image);
        QStringList kinds, messages;
        for (const EdidFinding &f : description.findings)
            if (!before.contains(named(f))) {
                kinds << named(f);
                messages << QString::fromStdString(f.message);
            }
        QCOMPARE(kinds, found);
        if (!message.isEmpty())
            QCOMPARE(messages.value(0), message);
        // Decoding goes on past the finding: the last descriptor is still read. No line points
        // past the image.
        const std::vector<DescriptionLine> lines = describeEdid(description);
        QVERIFY(renderDescription(lines).find("Product name: '") != std::string::npos);
        QList<Line> described;
        flatten(lines, QString(), described);
        for (const Line &line : described)
            QVERIFY2(line.offset + line.length <= int(EdidImage::kSize), qPrintable(line.path));
    }

    // EDID 1.4's range offsets: a rate above 255 is written less 255, with its flag in byte 4.
    void rangeLimitsEncoded_data()
    {
        QTest::addColumn<unsigned>("minV");
        QTest::addColumn<unsigned>("maxV");
        QTest::addColumn<unsigned>("minH");
        QTest::addColumn<unsigned>("maxH");
        QTest::addColumn<QByteArray>("bytes"); // bytes 4-8 of the descriptor
        QTest::newRow("no offsets") << 48u << 255u << 30u << 255u << QByteArray("00 30 FF 1E FF");
        QTest::newRow("max V above") << 48u << 256u << 30u << 86u << QByteArray("02 30 01 1E 56");
        QTest::newRow("both V above") << 256u << 300u << 30u << 86u << QByteArray("03 01 2D 1E 56");
        QTest::newRow("max H above") << 48u << 75u << 255u << 256u << QByteArray("08 30 4B FF 01");
        QTest::newRow("both H above") << 48u << 75u << 256u << 510u << QByteArray("0C 30 4B 01 FF");
    }
    void rangeLimitsEncoded()
    {
        QFETCH(unsigned, minV);
        QFETCH(unsigned, maxV);
        QFETCH(unsigned, minH);
        QFETCH(unsigned, maxH);
        QFETCH(QByteArray, bytes);
        const DescriptorBytes d =
            encodeDescriptor(rangeLimitsDescriptor({minV, maxV, minH, maxH, 600, 1, {}}));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&d[4]), 5).toHex(' ').toUpper(), bytes);
    }

    // Decoded, written by the encoder and decoded again: every field says the same, in each sample
    // EDID but those whose data blocks run past their collection (the encoder writes whole ones).
    void encoderRoundTrip()
    {
        const auto fields = [](const EdidDescription &description) {
            QList<Line> lines;
            std::vector<DescriptionLine> sections = describeEdid(description);
            sections.pop_back(); // the findings
            flatten(sections, QString(), lines);
            QStringList texts;
            for (const Line &line : lines)
                if (!line.path.endsWith("/Checksum")) // of bytes no field says anything of
                    texts << line.path + ": " + line.value;
            return texts;
        };
        int written = 0;
        const QDir folder(QStringLiteral(VARNEX_EDID_CORPUS));
        for (const QString &name : folder.entryList({QStringLiteral("*.bin")})) {
            const EdidDescription read = decodeEdid(corpusEdid(name.chopped(4)));
            if (std::any_of(read.findings.begin(), read.findings.end(), [](const EdidFinding &f) {
                    return f.kind == FindingKind::BlockOverrun;
                }))
                continue;
            const EdidDescription again = decodeEdid(encodeEdid(read));
            QCOMPARE(fields(again), fields(read));
            ++written;
        }
        QCOMPARE(written, 229);
        // What no sample has: 4:2:0 deep colour without an FRL rate keeps its byte.
        HdmiForumBlock forum;
        forum.deepColour420_36 = true;
        const BlockBytes bytes = encodeDataBlock(dataBlockOf(CtaTag::VendorSpecific, {}, forum));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())),
                 QByteArray::fromHex("67D85DC400000002"));
    }

    // Every mode of the tables as edid-decode lists it: the CTA-861 and HDMI VICs whole, the DMT
    // modes with their ID, nominal rate and reduced blanking, the established timings with their
    // DMT ID. The IBM and Apple timings' makers give other porches than edid-decode; no aspect
    // ratio of a DMT or established timing is kept.
    void modeTables_data()
    {
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("listed");
        // Where the table and edid-decode differ, what the table holds: DMT 1.0 rev 13 gives 0x1A,
        // 0x43 and 0x4B so; 0x54 is reduced blanking to edid-decode, which changes nothing shown.
        const QMap<QString, QString> differences{
            {"DMT 1a", "1280x768p 140250 kHz 0:0 48 32 80 + 3 7 35 - at 119.798073 DMT 0x1A RB"},
            {"DMT 43", "1856x1392p 356500 kHz 0:0 48 32 80 + 3 4 75 - at 119.969686 DMT 0x43 RB"},
            {"DMT 4b", "1920x1440p 380500 kHz 0:0 48 32 80 + 3 4 78 - at 119.955864 DMT 0x4B RB"},
            {"DMT 54", "2048x1152p 162000 kHz 0:0 26 80 96 + 1 3 44 + at 60.000000 DMT 0x54"},
        };
        QFile file(VARNEX_EDID_MODES);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString(file.readAll()).split('\n');
        const QRegularExpression head(
            R"(^(VIC|HDMI VIC|DMT|Byte) +(0x)?(\w+)(, Bit (\d))?[^:]*:(.*?) +(\d+)x(\d+)(i?) +)"
            R"(([\d.]+) Hz +(\d+):(\d+) +[\d.]+ kHz +([\d.]+) MHz(.*))");
        const QRegularExpression porches(R"(front +(\d+) .sync +(\d+) .back +(\d+) .pol (.))"
                                         R"(( .border (\d+))?)");
        for (int n = 0; n + 2 < lines.size(); ++n) {
            const QRegularExpressionMatch m = head.match(lines[n]), h = porches.match(lines[n + 1]),
                                          v = porches.match(lines[n + 2]);
            const auto at = [](const QRegularExpressionMatch &x, int i) {
                return std::uint16_t(x.captured(i).toUInt());
            };
            const QString table = m.captured(1), name = table + ' ' + m.captured(3);
            const unsigned number =
                m.captured(3).toUInt(nullptr, m.captured(2).isEmpty() ? 10 : 16);
            if (!m.hasMatch() || (table == "Byte" && (number < 0x23 || number > 0x25)))
                continue; // established timings I and II only: bytes 0x23-0x25, bit 7 first
            const unsigned bit = (number - 0x23) * 8 + 7 - at(m, 5);
            const bool vic = table.endsWith("VIC"), dmt = table == "DMT";
            const unsigned dmtId =
                dmt ? number : m.captured(6).section("DMT 0x", 1).left(2).toUInt(nullptr, 16);
            const bool whole = vic || dmtId; // porches and polarities compared
            // A border is part of the front and back porch to the table.
            const auto porch = [at](const QRegularExpressionMatch &x, int i) {
                return std::uint16_t(at(x, i) + (i == 2 ? 0 : at(x, 6)));
            };
            const auto clock = std::uint32_t(qRound(m.captured(13).toDouble() * 1000));
            const bool interlaced = !m.captured(9).isEmpty();
            const bool hPlus = h.captured(4) == "P", vPlus = v.captured(4) == "P";
            const std::uint16_t width = vic * at(m, 11), height = vic * at(m, 12); // aspect
            const VideoMode listed{at(m, 7),    at(m, 8),    width,       height,      clock,
                                   interlaced,  porch(h, 1), porch(h, 2), porch(h, 3), hPlus,
                                   porch(v, 1), porch(v, 2), porch(v, 3), vPlus};
            QString theirs = modeLine(listed, whole, m.captured(10)), ours = "none";
            if (!vic)
                theirs += QString::asprintf(" DMT 0x%02X", dmtId) +
                          (m.captured(14).contains("RB") ? " RB" : "");
            const VideoMode *vicMode =
                table == "VIC" ? ctaVideoMode(number) : hdmiVideoMode(number);
            if (vic && vicMode) {
                ours = modeLine(*vicMode, true);
            } else if (const DmtMode *mode = dmt ? dmtMode(number) : nullptr) {
                // The nominal rate is the frame rate's, to within a hertz.
                const double frames = refreshRate(mode->mode).hz() / (interlaced ? 2 : 1);
                ours = modeLine(mode->mode, true) + QString::asprintf(" DMT 0x%02X", mode->id) +
                       (std::abs(frames - mode->refreshHz) < 1 ? "" : " off its nominal rate") +
                       (mode->reducedBlanking ? " RB" : "");
            } else if (const EstablishedTiming *timing =
                           table == "Byte" ? establishedTiming(bit) : nullptr) {
                ours =
                    modeLine(timing->mode, whole) + QString::asprintf(" DMT 0x%02X", timing->dmtId);
            }
            QTest::newRow(qPrintable(table == "Byte" ? QString("established %1").arg(bit) : name))
                << ours << differences.value(name, theirs);
        }
    }
    void modeTables()
    {
        QFETCH(QString, ours);
        QFETCH(QString, listed);
        QCOMPARE(ours, listed);
    }
};

QTEST_GUILESS_MAIN(EdidTest)
#include "tst_Edid.moc"
