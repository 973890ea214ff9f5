#include "SampleEdids.h"

#include "EdidEncoder.h"
#include "ToolProtocol.h"

#include <string>

namespace {

template <typename T> Field<T> value(T held)
{
    return {std::move(held), {}};
}

DetailedTiming timingOfVic(unsigned vic)
{
    return *detailedTiming(*ctaVideoMode(vic), 531, 299); // a 24-inch screen
}

BaseBlock baseBlock(std::uint16_t productCode, const std::string &name)
{
    BaseBlock base;
    base.manufacturer = value<std::string>("VNX");
    base.productCode = value(productCode);
    // Serial number 0: the serial string descriptor carries it.
    base.week = value<std::uint8_t>(48);
    base.year = value(2026u);
    base.version = value(EdidVersion{1, 3}); // as HDMI asks
    VideoInput digital;
    digital.digital = true;
    digital.raw = 0x80;
    base.input = value(digital);
    base.screenSize = value(ScreenSize{53, 30, {}, {}});
    base.gammaHundredths = value<std::optional<unsigned>>(220);
    Features features;
    features.colourType = 1; // RGB colour
    features.srgbDefault = true;
    features.preferredTimingNative = true;
    base.features = value(features);
    // sRGB primaries and D65 white as 10-bit fractions.
    base.chromaticity = value(Chromaticity{{655, 338}, {307, 614}, {154, 61}, {320, 337}});
    for (unsigned bit : {2, 7, 12}) // 640x480@60, 800x600@60, 1024x768@60
        base.establishedTimings.push_back({{}, bit});
    for (unsigned width : {1280, 1920})
        base.standardTimings.push_back({{}, width, width * 9 / 16, 60, 16, 9});
    base.descriptors[0] = descriptorOf(timingOfVic(16)); // 1080p60
    // 24-76 Hz, 26-83 kHz, 300 MHz: every timing here, 1080p24 and 2160p30 included.
    base.descriptors[1] = rangeLimitsDescriptor({24, 76, 26, 83, 300, 0, {}});
    base.descriptors[2] = textDescriptor(Descriptor::Kind::ProductName, name);
    base.descriptors[3] = textDescriptor(Descriptor::Kind::SerialText, std::to_string(kToolSerial));
    base.extensionCount = value<std::uint8_t>(1);
    return base;
}

// What a 4K HDMI 1.4 television tells a source: its video formats, stereo LPCM and 5.1 AC-3 audio,
// its speakers, and the HDMI vendor block without which a source sends neither audio nor YCbCr.
CtaExtension ctaExtension()
{
    CtaExtension cta;
    cta.revision = value<std::uint8_t>(3);
    // Underscanned, basic audio, YCbCr 4:4:4 and 4:2:2, one native timing.
    cta.flags = value(CtaFlags{true, true, true, true, 1});
    // 1080p60 and 50, 720p60 and 50, 1080i60 and 50, 480p and 576p in both aspects, VGA,
    // 1080p24, 25 and 30, 2160p30, 25 and 24.
    std::vector<ShortVideoDescriptor> svds;
    for (unsigned vic : {16, 31, 4, 19, 5, 20, 3, 18, 2, 17, 1, 32, 33, 34, 95, 94, 93})
        svds.push_back({{}, vic, false});
    cta.dataBlocks.push_back(videoBlock(svds));
    // LPCM 2 channels 32-48 kHz 16-24 bit; AC-3 6 channels 32-48 kHz up to 640 kb/s.
    ShortAudioDescriptor lpcm, ac3;
    lpcm.formatCode = 1;
    lpcm.channels = 2;
    lpcm.sampleRates = 0x07;
    lpcm.byte3 = 0x07;
    ac3.formatCode = 2;
    ac3.channels = 6;
    ac3.sampleRates = 0x07;
    ac3.byte3 = 640 / 8;
    cta.dataBlocks.push_back(audioBlock({lpcm, ac3}));
    cta.dataBlocks.push_back(speakerBlock(0x07)); // FL/FR, LFE1, FC
    // Physical address 1.0.0.0, AI, 36- and 30-bit deep colour, also YCbCr 4:4:4, 300 MHz TMDS,
    // no latency fields.
    HdmiVsdb hdmi;
    hdmi.physicalAddress = std::array<unsigned, 4>{1, 0, 0, 0};
    hdmi.supportsAi = hdmi.deepColour36 = hdmi.deepColour30 = hdmi.deepColourY444 = true;
    hdmi.maxTmdsMhz = 300;
    CtaDataBlock vsdb = dataBlockOf(CtaTag::VendorSpecific, std::nullopt, hdmi);
    vsdb.length = 8; // the byte of what follows, with nothing following
    cta.dataBlocks.push_back(vsdb);
    // Selectable RGB and YCbCr quantization range, IT and CE formats over- or underscanned.
    cta.dataBlocks.push_back(dataBlockOf(CtaTag::Extended,
                                         unsigned(CtaExtendedTag::VideoCapability),
                                         VideoCapabilityBlock{true, true, 0, 3, 3}));
    cta.detailedTimings.push_back(timingOfVic(4)); // 720p60
    return cta;
}

} // namespace

EdidImage sampleEdid(std::uint8_t address)
{
    // One model name per source, in the order of the sources.
    static const char *const kNames[kEdidSources.size()] = {
        "VNX Current", "VNX Sink", "VNX Custom 6", "VNX Custom 7", "VNX Custom 8"};
    std::size_t source = 0;
    while (source + 1 < kEdidSources.size() && kEdidSources[source].address != address)
        ++source;
    EdidDescription description;
    description.base = baseBlock(static_cast<std::uint16_t>(0x2000 + address), kNames[source]);
    description.cta = ctaExtension();
    return encodeEdid(description);
}
