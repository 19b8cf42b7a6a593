#include "transport/Router.h"

#include <algorithm>
#include <array>

namespace ovrin::helper {

namespace {

enum class Method { Get, Post };

struct Route {
    std::string_view path;
    Method method;
};

constexpr std::array Routes{
    Route{"/status", Method::Get},
    Route{"/connect", Method::Post},
    Route{"/stop", Method::Post},
    Route{"/autoconnect", Method::Post},
    Route{"/autoconnect/cancel", Method::Post},
    Route{"/protection", Method::Post},
    Route{"/install", Method::Post},
    Route{"/export", Method::Post},
    Route{"/clear-logs", Method::Post},
    Route{"/updates/status", Method::Get},
    Route{"/updates/intent", Method::Post},
};

// Polls arrive every second; they are counted rather than logged one by one.
bool isPoll(const Request& request, const std::string& path)
{
    return request.method == "GET" &&
           (path == "/status" || path == "/updates/status" || path == "/account/status" ||
            path == "/account/pair/status" || path == "/account/pair/code-status");
}

std::optional<bool> parseSwitch(const std::optional<std::string>& value)
{
    if (value == "1")
        return true;
    if (value == "0")
        return false;
    return std::nullopt;
}

Reply badSwitch()
{
    return Reply::text(400, "Ожидался параметр on=1 или on=0.");
}

const Reply SessionRefused = Reply::text(403, "Сеанс обновления не подтверждён.");

} // namespace

Router::Router(Controller& controller, std::string updateSession, AccountService& account)
    : m_controller(controller)
    , m_updateSession(std::move(updateSession))
    , m_account(account)
{}

bool Router::sessionMatches(const Request& request) const
{
    const std::string* given = request.header(SessionHeader);
    if (given == nullptr || m_updateSession.empty() || given->size() != m_updateSession.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < given->size(); ++i)
        difference |= static_cast<unsigned char>((*given)[i] ^ m_updateSession[i]);
    return difference == 0;
}

Outcome Router::handle(const Request& request)
{
    std::optional<Target> target = Target::parse(request.target);
    if (!target)
        return logged(request, request.target,
                      Reply::text(400, "Неверный адрес запроса: " + request.target));

    const std::string path = target->path();
    auto answer = [this, request, target = *target]() -> Outcome {
        const auto& refusals = m_controller.scenario().refusals;
        if (auto refusal = refusals.find(target.path()); refusal != refusals.end())
            return Reply::text(refusal->second.status, refusal->second.body);
        return guarded(request, [&] { return route(request, target); });
    };
    const auto& delays = m_controller.scenario().delays;
    if (auto delay = delays.find(path); delay != delays.end())
        return logged(request, path, Outcome(delay->second, answer));
    return logged(request, path, answer());
}

Outcome Router::logged(const Request& request, const std::string& path, Outcome outcome)
{
    if (outcome.deferred()) {
        return Outcome(outcome.delay, [this, request, path, later = std::move(outcome.later)] {
            return logged(request, path, guarded(request, later));
        });
    }
    if (isPoll(request, path) && outcome.reply.status < 400)
        m_controller.logs().count(request.method + " " + path);
    else
        m_controller.logs().info(request.method + " " + request.target + " -> " +
                                 std::to_string(outcome.reply.status));
    return outcome;
}

Outcome Router::guarded(const Request& request, const std::function<Outcome()>& work)
{
    try {
        return work();
    } catch (const std::exception& error) {
        m_controller.reportFailure(
            "request_failed",
            {{"method", request.method}, {"target", request.target}, {"error", error.what()}});
    } catch (...) {
        m_controller.reportFailure("request_failed",
                                   {{"method", request.method}, {"target", request.target}});
    }
    return Reply::text(500, "Внутренняя ошибка помощника.");
}

Outcome Router::route(const Request& request, const Target& target)
{
    const std::string& path = target.path();
    if (path == "/account" || path.starts_with("/account/"))
        return m_account.handle(request, target);

    auto known = std::find_if(Routes.begin(), Routes.end(),
                              [&](const Route& route) { return route.path == path; });
    if (known == Routes.end())
        return Reply::text(404, "Неизвестная команда: " + path);
    const char* expected = known->method == Method::Get ? "GET" : "POST";
    if (request.method != expected) {
        Reply reply = Reply::text(405, "Команда " + path + " ожидает метод " + expected + ".");
        reply.headers.emplace_back("Allow", expected);
        return reply;
    }

    if (path == "/status")
        return Reply::json(200, m_controller.status());
    if (path == "/connect")
        return m_controller.connect(target.query("i"));
    if (path == "/stop") {
        const std::optional<std::string> reason = target.query("reason");
        if (!reason)
            return m_controller.stop({});
        if (*reason != "update")
            return Reply::text(400, "Неизвестная причина остановки: " + *reason + ".");
        return sessionMatches(request) ? m_controller.stop("update") : SessionRefused;
    }
    if (path == "/autoconnect") {
        const std::optional<bool> on = parseSwitch(target.query("on"));
        return on ? m_controller.setAutoconnect(*on) : badSwitch();
    }
    if (path == "/autoconnect/cancel")
        return m_controller.cancelAutomatic();
    if (path == "/protection") {
        const std::optional<bool> on = parseSwitch(target.query("on"));
        return on ? m_controller.setProtection(*on) : badSwitch();
    }
    if (path == "/install")
        return m_controller.install();
    if (path == "/export") {
        const std::optional<std::string> to = target.query("to");
        if (!to || to->empty())
            return Reply::text(400, "Не указан путь для архива.");
        return m_controller.exportLogs(*to);
    }
    if (path == "/clear-logs")
        return m_controller.clearLogs();
    if (path == "/updates/status")
        return Reply::json(200, {{"due", false}});

    // /updates/intent
    if (!sessionMatches(request))
        return SessionRefused;
    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (!body.is_object() || !body.contains("build") || !body["build"].is_number_integer())
        return Reply::text(400, "Ожидался JSON с целым числом build.");
    return m_controller.saveForUpdate(body["build"].get<std::int64_t>());
}

} // namespace ovrin::helper
