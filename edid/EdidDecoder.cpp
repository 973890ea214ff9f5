#include "EdidDecoding.h"

#include <algorithm>

namespace edid_decoding {

EdidDescription Decoder::run()
{
    decodeBase();
    decodeExtension();
    checkAcrossBlocks();
    std::stable_sort(
        out_.findings.begin(), out_.findings.end(),
        [](const EdidFinding &a, const EdidFinding &b) { return a.offset < b.offset; });
    return std::move(out_);
}

void Decoder::checkChecksum(std::size_t blockStart, Field<BlockChecksum> &checksum)
{
    const std::size_t offset = blockStart + kBlock - 1;
    const BlockChecksum value = blockChecksum(image_, blockStart / kBlock);
    checksum = field(value, offset, 1);
    if (!value.isCorrect())
        error(offset, "block " + std::to_string(blockStart / kBlock) + " checksum is " +
                          hex2(value.stored) + ", should be " + hex2(value.correct));
}

void Decoder::checkAcrossBlocks()
{
    checkRangeLimits();
    if (!out_.cta)
        return;
    const CtaExtension &cta = *out_.cta;
    if (cta.flags.value.nativeDtds > dtdCount_)
        warning(kCta + 3, withNumber("%u native DTDs are claimed, but the EDID holds %u",
                                     cta.flags.value.nativeDtds, dtdCount_));
    bool hdmi = false;
    const CtaDataBlock *audio = nullptr;
    for (const CtaDataBlock &block : cta.dataBlocks) {
        hdmi = hdmi || std::holds_alternative<HdmiVsdb>(block.payload);
        if (!audio && std::holds_alternative<AudioBlock>(block.payload))
            audio = &block;
    }
    const CtaFlags &flags = cta.flags.value;
    if (!hdmi && (flags.basicAudio || audio || flags.ycbcr444 || flags.ycbcr422)) {
        const bool sound = flags.basicAudio || audio;
        error(audio && !flags.basicAudio ? audio->bytes.offset : kCta + 3,
              std::string("there is no HDMI VSDB although the extension declares ") +
                  (sound ? "audio" : "YCbCr") +
                  ": a source then treats the display as DVI and sends no audio");
    }
}

void Decoder::checkRangeLimits()
{
    const RangeLimits *limits = nullptr;
    for (const Descriptor &descriptor : out_.base.descriptors)
        if (const auto *found = std::get_if<RangeLimits>(&descriptor.payload))
            limits = found;
    if (!limits)
        return;
    unsigned number = 0;
    for (const DetailedTiming *t : detailedTimings(out_)) {
        ++number;
        if (!t->hTotal() || !t->frameLines())
            continue;
        const double khz = double(t->pixelClockKhz) / t->hTotal();
        const double hz = khz * 1000 / t->frameLines() * (t->interlaced ? 2 : 1);
        std::vector<std::string> outside;
        if (t->pixelClockKhz > limits->maxPixelClockMhz * 1000)
            outside.push_back(withNumber("pixel clock %.2f MHz above %u MHz",
                                         t->pixelClockKhz / 1000.0, limits->maxPixelClockMhz));
        // The limits are whole numbers: a rate counts as outside when it rounds outside.
        const unsigned lineRate = unsigned(khz + 0.5);
        if (lineRate < limits->minHorizontalKhz || lineRate > limits->maxHorizontalKhz)
            outside.push_back(withNumber("line rate %.3f kHz outside %u-%u kHz", khz,
                                         limits->minHorizontalKhz, limits->maxHorizontalKhz));
        const unsigned refresh = unsigned(hz + 0.5);
        if (refresh < limits->minVerticalHz || refresh > limits->maxVerticalHz)
            outside.push_back(withNumber("refresh %.3f Hz outside %u-%u Hz", hz,
                                         limits->minVerticalHz, limits->maxVerticalHz));
        std::string message = "DTD " + std::to_string(number) + " lies outside the range limits:";
        for (std::size_t n = 0; n < outside.size(); ++n)
            message += (n ? "; " : " ") + outside[n];
        if (!outside.empty())
            warning(t->bytes.offset, message);
    }
}

} // namespace edid_decoding

EdidDescription decodeEdid(const EdidImage &image)
{
    return edid_decoding::Decoder(image).run();
}

std::vector<const DetailedTiming *> detailedTimings(const EdidDescription &description)
{
    std::vector<const DetailedTiming *> timings;
    for (const Descriptor &descriptor : description.base.descriptors)
        if (const auto *timing = std::get_if<DetailedTiming>(&descriptor.payload))
            timings.push_back(timing);
    if (description.cta)
        for (const DetailedTiming &timing : description.cta->detailedTimings)
            timings.push_back(&timing);
    return timings;
}

std::string audioFormatName(unsigned formatCode, unsigned extendedCode)
{
    static const char *const kFormats[16] = {"reserved format 0",
                                             "Linear PCM",
                                             "AC-3",
                                             "MPEG-1 (layers 1 and 2)",
                                             "MP3",
                                             "MPEG-2 multichannel",
                                             "AAC LC",
                                             "DTS",
                                             "ATRAC",
                                             "One Bit Audio",
                                             "Enhanced AC-3",
                                             "DTS-HD",
                                             "MAT (MLP)",
                                             "DST",
                                             "WMA Pro",
                                             "extended"};
    static const char *const kExtended[] = {"reserved extended format 0",
                                            "reserved extended format 1",
                                            "reserved extended format 2",
                                            "reserved extended format 3",
                                            "MPEG-4 HE AAC",
                                            "MPEG-4 HE AAC v2",
                                            "MPEG-4 AAC LC",
                                            "DRA",
                                            "MPEG-4 HE AAC + MPEG Surround",
                                            "reserved extended format 9",
                                            "MPEG-4 AAC LC + MPEG Surround",
                                            "MPEG-H 3D Audio",
                                            "AC-4",
                                            "L-PCM 3D Audio"};
    if (formatCode != 15)
        return kFormats[formatCode & 0x0F];
    if (extendedCode < sizeof kExtended / sizeof *kExtended)
        return kExtended[extendedCode];
    return "reserved extended format " + std::to_string(extendedCode);
}

std::vector<std::string> speakerNames(std::uint32_t speakers)
{
    static const char *const kSpeakers[] = {
        "FL/FR",   "LFE1",        "FC",        "BL/BR", "BC",        "FLc/FRc",   "RLC/RRC",
        "FLw/FRw", "TpFL/TpFR",   "TpC",       "TpFC",  "LS/RS",     "LFE2",      "TpBC",
        "SiL/SiR", "TpSiL/TpSiR", "TpBL/TpBR", "BtFC",  "BtFL/BtFR", "TpLS/TpRS", "LSd/RSd"};
    std::vector<std::string> names;
    for (unsigned bit = 0; bit < 24; ++bit)
        if (speakers & 1u << bit)
            names.push_back(bit < sizeof kSpeakers / sizeof *kSpeakers
                                ? kSpeakers[bit]
                                : "reserved speaker bit " + std::to_string(bit));
    return names;
}
