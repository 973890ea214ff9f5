#pragma once

#include "EdidImage.h"

#include <optional>
#include <string>
#include <vector>

// Changes to what an EDID says, each a function from an image to a new image or a refusal with
// its reason. An edit is never half-applied: after it both checksums are correct, the CTA-861
// extension's DTD offset, block lengths and native DTD count agree with its contents, and bytes
// the edit does not concern are as they were.

enum class EdidEditKind {
    SetVendor,          // three letters A-Z
    SetProduct,         // 0-65535
    SetSerial,          // 0-4294967295
    SetDate,            // YEAR, YEAR:WEEK or YEAR:model
    SetName,            // up to 13 printable ASCII characters
    SetSerialText,      // the same
    SetPreferred,       // a mode: vic:N, dtd:N, WIDTHxHEIGHT@HZ or a modeline
    AddVic,             // a VIC
    RemoveVic,          // a VIC
    SetNativeVic,       // a VIC of 1-64
    Limit,              // a mode: nothing above it stays
    SetAudio,           // none, lpcm2 or lpcm8
    AddAudio,           // ac3, eac3, dts, dtshd or mat
    RemoveAudio,        // the same
    SetSpeakers,        // speaker names joined by commas, or 2.0, 5.1, 7.1
    SetBasicAudio,      // on or off
    SetPhysicalAddress, // A.B.C.D
    SetMaxTmds,         // MHz: 25-340 in steps of 5
    RemoveDeepColour,
    AddHdmiVsdb,
    RemoveHdr,
    RemoveYcbcr420,
    RemoveHdmiForum,
};

// An edit as a caller holds it: its kind and its argument as the user typed it (empty for the
// kinds that take none). applyEdit parses and validates the argument.
struct EdidEdit {
    EdidEditKind kind;
    std::string argument;
};

struct EditResult {
    std::optional<EdidImage> image; // none when refused
    std::string refusal;
    std::vector<std::string> notes; // what the user should know, e.g. a timing that was dropped
};

namespace edits {
struct Editing;
}

// What each kind is called and takes, for the command line's options and the window's dialogs,
// and what it does.
struct EdidEditInfo {
    EdidEditKind kind;
    const char *name;     // "set-name"
    const char *argument; // "TEXT"; nullptr when the edit takes none
    const char *description;
    bool needsExtension; // refused by an EDID without a CTA-861 extension (a base block alone)
    // Changes the image to what the argument asks, or says why it cannot.
    std::string (*apply)(edits::Editing &editing, const std::string &argument);
};
const std::vector<EdidEditInfo> &edidEditKinds();
const EdidEditInfo &edidEditInfo(EdidEditKind kind);

EditResult applyEdit(const EdidImage &image, const EdidEdit &edit);
// The identity of another EDID, nothing else: its manufacturer, product code, serial number and
// date, and its product name and serial number text descriptors (Windows keeps a display's
// settings under that identity).
EditResult copyIdentity(const EdidImage &image, const EdidImage &from);
