#include "center/Mailer.h"

#include "common/AtomicFile.h"
#include "common/ErrorText.h"
#include "common/NameScan.h"

#include <array>
#include <cstdio>
#include <ctime>

#include <openssl/evp.h>

namespace ovrin::helper {

namespace {

constexpr int MaxSameSecond = 999;

std::tm utc(std::int64_t seconds)
{
    const std::time_t time = std::time_t(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    return parts;
}

// RFC 5322 date, independent of the process locale.
std::string mailDate(std::int64_t seconds)
{
    static constexpr std::array<const char*, 7> Days{"Sun", "Mon", "Tue", "Wed",
                                                     "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> Months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::tm t = utc(seconds);
    char text[96];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000",
                  Days[std::size_t(t.tm_wday) % 7], t.tm_mday, Months[std::size_t(t.tm_mon) % 12],
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string stamp(std::int64_t seconds)
{
    const std::tm t = utc(seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

// RFC 2047 encoded word: header fields stay ASCII while the subject is Russian.
std::string encodedWord(const std::string& text)
{
    std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    out.resize(std::size_t(length));
    return "=?UTF-8?B?" + out + "?=";
}

// The address as part of a file name: letters, digits and ".@+-_" only.
std::string fileSafe(const std::string& address)
{
    std::string out;
    for (char c : address.substr(0, 64)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '@' || c == '+' || c == '-' ||
                           c == '_';
        out += plain ? c : '_';
    }
    return out;
}

} // namespace

Mailer::Mailer(std::filesystem::path outbox)
    : m_outbox(std::move(outbox))
{}

Mailer::Letter Mailer::codeLetter(const std::string& to, const std::string& code,
                                  const std::string& challengeId, const std::string& linkToken,
                                  bool confirmation, std::int64_t now, std::int64_t validMinutes)
{
    Letter letter;
    letter.to = to;
    letter.messageId = challengeId;
    letter.sentAt = now;
    const std::string minutes = std::to_string(validMinutes);
    if (confirmation) {
        letter.subject = "Подтверждение почты в Оврин";
        letter.body = "Здравствуйте!\n\n"
                      "Код подтверждения почты: " +
                      code +
                      "\n\n"
                      "Введите его в окне «Учётная запись» приложения Оврин. Код действует " +
                      minutes + " минут.\n";
    } else {
        letter.subject = "Код входа в Оврин: " + code;
        letter.body = "Здравствуйте!\n\n"
                      "Код входа в Оврин: " +
                      code +
                      "\n\n"
                      "Или откройте эту ссылку на компьютере, где установлен Оврин:\n"
                      "ovrin://auth?challenge_id=" +
                      challengeId + "&link_token=" + linkToken +
                      "\n\n"
                      "Код и ссылка действуют " +
                      minutes + " минут.\n";
    }
    letter.body += "\nЕсли вы не запрашивали это письмо, просто удалите его.\n"
                   "\n-- \nЦентр Оврин (симуляция: письмо не отправлено, оно лежит в папке "
                   "outbox)\n";
    return letter;
}

bool Mailer::isLetterName(std::string_view name)
{
    // What fileSafe() leaves of an address.
    const auto addressPart = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '@' || c == '+' || c == '-' || c == '_';
    };
    NameScan scan(name);
    return scan.suffix(".eml") && scan.digits(8) && scan.literal("T") && scan.digits(6, 6) &&
           scan.literal("Z-") && scan.digits(3, 3) && scan.literal("-") &&
           scan.run(1, SIZE_MAX, addressPart) && scan.done();
}

std::string Mailer::render(const Letter& letter)
{
    std::string text;
    text += "From: " + encodedWord("Оврин") + " <" + std::string(Sender) + ">\r\n";
    text += "To: <" + letter.to + ">\r\n";
    text += "Subject: " + encodedWord(letter.subject) + "\r\n";
    text += "Date: " + mailDate(letter.sentAt) + "\r\n";
    text += "Message-ID: <" + letter.messageId + "@ovrin.test>\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: text/plain; charset=utf-8\r\n";
    text += "Content-Transfer-Encoding: 8bit\r\n";
    text += "\r\n";
    for (char c : letter.body) {
        if (c == '\n')
            text += "\r\n";
        else
            text += c;
    }
    return text;
}

std::optional<std::filesystem::path> Mailer::send(const Letter& letter, std::string& error) const
{
    const std::string prefix = stamp(letter.sentAt) + "-";
    const std::string suffix = "-" + fileSafe(letter.to) + ".eml";
    for (int n = 1; n <= MaxSameSecond; ++n) {
        char sequence[16];
        std::snprintf(sequence, sizeof sequence, "%03d", n);
        const std::filesystem::path file = m_outbox / (prefix + sequence + suffix);
        std::error_code ec;
        if (std::filesystem::exists(file, ec) || ec)
            continue;
        if (std::error_code failure = AtomicFile::write(file, render(letter), 0600)) {
            error = "Письмо не записано в " + m_outbox.string() + ": " +
                    ErrorText::describe(failure) + ".";
            return std::nullopt;
        }
        return file;
    }
    error = "Письмо не записано: слишком много писем за одну секунду.";
    return std::nullopt;
}

} // namespace ovrin::helper
