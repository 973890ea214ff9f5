#pragma once

#include "EdidModes.h"

#include <optional>

// The blanking of a VESA CVT 1.2 timing: normal (for CRTs), reduced blanking v1 or v2.
enum class CvtBlanking { Normal, ReducedV1, ReducedV2 };

// The progressive timing the VESA CVT formula gives for this size and frame rate, as
// `edid-decode --cvt w=,h=,fps=,rb=0|1|2` computes it. Normal blanking and v1 work out the
// horizontal blanking from the width rounded down to whole 8-pixel cells but keep the width asked
// for; v2 takes the width as it is. The clock is exact in kHz: whole 0.25 MHz steps for normal
// blanking and v1, whole kHz for v2. The aspect ratio is the one of CVT's five (4:3, 16:9, 16:10,
// 5:4, 15:9) that the size has, which also sets the V sync width of normal blanking and v1; 0:0
// for any other size.
// None for a zero size, a rate that is not positive or leaves no time for the least vertical
// blanking, a width under 8 pixels (normal blanking, v1), a clock that rounds down to nothing, or
// a field that VideoMode cannot hold.
std::optional<VideoMode> cvtMode(unsigned width, unsigned height, double refreshHz,
                                 CvtBlanking blanking);
