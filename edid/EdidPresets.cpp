#include "EdidPresets.h"

#include <algorithm>

namespace {

// CTA-861 VICs by name.
enum Vic : unsigned {
    k480p60 = 3,
    k720p60 = 4,
    k1080p60 = 16,
    k576p50 = 18,
    k720p50 = 19,
    k1080p50 = 31,
    k1080p24 = 32,
    k1080p25 = 33,
    k1080p30 = 34,
    k1080p120 = 63,
    k1080p100 = 64,
    k2160p24 = 93,
    k2160p25 = 94,
    k2160p30 = 95,
    k2160p50 = 96,
    k2160p60 = 97,
    k4096x2160p24 = 98,
    k2160p100 = 117,
    k2160p120 = 118,
    kVga = 1,
};

constexpr unsigned kEstablished640x480at60 = 2; // every HDMI sink takes it

VideoMode vicMode(unsigned vic)
{
    return *ctaVideoMode(vic);
}

// An HDMI sink with stereo LPCM at 1.0.0.0; each preset changes what sets it apart.
EdidPlan hdmiPlan(const char *name, unsigned preferredVic)
{
    EdidPlan plan;
    plan.name = name;
    plan.dtds = {vicMode(preferredVic)};
    plan.establishedBits = {kEstablished640x480at60};
    plan.audio = *audioSet("lpcm2");
    return plan;
}

// The 1080p formats at 60 and 50 Hz and what an HDMI 1.x source falls back to.
const std::vector<unsigned> kHdFormats{k1080p60, k1080p50, k720p60, k720p50,
                                       k480p60,  k576p50,  kVga};

EdidPlan dviMonitor()
{
    EdidPlan plan;
    plan.name = "VNX DVI 1080p";
    plan.hdmi = false;
    plan.ycbcr444 = plan.ycbcr422 = false;
    plan.dtds = {dmtMode(0x52)->mode}; // 1920x1080@60
    // 640x480, 800x600 and 1024x768 at 60 Hz; 1280x1024, 1280x720, 1440x900, 1600x900 (reduced
    // blanking) and 1680x1050 at 60 Hz.
    plan.establishedBits = {2, 7, 12};
    plan.standardDmtIds = {0x23, 0x55, 0x2F, 0x53, 0x3A};
    return plan;
}

EdidPlan hdmi1080p60()
{
    EdidPlan plan = hdmiPlan("VNX 1080p60", k1080p60);
    plan.vics = kHdFormats;
    return plan;
}

EdidPlan homeTheatre1080p60()
{
    EdidPlan plan = hdmiPlan("VNX 1080p HT", k1080p60);
    plan.vics = {k1080p60, k1080p50, k1080p24, k1080p25, k1080p30,
                 k720p60,  k720p50,  k480p60,  k576p50,  kVga};
    plan.audio = *audioSet("lpcm8"); // 7.1 speakers
    for (const CompressedAudio &format : compressedAudioFormats())
        if (format.name == std::string("ac3") || format.name == std::string("eac3") ||
            format.name == std::string("dts"))
            plan.audio.descriptors.push_back(format.sad);
    return plan;
}

EdidPlan hdmi720p60()
{
    EdidPlan plan = hdmiPlan("VNX 720p60", k720p60);
    plan.vics = {k720p60};
    return plan;
}

// What HDMI 1.4 says of 4K: 24, 25 and 30 Hz, as VICs and as HDMI VICs.
const std::vector<unsigned> k4kAt30{k2160p30, k2160p25, k2160p24};
const std::vector<unsigned> kHdmiVics4kAt30{1, 2, 3};

std::vector<unsigned> joined(std::vector<unsigned> first, const std::vector<unsigned> &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

EdidPlan hdmi14At4k30()
{
    EdidPlan plan = hdmiPlan("VNX 4K30", k2160p30);
    plan.vics = joined(joined(k4kAt30, {k4096x2160p24}), kHdFormats);
    plan.hdmiVics = {1, 2, 3, 4};
    plan.maxTmdsMhz = 300;
    return plan;
}

// 4K at 60 Hz within 340 MHz: as YCbCr 4:2:0 only, at half the clock; 4K30 is the preferred.
EdidPlan hdmi20At4k60Ycbcr420()
{
    EdidPlan plan = hdmiPlan("VNX 4K60 420", k2160p30);
    plan.vics = joined(k4kAt30, kHdFormats);
    plan.hdmiVics = kHdmiVics4kAt30;
    plan.ycbcr420OnlyVics = {k2160p60, k2160p50};
    plan.maxTmdsMhz = 340;
    return plan;
}

// HDR10 at 4K60 goes as 10-bit 4:2:0 or 12-bit 4:2:2, both within 600 MHz.
void addHdr(EdidPlan &plan, const std::vector<unsigned> &ycbcr420Vics)
{
    plan.hdr = true;
    plan.deepColourBits = {30, 36};
    plan.deepColour420Bits = {30, 36};
    plan.ycbcr420AlsoVics = ycbcr420Vics;
}

EdidPlan hdmi20At4k60Hdr()
{
    EdidPlan plan = hdmiPlan("VNX 4K60 HDR", k2160p60);
    plan.vics = joined(joined({k2160p60, k2160p50}, k4kAt30), kHdFormats);
    plan.hdmiVics = kHdmiVics4kAt30;
    plan.maxTmdsMhz = 600;
    addHdr(plan, {k2160p60, k2160p50});
    return plan;
}

// What capture cards take: RGB and YCbCr 4:4:4 of 8 bits, no HDR, single-link TMDS.
EdidPlan capture1080p60()
{
    EdidPlan plan = hdmiPlan("VNX Capture", k1080p60);
    plan.vics = kHdFormats;
    plan.ycbcr422 = false;
    plan.maxTmdsMhz = 165;
    return plan;
}

EdidPlan hdmi21At4k120()
{
    EdidPlan plan = hdmiPlan("VNX 4K120 VRR", k2160p60);
    plan.vics = joined(joined({k2160p60, k2160p120, k2160p100, k2160p50}, k4kAt30),
                       joined({k1080p120, k1080p100}, kHdFormats));
    plan.hdmiVics = kHdmiVics4kAt30;
    plan.maxTmdsMhz = 600; // and FRL for 4K at 100 and 120 Hz
    addHdr(plan, {k2160p60, k2160p120, k2160p100, k2160p50});
    plan.allm = true;
    plan.vrrHz = {48, 120};
    return plan;
}

} // namespace

const std::vector<EdidPreset> &edidPresets()
{
    // Product codes from 0x5001 on; 0x5000 is a list of modes' (EdidModeList.h).
    static const std::vector<EdidPreset> presets{
        {"dvi-1080p60", 0x5001, "DVI monitor: 1920x1080 at 60 Hz, no audio", dviMonitor},
        {"hdmi-1080p60", 0x5002, "HDMI 1.4: 1920x1080 at 60 Hz, stereo LPCM (the safe default)",
         hdmi1080p60},
        {"hdmi-1080p60-theatre", 0x5003,
         "HDMI 1.4: 1920x1080 at 60 Hz, LPCM 7.1, AC-3, E-AC-3 and DTS, 7.1 speakers",
         homeTheatre1080p60},
        {"hdmi-720p60", 0x5004,
         "HDMI 1.4: 1280x720 at 60 Hz only, stereo LPCM (old capture cards, KVMs)", hdmi720p60},
        {"hdmi14-4k30", 0x5005,
         "HDMI 1.4: 3840x2160 at 30 Hz, HDMI VICs, TMDS 300 MHz, stereo LPCM", hdmi14At4k30},
        {"hdmi20-4k60-420", 0x5006,
         "HDMI 2.0: 3840x2160 at 60 Hz as YCbCr 4:2:0 only, TMDS 340 MHz, stereo LPCM",
         hdmi20At4k60Ycbcr420},
        {"hdmi20-4k60-hdr", 0x5007,
         "HDMI 2.0: 3840x2160 at 60 Hz 4:4:4, HDR10 and HLG, TMDS 600 MHz, stereo LPCM",
         hdmi20At4k60Hdr},
        {"capture-1080p60", 0x5008,
         "HDMI 1.4: 1920x1080 at 60 Hz, RGB and 4:4:4 of 8 bits only, 165 MHz, stereo LPCM "
         "(capture-safe)",
         capture1080p60},
        {"hdmi21-4k120-vrr", 0x5009,
         "HDMI 2.1: 3840x2160 at 120 Hz, VRR 48-120 Hz, ALLM, FRL 40 Gb/s, HDR10, stereo LPCM",
         hdmi21At4k120},
    };
    return presets;
}

ComposedEdid presetEdid(const std::string &name)
{
    const auto &presets = edidPresets();
    const auto preset = std::find_if(presets.begin(), presets.end(),
                                     [&](const EdidPreset &p) { return name == p.name; });
    if (preset == presets.end()) {
        ComposedEdid refused;
        refused.refusal = "no preset is named '" + name + "'";
        return refused;
    }
    EdidPlan plan = preset->plan();
    plan.productCode = preset->productCode;
    return composeEdid(plan);
}
