#pragma once

#include <cstddef>
#include <limits>
#include <string_view>

namespace ovrin::helper {

// Checks that a file name has a fixed shape, reading it from the front; each step consumes
// what it matched and says whether it did. Cheaper and plainer than a regular expression
// for the helper's few own naming patterns.
class NameScan {
public:
    explicit NameScan(std::string_view name)
        : m_rest(name)
    {}

    bool literal(std::string_view text)
    {
        if (!m_rest.starts_with(text))
            return false;
        m_rest.remove_prefix(text.size());
        return true;
    }
    // Takes `text` off the end of the name.
    bool suffix(std::string_view text)
    {
        if (!m_rest.ends_with(text))
            return false;
        m_rest.remove_suffix(text.size());
        return true;
    }
    // Between `min` and `max` characters that `accept` takes, as many as there are.
    bool run(std::size_t min, std::size_t max, bool (*accept)(char))
    {
        std::size_t n = 0;
        while (n < m_rest.size() && n < max && accept(m_rest[n]))
            ++n;
        m_rest.remove_prefix(n);
        return n >= min;
    }
    bool digits(std::size_t min, std::size_t max = std::numeric_limits<std::size_t>::max())
    {
        return run(min, max, [](char c) { return c >= '0' && c <= '9'; });
    }
    bool done() const { return m_rest.empty(); }

private:
    std::string_view m_rest;
};

} // namespace ovrin::helper
