#pragma once

#include <QJsonValue>

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

// A JSON value built without Qt's containers and printed as QJsonDocument prints it indented:
// decode --json writes thousands of them in one run, and a QJsonObject costs many times more.
// Its texts are UTF-8 and an object's keys are unique and ASCII, as every caller's are: Qt
// would sort other keys by UTF-16 and keep the last of equal ones.
struct Json {
    using Array = std::vector<Json>;
    using Object = std::vector<std::pair<std::string, Json>>; // its keys printed in order

    std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Array, Object> value =
        nullptr;

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool flag) : value(flag) {}
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
    Json(T number) : value(std::int64_t(number))
    {}
    Json(double number) : value(number) {}
    Json(const char *text) : value(std::string(text)) {}
    Json(std::string text) : value(std::move(text)) {}
    Json(Array array) : value(std::move(array)) {}
    Json(Object object) : value(std::move(object)) {}

    // The value as an item of an array at depth, as QJsonDocument prints it indented: four
    // spaces a level, its objects' keys sorted, no line end.
    std::string indentedItem(int depth) const;
    QJsonValue toQJsonValue() const;
};

// A text of 8-bit characters, each as the Unicode character of its code: what an EDID's text
// bytes mean.
std::string latin1ToUtf8(const std::string &text);
