#include "transport/Target.h"

namespace ovrin::helper {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::string> Target::decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += char(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<Target> Target::parse(std::string_view raw)
{
    if (raw.empty() || raw.front() != '/')
        return std::nullopt;
    Target target;
    const std::size_t question = raw.find('?');
    target.m_path = std::string(raw.substr(0, question));
    if (question == std::string_view::npos)
        return target;

    std::string_view query = raw.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty())
            continue;
        const std::size_t equals = item.find('=');
        auto name = decode(item.substr(0, equals));
        auto value =
            decode(equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1));
        if (!name || !value)
            return std::nullopt;
        target.m_arguments.emplace_back(std::move(*name), std::move(*value));
    }
    return target;
}

std::optional<std::string> Target::query(std::string_view name) const
{
    for (const auto& [key, value] : m_arguments)
        if (key == name)
            return value;
    return std::nullopt;
}

} // namespace ovrin::helper
