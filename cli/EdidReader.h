#pragma once

#include "EdidImage.h"

#include <QByteArray>
#include <QString>

// An EDID as the command-line program takes it from a file: raw binary of 128 or 256 bytes, or a
// hex dump of as many bytes (pairs of digits separated by white space, commas or colons, with or
// without 0x, any number of pairs per line, runs of digits as xrandr --verbose prints them). A
// leading "EDID:" or "edid-decode (hex):" line is skipped, and a line of dashes ends the dump, as
// edid-decode prints its decoding after one. 128 bytes get a second block of zeros.
struct EdidInput {
    EdidImage image;
    bool binary = false;
    QString error; // null when read; for text it starts with "LINE:COLUMN: "
};

EdidInput parseEdidInput(const QByteArray &content);
