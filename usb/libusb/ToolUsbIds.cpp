#include "ToolUsbIds.h"

#include <algorithm>
#include <cstdlib>

namespace {

// One hexadecimal field of exactly four digits.
bool parseHexField(std::string_view field, std::uint16_t *value)
{
    if (field.size() != 4)
        return false;
    unsigned result = 0;
    for (char c : field) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return false;
        result = result * 16 + static_cast<unsigned>(digit);
    }
    *value = static_cast<std::uint16_t>(result);
    return true;
}

} // namespace

std::vector<UsbId> parseUsbIds(std::string_view text)
{
    std::vector<UsbId> ids;
    constexpr std::string_view separators = ",; \t\n";
    std::size_t start = text.find_first_not_of(separators);
    while (start != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        const std::string_view entry = text.substr(start, end - start);
        UsbId id;
        const std::size_t colon = entry.find(':');
        if (colon != std::string_view::npos && parseHexField(entry.substr(0, colon), &id.vendor) &&
            parseHexField(entry.substr(colon + 1), &id.product))
            ids.push_back(id);
        start = text.find_first_not_of(separators, end);
    }
    return ids;
}

std::vector<UsbId> toolUsbIds()
{
    std::vector<UsbId> ids = parseUsbIds(VARNEX_TOOL_USB_IDS);
    if (const char *added = std::getenv("VARNEX_USB_IDS"))
        for (const UsbId &id : parseUsbIds(added))
            ids.push_back(id);
    return ids;
}
