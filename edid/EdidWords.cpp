#include "EdidDescription.h"

#include <cmath>
#include <cstdio>

// The words and numbers of the description's fields: what the tree and the JSON both show.

namespace {

template <typename... Values> std::string format(const char *pattern, Values... values)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

// The entries of names whose bit is set in bits: names[0] for bit 0 and so on.
template <typename T, std::size_t N> std::vector<T> ofBits(unsigned bits, const T (&names)[N])
{
    std::vector<T> set;
    for (std::size_t bit = 0; bit < N; ++bit)
        if (bits & 1u << bit)
            set.push_back(names[bit]);
    return set;
}

// 50 x 2^(code / 32) cd/m2 (CTA-861-H 7.5.13).
double luminance(unsigned code)
{
    return 50 * std::pow(2.0, code / 32.0);
}

} // namespace

std::vector<unsigned> ShortAudioDescriptor::sampleRatesHz() const
{
    static const unsigned kRates[] = {32000, 44100, 48000, 88200, 96000, 176400, 192000};
    return ofBits(sampleRates, kRates);
}

std::vector<unsigned> ShortAudioDescriptor::sampleSizesBits() const
{
    static const unsigned kSizes[] = {16, 20, 24};
    return formatCode == 1 ? ofBits(byte3, kSizes) : std::vector<unsigned>();
}

std::optional<unsigned> ShortAudioDescriptor::maxBitRateKbps() const
{
    return formatCode >= 2 && formatCode <= 8 ? std::optional<unsigned>(byte3 * 8u) : std::nullopt;
}

std::vector<unsigned> HdmiVsdb::deepColourBits() const
{
    static const unsigned kBits[] = {30, 36, 48};
    return ofBits((deepColour30 ? 1 : 0) | (deepColour36 ? 2 : 0) | (deepColour48 ? 4 : 0), kBits);
}

std::vector<const char *> HdmiVsdb::contentTypeNames() const
{
    static const char *const kTypes[] = {"graphics", "photo", "cinema", "game"};
    return ofBits(contentTypes, kTypes);
}

std::vector<unsigned> HdmiForumBlock::deepColour420Bits() const
{
    static const unsigned kBits[] = {30, 36, 48};
    return ofBits((deepColour420_30 ? 1 : 0) | (deepColour420_36 ? 2 : 0) |
                      (deepColour420_48 ? 4 : 0),
                  kBits);
}

std::vector<const char *> HdmiForumBlock::threeDNames() const
{
    static const char *const kViews[] = {"OSD disparity", "dual view", "independent view"};
    return ofBits((osdDisparity3d ? 1 : 0) | (dualView3d ? 2 : 0) | (independentView3d ? 4 : 0),
                  kViews);
}

std::vector<const char *> ColorimetryBlock::colorimetries() const
{
    // Byte 2's eight bits, then byte 3's top two (CTA-861-H 7.5.5).
    static const char *const kNames[] = {"xvYCC601", "xvYCC709",   "sYCC601",   "opYCC601",
                                         "opRGB",    "BT2020cYCC", "BT2020YCC", "BT2020RGB",
                                         "ICtCp",    "ST2113RGB"};
    return ofBits(colorimetry | (metadata >> 6) << 8, kNames);
}

std::vector<const char *> ColorimetryBlock::gamutMetadata() const
{
    static const char *const kProfiles[] = {"MD0", "MD1", "MD2", "MD3"};
    return ofBits(metadata, kProfiles);
}

std::vector<const char *> HdrStaticBlock::transferFunctions() const
{
    static const char *const kEotfs[] = {"traditional SDR", "traditional HDR", "SMPTE ST 2084",
                                         "hybrid log-gamma"};
    return ofBits(eotfs, kEotfs);
}

std::optional<double> HdrStaticBlock::maxLuminanceCdm2() const
{
    return maxLuminance ? std::optional<double>(luminance(*maxLuminance)) : std::nullopt;
}

std::optional<double> HdrStaticBlock::maxFrameAverageCdm2() const
{
    return maxFrameAverage ? std::optional<double>(luminance(*maxFrameAverage)) : std::nullopt;
}

std::optional<double> HdrStaticBlock::minLuminanceCdm2() const
{
    if (!minLuminance)
        return std::nullopt;
    const double max = maxLuminance ? luminance(*maxLuminance) : 0;
    return max * std::pow(*minLuminance / 255.0, 2) / 100;
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

std::string physicalAddressText(const std::array<unsigned, 4> &digits)
{
    return format("%x.%x.%x.%x", digits[0], digits[1], digits[2], digits[3]);
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
