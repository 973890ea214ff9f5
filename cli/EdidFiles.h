#pragma once

#include "EdidImage.h"

#include <QString>

#include <cstddef>
#include <optional>

// An EDID file as the command line reads it (interpretEdidFile's NonTextByteIsBinary rule).
struct EdidInput {
    EdidImage image;
    std::size_t size = EdidImage::kSize; // the bytes the file held: 128 or 256
    bool binary = false;
    QString error; // null when read; "FILE:LINE:COLUMN: what" for text, "FILE: what" else
};

enum class EdidFormat {
    HexText, // the window's layout: 16 lines of 16 upper-case pairs
    Binary,  // the 256 raw bytes
};

// The format a file is written in: the option's ("hex" or "bin") when given, else ".bin" means
// binary and any other name hex text. nullopt for an option of another value.
std::optional<EdidFormat> edidFormat(const QString &path, const QString &option = QString());

// The first size bytes (128 or 256) of the image.
QByteArray encodeEdid(const EdidImage &image, EdidFormat format,
                      std::size_t size = EdidImage::kSize);

// Reads an EDID file; an error names the file. connector chooses an output's EDID in a whole
// xrandr output.
EdidInput readEdidFile(const QString &path, const QString &connector = QString());

// The EDID in what was read from a file, as readEdidFile reads it; an error starts with name.
EdidInput interpretEdidContent(const QByteArray &bytes, const QString &name,
                               const QString &connector = QString());

// Saves atomically: the file is either the whole new EDID or what it was. Returns the error.
QString saveEdidFile(const QString &path, const EdidImage &image, EdidFormat format,
                     std::size_t size = EdidImage::kSize);
