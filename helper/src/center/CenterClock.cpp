#include "center/CenterClock.h"

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace ovrin::helper {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

CenterClock::CenterClock(std::filesystem::path offsetFile, Wall wall)
    : m_offsetFile(std::move(offsetFile))
    , m_wall(wall ? std::move(wall) : [] { return std::int64_t(std::time(nullptr)); })
{}

std::optional<std::int64_t> CenterClock::parseOffset(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.size() > 20)
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (value < -MaxOffset || value > MaxOffset)
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> CenterClock::now(std::string& error) const
{
    std::int64_t offset = 0;
    if (const char* given = std::getenv(EnvironmentVariable); given != nullptr && *given) {
        const auto parsed = parseOffset(given);
        if (!parsed) {
            error = std::string("Неверный сдвиг часов ") + EnvironmentVariable +
                    ": ожидалось целое число секунд.";
            return std::nullopt;
        }
        offset += *parsed;
    }
    std::ifstream file(m_offsetFile);
    if (file) {
        std::ostringstream text;
        text << file.rdbuf();
        const auto parsed = parseOffset(text.str());
        if (!parsed) {
            error = "Неверный сдвиг часов в файле " + m_offsetFile.string() +
                    ": ожидалось целое число секунд.";
            return std::nullopt;
        }
        offset += *parsed;
    }
    return m_wall() + offset;
}

} // namespace ovrin::helper
