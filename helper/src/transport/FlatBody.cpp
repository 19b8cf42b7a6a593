#include "transport/FlatBody.h"

#include "center/CenterRandom.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

namespace {

std::string named(std::string_view key)
{
    return "«" + std::string(key) + "»";
}

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

bool FlatBody::printable(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t point = 0;
        if (lead < 0x80) {
            length = 1;
            point = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            point = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            point = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (next & 0x3F);
        }
        static constexpr char32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < Smallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        if (point < 0x20 || (point >= 0x7F && point < 0xA0) || point == 0x2028 || point == 0x2029)
            return false;
        i += length;
    }
    return true;
}

std::optional<std::string> FlatBody::email(std::string_view text)
{
    text = trimmed(text);
    if (text.empty() || text.size() > 254 || !printable(text))
        return std::nullopt;
    std::string address(text);
    std::transform(address.begin(), address.end(), address.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    const std::size_t at = address.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string::npos)
        return std::nullopt;
    if (address.find_first_of(" \t<>\"") != std::string::npos)
        return std::nullopt;
    return address;
}

std::optional<FlatBody> FlatBody::parse(std::string_view bytes, std::string& error)
{
    FlatBody body;
    if (trimmed(bytes).empty())
        return body;
    if (bytes.size() > BodyLimit) {
        error = "Тело запроса слишком велико.";
        return std::nullopt;
    }
    const nlohmann::json document = nlohmann::json::parse(bytes, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        error = "Тело запроса должно быть объектом JSON.";
        return std::nullopt;
    }
    for (const auto& [key, value] : document.items()) {
        if (!value.is_string()) {
            error = "Поле " + named(printable(key) ? key : "?") + " должно быть строкой.";
            return std::nullopt;
        }
        body.m_fields[key] = value.get<std::string>();
    }
    return body;
}

void FlatBody::allowOnly(std::initializer_list<std::string_view> keys)
{
    for (const auto& [key, unused] : m_fields) {
        if (m_error.empty() && std::find(keys.begin(), keys.end(), key) == keys.end())
            m_error = "Неизвестное поле " + named(printable(key) ? key : "?") + ".";
    }
}

std::optional<std::string> FlatBody::take(std::string_view key, Kind kind, bool required)
{
    const auto it = m_fields.find(std::string(key));
    if (it == m_fields.end()) {
        if (required && m_error.empty())
            m_error = "Не указано поле " + named(key) + ".";
        return std::nullopt;
    }
    const std::string& value = it->second;
    std::optional<std::string> checked;
    switch (kind) {
    case Kind::Id:
        if (CenterRandom::isId(value))
            checked = value;
        break;
    case Kind::Token:
        if (CenterRandom::isToken(value))
            checked = value;
        break;
    case Kind::Code:
        if (const std::string_view code = trimmed(value);
            !code.empty() && code.size() <= 32 && printable(code)) {
            checked = std::string(code);
            std::transform(checked->begin(), checked->end(), checked->begin(),
                           [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
        }
        break;
    case Kind::Label:
        if (!trimmed(value).empty() && value.size() <= 128 && printable(value))
            checked = std::string(trimmed(value));
        break;
    case Kind::Email:
        checked = email(value);
        break;
    case Kind::Path:
        if (!value.empty() && value.front() == '/' && value.size() <= 4096 && printable(value))
            checked = value;
        break;
    }
    if (!checked && m_error.empty())
        m_error = "Поле " + named(key) + " заполнено неверно.";
    return checked;
}

} // namespace ovrin::helper
