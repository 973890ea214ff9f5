#include "EdidVocabulary.h"

const char *ctaBlockName(CtaTag tag, unsigned extendedTag)
{
    switch (tag) {
    case CtaTag::Audio:
        return "Audio data block";
    case CtaTag::Video:
        return "Video data block";
    case CtaTag::VendorSpecific:
        return "Vendor-specific data block";
    case CtaTag::SpeakerAllocation:
        return "Speaker allocation data block";
    case CtaTag::Extended:
        break;
    default:
        return nullptr;
    }
    using E = CtaExtendedTag;
    switch (E(extendedTag)) {
    case E::VideoCapability:
        return "Video capability data block";
    case E::VendorSpecificVideo:
        return "Vendor-specific video data block";
    case E::VesaDisplayDevice:
        return "VESA display device data block";
    case E::Colorimetry:
        return "Colorimetry data block";
    case E::HdrStaticMetadata:
        return "HDR static metadata data block";
    case E::HdrDynamicMetadata:
        return "HDR dynamic metadata data block";
    case E::NativeVideoResolution:
        return "Native video resolution data block";
    case E::VideoFormatPreference:
        return "Video format preference data block";
    case E::Ycbcr420Video:
        return "YCbCr 4:2:0 video data block";
    case E::Ycbcr420CapabilityMap:
        return "YCbCr 4:2:0 capability map data block";
    case E::VendorSpecificAudio:
        return "Vendor-specific audio data block";
    case E::HdmiAudio:
        return "HDMI audio data block";
    case E::RoomConfiguration:
        return "Room configuration data block";
    case E::SpeakerLocation:
        return "Speaker location data block";
    case E::InfoFrame:
        return "InfoFrame data block";
    case E::DisplayIdTypeVII:
        return "DisplayID type VII timing data block";
    case E::DisplayIdTypeVIII:
        return "DisplayID type VIII timing data block";
    case E::DisplayIdTypeX:
        return "DisplayID type X timing data block";
    case E::HdmiForumEdidExtensionOverride:
        return "HDMI Forum EDID extension override data block";
    case E::HdmiForumSinkCapability:
        return "HDMI Forum sink capability data block";
    }
    return nullptr;
}

const char *descriptorName(unsigned tag)
{
    using D = DescriptorTag;
    switch (D(tag)) {
    case D::Dummy:
        return "Dummy descriptor";
    case D::EstablishedTimingsIII:
        return "Established timings III descriptor";
    case D::CvtTimingCodes:
        return "CVT timing codes descriptor";
    case D::ColourManagement:
        return "Colour management descriptor";
    case D::StandardTimings:
        return "Standard timings descriptor";
    case D::ColourPoint:
        return "Colour point descriptor";
    case D::ProductName:
        return "Product name";
    case D::RangeLimits:
        return "Range limits";
    case D::UnspecifiedText:
        return "Unspecified text";
    case D::SerialText:
        return "Serial number text";
    }
    return nullptr;
}
