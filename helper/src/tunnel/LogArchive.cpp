#include "tunnel/LogArchive.h"

#include "common/AtomicFile.h"
#include "common/ErrorText.h"

#include <memory>

#include <zip.h>

namespace ovrin::helper {

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct SourceCloser {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

std::string zipError(zip_error_t* error)
{
    return zip_error_strerror(error);
}

} // namespace

std::optional<std::string> LogArchive::build(const std::vector<Entry>& entries, std::string& error)
{
    zip_error_t zerror;
    zip_error_init(&zerror);
    std::unique_ptr<zip_source_t, SourceCloser> memory(
        zip_source_buffer_create(nullptr, 0, 0, &zerror));
    if (!memory) {
        error = zipError(&zerror);
        zip_error_fini(&zerror);
        return std::nullopt;
    }
    // The archive takes a reference of its own; ours keeps the bytes readable after zip_close.
    std::unique_ptr<zip_t, ArchiveCloser> archive(
        zip_open_from_source(memory.get(), ZIP_TRUNCATE, &zerror));
    if (!archive) {
        error = zipError(&zerror);
        zip_error_fini(&zerror);
        return std::nullopt;
    }
    zip_source_keep(memory.get());
    zip_error_fini(&zerror);

    for (const Entry& entry : entries) {
        zip_source_t* data =
            zip_source_buffer(archive.get(), entry.bytes.data(), entry.bytes.size(), 0);
        const zip_int64_t index = data == nullptr
                                      ? -1
                                      : zip_file_add(archive.get(), entry.name.c_str(), data,
                                                     ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            if (data != nullptr)
                zip_source_free(data);
            error = zip_strerror(archive.get());
            return std::nullopt;
        }
        if (entry.modified != 0)
            zip_file_set_mtime(archive.get(), zip_uint64_t(index), entry.modified, 0);
    }
    if (zip_close(archive.get()) != 0) {
        error = zip_strerror(archive.get());
        return std::nullopt;
    }
    archive.release();

    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_source_stat(memory.get(), &info) != 0 || zip_source_open(memory.get()) != 0) {
        error = zip_error_strerror(zip_source_error(memory.get()));
        return std::nullopt;
    }
    std::string bytes(std::size_t(info.size), '\0');
    const zip_int64_t read = zip_source_read(memory.get(), bytes.data(), info.size);
    zip_source_close(memory.get());
    if (read < 0 || zip_uint64_t(read) != info.size) {
        error = "archive could not be read back";
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> LogArchive::write(const std::filesystem::path& target,
                                             const std::vector<Entry>& entries)
{
    const std::string prefix = "Не удалось записать архив «" + target.string() + "»: ";
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec))
        return prefix + ErrorText::describe(std::make_error_code(std::errc::is_a_directory)) + ".";
    std::string error;
    std::optional<std::string> bytes = build(entries, error);
    if (!bytes)
        return prefix + "ошибка упаковки (" + error + ").";
    if (std::error_code failed = AtomicFile::write(target, *bytes, 0644))
        return prefix + ErrorText::describe(failed) + ".";
    return std::nullopt;
}

} // namespace ovrin::helper
