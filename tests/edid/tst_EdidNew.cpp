// EDIDs made from nothing: the presets and the EDIDs of lists of modes, as the decoder reads them
// back. The CVT and DMT timings expected here are those edid-decode --cvt and its DMT list print.
#include "EdidDescriptionTree.h"
#include "EdidModeList.h"
#include "EdidPresets.h"

#include <QTest>

namespace {

// Every described line as "Block 0/DTD 1/Horizontal: 1600 active, ...".
void flatten(const std::vector<DescriptionLine> &lines, const QString &parent, QStringList &out)
{
    for (const DescriptionLine &line : lines) {
        const QString label = QString::fromStdString(line.label);
        const QString path = parent.isEmpty() ? label.section(':', 0, 0) : parent + '/' + label;
        out << path + ": " + QString::fromStdString(line.value);
        flatten(line.children, path, out);
    }
}

// What the decoder says of an EDID made: its lines, or "refused: why".
QStringList described(const ComposedEdid &made)
{
    if (!made.image)
        return {"refused: " + QString::fromStdString(made.refusal)};
    QStringList lines{QString("size: %1").arg(made.size)};
    flatten(describeEdid(decodeEdid(*made.image)), QString(), lines);
    return lines;
}

const QString kDtd = "Block %1/DTD %2";

} // namespace

class EdidNewTest : public QObject {
    Q_OBJECT

private slots:
    // Each preset as the decoder reads it: no finding, and what sets it apart.
    void presets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("lines"); // each among the described lines
        const QString hdmi = "Block 1/HDMI vendor-specific data block/";
        const QString forum = "Block 1/HDMI Forum vendor-specific data block/";
        const auto row = [](const char *name, const QStringList &lines) {
            QTest::newRow(name) << QString(name) << lines + QStringList{"Findings: none"};
        };
        row("dvi-1080p60",
            {"size: 128", "Block 0/Product code: 20481",
             "Block 0/DTD 1: 1920x1080p, 60.000 Hz, 67.500 kHz, 148.500 MHz "
             "(preferred)",
             "Block 0/Standard timings/Standard timing 4: 1600x900@60 16:9 (DMT 0x53)",
             "Block 0/Range limits: 59-61 Hz V, 31-68 kHz H, max pixel clock 150 MHz",
             "Block 0/Product name: 'VNX DVI 1080p'", "Block 0/Extension count: 0"});
        row("hdmi-1080p60",
            {"size: 256", "Block 0/Product code: 20482",
             "Block 0/Range limits: 50-60 Hz V, 31-68 kHz H, max pixel clock 150 MHz",
             "Block 1/Video data block/VIC 18: 720x576p50 16:9",
             "Block 1/Video data block/VIC 1: 640x480p59.94 4:3", "Block 1/YCbCr 4:2:2: yes",
             hdmi + "Max TMDS clock: 150 MHz"});
        row("hdmi-1080p60-theatre",
            {"Block 0/Range limits: 23-60 Hz V, 26-68 kHz H, max pixel clock 150 MHz",
             "Block 1/Audio data block/Audio descriptor 1: Linear PCM, 8 channels, 32 44.1 48 88.2 "
             "96 176.4 192 kHz, 16 20 24 bits",
             "Block 1/Audio data block/Audio descriptor 3: Enhanced AC-3, 8 channels, 44.1 48 kHz",
             "Block 1/Speaker allocation data block: FL/FR, LFE1, FC, BL/BR, RLC/RRC"});
        row("hdmi-720p60",
            {"Block 0/Range limits: 59-60 Hz V, 31-45 kHz H, max pixel clock 80 MHz",
             "Block 1/Video data block/VIC 4: 1280x720p60 16:9", hdmi + "Max TMDS clock: 75 MHz"});
        row("hdmi14-4k30",
            {"Block 0/DTD 1: 3840x2160p, 30.000 Hz, 67.500 kHz, 297.000 MHz "
             "(preferred)",
             hdmi + "Max TMDS clock: 300 MHz", hdmi + "HDMI VIC 4: 4096x2160p24 256:135"});
        row("hdmi20-4k60-420",
            {"Block 1/YCbCr 4:2:0 video data block/VIC 97: 3840x2160p60 16:9",
             hdmi + "Max TMDS clock: 340 MHz", forum + "Max TMDS character rate: not given",
             forum + "Max FRL rate: not supported"});
        row("hdmi20-4k60-hdr",
            {"Block 0/Range limits: 23-60 Hz V, 31-135 kHz H, max pixel clock 600 MHz",
             forum + "Max TMDS character rate: 600 MHz", forum + "SCDC: present",
             forum + "4:2:0 deep colour: 30 bits, 36 bits",
             hdmi + "Deep colour: 30, 36 bits, also YCbCr 4:4:4",
             "Block 1/Colorimetry data block: BT2020YCC, BT2020RGB",
             "Block 1/HDR static metadata data block/EOTFs: traditional SDR, SMPTE ST 2084, "
             "hybrid log-gamma",
             "Block 1/YCbCr 4:2:0 capability map data block/SVD 2: VIC 96: 3840x2160p50 16:9"});
        row("capture-1080p60", {"Block 1/YCbCr 4:4:4: yes", "Block 1/YCbCr 4:2:2: no",
                                hdmi + "Max TMDS clock: 165 MHz", hdmi + "Deep colour: none"});
        row("hdmi21-4k120-vrr",
            {"Block 0/Range limits: 23-120 Hz V, 31-255 kHz H, max pixel clock 1190 MHz",
             "Block 1/Video data block/VIC 118: 3840x2160p120 16:9",
             forum + "Max FRL rate: 10 Gbps on 4 lanes", forum + "ALLM: yes",
             forum + "VRR: 48-120 Hz"});
    }
    void presets()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, lines);
        const QStringList found = described(presetEdid(name.toStdString()));
        for (const QString &line : lines)
            QVERIFY2(found.contains(line), qPrintable(line));
        QCOMPARE(described(presetEdid("hdmi-1080p")),
                 QStringList{"refused: no preset is named 'hdmi-1080p'"});
    }

    // A list of modes: the first DTD 1; VICs where a size and rate has one, else DMT, else CVT;
    // or the refusal. "modeline:" starts a modeline.
    void modeLists_data()
    {
        QTest::addColumn<QStringList>("modes");
        QTest::addColumn<QStringList>("options"); // audio, name, physical address, "hdr"
        QTest::addColumn<QStringList>("lines");   // among the lines; or the refusal alone
        const auto row = [](const char *name, const QStringList &modes, const QStringList &lines,
                            const QStringList &options = {"lpcm2", "VNX Modes", "1.0.0.0"}) {
            QTest::newRow(name) << modes << options << lines;
        };
        const auto refused =
            [&row](const char *name, const QStringList &modes, const char *why,
                   const QStringList &options = {"lpcm2", "VNX Modes", "1.0.0.0"}) {
                row(name, modes, {QString("refused: ") + why}, options);
            };
        const QString horizontal = kDtd + "/Horizontal: %3 active, %4 front porch, %5 sync, %6 "
                                          "back porch";
        const QString vertical = kDtd + "/Vertical: %3 active, %4 front porch, %5 sync, %6 back "
                                        "porch";
        row("CVT, VIC and DMT", {"1600x900@75", "2560x1080@100", "1234x567@60", "1920x1200@60"},
            {"Block 0/Product code: 20480", "Block 0/Product name: 'VNX Modes'",
             "Block 0/DTD 1: 1600x900p, 74.889 Hz, 70.546 kHz, 151.250 MHz (preferred)",
             horizontal.arg(0).arg(1).arg(1600).arg(104).arg(168).arg(272),
             vertical.arg(0).arg(1).arg(900).arg(3).arg(5).arg(34),
             "Block 0/DTD 2: 1234x567p, 59.646 Hz, 35.191 kHz, 55.250 MHz",
             horizontal.arg(0).arg(2).arg(1234).arg(48).arg(120).arg(168),
             vertical.arg(0).arg(2).arg(567).arg(3).arg(10).arg(10),
             "Block 1/DTD 3: 1920x1200p, 59.885 Hz, 74.556 kHz, 193.250 MHz",
             "Block 0/Range limits: 59-100 Hz V, 31-125 kHz H, max pixel clock 380 MHz",
             "Block 1/Video data block/VIC 91: 2560x1080p100 64:27",
             "Block 1/HDMI Forum vendor-specific data block/Max TMDS character rate: 375 MHz"});
        row("CVT v2 over FRL, clock to 10 kHz; a VIC alone", {"3840x2400@62", "3840x2160@120"},
            {"Block 0/DTD 1: 3840x2400p, 62.000 Hz, 153.202 kHz, 600.550 MHz (preferred)",
             horizontal.arg(0).arg(1).arg(3840).arg(8).arg(32).arg(40),
             vertical.arg(0).arg(1).arg(2400).arg(57).arg(8).arg(6),
             "Block 0/Range limits: 59-120 Hz V, 31-255 kHz H, max pixel clock 1190 MHz",
             "Block 1/Video data block/VIC 118: 3840x2160p120 16:9",
             "Block 1/HDMI Forum vendor-specific data block/Max FRL rate: 10 Gbps on 4 lanes"});
        row("v1 over FRL where v2's front porch is too long", {"2560x1440@144"},
            {"Block 0/DTD 1: 2560x1440p, 143.973 Hz, 222.151 kHz, 604.250 MHz (preferred)",
             "Block 1/HDMI Forum vendor-specific data block/Max FRL rate: 6 Gbps on 3 lanes"});
        row("1000/1001 rates and interlace are VICs",
            {"1920x1080i@50", "1920x1080@59.94", "1920x1080@23.976", "3840x2160@30"},
            {"Block 0/DTD 1: 1920x1080i, 50.000 Hz, 28.125 kHz, 74.250 MHz (preferred)",
             "Block 1/Video data block/VIC 20: 1920x1080i50 16:9",
             "Block 1/Video data block/VIC 32: 1920x1080p24 16:9",
             "Block 1/HDMI vendor-specific data block/HDMI VIC 1: 3840x2160p30 16:9"});
        row("modeline as given",
            {"modeline:Modeline \"1920x1080_60.00\"  173.00  1920 2048 2248 2576  1080 1083 1088 "
             "1120 -hsync +vsync"},
            {"Block 0/DTD 1: 1920x1080p, 59.963 Hz, 67.158 kHz, 173.000 MHz (preferred)",
             horizontal.arg(0).arg(1).arg(1920).arg(128).arg(200).arg(328),
             "Block 0/DTD 1/Sync: digital separate, H- V+"});
        row("options", {"1280x720@60"},
            {"Block 0/Product name: 'Studio 3'",
             "Block 1/Audio data block/Audio descriptor 1: Linear PCM, 8 channels, 32 44.1 48 88.2 "
             "96 176.4 192 kHz, 16 20 24 bits",
             "Block 1/HDMI vendor-specific data block/Physical address: 2.1.0.0",
             "Block 1/HDR static metadata data block/EOTFs: traditional SDR, SMPTE ST 2084, "
             "hybrid log-gamma",
             "Block 1/HDMI vendor-specific data block/Deep colour: 30, 36 bits, also YCbCr 4:4:4"},
            {"lpcm8", "Studio 3", "2.1.0.0", "hdr"});
        row("no audio", {"1280x720@60"}, {"Block 1/Basic audio: no"}, {"none", "x", "1.0.0.0"});
        const QStringList sevenCvt{"1000x700@60", "1001x700@60", "1002x700@60", "1003x700@60",
                                   "1004x700@60", "1005x700@60", "1006x700@60"};
        row("seven DTDs", sevenCvt,
            {"Block 1/DTD 7: 1006x700p, 59.528 Hz, 43.277 kHz, 56.000 MHz"});
        refused("eight DTDs", sevenCvt + QStringList{"1007x700@60"},
                "8 modes are more than fit: the CTA-861 extension holds 123 bytes of data blocks "
                "and DTDs; these need 127 (19 of blocks, 6 DTDs of 18)");
        refused("no mode", {}, "a new EDID needs a mode");
        refused("malformed", {"1920x1080"},
                "a mode is WIDTHxHEIGHT@HZ, such as 1920x1080@60 or "
                "1280x720@59.94, not '1920x1080'");
        refused("rate 0", {"1920x1080@0.0"},
                "'1920x1080@0.0': a rate is above 0 and at most 1000 Hz");
        refused("rate above 1000", {"640x480@1000.5"},
                "'640x480@1000.5': a rate is above 0 and at most 1000 Hz");
        refused("no height", {"1920x0@60"}, "'1920x0@60': a width and a height are at least 1");
        refused("wider than a DTD", {"4096x2304@60"},
                "'4096x2304@60': no CTA-861 VIC or DMT mode has this size and rate, and a DTD "
                "holds at most 4095x4095");
        refused("faster than a DTD", {"3840x2160@75"},
                "'3840x2160@75': no CTA-861 VIC or DMT mode has this size and rate, and its CVT "
                "reduced blanking v2 timing has a pixel clock of 657.972 MHz, more than a DTD "
                "holds (655.35 MHz)");
        refused("porch longer than a DTD", {"640x480@1000"},
                "'640x480@1000': no CTA-861 VIC or DMT mode has this size and rate, and its CVT "
                "reduced blanking v2 timing has a V front porch of 395 lines, more than a DTD "
                "holds (63)");
        refused("slower than TMDS", {"1920x1080@60", "640x480@24"},
                "640x480p23.41 needs 9.25 MHz, less than the 25 MHz TMDS clock HDMI and DVI run "
                "at; only CTA-861 formats go slower, each pixel sent more than once");
        refused("interlaced CVT", {"1280x720i@60"},
                "'1280x720i@60': no CTA-861 VIC or DMT mode has this size and rate, and the CVT "
                "formula makes progressive timings only");
        refused("beyond the range limits", {"800x600@300"},
                "800x600p299.47 (217 kHz) lies beyond the range limits of EDID 1.3 (1-255 Hz, "
                "1-255 kHz)");
        refused("first mode a VIC alone", {"3840x2160@120", "1920x1080@60"},
                "'3840x2160@120' is VIC 118, which has a pixel clock of 1188 MHz, more than a DTD "
                "holds (655.35 MHz); the first mode is the preferred timing, DTD 1: list first a "
                "mode that a DTD holds");
        refused("first mode a VIC of long porches", {"1280x720@30"},
                "'1280x720@30' is VIC 62, which has porches, syncs or blanking longer than a DTD "
                "holds; the first mode is the preferred timing, DTD 1: list first a mode that a "
                "DTD holds");
        refused("the same timing twice", {"1920x1080@60", "1280x720@60", "1920x1080@59.94"},
                "'1920x1080@59.94' is the timing of '1920x1080@60' again");
        const char *tenKhzApart = "148.49 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync";
        refused("a clock 10 kHz apart", {"1920x1080@60", QString("modeline:") + tenKhzApart},
                qPrintable(QString("'%1' is the timing of '1920x1080@60' again").arg(tenKhzApart)));
        refused("modeline too short", {"modeline:148.5 1920 2008 2052 2200 1080 1084 1089"},
                "a modeline is CLOCK HDISP HSYNCSTART HSYNCEND HTOTAL VDISP VSYNCSTART VSYNCEND "
                "VTOTAL +hsync|-hsync +vsync|-vsync [interlace]; '148.5 1920 2008 2052 2200 1080 "
                "1084 1089' has 8 of the 9 numbers");
        const QString line = "modeline:%1 1920 %2 2052 2200 1080 1084 1089 1125 %3";
        refused("modeline clock", {line.arg("14x", "2008", "+hsync +vsync")},
                "modeline CLOCK '14x' is no number of MHz above 0");
        refused("modeline sync before the picture ends",
                {line.arg("148.5", "1900", "+hsync +vsync")},
                "modeline HSYNCSTART 1900 is below HDISP 1920");
        refused("modeline field", {line.arg("148.5", "20O8", "+hsync +vsync")},
                "modeline HSYNCSTART '20o8' is no whole number of 0-65535");
        refused("modeline polarity", {line.arg("148.5", "2008", "+hsync")},
                "a modeline gives both sync polarities: +vsync or -vsync is missing");
        refused("modeline flag", {line.arg("148.5", "2008", "+hsync +vsync doublescan")},
                "modeline flag 'doublescan' is none of +hsync, -hsync, +vsync, -vsync and "
                "interlace");
        refused("modeline clock above a DTD's", {line.arg("700", "2008", "+hsync +vsync")},
                "modeline '700 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync' "
                "(1920x1080p282.83) has a pixel clock of 700 MHz, more than a DTD holds "
                "(655.35 MHz)");
        refused("audio", {"1280x720@60"}, "the audio is none, lpcm2 or lpcm8, not 'dts'",
                {"dts", "x", "1.0.0.0"});
        refused("name", {"1280x720@60"}, "a name has 1-13 characters; 'Studio 3 Monitor' has 16",
                {"none", "Studio 3 Monitor", "1.0.0.0"});
        refused("physical address", {"1280x720@60"},
                "physical address 1.0.2.0 has a non-zero digit after a zero",
                {"none", "x", "1.0.2.0"});
    }
    void modeLists()
    {
        QFETCH(QStringList, modes);
        QFETCH(QStringList, options);
        QFETCH(QStringList, lines);
        ModeListRequest request;
        for (const QString &mode : modes)
            request.modes.push_back(
                {mode.section("modeline:", -1).toStdString(), mode.startsWith("modeline:")});
        request.audio = options.value(0).toStdString();
        request.name = options.value(1).toStdString();
        request.physicalAddress = options.value(2).toStdString();
        request.hdr = options.value(3) == "hdr";
        const QStringList found = described(modeListEdid(request));
        for (const QString &line : lines)
            QVERIFY2(found.contains(line), qPrintable(found.first() + "\nlacks\n" + line));
        QCOMPARE(found.contains("Findings: none"), !lines.first().startsWith("refused: "));
    }
};

QTEST_GUILESS_MAIN(EdidNewTest)
#include "tst_EdidNew.moc"
