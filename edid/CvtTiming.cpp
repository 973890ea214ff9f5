#include "CvtTiming.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// The constants of the VESA CVT 1.2 formula.
constexpr unsigned kCellPixels = 8;             // horizontal timings come in whole 8-pixel cells
constexpr double kMinVSyncAndBackPorchUs = 550; // normal: least time of V sync and back porch
constexpr unsigned kVFrontPorchLines = 3;       // normal and v1: the vertical front porch
constexpr unsigned kMinVBackPorchLines = 7;     // normal and v1: least V back porch (note 1)
constexpr unsigned kHSyncPercent = 8;           // normal: H sync, in % of the whole line
constexpr double kDutyCycleOffsetPercent = 30;  // normal: C' = (C - J) * K / 256 + J of GTF
constexpr double kDutyCycleGradient = 300;      // normal: M' = M * K / 256 of GTF, % per kHz
constexpr double kMinDutyCyclePercent = 20;     // normal: least share of the line in blanking
constexpr double kClockStepMhz = 0.25;          // normal and v1: clock in whole 0.25 MHz steps
constexpr double kRbMinVBlankUs = 460;          // reduced blanking: least vertical blanking time
constexpr unsigned kRbV1HFront = 48;            // v1: H front porch (H blanking 160 in all)
constexpr unsigned kRbV1HSync = 32;             // v1: H sync width
constexpr unsigned kRbV1HBack = 80;             // v1: H back porch
constexpr double kRbV2ClockStepMhz = 0.001;     // v2: clock in whole kHz
constexpr unsigned kRbV2HFront = 8;             // v2: H front porch (H blanking 80 in all)
constexpr unsigned kRbV2HSync = 32;             // v2: H sync width
constexpr unsigned kRbV2HBack = 40;             // v2: H back porch
constexpr unsigned kRbV2MinVFrontLines = 1;     // v2: least vertical front porch
constexpr unsigned kRbV2VSyncLines = 8;         // v2: V sync width, whatever the aspect ratio
constexpr unsigned kRbV2VBackLines = 6;         // v2: the vertical back porch
constexpr unsigned kOtherAspectVSyncLines = 10; // normal and v1: V sync of a size of no CVT ratio

// Note 1: CVT's table gives 6 lines; edid-decode keeps 7 (640x200 at 60 Hz: back porch 7).

constexpr double kMaxField = std::numeric_limits<std::uint16_t>::max();

struct CvtAspect {
    std::uint16_t width, height;
    unsigned vSyncLines; // normal and v1: the V sync width tells the display the ratio
    bool exactOnly;      // else a width of the height times the ratio rounded down counts too
};

// The ratio edid-decode takes a size for: 1365x768 is 16:9 to it, 1252x1001 is not 5:4.
CvtAspect cvtAspect(unsigned width, unsigned height)
{
    static constexpr CvtAspect kRatios[] = {{4, 3, 4, false},
                                            {16, 9, 5, false},
                                            {16, 10, 6, false},
                                            {5, 4, 7, true},
                                            {15, 9, 7, false}};
    for (const CvtAspect &ratio : kRatios) {
        const std::uint64_t times = std::uint64_t(height) * ratio.width;
        if (ratio.exactOnly ? std::uint64_t(width) * ratio.height == times
                            : width == times / ratio.height)
            return ratio;
    }
    return {0, 0, kOtherAspectVSyncLines, false};
}

// The clock in kHz: the exact one rounded down to whole steps; none if nothing is left or it
// does not fit.
std::optional<std::uint32_t> steppedClockKhz(double exactMhz, double stepMhz)
{
    const double khz = std::floor(exactMhz / stepMhz) * stepMhz * 1000;
    if (!(khz >= 1) || khz > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return std::uint32_t(std::lround(khz));
}

struct Porches {
    double front, sync, back; // pixels or lines
};

// The mode, none where a porch does not fit VideoMode's 16-bit fields.
std::optional<VideoMode> assemble(unsigned width, unsigned height, const CvtAspect &aspect,
                                  std::uint32_t clockKhz, bool reduced, const Porches &h,
                                  const Porches &v)
{
    for (const double field : {h.front, h.sync, h.back, v.front, v.sync, v.back})
        if (field < 0 || field > kMaxField)
            return std::nullopt;
    const auto at = [](double field) { return std::uint16_t(field); };
    // CVT marks reduced blanking by its sync polarities: H+ V- against normal blanking's H- V+.
    return VideoMode{at(width),   at(height),  aspect.width, aspect.height, clockKhz,
                     false,       at(h.front), at(h.sync),   at(h.back),    reduced,
                     at(v.front), at(v.sync),  at(v.back),   !reduced};
}

std::optional<VideoMode> normalBlanking(unsigned width, unsigned height, double rate)
{
    const unsigned active = width / kCellPixels * kCellPixels;
    const double hPeriodUs =
        (1 / rate - kMinVSyncAndBackPorchUs / 1e6) / (height + kVFrontPorchLines) * 1e6;
    if (active == 0 || !(hPeriodUs > 0))
        return std::nullopt;
    const CvtAspect aspect = cvtAspect(width, height);
    const double vSyncAndBack = std::max(std::floor(kMinVSyncAndBackPorchUs / hPeriodUs) + 1,
                                         double(aspect.vSyncLines + kMinVBackPorchLines));
    const double dutyPercent = std::max(
        kDutyCycleOffsetPercent - kDutyCycleGradient * hPeriodUs / 1000, kMinDutyCyclePercent);
    // Blanking in whole pairs of cells, so that half of it ends in a whole cell.
    const double hBlank =
        std::floor(active * dutyPercent / (100 - dutyPercent) / (2 * kCellPixels)) *
        (2 * kCellPixels);
    const double totalPixels = active + hBlank;
    const auto clockKhz = steppedClockKhz(totalPixels / hPeriodUs, kClockStepMhz);
    if (!clockKhz)
        return std::nullopt;
    const double hSync =
        std::uint64_t(totalPixels) * kHSyncPercent / 100 / kCellPixels * kCellPixels;
    const double hBack = hBlank / 2;
    const double vSync = aspect.vSyncLines;
    return assemble(width, height, aspect, *clockKhz, false, {hBlank - hSync - hBack, hSync, hBack},
                    {kVFrontPorchLines, vSync, vSyncAndBack - vSync});
}

std::optional<VideoMode> reducedBlanking(unsigned width, unsigned height, double rate, bool v2)
{
    const unsigned active = v2 ? width : width / kCellPixels * kCellPixels;
    const double hPeriodUs = (1e6 / rate - kRbMinVBlankUs) / height;
    if (active == 0 || !(hPeriodUs > 0))
        return std::nullopt;
    const CvtAspect aspect = cvtAspect(width, height);
    const unsigned vSync = v2 ? kRbV2VSyncLines : aspect.vSyncLines;
    const unsigned minVBlank = v2 ? kRbV2MinVFrontLines + vSync + kRbV2VBackLines
                                  : kVFrontPorchLines + vSync + kMinVBackPorchLines;
    const double vBlank = std::max(std::floor(kRbMinVBlankUs / hPeriodUs) + 1, double(minVBlank));
    const Porches h = v2 ? Porches{kRbV2HFront, kRbV2HSync, kRbV2HBack}
                         : Porches{kRbV1HFront, kRbV1HSync, kRbV1HBack};
    const double totalPixels = active + h.front + h.sync + h.back;
    const double totalLines = height + vBlank;
    const auto clockKhz = steppedClockKhz(rate * totalLines * totalPixels / 1e6,
                                          v2 ? kRbV2ClockStepMhz : kClockStepMhz);
    if (!clockKhz)
        return std::nullopt;
    // v1 keeps the front porch and grows the back porch; v2 the other way round.
    const double vFront = v2 ? vBlank - vSync - kRbV2VBackLines : kVFrontPorchLines;
    return assemble(width, height, aspect, *clockKhz, true, h,
                    {vFront, double(vSync), vBlank - vFront - vSync});
}

} // namespace

std::optional<VideoMode> cvtMode(unsigned width, unsigned height, double refreshHz,
                                 CvtBlanking blanking)
{
    if (width == 0 || height == 0 || width > kMaxField || height > kMaxField ||
        !std::isfinite(refreshHz) || !(refreshHz > 0))
        return std::nullopt;
    if (blanking == CvtBlanking::Normal)
        return normalBlanking(width, height, refreshHz);
    return reducedBlanking(width, height, refreshHz, blanking == CvtBlanking::ReducedV2);
}
