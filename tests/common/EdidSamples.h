#pragma once

#include "EdidImage.h"

#include <QByteArray>
#include <QString>

// Bytes 0x00 to 0xFF in order: every byte value once.
inline EdidImage ascendingEdid()
{
    EdidImage image;
    for (std::size_t i = 0; i < EdidImage::kSize; ++i)
        image.bytes[i] = static_cast<std::uint8_t>(i);
    return image;
}

inline QByteArray bytesOf(const EdidImage &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.bytes.data()), EdidImage::kSize);
}

// The hex text of 256 bytes, built here independently of the program.
template <typename Bytes> QString hexText(const Bytes &bytes)
{
    QString text;
    for (int i = 0; i < 256; ++i)
        text += QString::asprintf("%02X%c", unsigned(std::uint8_t(bytes[i])),
                                  i % 16 == 15 ? '\n' : ' ');
    return text;
}
