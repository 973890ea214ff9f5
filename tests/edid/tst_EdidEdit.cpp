#include "EdidEdit.h"
#include "EdidFieldDiff.h"
#include "EdidModes.h"
#include "EdidSamples.h"
#include "HexText.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

Q_DECLARE_METATYPE(EdidEditKind)

#ifndef VARNEX_SAMPLE_STRIDE
#define VARNEX_SAMPLE_STRIDE 1
#endif

namespace {

using K = EdidEditKind;

// Every how many samples the edits of the whole sample are tried.
constexpr std::size_t kSampleStride = VARNEX_SAMPLE_STRIDE;

struct Sample {
    QString name;
    EdidImage image;
    EdidDescription description;
};

QStringList differences(const EdidImage &a, const EdidImage &b)
{
    QStringList lines;
    for (const FieldDifference &difference : fieldDifferences(decodeEdid(a), decodeEdid(b)))
        lines << QString::fromStdString(difference.text());
    return lines;
}

// The differing bytes as runs, "0x5F: 4C 47 -> 53 74", one a line.
QString byteChanges(const EdidImage &a, const EdidImage &b)
{
    QStringList runs;
    for (std::size_t n = 0; n < EdidImage::kSize;) {
        std::size_t end = n;
        while (end < EdidImage::kSize && a.bytes[end] != b.bytes[end])
            ++end;
        if (end == n) {
            ++n;
            continue;
        }
        const auto hex = [&](const EdidImage &image) {
            return QByteArray(reinterpret_cast<const char *>(&image.bytes[n]), int(end - n))
                .toHex(' ')
                .toUpper();
        };
        runs << QStringLiteral("0x%1: %2 -> %3").arg(n, 2, 16, QChar('0')).arg(hex(a), hex(b));
        n = end;
    }
    return runs.join('\n');
}

// What an edit may not add, by kind: errors, and modes the link cannot carry.
QStringList faults(const EdidDescription &description)
{
    QStringList found;
    for (const EdidFinding &finding : description.findings)
        if (finding.severity == EdidFinding::Severity::Error ||
            finding.kind == FindingKind::AboveMaxTmds)
            found << findingKindId(finding.kind);
    return found;
}

// What every edit may change besides its own fields: the checksums and where the DTDs start.
const QRegularExpression bookkeeping(QStringLiteral(
    "^(base\\.checksum|cta\\.(checksum|dtd_offset|padding)|finding\\.cta\\.padding)$"));

// A VIC removed loses its YCbCr 4:2:0 and 3D capabilities, which adding it back does not restore.
bool addedBackWithout(const EdidDescription &description)
{
    return description.cta &&
           std::any_of(description.cta->dataBlocks.begin(), description.cta->dataBlocks.end(),
                       [](const CtaDataBlock &block) {
                           const auto *hdmi = std::get_if<HdmiVsdb>(&block.payload);
                           return std::holds_alternative<Ycbcr420CapabilityMap>(block.payload) ||
                                  (hdmi && hdmi->present3d);
                       });
}

} // namespace

class EdidEditTest : public QObject {
    Q_OBJECT

    std::vector<Sample> corpus;

    EdidImage sample(const QString &name) const
    {
        for (const Sample &sample : corpus)
            if (sample.name == name)
                return sample.image;
        qFatal("no sample %s", qPrintable(name));
    }

private slots:
    void initTestCase()
    {
        const QDir folder(QStringLiteral(VARNEX_EDID_CORPUS));
        for (const QString &name : folder.entryList({QStringLiteral("*.bin")})) {
            QFile file(folder.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly) && file.size() == EdidImage::kSize);
            Sample sample{name.chopped(4), {}, {}};
            const QByteArray bytes = file.readAll();
            std::copy(bytes.begin(), bytes.end(), sample.image.bytes.begin());
            sample.description = decodeEdid(sample.image);
            corpus.push_back(sample);
        }
        QCOMPARE(corpus.size(), std::size_t(240));
    }

    void overTheSample_data()
    {
        QTest::addColumn<EdidEditKind>("kind");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("applies");    // to how many of the 240 images
        QTest::addColumn<int>("blocks");     // which may change: 1 the base block, 2 block 1
        QTest::addColumn<QString>("change"); // the key of every difference but the bookkeeping
        QTest::addColumn<QString>("shows");  // some difference's words, unless nothing changed
        const auto row = [](const char *name, K kind, const char *argument, int applies, int blocks,
                            const char *change, const char *shows) {
            QTest::newRow(name) << kind << QString(argument) << applies << blocks << change
                                << QString(shows);
        };
        row("vendor", K::SetVendor, "vnx", 240, 1, "base\\.manufacturer",
            "^Manufacturer: \\S+ -> VNX$");
        row("product", K::SetProduct, "0x1234", 240, 1, "base\\.product",
            "^Product code: .* -> 4660$");
        row("serial", K::SetSerial, "4294967295", 240, 1, "base\\.serial",
            "^Serial number: (\\d+|none) -> 4294967295$");
        row("date", K::SetDate, "2024:7", 240, 1, "base\\.date", ": .* -> week 7 of 2024$");
        row("model year", K::SetDate, "2030:model", 58, 1, "base\\.date",
            "^Model year: .* -> 2030$");
        const char *freeSlot = "|base\\.(dummy|descriptor_00)(\\.\\d)?";
        row("name", K::SetName, "Studio 3", 235, 1, qPrintable(QString("base\\.name") + freeSlot),
            "^Product name(: '.*' ->| added:) 'Studio 3'$");
        row("serial text", K::SetSerialText, "SN-0001", 107, 1,
            qPrintable(QString("base\\.serial_text") + freeSlot), " 'SN-0001'$");
        // DTDs renumbered keep their warnings, under other numbers.
        const QString timings =
            QString("dtd\\.\\d+(\\..*)?|cta\\.vic\\.\\d+(\\.\\d)?|cta\\.native_dtds|"
                    "finding\\.(range_limits\\.outside|cta\\.above_max_tmds)") +
            freeSlot;
        row("preferred by VIC", K::SetPreferred, "vic:16", 229, 3, qPrintable(timings),
            "^(DTD 1(: .* -> 1920x1080p, 60.000 Hz, 67.500 kHz, 148.500 MHz \\(preferred\\)| / "
            ")|VIC \\d+: )");
        row("preferred by size", K::SetPreferred, "1280x720@60", 229, 3, qPrintable(timings),
            "^DTD 1: .* -> 1280x720p, 60.000 Hz, 45.000 kHz, 74.250 MHz \\(preferred\\)$");
        row("preferred by modeline", K::SetPreferred,
            "Modeline \"1080p\" 148.5 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync", 229,
            3, qPrintable(timings),
            "^(DTD 1(: .* -> 1920x1080p, 60.000 Hz, 67.500 kHz, 148.500 MHz \\(preferred\\)| / "
            ")|VIC \\d+: )");
        row("preferred interlaced", K::SetPreferred, "1920x1080i@60", 229, 3, qPrintable(timings),
            "^DTD 1: .* -> 1920x1080i, 60.000 Hz, 33.750 kHz, 74.250 MHz \\(preferred\\)$");
        // A map of every SVD comes to name the former SVDs one by one.
        row("add VIC", K::AddVic, "5", 110, 2,
            "cta\\.vic\\.5|cta\\.video(\\.\\d)?|cta\\.ycbcr420_map",
            "^(VIC 5 added: 1920x1080i60 16:9|Video data block( \\d)? added)$");
        row("remove VIC", K::RemoveVic, "16", 209, 2,
            "cta\\.vic\\.16(\\.\\d)?|cta\\.ycbcr420_(map|video)(\\..*)?|cta\\.video(\\.\\d)?",
            "^(VIC 16|Video data block( \\d)?) removed");
        row("native VIC", K::SetNativeVic, "4", 207, 2, "cta\\.vic\\.\\d+(\\.\\d)?", "^VIC \\d+");
        row("limit", K::Limit, "1920x1080@60", 229, 3,
            qPrintable(timings +
                       "|cta\\.(video|ycbcr420_(map|video)|hdmi_forum(_scdb)?|hdmi\\.(vic|"
                       "max_tmds))(\\..*)?|base\\.(standard|established)(\\..*)?"),
            "");
        const char *audio = "cta\\.(audio|speakers|vendor_11|hdmi_audio|room_configuration|"
                            "speaker_location)(\\..*)?|cta\\.basic_audio";
        row("no audio", K::SetAudio, "none", 229, 2, audio, "^(Audio|Speaker|Basic|Vendor)");
        row("stereo", K::SetAudio, "lpcm2", 182, 2, audio, "^(Audio|Speaker|Basic)");
        row("eight channels", K::SetAudio, "lpcm8", 182, 2, audio, "^(Audio|Speaker|Basic)");
        row("add AC-3", K::AddAudio, "AC-3", 104, 2, "cta\\.audio(\\.\\d|\\.ac_3(\\.\\d)?)?",
            "^Audio (descriptor \\d+ added: AC-3, 6 channels, 32 44.1 48 kHz, up to 640 kb/s|data "
            "block \\d added)$");
        row("remove AC-3", K::RemoveAudio, "ac3", 75, 2, "cta\\.audio(\\.\\d|\\.ac_3(\\.\\d)?)?",
            "^Audio (descriptor \\d+ removed: AC-3|data block( \\d)? removed)");
        row("add DTS-HD", K::AddAudio, "dtshd", 149, 2, "cta\\.audio\\.dts_hd",
            "^Audio descriptor \\d+ added: DTS-HD, 8 channels, 44.1 48 88.2 96 176.4 192 kHz$");
        row("speakers", K::SetSpeakers, "5.1", 188, 2, "cta\\.speakers",
            "^Speaker allocation data block(: .* ->| added:) FL/FR, LFE1, FC, BL/BR$");
        row("basic audio off", K::SetBasicAudio, "off", 34, 2, "cta\\.basic_audio",
            "^Basic audio: yes -> no$");
        row("physical address", K::SetPhysicalAddress, "1.2.3.0", 183, 2,
            "cta\\.hdmi\\.physical_address", "^Physical address: [\\da-f.]+ -> 1\\.2\\.3\\.0$");
        row("max TMDS", K::SetMaxTmds, "165", 107, 2,
            "cta\\.hdmi\\.(max_tmds|supports_ai|deep_color|dual_link_dvi)", "165 MHz$");
        row("deep colour off", K::RemoveDeepColour, "", 144, 2,
            "cta\\.hdmi(_forum(_scdb)?\\.deep_color_420|\\.deep_color)", ": .* -> none$");
        row("add HDMI VSDB", K::AddHdmiVsdb, "", 42, 2, "cta\\.hdmi",
            "^HDMI vendor-specific data block added$");
        row("remove HDR", K::RemoveHdr, "", 106, 2,
            "cta\\.(hdr_static|hdr_dynamic|vendor_01\\.oui_(00d046|90848b))(\\.\\d)?", " removed");
        row("remove 4:2:0", K::RemoveYcbcr420, "", 101, 2, "cta\\.ycbcr420_(video|map)(\\.\\d)?",
            "^YCbCr 4:2:0 (video|capability map) data block( \\d)? removed");
        row("remove HDMI Forum", K::RemoveHdmiForum, "", 18, 2, "cta\\.hdmi_forum(_scdb)?",
            "^HDMI Forum (vendor-specific|sink capability) data block removed$");
    }
    // Each edit on each sample EDID: refused with a reason, or applied with both checksums
    // correct, no new error, the blocks it does not concern untouched, and a field diff that holds
    // exactly the intended change.
    void overTheSample()
    {
        QFETCH(EdidEditKind, kind);
        QFETCH(QString, argument);
        QFETCH(int, applies);
        QFETCH(int, blocks);
        QFETCH(QString, change);
        QFETCH(QString, shows);
        const QRegularExpression changed("^(" + change + ")$"), showing(shows);
        int applied = 0;
        for (std::size_t n = 0; n < corpus.size(); n += kSampleStride) {
            const Sample &sample = corpus[n];
            const EditResult result = applyEdit(sample.image, {kind, argument.toStdString()});
            if (!result.image) {
                QVERIFY2(!result.refusal.empty(), qPrintable(sample.name));
                continue;
            }
            ++applied;
            const EdidImage &image = *result.image;
            QVERIFY2(hasCorrectChecksums(image), qPrintable(sample.name));
            for (int block = 0; block < 2; ++block) // its checksum is corrected, if wrong
                if (!(blocks & 1 << block))
                    QVERIFY2(std::equal(&image.bytes[128 * block], &image.bytes[128 * block + 127],
                                        &sample.image.bytes[128 * block]),
                             qPrintable(sample.name));
            const EdidDescription after = decodeEdid(image);
            QStringList before = faults(sample.description);
            for (const QString &fault : faults(after))
                QVERIFY2(before.removeOne(fault), qPrintable(sample.name + ": " + fault));
            bool shown = image.bytes == sample.image.bytes;
            for (const FieldDifference &difference : fieldDifferences(sample.description, after)) {
                const QString key = QString::fromStdString(difference.key);
                const QString words = QString::fromStdString(difference.text());
                // Errors are compared above; a finding that goes needs no reason.
                const bool gone =
                    key.startsWith("finding.") && (!difference.b || difference.field == "Error");
                QVERIFY2(gone || bookkeeping.match(key).hasMatch() || changed.match(key).hasMatch(),
                         qPrintable(sample.name + ": " + key + ": " + words));
                shown = shown || showing.match(words).hasMatch();
            }
            if (!shown) // the words only when they are needed: they cost a field diff
                QFAIL(
                    qPrintable(sample.name + ": " + differences(sample.image, image).join(" | ")));
        }
        if (kSampleStride == 1)
            QCOMPARE(applied, applies);
    }

    // Any one byte changed in a sample: some field says so, not a checksum alone; bits that say
    // nothing are shown as reserved bits.
    void everyByteShows()
    {
        const QRegularExpression bookkeepingOnly("^(base|cta)\\.checksum$|^finding\\.");
        QStringList silent;
        int shift = 0; // each sample flips another bit of a byte: five samples, five of its bits
        for (const char *name :
             {"07589cac50c4", "0294c5a146ff", "000479175149", "0007c66ee1b2", "00997928e173"}) {
            const EdidImage image = sample(name);
            const EdidDescription before = decodeEdid(image);
            shift += 3;
            for (std::size_t n = 0; n < EdidImage::kSize; ++n) {
                const auto flip = std::uint8_t(1u << (n + shift) % 8);
                EdidImage changed = image;
                changed.bytes[n] ^= flip;
                bool shown = isEdidChecksumByte(n);
                for (const FieldDifference &difference :
                     fieldDifferences(before, decodeEdid(changed)))
                    shown =
                        shown ||
                        !bookkeepingOnly.match(QString::fromStdString(difference.key)).hasMatch();
                if (!shown)
                    silent << QStringLiteral("%1 byte %2 ^ %3").arg(name).arg(n).arg(flip);
            }
        }
        QVERIFY2(silent.isEmpty(), qPrintable(silent.join('\n')));
    }

    // --limit 1920x1080@60 on each sample EDID: nothing wider, taller or of a higher pixel
    // clock stays, and some timing does. Only the extensions that need mending first refuse it.
    void limitToFullHd()
    {
        const auto above = [](unsigned width, unsigned height, std::uint32_t clockKhz) {
            return width > 1920 || height > 1080 || clockKhz > 148500 + 10;
        };
        const auto modeAbove = [&](const VideoMode *mode) {
            return mode && above(mode->hActive, mode->vActive, mode->pixelClockKhz);
        };
        int refused = 0;
        for (const Sample &sample : corpus) {
            const EditResult result = applyEdit(sample.image, {K::Limit, "1920x1080@60"});
            if (!result.image) {
                QVERIFY2(result.refusal.find("needs mending by hand") != std::string::npos,
                         qPrintable(sample.name));
                ++refused;
                continue;
            }
            const EdidDescription description = decodeEdid(*result.image);
            QStringList left; // what stays above
            int timings = 0;
            for (const EstablishedTimingBit &bit : description.base.establishedTimings)
                if (const EstablishedTiming *timing = establishedTiming(bit.bit);
                    ++timings && timing)
                    if (modeAbove(&timing->mode))
                        left << timing->name;
            for (const StandardTiming &timing : description.base.standardTimings) {
                ++timings;
                const DmtMode *dmt = findDmtMode(timing.width, timing.height, timing.refreshHz);
                if (dmt ? modeAbove(&dmt->mode)
                        : above(timing.width, timing.height,
                                timing.width * timing.height * timing.refreshHz / 1000 * 1100 /
                                    1000))
                    left << QStringLiteral("standard %1x%2").arg(timing.width).arg(timing.height);
            }
            for (const DetailedTiming *timing : detailedTimings(description))
                if (++timings && above(timing->hActive, timing->vActive, timing->pixelClockKhz))
                    left << QStringLiteral("DTD %1x%2").arg(timing->hActive).arg(timing->vActive);
            for (const CtaDataBlock &block :
                 description.cta ? description.cta->dataBlocks : std::vector<CtaDataBlock>()) {
                std::vector<ShortVideoDescriptor> svds;
                if (const auto *video = std::get_if<VideoBlock>(&block.payload))
                    svds = video->descriptors;
                if (const auto *video = std::get_if<Ycbcr420VideoBlock>(&block.payload))
                    svds = video->descriptors;
                for (const ShortVideoDescriptor &svd : svds)
                    if (++timings && modeAbove(ctaVideoMode(svd.vic)))
                        left << QStringLiteral("VIC %1").arg(svd.vic);
                if (const auto *hdmi = std::get_if<HdmiVsdb>(&block.payload))
                    for (unsigned vic : hdmi->hdmiVics)
                        if (++timings && modeAbove(hdmiVideoMode(vic)))
                            left << QStringLiteral("HDMI VIC %1").arg(vic);
            }
            QVERIFY2(left.isEmpty(), qPrintable(sample.name + ": " + left.join(", ")));
            QVERIFY2(timings > 0, qPrintable(sample.name));
            // What HDMI still declares: a TMDS clock of what 1080p60 needs at the deepest
            // colour, and the HDMI Forum blocks only where a YCbCr 4:2:0 one still needs them.
            const EdidDescription &original = sample.description;
            const bool hadForum =
                std::any_of(original.cta->dataBlocks.begin(), original.cta->dataBlocks.end(),
                            [](const CtaDataBlock &block) {
                                return std::holds_alternative<HdmiForumBlock>(block.payload);
                            });
            bool forum = false, yuv420 = false;
            for (const CtaDataBlock &block : description.cta->dataBlocks) {
                forum = forum || std::holds_alternative<HdmiForumBlock>(block.payload);
                yuv420 = yuv420 || std::holds_alternative<Ycbcr420VideoBlock>(block.payload) ||
                         std::holds_alternative<Ycbcr420CapabilityMap>(block.payload);
                if (const auto *hdmi = std::get_if<HdmiVsdb>(&block.payload);
                    hdmi && hdmi->maxTmdsMhz)
                    QVERIFY2(*hdmi->maxTmdsMhz <= (hdmi->deepColour48   ? 300u
                                                   : hdmi->deepColour36 ? 225u
                                                   : hdmi->deepColour30 ? 190u
                                                                        : 150u),
                             qPrintable(sample.name));
            }
            QVERIFY2(forum == (hadForum && yuv420), qPrintable(sample.name));
        }
        QCOMPARE(refused, 11);
        // The EDID's own DTD 2 is its 1080p60: a limit to it is the limit to that mode.
        const EditResult byDtd = applyEdit(sample("0294c5a146ff"), {K::Limit, "dtd:2"});
        QVERIFY(byDtd.image);
        QVERIFY(byDtd.image->bytes ==
                applyEdit(sample("0294c5a146ff"), {K::Limit, "1920x1080@60"}).image->bytes);
    }

    // --set-audio lpcm2 on each sample EDID (an HDMI VSDB added first where there is none): one
    // audio descriptor, LPCM with 2 channels.
    void stereoOnly()
    {
        int refused = 0;
        for (const Sample &sample : corpus) {
            EditResult result = applyEdit(sample.image, {K::AddHdmiVsdb, {}});
            result = applyEdit(result.image.value_or(sample.image), {K::SetAudio, "lpcm2"});
            if (!result.image) {
                ++refused;
                continue;
            }
            std::vector<ShortAudioDescriptor> audio;
            const EdidDescription description = decodeEdid(*result.image);
            for (const CtaDataBlock &block : description.cta->dataBlocks)
                if (const auto *found = std::get_if<AudioBlock>(&block.payload))
                    audio.insert(audio.end(), found->descriptors.begin(), found->descriptors.end());
            QCOMPARE(audio.size(), std::size_t(1));
            QCOMPARE(audio[0].formatCode, 1u);
            QCOMPARE(audio[0].channels, 2u);
        }
        QCOMPARE(refused, 16); // the 11 to mend, revision 1, and 4 without room
    }

    void literal_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<EdidEditKind>("kind");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("bytes");  // the runs of bytes that differ
        QTest::addColumn<QString>("fields"); // the field diff, a line each, parts left out
        QTest::addColumn<QString>("notes");
        const auto row = [](const char *name, const char *sample, K kind, const char *argument,
                            const char *bytes, const char *fields, const char *notes = "") {
            QTest::newRow(name) << sample << kind << argument << bytes << fields << notes;
        };
        row("name", "0294c5a146ff", K::SetName, "Studio 3",
            "0x71: 4C 47 20 54 56 0A -> 53 74 75 64 69 6F\n0x78: 20 20 -> 33 0A\n0x7f: 61 -> "
            "53",
            "Product name: 'LG TV' -> 'Studio 3'");
        row("physical address", "0294c5a146ff", K::SetPhysicalAddress, "1.a.0.0",
            "0xb6: 30 -> 1A\n0xff: 0F -> 25", "Physical address: 3.0.0.0 -> 1.a.0.0");
        // The chosen DTD's own 18 bytes change places with DTD 1's: sync, borders and image
        // size go with them, even where only the sync differs.
        row("preferred by DTD", "004c930fe956", K::SetPreferred, "dtd:2",
            "0x36: 30 75 -> 56 5E\n0x39: 90 -> A0\n0x3c: 28 -> 29\n0x3f: 20 35 00 -> 35 00 BA\n"
            "0x46: 00 1A -> 1A 00\n0x7f: 9C -> E2\n0x88: 90 -> 10\n0xba: 56 5E -> 30 75\n"
            "0xbd: A0 -> 90\n0xc0: 29 -> 28\n0xc3: 35 00 BA -> 20 35 00\n0xca: 1A 00 -> 00 1A\n"
            "0xff: 6A -> A4",
            "DTD 1: 2560x1440p, 74.964 Hz, 110.947 kHz, 300.000 MHz (preferred) -> 2560x1440p, "
            "59.951 Hz, 88.787 kHz, 241.500 MHz (preferred)\n"
            "VIC 16: 1920x1080p60 16:9 (native) -> 1920x1080p60 16:9\n"
            "DTD 2: 2560x1440p, 59.951 Hz, 88.787 kHz, 241.500 MHz -> 2560x1440p, 74.964 Hz, "
            "110.947 kHz, 300.000 MHz\n"
            "Error removed: DTD 2: horizontal front porch, sync and borders (1381) exceed the "
            "blanking (160)\n"
            "Error removed: DTD 2: vertical front porch, sync and borders (116) exceed the "
            "blanking (41)\n"
            "Error added: DTD 1: horizontal front porch, sync and borders (1381) exceed the "
            "blanking (160)\n"
            "Error added: DTD 1: vertical front porch, sync and borders (116) exceed the "
            "blanking (41)");
        row("preferred by DTD of other sync", "0011afcfb9b3", K::SetPreferred, "dtd:2",
            "0x47: 1A -> 1F\n0x7f: 53 -> 4E\n0xb2: 1F -> 1A\n0xff: CC -> D1", "");
        // DTD 2 was 1080p60: the former DTD 1 takes its place.
        row("preferred by VIC", "0294c5a146ff", K::SetPreferred, "vic:16",
            "0x36: 08 E8 00 30 F2 70 5A 80 B0 58 8A -> 02 3A 80 18 71 38 2D 40 58 2C 45\n"
            "0x48: 02 3A 80 18 71 38 2D 40 58 2C 45 -> 08 E8 00 30 F2 70 5A 80 B0 58 8A\n"
            "0x87: 10 -> 90\n0xff: 0F -> 8F",
            "DTD 1: 3840x2160p, 60.000 Hz, 135.000 kHz, 594.000 MHz (preferred) -> 1920x1080p, "
            "60.000 Hz, 67.500 kHz, 148.500 MHz (preferred)\n"
            "DTD 2: 1920x1080p, 60.000 Hz, 67.500 kHz, 148.500 MHz -> 3840x2160p, 60.000 Hz, "
            "135.000 kHz, 594.000 MHz\n"
            "VIC 16: 1920x1080p60 16:9 -> 1920x1080p60 16:9 (native)");
        // No free slot in the base block: the former DTD 1 goes after the extension's DTDs.
        row("preferred, former kept", "0007c66ee1b2", K::SetPreferred, "1920x1080@60",
            "0x36: 4D D0 00 A0 F0 70 3E 80 30 20 35 -> 02 3A 80 18 71 38 2D 40 58 2C 45\n0x47: "
            "1A -> 1E\n0x7f: 03 -> AC\n"
            "0x83: 72 -> 71\n0x90: 10 -> 90\n0xd5: 00 00 -> 4D D0\n0xd8: 00 00 00 00 00 00 00 "
            "00 -> A0 F0 70 3E 80 30 20 35\n"
            "0xe1: 00 00 00 -> B9 88 21\n0xe6: 00 -> 1A\n0xff: EA -> 8F",
            "DTD 1: 3840x2160p, 59.997 Hz, 133.312 kHz, 533.250 MHz (preferred) -> 1920x1080p, "
            "60.000 Hz, 67.500 kHz, 148.500 MHz (preferred)\n"
            "Native DTDs: 2 -> 1\n"
            "VIC 16: 1920x1080p60 16:9 -> 1920x1080p60 16:9 (native)\n"
            "DTD 5 added: 3840x2160p, 59.997 Hz, 133.312 kHz, 533.250 MHz\n"
            "Padding: 42 bytes, all zero -> 24 bytes, all zero\n"
            "Warning removed: DTD 1 lies outside the range limits: line rate 133.312 kHz "
            "outside 135-135 kHz\n"
            "Warning added: DTD 1 lies outside the range limits: line rate 67.500 kHz "
            "outside 135-135 kHz\n"
            "Warning added: DTD 5 lies outside the range limits: line rate 133.312 kHz "
            "outside 135-135 kHz");
        row("preferred, former dropped", "003f411e5736", K::SetPreferred, "vic:16",
            "0x36: 4D D0 00 A0 F0 70 3E 80 30 20 35 -> 02 3A 80 18 71 38 2D 40 58 2C 45\n0x47: "
            "1A -> 1E\n0x7f: B2 -> 5B",
            "DTD 1: 3840x2160p, 59.997 Hz, 133.312 kHz, 533.250 MHz (preferred) -> 1920x1080p, "
            "60.000 Hz, 67.500 kHz, 148.500 MHz (preferred)",
            "the former DTD 1, 3840x2160p60, was dropped: no descriptor slot is free, and not "
            "enough room in the CTA-861 extension: the change needs 18 bytes, 4 are free");
        row("preferred by modeline", "0294c5a146ff", K::SetPreferred,
            "74.50 1280 1344 1472 1664 720 723 728 748 +hsync -vsync",
            "0x36: 08 E8 -> 1A 1D\n0x39: 30 F2 70 5A 80 B0 58 8A -> 80 51 D0 1C 20 40 80 "
            "35\n0x47: 1E -> 1A\n0x7f: 61 -> 4A",
            "DTD 1: 3840x2160p, 60.000 Hz, 135.000 kHz, 594.000 MHz (preferred) -> 1280x720p, "
            "59.855 Hz, 44.772 kHz, 74.500 MHz (preferred)",
            "the former DTD 1, 3840x2160p60, was dropped: no descriptor slot is free, and not "
            "enough room in the CTA-861 extension: the change needs 18 bytes, 10 are free");
        // Not a byte to spare: everything after the VIC moves up one.
        row("remove a VIC, full extension", "03662f7f99fc", K::RemoveVic, "64",
            "0x82: 25 -> 24\n0x84: 48 -> 47\n0x86: 40 3F 1F 04 13 03 12 23 09 -> 3F 1F 04 13 "
            "03 "
            "12 23 09 07\n0x90: 07 83 01 -> 83 01 00\n"
            "0x94: 00 67 03 0C 00 10 00 80 3C 67 D8 5D C4 01 46 80 00 04 74 80 D0 72 38 2D 40 "
            "10 2C 45 80 14 30 21 -> 67 03 0C 00 10 00 80 3C 67 D8 5D C4 01 46 80 00 04 74 80 "
            "D0 72 38 2D 40 10 2C 45 80 14 30 21 00\n"
            "0xb5: 00 1E 5A 87 80 A0 70 38 4D 40 30 20 35 00 14 30 21 -> 1E 5A 87 80 A0 70 38 "
            "4D 40 30 20 35 00 14 30 21 00\n"
            "0xc7: 00 1A 01 1D 00 72 51 D0 1E 20 6E 28 55 00 14 30 21 -> 1A 01 1D 00 72 51 D0 "
            "1E 20 6E 28 55 00 14 30 21 00\n"
            "0xd9: 00 1E 8C 0A D0 8A 20 E0 2D -> 1E 8C 0A D0 8A 20 E0 2D 10\n0xe3: 10 3E 96 00 "
            "14 30 21 -> 3E 96 00 14 30 21 00\n"
            "0xeb: 00 18 04 74 80 18 71 38 2D 40 58 2C 45 00 14 30 21 -> 18 04 74 80 18 71 38 "
            "2D 40 58 2C 45 00 14 30 21 00\n"
            "0xfd: 00 1E 22 -> 1E 00 64",
            "DTD offset: 37 -> 36\n"
            "VIC 64 removed: 1920x1080p100 16:9\n"
            "Padding added: 1 byte, all zero");
        row("add an HDMI VSDB", "04e1d2fb2b16", K::AddHdmiVsdb, "",
            "0x82: 0F -> 15\n0x84: E3 05 80 -> 65 03 0C\n0x88: E6 06 01 01 53 53 28 00 00 00 "
            "00 "
            "00 00 -> 10 00 E3 05 80 00 E6 06 01 01 53 53 28\n0xff: C8 -> 3E",
            "DTD offset: 15 -> 21\n"
            "HDMI vendor-specific data block added\n"
            "Padding: 112 bytes, all zero -> 106 bytes, all zero");
    }
    // Bytes checked with edid-decode, which reads each result as intended.
    void literal()
    {
        QFETCH(QString, sample);
        QFETCH(EdidEditKind, kind);
        QFETCH(QString, argument);
        QFETCH(QString, bytes);
        QFETCH(QString, fields);
        QFETCH(QString, notes);
        const EdidImage before = this->sample(sample);
        const EditResult result = applyEdit(before, {kind, argument.toStdString()});
        QVERIFY2(result.image, result.refusal.c_str());
        QCOMPARE(byteChanges(before, *result.image), bytes);
        // A timing's parts and the checksums repeat what its line and the bytes above say.
        const QRegularExpression part("^[^:]* / ");
        QStringList told;
        for (const QString &line : differences(before, *result.image))
            if (!line.contains(part))
                told << line;
        QCOMPARE(told.join('\n'), fields);
        QStringList said;
        for (const std::string &note : result.notes)
            said << QString::fromStdString(note);
        QCOMPARE(said.join('\n'), notes);
    }

    void collection_data()
    {
        QTest::addColumn<QByteArray>("before"); // block 1 from byte 2 (DTD offset, flags, ...)
        QTest::addColumn<EdidEditKind>("kind");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QByteArray>("after"); // the same, zeros following; or the refusal
        const auto row = [](const char *name, const QByteArray &before, K kind,
                            const char *argument, const QByteArray &after) {
            QTest::newRow(name) << before << kind << QString(argument) << after;
        };
        const QByteArray dtd = "02 3A 80 18 71 38 2D 40 58 2C 45 00 13 2B 21 00 00 1E";
        const QByteArray vsdb = "65 03 0C 00 10 00";
        QByteArray vics;
        for (int vic = 1; vic <= 31; ++vic)
            vics += QByteArray::number(vic, 16).rightJustified(2, '0') + ' ';
        row("VIC with a 4:2:0 capability, before a DTD", "0B 00 43 10 04 1F E2 0F 05 " + dtd,
            K::RemoveVic, "4", "0A 00 42 10 1F E2 0F 03 " + dtd);
        row("VIC of the map's only bit", "0B 00 43 10 04 1F E2 0F 02", K::RemoveVic, "4",
            "07 00 42 10 1F");
        row("3D mask and 2D_VIC_order follow their SVDs",
            "1A 00 43 10 04 1F 71 03 0C 00 10 00 00 2D 20 C0 07 00 01 00 07 10 28 10", K::RemoveVic,
            "4", "18 00 42 10 1F 70 03 0C 00 10 00 00 2D 20 C0 06 00 01 00 03 18 10");
        row("3D entry without its detail byte",
            "15 00 43 10 04 1F 6C 03 0C 00 10 00 00 2D 20 80 02 00 18", K::RemoveVic, "16",
            "13 00 42 04 1F 6B 03 0C 00 10 00 00 2D 20 80 01 08");
        row("VIC into a full video block", "24 00 5F " + vics, K::AddVic, "32",
            "26 00 5F " + vics + "41 20");
        row("map of every SVD", "09 00 42 10 04 E1 0F", K::AddVic, "5",
            "0B 00 43 10 04 05 E2 0F 03");
        row("map of the only SVD", "08 00 41 10 E1 0F", K::AddVic, "5", "0A 00 42 10 05 E2 0F 01");
        row("audio into a full audio block", "23 00 3E " + QByteArray("09 07 07 ").repeated(10),
            K::AddAudio, "ac3", "27 00 3E " + QByteArray("09 07 07 ").repeated(10) + "23 15 07 50");
        row("speakers after the audio", "11 40 42 10 04 23 09 07 07 " + vsdb, K::SetSpeakers, "5.1",
            "15 40 42 10 04 23 09 07 07 83 0F 00 00 " + vsdb);
        row("stereo after the video", "0D 00 42 10 04 " + vsdb, K::SetAudio, "lpcm2",
            "15 40 42 10 04 23 09 07 07 83 01 00 00 " + vsdb);
        row("VIC of a 4:2:0 video data block", "09 00 41 10 E2 0E 61", K::AddVic, "97",
            ("VIC 97 is listed already"));
        row("VIC above the HDMI VSDB's clock", "0F 00 42 10 04 67 03 0C 00 10 00 00 24", K::AddVic,
            "97",
            "the result would be faulty: VIC 97 (3840x2160p60) needs 594 MHz, more than the "
            "180 "
            "MHz TMDS clock the HDMI VSDB allows");
        row("DTD offset inside the header", "02 00", K::AddVic, "4",
            ("the CTA-861 extension's DTD offset 2 is outside 4-127"));
        row("stereo in place of the audio",
            "18 00 42 10 04 26 09 07 07 15 07 50 83 0F 00 00 " + vsdb, K::SetAudio, "lpcm2",
            "15 40 42 10 04 23 09 07 07 83 01 00 00 " + vsdb);
    }
    // Edits on a collection built by hand, block 1 before and after in bytes.
    void collection()
    {
        QFETCH(QByteArray, before);
        QFETCH(EdidEditKind, kind);
        QFETCH(QString, argument);
        QFETCH(QByteArray, after);
        EdidImage image = this->sample("0294c5a146ff");
        const QByteArray bytes = QByteArray::fromHex("02 03 " + before);
        std::fill(image.bytes.begin() + 128, image.bytes.end(), 0);
        std::copy(bytes.begin(), bytes.end(), image.bytes.begin() + 128);
        recalculateChecksums(image);
        const EditResult result = applyEdit(image, {kind, argument.toStdString()});
        if (QByteArray::fromHex(after).toHex(' ').toUpper() != after.toUpper()) { // words
            QCOMPARE(QByteArray::fromStdString(result.refusal), after);
            return;
        }
        QVERIFY2(result.image, result.refusal.c_str());
        const QByteArray block(reinterpret_cast<const char *>(&result.image->bytes[130]), 125);
        QCOMPARE(block.toHex(' ').toUpper(),
                 QByteArray::fromHex(after).leftJustified(125, 0).toHex(' ').toUpper());
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("sample"); // "/base": with block 1 all zero
        QTest::addColumn<EdidEditKind>("kind");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char *sample, K kind, const char *argument, const char *refusal) {
            QTest::addRow("%s %s on %s", edidEditInfo(kind).name, argument, sample)
                << sample << kind << argument << refusal;
        };
        const char *lg = "0294c5a146ff";  // an HDMI VSDB, audio, 5 bytes free
        const char *hdr = "04e1d2fb2b16"; // colorimetry and HDR blocks only
        const char *hp = "000479175149";  // range limits and HDMI VSDB of 180 MHz
        row(lg, K::SetVendor, "V1X", "a manufacturer ID is three letters A-Z, not 'V1X'");
        row(lg, K::SetVendor, "VNXX", "a manufacturer ID is three letters A-Z, not 'VNXX'");
        row(lg, K::SetProduct, "65536", "a product code is a number 0-65535, not '65536'");
        row(lg, K::SetSerial, "4294967296",
            "a serial number is a number 0-4294967295, not '4294967296'");
        row(lg, K::SetSerial, "0x", "a serial number is a number 0-4294967295, not '0x'");
        for (const char *date : {"1989", "2246", "2024:55", "2024:0", "2024:"})
            row(lg, K::SetDate, date,
                qPrintable(QStringLiteral("a date is YEAR, YEAR:WEEK (week 1-54) or YEAR:model, "
                                          "with a year of 1990-2245; not '%1'")
                               .arg(date)));
        row(lg, K::SetName, "Fourteen chars",
            "a product name has 1-13 characters; 'Fourteen chars' has 14");
        row(lg, K::SetName, "", "a product name has 1-13 characters; '' has 0");
        for (const char *name : {"X ", "   "})
            row(lg, K::SetName, name,
                qPrintable(
                    QStringLiteral("a product name does not end in a space; '%1' does").arg(name)));
        row(lg, K::SetDate, "2030:model",
            "a model year needs EDID 1.4; this EDID is 1.3: give YEAR or YEAR:WEEK");
        row(lg, K::SetDate, "2020:54", "EDID 1.3 counts weeks 1-53, not 54");
        row(lg, K::SetSerialText, "tab\there",
            "a serial number text holds printable ASCII characters only");
        row("015bcd571e32", K::SetName, "Studio 3",
            "no descriptor slot is free for the product name: the four hold a DTD, a DTD, a "
            "DTD "
            "and a DTD");
        row(lg, K::SetSerialText, "SN-1",
            "no descriptor slot is free for the serial number text: the four hold a DTD, a "
            "DTD, "
            "the range limits and the product name");
        row(lg, K::SetPreferred, "vic:0", "'0' is no CTA-861 VIC (1-127, 193-219)");
        row(lg, K::SetPreferred, "dtd:9", "this EDID has no DTD '9'");
        row(lg, K::SetPreferred, "1234x567@60",
            "no CTA-861 VIC, DMT mode or timing of this EDID is 1234x567@60");
        row(lg, K::SetPreferred, "vic:219",
            "a detailed timing holds a pixel clock of up to 655.35 MHz; 4096x2160p120 needs "
            "1188 "
            "MHz");
        for (const char *modeline : {"148.5 1920 2008 2052 2200 1080 1084 1089 1125 +hsync",
                                     "148.5 1920 1900 2052 2200 1080 1084 1089 1125 +hsync +vsync",
                                     "148.5 1920 2008 2052 2200 1080 1079 1089 1125 +hsync +vsync"})
            row(lg, K::SetPreferred, modeline,
                qPrintable(
                    QStringLiteral("a mode is vic:N, dtd:N, WIDTHxHEIGHT@HZ or an X modeline "
                                   "(CLOCK HDISP HSYNCSTART HSYNCEND HTOTAL VDISP "
                                   "VSYNCSTART VSYNCEND VTOTAL +hsync|-hsync +vsync|-vsync "
                                   "[interlace]), not '%1'")
                        .arg(modeline)));
        row(lg, K::AddVic, "16", "VIC 16 is listed already");
        row(lg, K::AddVic, "128", "'128' is no CTA-861 VIC (1-127, 193-219)");
        row(hp, K::AddVic, "97",
            "VIC 97 (3840x2160p60) needs a pixel clock of 594 MHz, above the range limits' 180 "
            "MHz");
        row(hp, K::SetMaxTmds, "25",
            "the result would be faulty: DTD 1 (1920x1080p60) needs 148.5 MHz, more than the "
            "25 "
            "MHz TMDS clock the HDMI VSDB allows");
        row("03662f7f99fc", K::AddVic, "2",
            "not enough room in the CTA-861 extension: the change needs 1 byte, 0 are free");
        row(lg, K::RemoveVic, "200", "VIC 200 is not listed");
        row(lg, K::RemoveVic, "0", "a VIC is a number 1-255, not '0'");
        row(lg, K::SetNativeVic, "65", "only VICs 1-64 can be marked native in a video data block");
        row(lg, K::SetNativeVic, "5", "VIC 5 is not in a video data block");
        row(lg, K::Limit, "1280x720@75",
            "no CTA-861 VIC, DMT mode or timing of this EDID is 1280x720@75");
        row(lg, K::SetAudio, "lpcm6", "an audio preset is none, lpcm2 or lpcm8, not 'lpcm6'");
        row(hdr, K::SetAudio, "lpcm2",
            "there is no HDMI VSDB, without which sources send no audio: add one first");
        row(hdr, K::SetBasicAudio, "on",
            "there is no HDMI VSDB, without which sources send no audio: add one first");
        row(lg, K::SetBasicAudio, "maybe", "basic audio is on or off, not 'maybe'");
        row(lg, K::SetBasicAudio, "off",
            "the EDID declares audio formats, which basic audio must allow: --set-audio none "
            "removes both");
        row("03611f9bcced", K::SetAudio, "lpcm2",
            "not enough room in the CTA-861 extension: the change needs 4 bytes, 1 is free");
        row(lg, K::AddAudio, "flac", "an audio format is ac3, eac3, dts, dtshd or mat, not 'flac'");
        row(hdr, K::AddAudio, "ac3",
            "there is no audio data block: set the audio to lpcm2 or lpcm8 first");
        row(lg, K::RemoveAudio, "mat", "MAT is not declared");
        row(lg, K::SetSpeakers, "FL/FR,XX",
            "unknown speaker 'XX'; speakers are 2.0, 5.1, 7.1 or these joined by commas: "
            "FL/FR, "
            "LFE1, FC, BL/BR, BC, FLc/FRc, RLC/RRC, FLw/FRw, TpFL/TpFR, TpC, TpFC, LS/RS, "
            "LFE2, "
            "TpBC, SiL/SiR, TpSiL/TpSiR, TpBL/TpBR, BtFC, BtFL/BtFR, TpLS/TpRS, LSd/RSd");
        row(hdr, K::SetSpeakers, "2.0", "the EDID declares no audio");
        for (const char *address :
             {"16.0.0.0", "1.0.0", "1.0.0.", "1..0.0", "1.0.0.0.0", "g.0.0.0"})
            row(lg, K::SetPhysicalAddress, address,
                qPrintable(QStringLiteral(
                               "a physical address is A.B.C.D with digits 0-f (or 10-15), not '%1'")
                               .arg(address)));
        row(lg, K::SetPhysicalAddress, "1.0.2.1",
            "physical address 1.0.2.1 has a non-zero digit after a zero");
        row(hdr, K::SetPhysicalAddress, "1.0.0.0", "there is no HDMI VSDB: add one first");
        for (const char *clock : {"342", "345", "20", "0"})
            row(lg, K::SetMaxTmds, clock,
                qPrintable(QStringLiteral("the HDMI VSDB's maximum TMDS clock is 25-340 MHz in "
                                          "steps of 5, not '%1'")
                               .arg(clock)));
        row(hdr, K::RemoveDeepColour, "", "no deep colour is declared");
        row(lg, K::AddHdmiVsdb, "", "there is an HDMI VSDB already");
        row("03662f7f99fc", K::RemoveHdr, "", "there is no HDR metadata block");
        row(hdr, K::RemoveYcbcr420, "", "there is no YCbCr 4:2:0 block");
        row(hdr, K::RemoveHdmiForum, "", "there is no HDMI Forum block");
        row("015bcd571e32", K::RemoveHdr, "",
            "the data block at byte 25 runs past the collection, which ends at byte 31: the "
            "extension needs mending by hand first");
        row("00997928e173", K::AddVic, "4",
            "the CTA-861 extension is of revision 1, which holds no data blocks");
        row("0294c5a146ff/base", K::AddVic, "4", "the EDID has no extension block");
    }
    void refusals()
    {
        QFETCH(QString, sample);
        QFETCH(EdidEditKind, kind);
        QFETCH(QString, argument);
        QFETCH(QString, refusal);
        EdidImage image = this->sample(sample.section('/', 0, 0));
        if (sample.endsWith("/base"))
            std::fill(image.bytes.begin() + 128, image.bytes.end(), 0);
        const EditResult result = applyEdit(image, {kind, argument.toStdString()});
        QVERIFY(!result.image && result.notes.empty());
        QCOMPARE(QString::fromStdString(result.refusal), refusal);
    }

    void identity_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("result"); // the fields that changed, or the refusal
        const auto row = [](const char *name, const char *target, const char *source,
                            const char *result) {
            QTest::newRow(name) << target << source << result;
        };
        const char *hp = "000479175149"; // EDID 1.3, a name and a serial number text
        row("name and serial text", hp, "0007c66ee1b2",
            "Manufacturer: HPN -> GSM\nProduct code: 14417 -> 30544\nSerial number: 16843009 "
            "-> "
            "606829\nMade in: week 24 of 2022 -> week 5 of 2021\nProduct name: 'HP M27f FHD' "
            "-> "
            "'LG HDR 4K'\nSerial number text: '3CM2242T35' -> '105NTBKHU829'");
        row("no serial text there", hp, "0016d0610261",
            "Manufacturer: HPN -> AOC\nProduct code: 14417 -> 9217\nSerial number: 16843009 -> "
            "56118\nMade in: week 24 of 2022 -> week 52 of 2018\nProduct name: 'HP M27f FHD' "
            "-> "
            "'24G1WG4'\nSerial number text removed: '3CM2242T35'\nDummy descriptor added");
        row("texts in another order", "061165ca59dd", "0011afcfb9b3",
            "Manufacturer: PHL -> BNQ\nProduct code: 49389 -> 32514\nSerial number: 4294967295 "
            "-> 21573\nMade in: 2013 -> week 3 of 2011\nSerial number text: '#ASM21KYB8LDd' -> "
            "'B1B00045SL0'\nProduct name: 'PHL 272G5DY' -> 'BenQ XL2410T'");
        row("itself", "0007c66ee1b2", "0007c66ee1b2", "");
        // Slot 2 unused before the name in slot 3; the other's second name in its slot 3.
        row("two names kept in order", "000479175149/72-89=00/75=10", "0007c66ee1b2/111=fc",
            "Manufacturer: HPN -> GSM\nProduct code: 14417 -> 30544\nSerial number: 16843009 "
            "-> "
            "606829\nMade in: week 24 of 2022 -> week 5 of 2021\nProduct name 2 added: "
            "'105NTBKHU829'\nProduct name: 'HP M27f FHD' -> 'LG HDR 4K'\nSerial number text "
            "removed: '3CM2242T35'");
        row("not an EDID", hp, "0007c66ee1b2/1=00",
            "the other EDID has no EDID header (00 FF FF FF FF FF FF 00)");
        row("week 255 of EDID 1.3", "0007c66ee1b2", "000479175149/16=ff",
            "the other EDID's week 255 is no date in EDID 1.3");
        row("model year onto 1.3", hp, "061165ca59dd",
            "the other EDID's date (a model year) needs EDID 1.4; this EDID is 1.3");
        row("no slot for the name", "015bcd571e32", hp,
            "no descriptor slot is free for the product name: the four hold a DTD, a DTD, a "
            "DTD "
            "and a DTD");
        row("no slot for the serial text", "0016d0610261", hp,
            "no descriptor slot is free for the serial number text: the four hold a DTD, a "
            "DTD, "
            "the product name and the range limits");
    }
    // Only the identity changes, whatever else the other EDID says.
    void identity()
    {
        QFETCH(QString, target);
        QFETCH(QString, source);
        QFETCH(QString, result);
        // "NAME/FIRST[-LAST]=HEX...": a sample with bytes set, its checksums correct.
        const auto patched = [this](const QString &recipe) {
            EdidImage image = sample(recipe.section('/', 0, 0));
            for (const QString &patch : recipe.split('/').mid(1)) {
                const QString where = patch.section('=', 0, 0);
                std::fill(&image.bytes[where.section('-', 0, 0).toUInt()],
                          &image.bytes[where.section('-', -1).toUInt()] + 1,
                          std::uint8_t(patch.section('=', 1).toUInt(nullptr, 16)));
            }
            recalculateChecksums(image);
            return image;
        };
        const EdidImage before = patched(target);
        const EditResult copied = copyIdentity(before, patched(source));
        if (!copied.image) {
            QCOMPARE(QString::fromStdString(copied.refusal), result);
            return;
        }
        QStringList changed = differences(before, *copied.image);
        changed.removeIf([](const QString &line) { return line.startsWith("Block 0 / Checksum"); });
        QCOMPARE(changed.join('\n'), result);
    }

    void restores_data()
    {
        QTest::addColumn<EdidEditKind>("kind");
        QTest::addColumn<QString>("argument"); // the value in between
        QTest::addColumn<int>("restored");     // images restored byte for byte
        QTest::newRow("name") << K::SetName << "Studio 3" << 230;
        QTest::newRow("serial") << K::SetSerial << "7" << 239;
        QTest::newRow("physical address") << K::SetPhysicalAddress << "1.2.3.0" << 183;
        QTest::newRow("last VIC") << K::RemoveVic << "" << 120;
    }
    // An edit, then the same kind (AddVic after RemoveVic) with the original's value: the
    // original bytes again, on every sample EDID that has the value in the form an edit writes
    // it.
    void restores()
    {
        QFETCH(EdidEditKind, kind);
        QFETCH(QString, argument);
        QFETCH(int, restored);
        int count = 0;
        for (const Sample &sample : corpus) {
            const EdidDescription &description = sample.description;
            std::string original;
            EdidEditKind back = kind;
            if (kind == K::SetName) {
                for (const Descriptor &descriptor : description.base.descriptors)
                    if (const auto *text = std::get_if<DisplayText>(&descriptor.payload);
                        text && descriptor.kind == Descriptor::Kind::ProductName &&
                        text->terminated && !text->text.empty() && text->text.back() != ' ')
                        original = text->text;
            } else if (kind == K::SetSerial) {
                original = std::to_string(description.base.serialNumber.value);
            } else if (kind == K::SetPhysicalAddress) {
                for (const CtaDataBlock &block :
                     description.cta ? description.cta->dataBlocks : std::vector<CtaDataBlock>())
                    if (const auto *vsdb = std::get_if<HdmiVsdb>(&block.payload);
                        vsdb && vsdb->physicalAddress)
                        original = physicalAddressText(*vsdb->physicalAddress);
            } else {
                back = K::AddVic;
                std::vector<ShortVideoDescriptor> svds;
                for (const CtaDataBlock &block :
                     description.cta ? description.cta->dataBlocks : std::vector<CtaDataBlock>())
                    if (const auto *video = std::get_if<VideoBlock>(&block.payload))
                        svds.insert(svds.end(), video->descriptors.begin(),
                                    video->descriptors.end());
                // Once, not native and within the range limits: adding it back appends it as it
                // was.
                const auto outsideLimits = [&](const EdidFinding &finding) {
                    return finding.kind == FindingKind::OutsideRangeLimits &&
                           finding.offset == svds.back().bytes.offset;
                };
                if (!svds.empty() && !svds.back().native &&
                    std::count_if(svds.begin(), svds.end(),
                                  [&](const ShortVideoDescriptor &svd) {
                                      return svd.vic == svds.back().vic;
                                  }) == 1 &&
                    std::none_of(description.findings.begin(), description.findings.end(),
                                 outsideLimits))
                    original = std::to_string(svds.back().vic);
                argument = QString::fromStdString(original);
            }
            if (original.empty() || !hasCorrectChecksums(sample.image) ||
                (kind == K::RemoveVic && addedBackWithout(description)))
                continue;
            const EditResult there = applyEdit(sample.image, {kind, argument.toStdString()});
            if (!there.image)
                continue;
            const EditResult again = applyEdit(*there.image, {back, original});
            QVERIFY2(again.image, qPrintable(sample.name + ": " + again.refusal.c_str()));
            if (again.image->bytes != sample.image.bytes)
                QFAIL(qPrintable(sample.name + ":\n" + byteChanges(sample.image, *again.image)));
            ++count;
        }
        QCOMPARE(count, restored);
    }
};

QTEST_GUILESS_MAIN(EdidEditTest)
#include "tst_EdidEdit.moc"
