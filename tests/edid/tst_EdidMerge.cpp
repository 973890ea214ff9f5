#include "CvtTiming.h"
#include "EdidAcceptedModes.h"
#include "EdidEncoder.h"
#include "EdidMerge.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

namespace {

using Sads = std::vector<ShortAudioDescriptor>;

// One timing as the test tells timings apart, independently of the program's rule: the same size
// and scan, rates within 0.05 % (59.94 Hz is not 60 Hz, a DTD's rounded clock is its table's).
bool alike(const VideoMode &a, const VideoMode &b)
{
    const double ra = refreshRate(a).hz(), rb = refreshRate(b).hz();
    return a.hActive == b.hActive && a.vActive == b.vActive && a.interlaced == b.interlaced &&
           std::abs(ra - rb) < 0.0005 * ra;
}

// Whether the EDID takes the timing: as RGB, or as YCbCr 4:2:0 where that is all it is listed as.
bool takes(const EdidDescription &edid, const AcceptedMode &timing)
{
    for (const AcceptedMode &listed : acceptedModes(edid))
        if (alike(listed.mode, timing.mode) &&
            (timing.ycbcr420Only ? listed.ycbcr420 : !listed.ycbcr420Only))
            return true;
    return false;
}

// What an EDID plays: its descriptors, and basic audio (2-channel L-PCM, 32-48 kHz, 16 bits).
Sads played(const EdidDescription &edid)
{
    Sads sads;
    for (const CtaDataBlock &block : edid.cta ? edid.cta->dataBlocks : std::vector<CtaDataBlock>())
        if (const auto *audio = std::get_if<AudioBlock>(&block.payload))
            sads.insert(sads.end(), audio->descriptors.begin(), audio->descriptors.end());
    if (edid.cta && edid.cta->flags.value.basicAudio)
        sads.push_back({{}, 1, 0, 2, 0x07, 0x01});
    return sads;
}

// Whether one of the descriptors plays all the descriptor does.
bool plays(const Sads &sads, const ShortAudioDescriptor &sad)
{
    for (const ShortAudioDescriptor &s : sads) {
        const bool lpcm = sad.formatCode == 1;
        if (s.formatCode == sad.formatCode && s.extendedCode == sad.extendedCode &&
            s.channels >= sad.channels && (s.sampleRates & sad.sampleRates) == sad.sampleRates &&
            (lpcm ? (s.byte3 & sad.byte3) == sad.byte3
                  : s.maxBitRateKbps().value_or(0) >= sad.maxBitRateKbps().value_or(0)))
            return true;
    }
    return false;
}

template <typename T> const T *blockOf(const EdidDescription &edid)
{
    if (edid.cta) // a pointer into the EDID itself, never into a copy of its blocks
        for (const CtaDataBlock &block : edid.cta->dataBlocks)
            if (const auto *payload = std::get_if<T>(&block.payload))
                return payload;
    return nullptr;
}

std::optional<unsigned> maxTmds(const EdidDescription &edid)
{
    const HdmiVsdb *hdmi = blockOf<HdmiVsdb>(edid);
    return hdmi ? hdmi->maxTmdsMhz : std::nullopt;
}

// What a merge may never give: a timing one input does not take, a TMDS clock above one an input
// states, audio an input does not play; nor a result that is no EDID the decoder takes whole.
void checkMerged(const std::vector<EdidDescription> &inputs, const EdidDescription &merged)
{
    for (const EdidDescription &input : inputs) {
        for (const AcceptedMode &timing : acceptedModes(merged))
            QVERIFY2(takes(input, timing),
                     qPrintable(QString::fromStdString(modeName(timing.mode))));
        if (maxTmds(input) && maxTmds(merged))
            QVERIFY(*maxTmds(merged) <= *maxTmds(input));
        for (const ShortAudioDescriptor &sad : played(merged))
            QVERIFY2(plays(played(input), sad), audioDescriptorText(sad).c_str());
    }
    QCOMPARE(merged.base.checksum.value.stored, merged.base.checksum.value.correct);
    for (const EdidFinding &finding : merged.findings)
        QVERIFY2(finding.kind != FindingKind::BlockOverrun &&
                     finding.kind != FindingKind::DtdOffset,
                 finding.message.c_str());
}

EdidDescription corpusEdid(const QString &name)
{
    QFile file(QStringLiteral(VARNEX_EDID_CORPUS "/%1").arg(name));
    EdidImage image;
    if (file.open(QIODevice::ReadOnly))
        for (std::size_t n = 0; n < EdidImage::kSize && !file.atEnd(); ++n)
            file.getChar(reinterpret_cast<char *>(&image.bytes[n]));
    return decodeEdid(image);
}

// The parts of an EDID built from words (see built()).
struct Parts {
    EdidDescription edid;
    std::vector<Descriptor> descriptors;
    std::vector<ShortVideoDescriptor> svds, only420;
    std::vector<unsigned> also420; // indices into svds
    Sads sads;
    std::optional<HdmiVsdb> hdmi;
    std::vector<CtaDataBlock> blocks;
    CtaFlags flags;
    bool cta = false;

    HdmiVsdb &vsdb()
    {
        if (!hdmi)
            hdmi.emplace().physicalAddress = {1, 0, 0, 0};
        return *hdmi;
    }
};

void addWord(Parts &p, const QString &key, const QString &value)
{
    const QStringList parts = value.split(QRegularExpression("[x@:.+]"));
    const auto number = [&](int n) { return parts.value(n).toUInt(nullptr, 0); };
    const auto dtd = [&p](VideoMode mode) {
        p.descriptors.push_back(descriptorOf(*detailedTiming(mode, 0, 0)));
    };
    p.cta = p.cta || !QStringList{"dtd", "rb", "std", "est", "name"}.contains(key);
    if (key == "dtd") {
        VideoMode mode = *ctaVideoMode(number(0));
        mode.pixelClockKhz = parts.size() > 1 ? number(1) : mode.pixelClockKhz;
        dtd(mode);
    } else if (key == "rb") {
        dtd(*cvtMode(number(0), number(1), number(2), CvtBlanking::ReducedV1));
    } else if (key == "std") {
        const bool wide = number(0) * 9 == number(1) * 16;
        p.edid.base.standardTimings.push_back(
            {{}, number(0), number(1), number(2), wide ? 16u : 5u, wide ? 9u : 4u});
    } else if (key == "est") {
        for (unsigned bit = 0; bit < 17; ++bit)
            if (value == establishedTiming(bit)->name)
                p.edid.base.establishedTimings.push_back({{}, bit});
    } else if (key == "name") {
        p.descriptors.push_back(textDescriptor(Descriptor::Kind::ProductName, value.toStdString()));
    } else if (key == "vic" || key == "y420") {
        if (value.endsWith("+420"))
            p.also420.push_back(unsigned(p.svds.size()));
        (key == "vic" ? p.svds : p.only420).push_back({{}, number(0), false});
    } else if (key == "sad") {
        p.sads.push_back(
            {{}, number(0), 0, number(1), std::uint8_t(number(2)), std::uint8_t(number(3))});
    } else if (key == "tmds") {
        p.vsdb().maxTmdsMhz = number(0);
    } else if (key == "pa") {
        p.vsdb().physicalAddress = {number(0), number(1), number(2), number(3)};
    } else if (key == "dc") {
        p.vsdb().deepColour30 = p.vsdb().deepColour36 = true;
    } else if (key == "hf") {
        HdmiForumBlock forum;
        forum.version = 1;
        forum.maxTmdsCharRateMhz = number(0);
        forum.scdcPresent = true;
        p.blocks.push_back(dataBlockOf(CtaTag::VendorSpecific, std::nullopt, forum));
    } else if (key == "hdr") {
        p.blocks.push_back(dataBlockOf(CtaTag::Extended, 6,
                                       HdrStaticBlock{std::uint8_t(number(0)), 1, {}, {}, {}}));
    } else if (key == "spk") {
        p.blocks.push_back(speakerBlock(number(0)));
    }
    p.flags.basicAudio = p.flags.basicAudio || key == "basic";
    p.flags.ycbcr444 = p.flags.ycbcr444 || key == "444";
    p.flags.ycbcr422 = p.flags.ycbcr422 || key == "422";
}

// An EDID 1.4 built from words, as the encoder writes it: "dtd:16" a DTD of VIC 16's timing
// ("dtd:16@148350" at another clock), "rb:1920x1080@60" one of CVT reduced blanking, "vic:97"
// ("vic:97+420" also as YCbCr 4:2:0, "y420:97" only so), "std:1280x1024@60", "est:800x600@60",
// "tmds:300", "pa:2.0.0.0", "dc" (30 and 36 bits), "hf:600" (an HDMI Forum block), "444", "422",
// "hdr:EOTFS", "basic", "sad:CODE:CHANNELS:RATES:BYTE3", "spk:SPEAKERS", "name:TEXT"; numbers
// in decimal.
EdidDescription built(const QString &words)
{
    Parts p;
    p.edid.base.manufacturer.value = "TST";
    p.edid.base.year.value = 2020;
    p.edid.base.version.value = {1, 4};
    p.edid.base.input.value.raw = 0xA2;
    for (const QString &word : words.split(' ', Qt::SkipEmptyParts))
        addWord(p, word.section(':', 0, 0), word.section(':', 1));
    p.descriptors.resize(4, dummyDescriptor());
    std::copy_n(p.descriptors.begin(), 4, p.edid.base.descriptors.begin());
    if (p.cta) {
        CtaExtension &cta = p.edid.cta.emplace();
        cta.revision.value = 3;
        cta.flags.value = p.flags;
        const auto add = [&cta](CtaDataBlock block) { cta.dataBlocks.push_back(block); };
        if (!p.svds.empty())
            add(videoBlock(p.svds));
        if (!p.sads.empty())
            add(audioBlock(p.sads));
        if (p.hdmi)
            add(dataBlockOf(CtaTag::VendorSpecific, std::nullopt, *p.hdmi));
        cta.dataBlocks.insert(cta.dataBlocks.end(), p.blocks.begin(), p.blocks.end());
        if (!p.only420.empty())
            add(dataBlockOf(CtaTag::Extended, 14, Ycbcr420VideoBlock{p.only420}));
        if (!p.also420.empty())
            add(dataBlockOf(CtaTag::Extended, 15, Ycbcr420CapabilityMap{p.also420, {}, false}));
        p.edid.base.extensionCount.value = 1;
    }
    return decodeEdid(encodeEdid(p.edid));
}

// The timings an EDID lists as the words built() takes, DTDs and standard and established
// timings by their names: "dtd:1920x1080p60 vic:16 y420:97".
QString listing(const EdidDescription &edid)
{
    QStringList words;
    for (const AcceptedMode &m : acceptedModes(edid)) {
        const QString name = QString::fromStdString(timingName(m.mode));
        switch (m.listing) {
        case TimingListing::Detailed:
            words << "dtd:" + name;
            break;
        case TimingListing::Vic:
            words << QString(m.ycbcr420Only ? "y420:%1"
                             : m.ycbcr420   ? "vic:%1+420"
                                            : "vic:%1")
                         .arg(m.code);
            break;
        case TimingListing::HdmiVic:
            words << QString("hvic:%1").arg(m.code);
            break;
        case TimingListing::Standard:
            words << "std:" + name;
            break;
        case TimingListing::Established:
            words << "est:" + name;
            break;
        }
    }
    return words.join(' ');
}

} // namespace

class EdidMergeTest : public QObject {
    Q_OBJECT

private slots:
    // Each sample EDID merged with the next one, and with itself.
    void corpus_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        const QStringList names = QDir(VARNEX_EDID_CORPUS).entryList({"*.bin"});
        QCOMPARE(names.size(), 240);
        for (int n = 0; n < names.size(); ++n)
            QTest::newRow(qPrintable(names[n])) << names[n] << names[(n + 1) % names.size()];
    }
    void corpus()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        const std::vector<EdidDescription> pair{corpusEdid(first), corpusEdid(second)};
        const MergeResult merged = mergeEdids(pair, {});
        if (merged.merged)
            checkMerged(pair, *merged.merged);
        else
            QCOMPARE(merged.refusal, "no timing is accepted by all inputs");

        // With itself: what it says comes back, but what the EDID has no room for or its own
        // TMDS clock does not carry, as the notes say.
        const EdidDescription &edid = pair[0];
        const MergeResult self = mergeEdids({edid, edid}, {});
        QVERIFY(self.merged);
        checkMerged({edid}, *self.merged);
        for (const AcceptedMode &timing : acceptedModes(edid)) {
            const std::string name = timingName(timing.mode);
            const bool droppedAsNoted =
                std::any_of(self.notes.begin(), self.notes.end(), [&](const MergeNote &note) {
                    return note.field == MergeField::Timing && note.value == name &&
                           (note.action == MergeAction::NoRoom ||
                            note.action == MergeAction::AboveRate);
                });
            QVERIFY2(takes(*self.merged, timing) || droppedAsNoted, name.c_str());
        }
        for (const ShortAudioDescriptor &sad : played(edid))
            QVERIFY2(plays(played(*self.merged), sad) || !sad.sampleRates, // plays nothing
                     audioDescriptorText(sad).c_str());
        QCOMPARE(maxTmds(*self.merged), maxTmds(edid));
    }

    // Each rule of the merge on two EDIDs built for it.
    void rules_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");    // empty: no second input
        QTest::addColumn<QString>("options");   // first (video), union, audio:N, identity:N
        QTest::addColumn<QString>("listed");    // the result's timings, or the refusal
        QTest::addColumn<QStringList>("notes"); // among those the merge gives
        const auto row = [](const char *name, const char *first, const char *second,
                            const char *options, const char *listed, const QStringList &notes) {
            QTest::newRow(name) << first << second << options << listed << notes;
        };
        const char *noTiming = "no timing is accepted by all inputs";
        row("one timing however listed", "dtd:16 vic:16 vic:4 est:800x600@60 std:1280x1024@60",
            "std:1920x1080@60 dtd:4 est:800x600@60 vic:1", "",
            "dtd:1920x1080p60 vic:16 vic:4 est:800x600p60.32",
            {"Preferred timing 1920x1080p60: input 1's", "Timing 1280x720p60: all inputs have it",
             "Timing 1280x1024p60.02: left out: input 2 does not have it",
             "Timing 640x480p59.94: left out: input 1 does not have it"});
        row("59.94 Hz is not 60 Hz", "dtd:16", "dtd:16@148350", "", noTiming, {});
        row("reduced blanking is another timing", "dtd:16", "rb:1920x1080@60", "", noTiming, {});
        row("a DTD rounds a table's clock", "dtd:1 vic:4", "dtd:1@25170 dtd:4", "",
            "dtd:640x480p59.95 dtd:1280x720p60", {"Timing 1280x720p60: all inputs have it"});
        row("a VIC says the picture's aspect too", "dtd:16 vic:16 vic:76", "dtd:16 vic:16", "",
            "dtd:1920x1080p60 vic:16", {});
        row("the largest common timing", "dtd:4 vic:4 vic:16 vic:1", "dtd:16 vic:1", "",
            "dtd:1920x1080p60 vic:16 vic:1",
            {"Preferred timing 1920x1080p60: the largest timing all inputs accept",
             "Timing 1280x720p60: left out: input 2 does not have it"});
        row("YCbCr 4:2:0 where one has no more", "dtd:16 vic:16 vic:97+420 tmds:600 hf:600",
            "dtd:16 vic:16 y420:97 tmds:300", "", "dtd:1920x1080p60 vic:16 y420:97",
            {"Maximum TMDS clock 300 MHz: the lowest, input 2's",
             "HDMI Forum block: left out: input 2 does not have it",
             "Timing 3840x2160p60 as YCbCr 4:2:0 only: all inputs have it"});
        row("no form all take", "dtd:16 vic:16 vic:97 tmds:600 hf:600",
            "dtd:16 vic:16 y420:97 tmds:600 hf:600", "", "dtd:1920x1080p60 vic:16",
            {"Timing 3840x2160p60: left out: input 2 takes it in another form (RGB or YCbCr "
             "4:2:0) than the inputs before it"});
        row("above the lowest TMDS clock", "dtd:16 vic:16 vic:97 tmds:600 hf:600",
            "dtd:16 vic:16 vic:97 tmds:300", "", "dtd:1920x1080p60 vic:16",
            {"Timing 3840x2160p60: left out: it needs a faster TMDS clock than the result's"});
        row("the lowest character rate", "dtd:16 vic:16 tmds:300 hf:600",
            "dtd:16 vic:16 tmds:340 hf:450", "", "dtd:1920x1080p60 vic:16",
            {"Maximum TMDS clock 300 MHz: the lowest, input 1's",
             "HDMI Forum block 450 MHz: the lowest, input 2's"});
        const char *theatre = "dtd:16 vic:16 pa:1.0.0.0 basic sad:1:8:127:7 sad:2:6:7:80 spk:79";
        const char *stereo = "dtd:16 vic:16 pa:2.0.0.0 basic sad:1:2:7:5";
        row("audio all play", theatre, stereo, "", "dtd:1920x1080p60 vic:16",
            {"Audio Linear PCM, 2 channels, 32 44.1 48 kHz, 16 24 bits: all inputs have it",
             "Audio AC-3: left out: input 2 does not have it",
             "Speaker allocation FL/FR: all inputs have it"});
        row("each format left out said once",
            "dtd:16 vic:16 pa:1.0.0.0 basic sad:2:6:7:80 sad:7:6:7:80", stereo, "",
            "dtd:1920x1080p60 vic:16",
            {"Audio AC-3: left out: input 2 does not have it",
             "Audio DTS: left out: input 2 does not have it"});
        row("speakers of three channels", "dtd:16 vic:16 pa:1.0.0.0 sad:1:3:7:7 spk:5",
            "dtd:16 vic:16 pa:2.0.0.0 sad:1:3:7:7 spk:7", "", "dtd:1920x1080p60 vic:16",
            {"Speaker allocation FL/FR FC: all inputs have it"});
        row("a standard timing both list", "dtd:16 std:1280x1024@60", "dtd:16 std:1280x1024@60", "",
            "dtd:1920x1080p60 std:1280x1024p60.02", {});
        row("audio any plays", theatre, stereo, "union", "dtd:1920x1080p60 vic:16",
            {"Audio Linear PCM, 8 channels, 32 44.1 48 88.2 96 176.4 192 kHz, 16 20 24 bits: one "
             "input or more has it",
             "Audio AC-3, 6 channels, 32 44.1 48 kHz, up to 640 kb/s: one input or more has it",
             "Speaker allocation FL/FR LFE1 FC BL/BR RLC/RRC: one input or more has it"});
        row("audio of one", theatre, stereo, "audio:2", "dtd:1920x1080p60 vic:16",
            {"Audio Linear PCM, 2 channels, 32 44.1 48 kHz, 16 24 bits: input 2's",
             "Speaker allocation FL/FR: input 2's"});
        row("video of the first", "dtd:16 vic:16 vic:4 tmds:300 444", "dtd:4 vic:4 tmds:165",
            "first", "dtd:1920x1080p60 vic:16 vic:4",
            {"Timing 1280x720p60: input 1's", "Maximum TMDS clock 300 MHz: input 1's",
             "Colour format YCbCr 4:4:4: input 1's"});
        row("identity of the second", "dtd:16 vic:16 pa:1.0.0.0 name:Alpha",
            "dtd:16 vic:16 pa:2.0.0.0 name:Beta", "identity:2", "dtd:1920x1080p60 vic:16",
            {"Identity TST 0 'Beta': input 2's", "Physical address 2.0.0.0: input 2's"});
        row("a DVI display takes no audio", "dtd:16 est:800x600@60 name:DVI",
            "dtd:16 vic:16 basic sad:1:2:7:7 tmds:300", "", "dtd:1920x1080p60",
            {"Audio Linear PCM: left out: input 1 does not have it",
             "Timing 800x600p60.32: left out: input 2 does not have it"});
        row("no audio of one without HDMI", "dtd:16 est:800x600@60 name:DVI",
            "dtd:16 vic:16 basic sad:1:2:7:7 tmds:300", "union", "dtd:1920x1080p60",
            {"Audio: left out: input 1 has no HDMI VSDB, without which a source sends no audio"});
        row("colour all have", "dtd:16 vic:16 tmds:300 444 422 dc hdr:13",
            "dtd:16 vic:16 tmds:300 444 hdr:5", "", "dtd:1920x1080p60 vic:16",
            {"Colour format YCbCr 4:4:4: all inputs have it",
             "Colour format YCbCr 4:2:2: left out: input 2 does not have it",
             "Deep colour 36 bits: left out: input 2 does not have it",
             "HDR SMPTE ST 2084: all inputs have it",
             "HDR hybrid log-gamma: left out: input 2 does not have it"});
        row("one input", "dtd:16", "", "", "a merge takes two EDIDs or more", {});
        row("audio of no input", "dtd:16", "dtd:16", "audio:3",
            "audio from input 3: there are 2 inputs", {});
        row("identity of no input", "dtd:16", "dtd:16", "identity:3",
            "identity from input 3: there are 2 inputs", {});
    }
    void rules()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, options);
        QFETCH(QString, listed);
        QFETCH(QStringList, notes);
        std::vector<EdidDescription> inputs{built(first)};
        if (!second.isEmpty())
            inputs.push_back(built(second));
        MergeOptions chosen;
        for (const QString &word : options.split(' ', Qt::SkipEmptyParts)) {
            const std::size_t input = word.section(':', 1).toUInt() - 1;
            if (word == "first")
                chosen.video = MergeOptions::Video::First;
            else if (word == "union")
                chosen.audio = MergeOptions::Audio::Union;
            else if (word.startsWith("audio"))
                chosen.audio = MergeOptions::Audio::From, chosen.audioFrom = input;
            else
                chosen.identityFrom = input;
        }
        const MergeResult result = mergeEdids(inputs, chosen);
        QCOMPARE(result.merged ? listing(*result.merged) : QString::fromStdString(result.refusal),
                 listed);
        QStringList said;
        for (const MergeNote &note : result.notes)
            said << QString::fromStdString(note.text());
        for (const QString &note : notes)
            QVERIFY2(said.contains(note), qPrintable(said.join('\n')));
        if (result.merged && chosen.video == MergeOptions::Video::Common &&
            chosen.audio == MergeOptions::Audio::Common)
            checkMerged(inputs, *result.merged);
    }
};

QTEST_GUILESS_MAIN(EdidMergeTest)
#include "tst_EdidMerge.moc"
