#include "JsonText.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

bool plain(char c)
{
    return c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20;
}

void appendString(std::string &out, const std::string &text)
{
    out += '"';
    if (std::all_of(text.begin(), text.end(), plain)) { // as nearly every text is
        out += text;
        out += '"';
        return;
    }
    for (const char c : text) {
        const char *escape = c == '\b'   ? "\\b"
                             : c == '\f' ? "\\f"
                             : c == '\n' ? "\\n"
                             : c == '\r' ? "\\r"
                             : c == '\t' ? "\\t"
                                         : nullptr;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (escape) {
            out += escape;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

void append(std::string &out, const Json &json, int depth);

void appendArray(std::string &out, const Json::Array &items, int depth)
{
    out += "[\n";
    for (std::size_t n = 0; n < items.size(); ++n) {
        out.append(std::size_t(4 * (depth + 1)), ' ');
        append(out, items[n], depth + 1);
        out += n + 1 < items.size() ? ",\n" : "\n";
    }
    out.append(std::size_t(4 * depth), ' ');
    out += ']';
}

// Its members in the order of their keys, as QJsonObject keeps them.
void appendObject(std::string &out, const Json::Object &members, int depth)
{
    std::vector<std::size_t> order(members.size());
    for (std::size_t n = 0; n < order.size(); ++n)
        order[n] = n;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return members[a].first < members[b].first; });
    out += "{\n";
    for (std::size_t n = 0; n < order.size(); ++n) {
        const auto &[key, value] = members[order[n]];
        out.append(std::size_t(4 * (depth + 1)), ' ');
        appendString(out, key);
        out += ": ";
        append(out, value, depth + 1);
        out += n + 1 < order.size() ? ",\n" : "\n";
    }
    out.append(std::size_t(4 * depth), ' ');
    out += '}';
}

// As Qt prints a double: a whole number within 2^53 as an integer, what is not finite as null.
void appendNumber(std::string &out, double value)
{
    char text[32];
    if (!std::isfinite(value))
        out += "null";
    else if (value == std::trunc(value) && std::fabs(value) <= 9007199254740992.0)
        out.append(text, std::to_chars(text, text + sizeof text, std::int64_t(value)).ptr);
    else
        out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void append(std::string &out, const Json &json, int depth)
{
    std::visit(
        [&](const auto &value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::nullptr_t>) {
                out += "null";
            } else if constexpr (std::is_same_v<T, bool>) {
                out += value ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                char text[24];
                out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
            } else if constexpr (std::is_same_v<T, double>) {
                appendNumber(out, value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                appendString(out, value);
            } else if constexpr (std::is_same_v<T, Json::Array>) {
                appendArray(out, value, depth);
            } else {
                appendObject(out, value, depth);
            }
        },
        json.value);
}

} // namespace

std::string Json::indentedItem(int depth) const
{
    std::string out(std::size_t(4 * depth), ' ');
    out.reserve(1 << 14);
    append(out, *this, depth);
    return out;
}

QJsonValue Json::toQJsonValue() const
{
    return std::visit(
        [](const auto &value) -> QJsonValue {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::nullptr_t>) {
                return QJsonValue();
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return qint64(value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return QString::fromStdString(value);
            } else if constexpr (std::is_same_v<T, Json::Array>) {
                QJsonArray array;
                for (const Json &item : value)
                    array.append(item.toQJsonValue());
                return array;
            } else if constexpr (std::is_same_v<T, Json::Object>) {
                QJsonObject object;
                for (const auto &[key, member] : value)
                    object.insert(QString::fromStdString(key), member.toQJsonValue());
                return object;
            } else {
                return value;
            }
        },
        value);
}

std::string latin1ToUtf8(const std::string &text)
{
    std::string utf8;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            utf8 += c;
        } else {
            utf8 += char(0xC0 | code >> 6);
            utf8 += char(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}
