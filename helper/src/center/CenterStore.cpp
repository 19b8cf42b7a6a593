#include "center/CenterStore.h"

#include "center/Mailer.h"
#include "common/AtomicFile.h"
#include "common/ErrorText.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovrin::helper {

namespace {

constexpr int Format = 1;

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

// The exclusive lock on the lock file, held for the lifetime of the object.
class Lock {
public:
    explicit Lock(const std::filesystem::path& file)
        : m_fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd < 0) {
            m_error = lastError();
            return;
        }
        int result = 0;
        while ((result = ::flock(m_fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (result != 0)
            m_error = lastError();
    }
    ~Lock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    std::error_code error() const { return m_error; }

private:
    int m_fd = -1;
    std::error_code m_error;
};

std::error_code makeFolder(const std::filesystem::path& folder)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return lastError();
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return lastError();
    if (!S_ISDIR(info.st_mode))
        return std::make_error_code(std::errc::not_a_directory);
    return {};
}

std::string dump(const nlohmann::json& document)
{
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::strict) + "\n";
}

} // namespace

CenterStore::CenterStore(std::filesystem::path folder, CenterClock::Wall wall)
    : m_folder(std::move(folder))
    , m_clock(m_folder / "clock-offset", std::move(wall))
{}

std::filesystem::path CenterStore::folderFor(const DataFolder& data)
{
    if (const char* given = std::getenv(EnvironmentVariable); given != nullptr && *given)
        return std::filesystem::path(given);
    return data.root / "center";
}

std::optional<std::string> CenterStore::prepare() const
{
    for (const auto& folder : {m_folder, outbox()}) {
        if (std::error_code error = makeFolder(folder))
            return "Не удалось открыть папку центра " + folder.string() + ": " +
                   ErrorText::describe(error) + ".";
    }
    return std::nullopt;
}

std::optional<std::string> CenterStore::read(nlohmann::json& document) const
{
    const std::filesystem::path file = this->document();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        document = nullptr;
        return std::nullopt;
    }
    if (fd < 0)
        return "Не удалось прочитать " + file.string() + ": " + ErrorText::describe(lastError()) +
               ".";
    std::string text;
    char chunk[64 * 1024];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            text.append(chunk, std::size_t(got));
        if (text.size() > DocumentLimit)
            break;
    }
    const std::error_code readError = got < 0 ? lastError() : std::error_code();
    ::close(fd);
    if (readError)
        return "Не удалось прочитать " + file.string() + ": " + ErrorText::describe(readError) +
               ".";
    if (text.size() > DocumentLimit)
        return "Хранилище центра " + file.string() + " слишком велико.";
    document = nlohmann::json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains("format") ||
        document["format"] != Format)
        return "Хранилище центра " + file.string() + " повреждено.";
    return std::nullopt;
}

std::optional<std::string>
CenterStore::update(const std::function<void(nlohmann::json&, std::int64_t)>& work) const
{
    if (auto failure = prepare())
        return failure;
    Lock lock(lockFile());
    if (lock.error())
        return "Не удалось заблокировать хранилище центра: " + ErrorText::describe(lock.error()) +
               ".";
    std::string error;
    const std::optional<std::int64_t> now = m_clock.now(error);
    if (!now)
        return error;

    nlohmann::json document;
    if (auto failure = read(document))
        return failure;
    const std::string before = document.is_null() ? std::string() : dump(document);
    work(document, *now);
    if (!document.is_object())
        return std::nullopt;
    document["format"] = Format;
    const std::string after = dump(document);
    if (after == before)
        return std::nullopt;
    if (std::error_code failure = AtomicFile::write(this->document(), after, 0600))
        return "Не удалось сохранить хранилище центра: " + ErrorText::describe(failure) + ".";
    return std::nullopt;
}

std::size_t CenterStore::removeLeftovers() const
{
    struct stat info {};
    if (::stat(m_folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return 0; // nothing written yet
    Lock lock(lockFile());
    if (lock.error())
        return 0;
    const std::string name = document().filename().string();
    return AtomicFile::removeLeftovers(m_folder,
                                       [&](std::string_view target) { return target == name; }) +
           AtomicFile::removeLeftovers(outbox(), &Mailer::isLetterName);
}

} // namespace ovrin::helper
