#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ovrin::helper {

// The body of an account request as the application sends it: one flat JSON object whose
// values are all strings ("{}", or nothing at all, when there are no fields). Every field is
// checked against what it may hold; the first problem is kept, in Russian, in error().
class FlatBody {
public:
    enum class Kind {
        Id,    // an identifier the center handed out: 32 lower-case hex digits
        Token, // a secret the center handed out: 43 base64url characters
        Code,  // a code as typed: 1 to 32 bytes of printable UTF-8, upper-cased
        Label, // a device name or platform: 1 to 128 bytes of printable UTF-8
        Email, // see email()
        Path,  // an absolute path of printable UTF-8, at most 4096 bytes
    };

    static constexpr std::size_t BodyLimit = 64 * 1024;

    // Nothing, with a Russian `error`, unless the body is empty or a flat object of strings.
    static std::optional<FlatBody> parse(std::string_view bytes, std::string& error);

    // Fails on any key not listed.
    void allowOnly(std::initializer_list<std::string_view> keys);
    bool has(std::string_view key) const { return m_fields.count(std::string(key)) != 0; }
    // The checked value; nothing when absent (an error when `required`) or invalid.
    std::optional<std::string> take(std::string_view key, Kind kind, bool required = true);

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

    // Trimmed, ASCII letters lower-cased; nothing unless one "@" splits it into a non-empty
    // local part and domain, with no blank or control character, at most 254 bytes.
    static std::optional<std::string> email(std::string_view text);
    // UTF-8 that decodes, without control characters.
    static bool printable(std::string_view text);

private:
    std::map<std::string, std::string> m_fields;
    std::string m_error;
};

} // namespace ovrin::helper
