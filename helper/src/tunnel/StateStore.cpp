#include "tunnel/StateStore.h"

#include "center/CenterRandom.h"
#include "common/AtomicFile.h"
#include "common/StrictObject.h"

#include <nlohmann/json.hpp>

namespace ovrin::helper {

namespace {
constexpr int Format = 1;
}

StateStore::StateStore(std::filesystem::path file)
    : m_file(std::move(file))
{}

StateStore::Loaded StateStore::load() const
{
    Loaded loaded;
    std::error_code ec;
    if (!std::filesystem::exists(m_file, ec))
        return loaded;
    loaded.found = true;

    std::string error;
    std::optional<nlohmann::json> document = StrictObject::load(m_file, error);
    if (!document) {
        loaded.problem = error;
        return loaded;
    }
    StrictObject object(*document, m_file.filename().string());
    object.allowOnly({"format", "installed", "autoconnect", "protection", "last_channel",
                      "resume_channel", "account_id", "device_id", "applied_channels"});
    object.integer("format", Format, Format);
    Settings settings;
    settings.installed = object.boolean("installed");
    settings.autoconnect = object.boolean("autoconnect");
    settings.protection = object.boolean("protection");
    settings.lastChannel = object.text("last_channel", "");
    settings.resumeChannel = object.text("resume_channel", "");
    settings.session.account = object.text("account_id", "");
    settings.session.device = object.text("device_id", "");
    const auto idOrEmpty = [](const std::string& id) {
        return id.empty() || CenterRandom::isId(id);
    };
    if (object.ok() &&
        (!idOrEmpty(settings.session.account) || !idOrEmpty(settings.session.device) ||
         settings.session.account.empty() != settings.session.device.empty()))
        object.fail("'account_id' and 'device_id' must both be identifiers, or both empty");
    // Absent in older files. Described as in channels.json, or an empty list.
    if (const nlohmann::json* applied = object.member("applied_channels");
        object.ok() && applied != nullptr && !(applied->is_array() && applied->empty())) {
        std::string problem;
        if (auto channels = ChannelProfile::parseList({{"channels", *applied}}, problem))
            settings.appliedChannels = std::move(*channels);
        else
            object.fail("'applied_channels': " + problem);
    }
    if (object.ok())
        loaded.settings = settings;
    else
        loaded.problem = object.error();
    return loaded;
}

std::error_code StateStore::save(const Settings& settings) const
{
    nlohmann::ordered_json document = {
        {"format", Format},
        {"installed", settings.installed},
        {"autoconnect", settings.autoconnect},
        {"protection", settings.protection},
        {"last_channel", settings.lastChannel},
        {"resume_channel", settings.resumeChannel},
        {"account_id", settings.session.account},
        {"device_id", settings.session.device},
        {"applied_channels", ChannelProfile::listJson(settings.appliedChannels)},
    };
    const std::string text =
        document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    return AtomicFile::write(m_file, text, 0600);
}

} // namespace ovrin::helper
