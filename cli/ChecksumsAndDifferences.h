#pragma once

#include "EdidImage.h"

#include <QJsonArray>
#include <QString>

#include <cstdint>
#include <vector>

// Wrong checksums and differing bytes, as check, diff and write's verification report them: in
// words and as JSON.

struct WrongChecksum {
    int block;
    std::uint8_t stored;
    std::uint8_t correct;
};

std::vector<WrongChecksum> wrongChecksums(const EdidImage &image);
// "block 1 checksum is 0x00, should be 0x9C", both blocks joined by "; ".
QString describe(const std::vector<WrongChecksum> &wrong);
QJsonArray toJson(const std::vector<WrongChecksum> &wrong);

struct ByteDifference {
    int offset;
    std::uint8_t a;
    std::uint8_t b;
};

std::vector<ByteDifference> differences(const EdidImage &a, const EdidImage &b);
// "0x0A  A0  B2": the offset, then the byte of each image.
QString describe(const ByteDifference &difference);
QJsonArray toJson(const std::vector<ByteDifference> &differences);
