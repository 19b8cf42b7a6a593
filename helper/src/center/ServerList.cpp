#include "center/ServerList.h"

#include "common/AtomicFile.h"
#include "common/ErrorText.h"
#include "common/StrictObject.h"

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

namespace ovrin::helper {

// The public half of resources/sample-servers/demo-signing-key.pem: a demo key, whose
// private half is in the repository. A real helper would carry the center's own key.
const std::array<unsigned char, 32> ServerList::PublicKey{
    0xa6, 0x3d, 0x00, 0x7a, 0x5d, 0x16, 0x6b, 0x0b, 0x5f, 0x6d, 0xe3, 0x9d, 0x61, 0x15, 0xc4, 0x78,
    0xbb, 0x85, 0x8a, 0xf9, 0x00, 0xe3, 0x5f, 0x36, 0x92, 0x8f, 0x34, 0x24, 0x7b, 0x10, 0xa7, 0xd5};

namespace {

enum class Read { Ok, Missing, TooLarge, Failed };

// A regular file of at most `limit` bytes.
Read readFile(const std::filesystem::path& file, std::uintmax_t limit, std::string& bytes,
              std::error_code& error)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = {errno, std::generic_category()};
        return errno == ENOENT ? Read::Missing : Read::Failed;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = std::make_error_code(std::errc::is_a_directory);
        return Read::Failed;
    }
    if (std::uintmax_t(info.st_size) > limit)
        return Read::TooLarge;
    char chunk[16 * 1024];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            bytes.append(chunk, std::size_t(got));
        if (bytes.size() > limit)
            return Read::TooLarge;
    }
    if (got < 0) {
        error = {errno, std::generic_category()};
        return Read::Failed;
    }
    return Read::Ok;
}

std::optional<std::vector<ChannelProfile>> parseList(const std::string& list, std::string& detail)
{
    const nlohmann::json document = nlohmann::json::parse(list, nullptr, false);
    if (document.is_discarded()) {
        detail = "not JSON";
        return std::nullopt;
    }
    StrictObject top(document, "servers.json");
    top.allowOnly({"format", "issued_at", "channels"});
    top.integer("format", 1, 1);
    top.integer("issued_at", 0, INT64_MAX);
    nlohmann::json channels = nlohmann::json::array();
    if (const nlohmann::json* given = top.member("channels"); given != nullptr && given->is_array())
        for (const nlohmann::json& entry : *given) {
            StrictObject item(entry, "server");
            if (item.text("host").empty() && item.ok())
                item.fail("'host' must not be empty");
            item.integer("port", 1, 65535);
            if (!item.ok()) {
                top.fail(item.error());
                break;
            }
            nlohmann::json channel = entry;
            channel.erase("host");
            channel.erase("port");
            channels.push_back(std::move(channel));
        }
    if (!top.ok()) {
        detail = top.error();
        return std::nullopt;
    }
    // The channel fields and their limits are the ones of channels.json.
    return ChannelProfile::parseList({{"channels", std::move(channels)}}, detail);
}

} // namespace

bool ServerList::signatureMatches(std::string_view data, std::string_view signature,
                                  const std::array<unsigned char, 32>& key)
{
    if (signature.size() != SignatureSize)
        return false;
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()),
        &EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    if (!pkey || !context)
        return false;
    // Ed25519 signs the message itself: no digest is named.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, pkey.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(), reinterpret_cast<const unsigned char*>(data.data()),
                            data.size()) == 1;
}

std::optional<ServerList::Verified> ServerList::check(std::string list, std::string signature,
                                                      std::string& error, std::string* detail)
{
    if (signature.size() != SignatureSize) {
        error = "Подпись servers.json.sig повреждена: в ней должно быть ровно 64 байта.";
        return std::nullopt;
    }
    if (!signatureMatches(list, signature, PublicKey)) {
        error = "Подпись списка серверов не сходится: servers.json изменён или подписан "
                "чужим ключом.";
        return std::nullopt;
    }
    std::string problem;
    auto channels = parseList(list, problem);
    if (!channels) {
        error = problem == "not JSON"
                    ? "Список серверов servers.json повреждён: это не JSON."
                    : "Список серверов servers.json повреждён: каналы описаны неверно.";
        if (detail != nullptr)
            *detail = problem;
        return std::nullopt;
    }
    return Verified{std::move(list), std::move(signature), std::move(*channels)};
}

std::optional<ServerList::Verified> ServerList::load(const std::filesystem::path& folder,
                                                     std::string& error, std::string* detail)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "Папка «" + folder.string() + "» не найдена.";
        return std::nullopt;
    }
    std::string list, signature;
    std::error_code failure;
    switch (readFile(folder / ListName, ListLimit, list, failure)) {
    case Read::Ok:
        break;
    case Read::Missing:
        error = "В папке нет списка серверов servers.json.";
        return std::nullopt;
    case Read::TooLarge:
        error = "Список серверов servers.json больше 1 МиБ.";
        return std::nullopt;
    case Read::Failed:
        error = "Не удалось прочитать servers.json: " + ErrorText::describe(failure) + ".";
        return std::nullopt;
    }
    switch (readFile(folder / SignatureName, SignatureSize, signature, failure)) {
    case Read::Ok:
        break;
    case Read::Missing:
        error = "В папке нет подписи списка серверов servers.json.sig.";
        return std::nullopt;
    case Read::TooLarge:
        error = "Подпись servers.json.sig повреждена: в ней должно быть ровно 64 байта.";
        return std::nullopt;
    case Read::Failed:
        error = "Не удалось прочитать servers.json.sig: " + ErrorText::describe(failure) + ".";
        return std::nullopt;
    }
    return check(std::move(list), std::move(signature), error, detail);
}

std::optional<std::string> ServerList::save(const Verified& verified,
                                            const std::filesystem::path& folder)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return ErrorText::describe({errno, std::generic_category()});
    // The signature goes last: a list without its matching signature is refused at start.
    if (std::error_code error = AtomicFile::write(folder / ListName, verified.list, 0600))
        return ErrorText::describe(error);
    if (std::error_code error = AtomicFile::write(folder / SignatureName, verified.signature, 0600))
        return ErrorText::describe(error);
    return std::nullopt;
}

} // namespace ovrin::helper
