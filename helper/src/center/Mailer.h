#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovrin::helper {

// The center's outgoing mail: one RFC 5322 message per letter, UTF-8 plain text, written as
// an .eml file into the outbox folder instead of being sent. File names start with the
// center's time, so the newest letter sorts last: "20260101T120000Z-001-anna@example.ru.eml".
class Mailer {
public:
    static constexpr const char* Sender = "no-reply@ovrin.test";

    struct Letter {
        std::string to;
        std::string subject;
        std::string body;
        std::string messageId; // the part before "@", safe in a header
        std::int64_t sentAt = 0;
    };

    explicit Mailer(std::filesystem::path outbox);

    // The letter with a sign-in code and link, or with an e-mail confirmation code.
    static Letter codeLetter(const std::string& to, const std::string& code,
                             const std::string& challengeId, const std::string& linkToken,
                             bool confirmation, std::int64_t now, std::int64_t validMinutes);

    // A letter's file name: "20260101T120000Z-001-anna@example.ru.eml".
    static bool isLetterName(std::string_view name);

    // The whole message as written.
    static std::string render(const Letter& letter);

    // Writes the letter; its file, or nothing with a Russian `error`. Callers serialise the
    // writes (the center's lock); names never collide with an earlier letter.
    std::optional<std::filesystem::path> send(const Letter& letter, std::string& error) const;

private:
    std::filesystem::path m_outbox;
};

} // namespace ovrin::helper
