#include "common/StrictObject.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ovrin::helper {

StrictObject::StrictObject(const nlohmann::json& value, std::string context)
    : m_value(value)
    , m_context(std::move(context))
{
    if (!m_value.is_object())
        fail("expected a JSON object");
}

std::optional<nlohmann::json> StrictObject::load(const std::filesystem::path& file,
                                                 std::string& error)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read " + file.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + file.string();
        return std::nullopt;
    }
    nlohmann::json value = nlohmann::json::parse(text.str(), nullptr, false);
    if (value.is_discarded()) {
        error = file.string() + ": not valid JSON";
        return std::nullopt;
    }
    return value;
}

void StrictObject::fail(const std::string& problem)
{
    if (m_error.empty())
        m_error = m_context + ": " + problem;
}

void StrictObject::allowOnly(std::initializer_list<std::string_view> keys)
{
    if (!m_value.is_object())
        return;
    for (const auto& [key, unused] : m_value.items()) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            fail("unknown key '" + key + "'");
    }
}

const nlohmann::json* StrictObject::member(std::string_view key)
{
    if (!m_value.is_object())
        return nullptr;
    auto it = m_value.find(key);
    return it == m_value.end() ? nullptr : &*it;
}

const nlohmann::json* StrictObject::required(std::string_view key, bool hasFallback)
{
    const nlohmann::json* found = member(key);
    if (found == nullptr && !hasFallback && m_value.is_object())
        fail("missing key '" + std::string(key) + "'");
    return found;
}

std::int64_t StrictObject::integer(std::string_view key, std::int64_t min, std::int64_t max,
                                   std::optional<std::int64_t> fallback)
{
    const nlohmann::json* found = required(key, fallback.has_value());
    if (found == nullptr)
        return fallback.value_or(min);
    std::int64_t value = min;
    if (found->is_number_integer() &&
        !(found->is_number_unsigned() && found->get<std::uint64_t>() > std::uint64_t(INT64_MAX)))
        value = found->get<std::int64_t>();
    else {
        fail("'" + std::string(key) + "' must be an integer");
        return min;
    }
    if (value < min || value > max) {
        fail("'" + std::string(key) + "' must be between " + std::to_string(min) + " and " +
             std::to_string(max));
        return min;
    }
    return value;
}

bool StrictObject::boolean(std::string_view key, std::optional<bool> fallback)
{
    const nlohmann::json* found = required(key, fallback.has_value());
    if (found == nullptr)
        return fallback.value_or(false);
    if (!found->is_boolean()) {
        fail("'" + std::string(key) + "' must be true or false");
        return false;
    }
    return found->get<bool>();
}

std::string StrictObject::text(std::string_view key, std::optional<std::string> fallback)
{
    const nlohmann::json* found = required(key, fallback.has_value());
    if (found == nullptr)
        return fallback.value_or(std::string());
    if (!found->is_string()) {
        fail("'" + std::string(key) + "' must be a string");
        return {};
    }
    return found->get<std::string>();
}

} // namespace ovrin::helper
