#include "SampleEdids.h"

#include "ToolProtocol.h"

#include <cstring>
#include <string>

namespace {

using Image = std::array<std::uint8_t, EdidImage::kSize>;

// 18-byte detailed timing descriptor; sizes in pixels, lines and millimetres.
void putDetailedTiming(Image &edid, std::size_t at, unsigned clock10kHz, unsigned hActive,
                       unsigned hBlank, unsigned hSyncOffset, unsigned hSyncWidth, unsigned vActive,
                       unsigned vBlank, unsigned vSyncOffset, unsigned vSyncWidth)
{
    const unsigned hSizeMm = 531;
    const unsigned vSizeMm = 299;
    const std::uint8_t d[18] = {
        static_cast<std::uint8_t>(clock10kHz & 0xFF),
        static_cast<std::uint8_t>(clock10kHz >> 8),
        static_cast<std::uint8_t>(hActive & 0xFF),
        static_cast<std::uint8_t>(hBlank & 0xFF),
        static_cast<std::uint8_t>(((hActive >> 8) << 4) | (hBlank >> 8)),
        static_cast<std::uint8_t>(vActive & 0xFF),
        static_cast<std::uint8_t>(vBlank & 0xFF),
        static_cast<std::uint8_t>(((vActive >> 8) << 4) | (vBlank >> 8)),
        static_cast<std::uint8_t>(hSyncOffset & 0xFF),
        static_cast<std::uint8_t>(hSyncWidth & 0xFF),
        static_cast<std::uint8_t>(((vSyncOffset & 0x0F) << 4) | (vSyncWidth & 0x0F)),
        static_cast<std::uint8_t>(((hSyncOffset >> 8) << 6) | ((hSyncWidth >> 8) << 4) |
                                  ((vSyncOffset >> 4) << 2) | (vSyncWidth >> 4)),
        static_cast<std::uint8_t>(hSizeMm & 0xFF),
        static_cast<std::uint8_t>(vSizeMm & 0xFF),
        static_cast<std::uint8_t>(((hSizeMm >> 8) << 4) | (vSizeMm >> 8)),
        0x00,
        0x00,
        0x1E, // digital separate sync, both polarities positive
    };
    std::memcpy(edid.data() + at, d, sizeof d);
}

// Display descriptor holding up to 13 characters of text (name or serial).
void putTextDescriptor(Image &edid, std::size_t at, std::uint8_t tag, const std::string &text)
{
    const std::uint8_t head[5] = {0x00, 0x00, 0x00, tag, 0x00};
    std::memcpy(edid.data() + at, head, sizeof head);
    for (std::size_t i = 0; i < 13; ++i) {
        std::uint8_t c = 0x20;
        if (i < text.size())
            c = static_cast<std::uint8_t>(text[i]);
        else if (i == text.size())
            c = 0x0A;
        edid[at + 5 + i] = c;
    }
}

void putBaseBlock(Image &edid, std::uint16_t productCode, const std::string &name)
{
    const std::uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::memcpy(edid.data(), header, sizeof header);
    edid[8] = 0x59; // manufacturer "VNX"
    edid[9] = 0xD8;
    edid[10] = static_cast<std::uint8_t>(productCode & 0xFF);
    edid[11] = static_cast<std::uint8_t>(productCode >> 8);
    // Serial number 0: the serial string descriptor carries it.
    edid[16] = 48; // week
    edid[17] = 36; // 2026
    edid[18] = 1;  // EDID 1.3, as HDMI asks
    edid[19] = 3;
    edid[20] = 0x80; // digital
    edid[21] = 53;   // 53 x 30 cm
    edid[22] = 30;
    edid[23] = 120;  // gamma 2.2
    edid[24] = 0x0E; // RGB colour, sRGB default, preferred timing in the first DTD

    // sRGB primaries and D65 white as 10-bit fractions.
    const unsigned rx = 655, ry = 338, gx = 307, gy = 614, bx = 154, by = 61, wx = 320, wy = 337;
    edid[25] =
        static_cast<std::uint8_t>(((rx & 3) << 6) | ((ry & 3) << 4) | ((gx & 3) << 2) | (gy & 3));
    edid[26] =
        static_cast<std::uint8_t>(((bx & 3) << 6) | ((by & 3) << 4) | ((wx & 3) << 2) | (wy & 3));
    const unsigned high[8] = {rx, ry, gx, gy, bx, by, wx, wy};
    for (std::size_t i = 0; i < 8; ++i)
        edid[27 + i] = static_cast<std::uint8_t>(high[i] >> 2);

    edid[35] = 0x21; // 640x480@60, 800x600@60
    edid[36] = 0x08; // 1024x768@60
    edid[37] = 0x00;
    const std::uint8_t standard[16] = {0x81, 0xC0, 0xD1, 0xC0, 0x01, 0x01, 0x01, 0x01,
                                       0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
    std::memcpy(edid.data() + 38, standard, sizeof standard);

    putDetailedTiming(edid, 54, 14850, 1920, 280, 88, 44, 1080, 45, 4, 5); // 1080p60
    // 24-76 Hz, 26-83 kHz, 300 MHz: every timing here, 1080p24 and 2160p30 included
    const std::uint8_t range[18] = {0x00, 0x00, 0x00, 0xFD, 0x00, 24,   76,   26,   83,
                                    30,   0x00, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    std::memcpy(edid.data() + 72, range, sizeof range);
    putTextDescriptor(edid, 90, 0xFC, name);
    putTextDescriptor(edid, 108, 0xFF, std::to_string(kToolSerial));
    edid[126] = 1; // one extension block
}

// What a 4K HDMI 1.4 television tells a source: its video formats, stereo LPCM and 5.1 AC-3 audio,
// its speakers, and the HDMI vendor block without which a source sends neither audio nor YCbCr.
void putCtaExtension(Image &edid)
{
    const std::uint8_t blocks[] = {
        // video: 1080p60 and 50, 720p60 and 50, 1080i60 and 50, 480p and 576p in both aspects,
        // VGA, 1080p24, 25 and 30, 2160p30, 25 and 24
        0x51,
        0x10,
        0x1F,
        0x04,
        0x13,
        0x05,
        0x14,
        0x03,
        0x12,
        0x02,
        0x11,
        0x01,
        0x20,
        0x21,
        0x22,
        0x5F,
        0x5E,
        0x5D,
        // audio: LPCM 2 channels 32-48 kHz 16-24 bit; AC-3 6 channels 32-48 kHz up to 640 kb/s
        0x26,
        0x09,
        0x07,
        0x07,
        0x15,
        0x07,
        0x50,
        // speakers: front left and right, LFE, front centre
        0x83,
        0x07,
        0x00,
        0x00,
        // HDMI: physical address 1.0.0.0, AI, 36- and 30-bit deep colour, YCbCr 4:4:4 deep
        // colour, 300 MHz TMDS, no latency fields
        0x68,
        0x03,
        0x0C,
        0x00,
        0x10,
        0x00,
        0xB8,
        0x3C,
        0x00,
        // video capability: selectable RGB and YCbCr quantization range, IT and CE formats over-
        // or underscanned
        0xE2,
        0x00,
        0xCF,
    };
    edid[128] = 0x02; // CTA-861 extension
    edid[129] = 0x03; // revision 3
    edid[130] = static_cast<std::uint8_t>(4 + sizeof blocks);
    edid[131] = 0xF1; // underscanned, basic audio, YCbCr 4:4:4 and 4:2:2, one native timing
    std::memcpy(edid.data() + 132, blocks, sizeof blocks);
    putDetailedTiming(edid, 132 + sizeof blocks, 7425, 1280, 370, 110, 40, 720, 30, 5, 5);
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
    EdidImage edid;
    putBaseBlock(edid.bytes, static_cast<std::uint16_t>(0x2000 + address), kNames[source]);
    putCtaExtension(edid.bytes);
    recalculateChecksums(edid);
    return edid;
}
