#include "EdidDescriptionTree.h"
#include "EdidFile.h"
#include "EdidSamples.h"
#include "HexText.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

class EdidTest : public QObject {
    Q_OBJECT

    const QByteArray ascending = bytesOf(ascendingEdid());
    const QByteArray canonical = ::hexText(ascending).toLatin1();

private slots:
    void checksumRule_data()
    {
        QTest::addColumn<QByteArray>("contents"); // a block's first bytes; the rest are zero
        QTest::addColumn<int>("checksum");
        QTest::newRow("all zero") << QByteArray() << 0x00;
        QTest::newRow("sum 01") << QByteArray("\x01") << 0xFF;
        QTest::newRow("sum 80") << QByteArray("\x40\x40") << 0x80;
        QTest::newRow("EDID header") << QByteArray::fromHex("00FFFFFFFFFFFF00") << 0x06;
        QTest::newRow("sum wraps") << QByteArray(127, '\xFF') << 0x7F;
        QTest::newRow("last covered byte") << QByteArray(126, '\0') + '\x10' << 0xF0;
    }
    // Both blocks hold the contents; one checksum byte at a time holds some value.
    void checksumRule()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, checksum);
        EdidImage correct;
        for (std::size_t block : {0, 128}) {
            std::copy(contents.begin(), contents.end(), &correct.bytes[block]);
            correct.bytes[block + 127] = static_cast<std::uint8_t>(checksum);
        }
        QVERIFY(hasCorrectChecksums(correct));
        for (std::size_t checksumByte : {127, 255}) {
            EdidImage image = correct;
            image.bytes[checksumByte] ^= 0x5A; // never part of its own block's sum
            QCOMPARE(int(BlockChkSum(&image.bytes[checksumByte - 127])), checksum);
            QVERIFY(!hasCorrectChecksums(image));
            recalculateChecksums(image); // both checksum bytes rewritten, nothing else changes
            QVERIFY(image.bytes == correct.bytes);
        }
    }

    void hexText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes"); // what the text parses to; empty: a format error
        const QByteArray text = canonical;
        QTest::newRow("rendered layout") << text << ascending;
        QTest::newRow("lower-case digits") << text.toLower() << ascending;
        QTest::newRow("no final newline") << text.chopped(1) << ascending;
        QTest::newRow("trailing white space") << text + " \n\t\r\n  " << ascending;
        for (const char *group : {"ZZ", "G0", "0G", "-1", "\xE9\x30", "005"})
            QTest::addRow("group %s", QByteArray(group).toPercentEncoding().constData())
                << QByteArray(text).replace(15, 2, group) << QByteArray();
        const QList<QPair<const char *, QByteArray>> refused{
            {"two spaces", QByteArray(text).replace(2, 1, "  ")},
            {"tab", QByteArray(text).replace(2, 1, "\t")},
            {"NUL", QByteArray(text).replace(2, 1, QByteArray(1, '\0'))},
            {"CR LF line ends", QByteArray(text).replace("\n", "\r\n")},
            {"255 groups", text.left(3 * 255)},
            {"257 groups", text + "00"},
            {"empty", {}}};
        for (const auto &[name, refusedText] : refused)
            QTest::newRow(name) << refusedText << QByteArray();
    }
    void hexText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        EdidImage image;
        image.bytes.fill(0xEE);
        QCOMPARE(parseEdidHexText(text.toStdString(), image), bytes.isEmpty() ? -1 : 256);
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

    // Each line as "Block 1/Video data block/VIC 97 @133+1: value": its path of labels (a
    // section by its first word pair), its bytes and its value.
    static void flatten(const std::vector<DescriptionLine> &lines, const QString &parent,
                        QStringList &out)
    {
        for (const DescriptionLine &line : lines) {
            const QString label = QString::fromStdString(line.label);
            const QString path = parent.isEmpty() ? label.section(QLatin1Char(':'), 0, 0)
                                                  : parent + QLatin1Char('/') + label;
            out << QStringLiteral("%1 @%2+%3: %4")
                       .arg(path)
                       .arg(line.bytes.offset)
                       .arg(line.bytes.length)
                       .arg(QString::fromStdString(line.value));
            flatten(line.children, path, out);
        }
    }

private slots:
    void decodedSamples_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("withoutExtension"); // count 0, block 1 zeros, checksums fixed
        QTest::addColumn<QStringList>("lines");     // each among the described lines
        // clang-format off
        QTest::newRow("1.3 monitor without extension") << "00997928e173" << true << QStringList{
            "Block 0/Manufacturer @8+2: SAM", "Block 0/Product code @10+2: 3233",
            "Block 0/Serial number @12+4: 1113211991", "Block 0/Made in @16+2: week 15 of 2020",
            "Block 0/EDID version @18+2: 1.3", "Block 0/Screen size @21+2: 53 cm x 30 cm",
            "Block 0/Features/DPMS @24+1: off", "Block 0/Chromaticity/Red @27+2: 0.6376, 0.3476",
            "Block 0/Established timings/1152x870@75 @37+1: ",
            "Block 0/Standard timings/Standard timing 6 @48+2: 1600x900@60 16:9 (DMT 0x53)",
            "Block 0/DTD 1 @54+18: 1920x1080p, 60.000 Hz, 67.500 kHz, 148.500 MHz (preferred)",
            "Block 0/DTD 1/Vertical @59+7: 1080 active, 4 front porch, 5 sync, 36 back porch",
            "Block 0/Range limits @72+18: 50-75 Hz V, 30-81 kHz H, max pixel clock 170 MHz",
            "Block 0/Product name @90+18: 'S24E450'", "Block 0/Serial number text @108+18: 'H4ZN400548'",
            "Block 0/Extension count @126+1: 0", "Findings @0+0: none"};
        QTest::newRow("HDMI TV with audio") << "27b906f960ae" << false << QStringList{
            "Block 0/Manufacturer @8+2: VIZ", "Block 1/Basic audio @131+1: yes",
            "Block 1/Audio data block/Audio descriptor 1 @149+3: Linear PCM, 2 channels, 32 44.1 48 88.2 96 176.4 192 kHz, 16 20 24 bits",
            "Block 1/Audio data block/Audio descriptor 3 @155+3: DTS, 6 channels, 32 44.1 48 kHz, up to 1536 kb/s",
            "Block 1/Speaker allocation data block @167+4: FL/FR",
            "Block 1/HDMI vendor-specific data block/Physical address @175+2: 2.0.0.0",
            "Block 1/HDMI vendor-specific data block/Deep colour @177+1: 30, 36 bits, also YCbCr 4:4:4",
            "Block 1/HDMI vendor-specific data block/Max TMDS clock @178+1: 225 MHz",
            "Block 1/HDMI vendor-specific data block/Audio latency @181+1: 2 ms",
            "Block 1/HDMI Forum sink capability data block/Max TMDS character rate @194+1: 600 MHz",
            "Block 1/HDMI Forum sink capability data block/VRR @198+1: 40-60 Hz"};
        QTest::newRow("4K60 with HDMI Forum VSDB and 4:2:0") << "07589cac50c4" << false << QStringList{
            "Block 1/DTD offset @130+1: 101", "Block 1/Video data block @132+30: ",
            "Block 1/Video data block/VIC 97 @133+1: 3840x2160p60 16:9",
            "Block 1/Video data block/VIC 5 @145+1: 1920x1080i60 16:9",
            "Block 1/Video data block/VIC 2 @148+1: 720x480p59.94 4:3",
            "Block 1/HDMI vendor-specific data block/HDMI VIC 4 @186+1: 4096x2160p24 256:135",
            "Block 1/HDMI Forum vendor-specific data block/Max TMDS character rate @192+1: 600 MHz",
            "Block 1/HDMI Forum vendor-specific data block/4:2:0 deep colour @194+1: 30 bits, 36 bits",
            "Block 1/HDMI Forum vendor-specific data block/Max FRL rate @194+1: 12 Gbps on 4 lanes",
            "Block 1/HDMI Forum vendor-specific data block/VRR @196+1: 48-120 Hz",
            "Block 1/HDR static metadata data block/EOTFs @210+1: traditional SDR, SMPTE ST 2084, hybrid log-gamma",
            "Block 1/YCbCr 4:2:0 capability map data block/SVD 8 @214+1: VIC 218: 4096x2160p100 256:135",
            "Block 1/Vendor-specific data block (OUI 00-00-1A) @215+14: 02 01 5A 78 00 00 00 00 00 00",
            "Block 1/Padding @229+26: 26 bytes, all zero", "Block 1/Checksum @255+1: 0x9A (correct)"};
        QTest::newRow("block past the collection") << "10e9d338074b" << false << QStringList{
            "Block 0/Video input @20+1: digital, 8 bits per colour, DisplayPort",
            "Block 0/DTD 2/Sync @89+1: digital separate, H+ V-",
            "Block 1/HDR static metadata data block/Min luminance @142+1: code 72 (0.198 cd/m2)",
            "Block 1/Audio data block @157+29: runs past the collection",
            "Findings/Error @157+1: block 1, byte 29: the audio data block at byte 29 declares 28 bytes and runs past the collection, which ends at byte 31 (the DTD offset points inside it)"};
        // clang-format on
    }
    void decodedSamples()
    {
        QFETCH(QString, file);
        QFETCH(bool, withoutExtension);
        QFETCH(QStringList, lines);
        EdidImage image = corpusEdid(file);
        if (withoutExtension) {
            image.bytes[126] = 0;
            std::fill(image.bytes.begin() + 128, image.bytes.end(), 0);
            recalculateChecksums(image);
        }
        const EdidDescription description = decodeEdid(image);
        QStringList described;
        flatten(describeEdid(description), QString(), described);
        QStringList missing;
        for (const QString &line : lines)
            if (!described.contains(line))
                missing << line;
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
        QCOMPARE(description.cta.has_value(), !withoutExtension);
    }

    void findings_data()
    {
        QTest::addColumn<QString>("edits");   // "OFFSET=HEX ..." on 07589cac50c4, which has none
        QTest::addColumn<QString>("finding"); // "error@OFFSET: message"; empty: no finding at all
        // clang-format off
        QTest::newRow("clean") << "" << "";
        QTest::newRow("header") << "0=01" << "error@0: the header is not 00 FF FF FF FF FF FF 00";
        QTest::newRow("checksum") << "127=EC" << "error@127: block 0 checksum is 0xEC, should be 0xEB";
        QTest::newRow("version") << "19=02" << "warning@18: EDID version 1.2: only 1.3 and 1.4 are current";
        QTest::newRow("version 2") << "18=02 19=00" << "error@18: EDID version 2.0: only 1.3 and 1.4 are current";
        QTest::newRow("two extensions") << "126=02" << "error@126: the base block counts 2 extension blocks; the image holds one";
        QTest::newRow("extension not counted") << "126=00" << "warning@126: the base block counts no extension, so sources ignore block 1";
        QTest::newRow("manufacturer bit 15") << "8=9E" << "error@8: manufacturer ID 0x9E6D is not three letters A-Z";
        QTest::newRow("manufacturer letter 0") << "9=60" << "error@8: manufacturer ID 0x1E60 is not three letters A-Z";
        QTest::newRow("week 55") << "16=37" << "warning@16: week of manufacture 55 is above 54";
        QTest::newRow("no horizontal blanking") << "57=00 58=F0" << "error@57: DTD 1 has no horizontal blanking";
        QTest::newRow("no vertical blanking") << "60=00 61=80" << "error@57: DTD 1 has no vertical blanking";
        QTest::newRow("horizontal sync past blanking") << "62=FF 65=C0" << "error@62: DTD 1: horizontal front porch, sync and borders (1111) exceed the blanking (560)";
        QTest::newRow("vertical sync past blanking") << "64=FF 65=0F" << "error@64: DTD 1: vertical front porch, sync and borders (126) exceed the blanking (90)";
        QTest::newRow("border past blanking") << "69=FF" << "error@62: DTD 1: horizontal front porch, sync and borders (774) exceed the blanking (560)";
        QTest::newRow("1.3 preferred bit") << "24=08" << "error@24: EDID 1.3 requires the preferred timing bit (byte 24 bit 1) to be set";
        QTest::newRow("first descriptor no timing") << "54=00 55=00" << "error@54: the first descriptor is not a detailed timing, so there is no preferred timing";
        QTest::newRow("text after the line feed") << "125=41" << "warning@113: the product name does not end in a line feed followed by space padding";
        QTest::newRow("name padded with zeros") << "125=00" << "warning@113: the product name does not end in a line feed followed by space padding";
        QTest::newRow("name unprintable") << "114=07" << "warning@113: the product name holds non-printable characters";
        QTest::newRow("clock above range limit") << "99=32" << "warning@54: DTD 1 lies outside the range limits: pixel clock 594.00 MHz above 500 MHz";
        QTest::newRow("refresh above range limit") << "96=3B" << "warning@72: DTD 2 lies outside the range limits: refresh 119.998 Hz outside 24-59 Hz";
        QTest::newRow("line rate below range limit") << "97=88" << "warning@54: DTD 1 lies outside the range limits: line rate 135.000 kHz outside 136-255 kHz";
        QTest::newRow("DTD offset 2") << "130=02" << "error@130: DTD offset 2 is outside 4-127";
        QTest::newRow("DTD offset 128") << "130=80" << "error@130: DTD offset 128 is outside 4-127";
        QTest::newRow("block past the collection") << "130=20" << "error@132: the video data block at byte 4 declares 29 bytes and runs past the collection, which ends at byte 32 (the DTD offset points inside it)";
        QTest::newRow("SVD 0") << "133=00" << "warning@133: SVD value 0 is reserved";
        QTest::newRow("SVD 128") << "134=80" << "warning@134: SVD value 128 is reserved";
        QTest::newRow("reserved VIC") << "135=DC" << "warning@135: VIC 220 is reserved";
        QTest::newRow("native DTDs") << "131=F3" << "warning@131: 3 native DTDs are claimed, but the EDID holds 2";
        QTest::newRow("padding") << "250=11" << "warning@250: padding after the DTDs holds a non-zero byte at 122";
        QTest::newRow("short HDMI VSDB") << "172=64 177=6E" << "error@172: the HDMI VSDB is 4 bytes long, shorter than 5";
        QTest::newRow("HDMI VSDB at the end") << "130=7F 229=55 251=63 252=03 253=0C 254=00" << "error@251: the HDMI VSDB is 3 bytes long, shorter than 5";
        QTest::newRow("physical address") << "176=10 177=20" << "error@176: physical address 1.0.2.0 has a non-zero digit after a zero";
        QTest::newRow("audio without HDMI VSDB") << "173=04" << "error@131: there is no HDMI VSDB although the extension declares audio: a source then treats the display as DVI and sends no audio";
        QTest::newRow("audio block without HDMI VSDB") << "173=04 131=31" << "error@162: there is no HDMI VSDB although the extension declares audio: a source then treats the display as DVI and sends no audio";
        QTest::newRow("YCbCr without HDMI VSDB") << "173=04 131=21 162=09" << "error@131: there is no HDMI VSDB although the extension declares YCbCr: a source then treats the display as DVI and sends no audio";
        QTest::newRow("audio length") << "162=28" << "warning@162: the audio data block's length is not a multiple of 3";
        QTest::newRow("other extension") << "128=70" << "warning@128: block 1 is not a CTA-861 extension (tag 0x70); kept as bytes";
        // clang-format on
    }
    // Each broken image brings its finding; decoding goes on past it.
    void findings()
    {
        QFETCH(QString, edits);
        QFETCH(QString, finding);
        EdidImage image = corpusEdid(QStringLiteral("07589cac50c4"));
        const QStringList changes = edits.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int pass = 0; pass < 2; ++pass) { // a changed checksum byte stays as it is written
            for (const QString &change : changes)
                image.bytes[change.section(QLatin1Char('='), 0, 0).toUInt()] =
                    std::uint8_t(change.section(QLatin1Char('='), 1).toUInt(nullptr, 16));
            if (pass == 0)
                recalculateChecksums(image);
        }
        const EdidDescription description = decodeEdid(image);
        QStringList found;
        for (const EdidFinding &f : description.findings)
            found << QStringLiteral("%1@%2: %3")
                         .arg(f.severity == EdidFinding::Severity::Error ? "error" : "warning")
                         .arg(f.offset)
                         .arg(QString::fromStdString(f.message));
        QVERIFY2(finding.isEmpty() ? found.isEmpty() : found.contains(finding),
                 qPrintable(found.join(QLatin1Char('\n'))));
        // Decoding goes on past the finding: the last descriptor is still read. No line points
        // past the image.
        const std::vector<DescriptionLine> lines = describeEdid(description);
        QVERIFY(renderDescription(lines).find("Product name: 'L") != std::string::npos);
        QStringList described;
        flatten(lines, QString(), described);
        const QRegularExpression range(QStringLiteral(" @(\\d+)\\+(\\d+): "));
        for (const QString &line : described) {
            const QRegularExpressionMatch bytes = range.match(line);
            QVERIFY2(bytes.captured(1).toUInt() + bytes.captured(2).toUInt() <= EdidImage::kSize,
                     qPrintable(line));
        }
    }
};

QTEST_GUILESS_MAIN(EdidTest)
#include "tst_Edid.moc"
