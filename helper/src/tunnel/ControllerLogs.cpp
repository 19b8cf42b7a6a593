// The log commands of Controller: export, clearing, failure reports.
#include "tunnel/Controller.h"

#include "tunnel/LogArchive.h"

#include <cstdio>
#include <ctime>

namespace ovrin::helper {

namespace {

std::string megabits(std::int64_t bps)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(bps) / 1e6);
    return text;
}

std::string yesNo(bool value)
{
    return value ? "да" : "нет";
}

} // namespace

void Controller::reportFailure(std::string_view event, const nlohmann::json& details)
{
    m_logs.warning("failure: " + std::string(event));
    m_logs.snapshot(event, details);
}

std::string Controller::summaryLocked(TimePoint now)
{
    const std::time_t wall = std::time(nullptr);
    char stamp[32];
    std::tm parts{};
    gmtime_r(&wall, &parts);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &parts);

    std::string text = "Оврин, эталонный помощник " + m_version + "\n";
    text += "Симуляция: трафик не передаётся, сетевой экран не затрагивается.\n";
    text += "Выгружено: " + std::string(stamp) + "\n\nКаналы:\n";
    const auto& channels = m_simulation.channels();
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const ChannelProfile& c = channels[i];
        text += "  " + std::to_string(i) + ". " + c.name + " (" + c.transportName() + ", " +
                std::to_string(c.latencyMs) + " мс, " + megabits(c.downBps) + "/" +
                megabits(c.upBps) + " Мбит/с)\n";
    }
    const EngineProfile& engine = m_simulation.engine();
    text += "\nДвижок: seed " + std::to_string(engine.seed) + ", такт " +
            std::to_string(engine.tick.count()) + " мс, проверка через " +
            std::to_string(engine.verifyAfter.count()) + " мс\n";
    text += "\nНастройки:\n";
    text += "  служебный компонент установлен: " + yesNo(m_settings.installed) + "\n";
    text += "  подключаться при запуске: " + yesNo(m_settings.autoconnect) + "\n";
    text += "  строгая защита: " + yesNo(m_settings.protection) + "\n";
    text += "  последний канал: " + m_settings.lastChannel + "\n";
    text +=
        "\nПоследнее состояние:\n" +
        statusLocked(now).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
        "\n";
    return text;
}

Reply Controller::exportLogs(const std::string& target)
{
    if (target.find('\0') != std::string::npos) {
        m_logs.warning("export refused: the destination holds a NUL byte");
        return Reply::text(400, "Путь для архива содержит недопустимый символ.");
    }
    if (target.empty() || target.front() != '/') {
        m_logs.warning("export refused: the destination is not an absolute path");
        return Reply::text(400, "Путь для архива должен быть полным (начинаться с «/»).");
    }
    if (m_scenario.exportFailure) {
        m_logs.warning("export to " + target + " failed (scenario)");
        return Reply::text(500, "Не удалось записать архив «" + target +
                                    "»: " + *m_scenario.exportFailure + ".");
    }

    std::string summary;
    {
        std::lock_guard lock(m_mutex);
        summary = summaryLocked(m_clock());
    }
    std::vector<LogArchive::Entry> entries;
    for (Logs::File& file : m_logs.collect())
        entries.push_back({std::move(file.name), std::move(file.bytes), file.modified});
    entries.push_back({"summary.txt", std::move(summary), std::time(nullptr)});

    if (std::optional<std::string> failure = LogArchive::write(target, entries)) {
        m_logs.warning("export to " + target + " failed: " + *failure);
        return Reply::text(500, *failure);
    }
    m_logs.info("logs exported to " + target + " (" + std::to_string(entries.size()) + " files)");
    return Reply::json(200, {{"path", target}});
}

Reply Controller::clearLogs()
{
    const std::vector<std::string> failures = m_logs.clear();
    if (failures.empty())
        return Reply::empty(204);
    std::string text = "Не удалось удалить:";
    for (const std::string& failure : failures)
        text += " " + failure + ";";
    text.back() = '.';
    return Reply::text(500, text);
}

} // namespace ovrin::helper
