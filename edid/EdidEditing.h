#pragma once

// What the edits of EdidEdit.h share among their sources; callers use EdidEdit.h.

#include "CtaCollection.h"
#include "EdidDescription.h"
#include "EdidEncoder.h"
#include "EdidModes.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace edits {

// The image an edit changes (a copy: a refused edit leaves the caller's as it was) and what it
// tells the user. Each edit returns its refusal, empty when it applied.
struct Editing {
    EdidImage image;
    std::vector<std::string> notes;
};

// Reads block 1's collection, lets change() alter it and writes it back; the refusal of any step.
std::string changeCta(Editing &editing, const std::function<std::string(CtaCollection &)> &change);

// A whole number, decimal or 0x hex, of at most max.
std::optional<unsigned long> parseNumber(const std::string &text, unsigned long max);

// A base block descriptor slot that another descriptor may take: a dummy one or all zeros.
bool isUnusedSlot(const EdidImage &image, const Descriptor &descriptor);
// The base block's detailed timings come before its other descriptors (VESA E-EDID 1.4
// 3.10.1), so these keep that order: a DTD goes after the last one, taking the room of an unused
// slot (false when none is), and the descriptors after a removed one move up, leaving a dummy
// descriptor in the last slot.
bool insertBaseDtd(EdidImage &image, std::size_t at, const CtaCollection::Dtd &dtd);
bool appendBaseDtd(EdidImage &image, const CtaCollection::Dtd &dtd);
void removeBaseDescriptor(EdidImage &image, std::size_t slot);
// "a DTD", "the product name", ...: what a descriptor slot holds, in words.
const char *slotContent(const Descriptor &descriptor);

// ---- Timings ----

// Sizes, scan and totals equal and pixel clocks within 0.1 % (a 1000/1001 rate is the same VIC).
bool sameTiming(const VideoMode &a, const VideoMode &b);
// "vic:16"; "dtd:2", the EDID's own second detailed timing; "1920x1080@60" (or 1920x1080i@60, a
// rate with decimals) found among the CTA-861 VICs, the DMT modes or the EDID's own detailed
// timings, in that order; or an X modeline "148.5 1920 2008 2052 2200 1080 1084 1089 1125 +hsync
// +vsync".
std::optional<VideoMode> resolveMode(const std::string &text, const EdidDescription &description,
                                     std::string &refusal);
// The 18 bytes of a detailed timing descriptor with digital separate sync.
std::optional<CtaCollection::Dtd> dtdBytes(const VideoMode &mode, unsigned hSizeMm,
                                           unsigned vSizeMm, std::string &refusal);

// ---- The edits, by their source file ----

// EdidEditBase.cpp
std::string setVendor(Editing &editing, const std::string &argument);
std::string setProduct(Editing &editing, const std::string &argument);
std::string setSerial(Editing &editing, const std::string &argument);
std::string setDate(Editing &editing, const std::string &argument);
std::string setName(Editing &editing, const std::string &argument);
std::string setSerialText(Editing &editing, const std::string &argument);
std::string copyIdentity(Editing &editing, const EdidImage &from);

// EdidEditPreferred.cpp
std::string setPreferred(Editing &editing, const std::string &argument);
// DTD 1 of the base block becomes the mode, keeping the image size the former one gave; the
// former one is kept where there is room when asked.
std::string makePreferred(Editing &editing, const VideoMode &mode, bool keepFormerTiming);

// EdidEditVideo.cpp
std::string addVic(Editing &editing, const std::string &argument);
std::string removeVic(Editing &editing, const std::string &argument);
std::string setNativeVic(Editing &editing, const std::string &argument);

// EdidEditLimit.cpp
std::string limit(Editing &editing, const std::string &argument);

// EdidEditAudio.cpp
std::string setAudio(Editing &editing, const std::string &argument);
std::string addAudio(Editing &editing, const std::string &argument);
std::string removeAudio(Editing &editing, const std::string &argument);
std::string setSpeakers(Editing &editing, const std::string &argument);
std::string setBasicAudio(Editing &editing, const std::string &argument);

// EdidEditHdmi.cpp
std::string setPhysicalAddress(Editing &editing, const std::string &argument);
std::string setMaxTmds(Editing &editing, const std::string &argument);
std::string removeDeepColour(Editing &editing, const std::string &argument);
std::string addHdmiVsdb(Editing &editing, const std::string &argument);
std::string removeHdr(Editing &editing, const std::string &argument);
std::string removeYcbcr420(Editing &editing, const std::string &argument);
std::string removeHdmiForum(Editing &editing, const std::string &argument);

} // namespace edits
