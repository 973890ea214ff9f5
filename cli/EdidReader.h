#pragma once

#include "EdidImage.h"

#include <QByteArray>
#include <QString>

#include <cstddef>

// An EDID as the command-line program takes it from a file: raw binary of 128 or 256 bytes (a
// kernel's /sys/class/drm/*/edid as it is), or a hex dump of as many bytes (pairs of digits
// separated by white space, commas or colons, with or without 0x, any number of pairs per line,
// runs of digits as xrandr --verbose prints them). A leading "EDID:" or "edid-decode (hex):" line
// is skipped, and a line of dashes ends the dump, as edid-decode prints its decoding after one. A
// whole xrandr --props or --verbose output is read too: its only EDID, or the one of the output
// named by connector. 128 bytes get a second block of zeros.
struct EdidInput {
    EdidImage image;
    std::size_t size = EdidImage::kSize; // the bytes the input held: 128 or 256
    bool binary = false;
    QString error; // null when read; for text it starts with "LINE:COLUMN: " or "LINE: "
};

EdidInput parseEdidInput(const QByteArray &content, const QString &connector = QString());
