#include "center/AccountService.h"

#include "center/ServerList.h"

#include <algorithm>

namespace ovrin::helper {

namespace {

using Kind = FlatBody::Kind;

const std::string NeedServerList = "Сначала импортируйте подписанный список серверов.";
const std::string Revoked = "Вход на этом компьютере завершён: устройство удалено из аккаунта.";
const std::string KeychainUnreadable = "Не удалось прочитать сохранённый вход.";
const std::string DisconnectFirst = "Отключите соединение перед применением новых серверов.";

} // namespace

const AccountService::Route AccountService::Routes[] = {
    {"/account/status", "GET", Needs::Nothing, &AccountService::status},
    {"/account/bootstrap", "POST", Needs::Nothing, &AccountService::bootstrap},
    {"/account/auth/request", "POST", Needs::ServerList, &AccountService::authRequest},
    {"/account/auth/verify", "POST", Needs::ServerList, &AccountService::authVerify},
    {"/account/logout", "POST", Needs::Nothing, &AccountService::logout},
    {"/account/apply", "POST", Needs::SignIn, &AccountService::apply},
    {"/account/refresh", "POST", Needs::SignIn, &AccountService::refresh},
    {"/account/keychain/retry", "POST", Needs::Nothing, &AccountService::keychainRetry},
    {"/account/cabinet", "GET", Needs::SignIn, &AccountService::cabinet},
    {"/account/pair/requests", "POST", Needs::ServerList,
     &AccountService::pairing<&AccountPairing::open>},
    {"/account/pair/status", "GET", Needs::ServerList, &AccountService::pairStatus},
    {"/account/pair/inspect", "POST", Needs::SignIn,
     &AccountService::pairing<&AccountPairing::byQr>},
    {"/account/pair/approve", "POST", Needs::SignIn,
     &AccountService::pairing<&AccountPairing::byQr>},
    {"/account/pair/codes", "POST", Needs::SignIn,
     &AccountService::pairing<&AccountPairing::createCode>},
    {"/account/pair/code-status", "GET", Needs::SignIn,
     &AccountService::pairing<&AccountPairing::codeStatus>},
    {"/account/pair/claim", "POST", Needs::ServerList,
     &AccountService::pairing<&AccountPairing::claim>},
    {"/account/pair/code-approve", "POST", Needs::SignIn,
     &AccountService::pairing<&AccountPairing::codeApprove>},
};

AccountService::AccountService(Controller& controller, Setup setup)
    : m_controller(controller)
    , m_folder(std::move(setup.folder))
    , m_center(std::move(setup.centerFolder), controller.scenario().mailUnavailable,
               std::move(setup.wall))
    , m_pairing(m_center)
{}

void AccountService::start()
{
    std::lock_guard lock(m_mutex);
    m_keychainError = m_controller.scenario().keychainError;
    m_pendingCredentials = m_controller.scenario().pendingCredentials;
    if (m_keychainError) {
        m_error = KeychainUnreadable;
        m_controller.logs().warning("account: the saved sign-in is unreadable (scenario)");
    }
    m_controller.logs().info("account: center at " + m_center.store().folder().string());
    if (const std::size_t removed = m_center.store().removeLeftovers())
        m_controller.logs().info("account: removed " + std::to_string(removed) +
                                 " temporary files left in the center by a killed helper");
    std::error_code ec;
    if (!std::filesystem::exists(m_folder.servers(), ec))
        return;
    std::string error, detail;
    if (auto verified = ServerList::load(m_folder.servers(), error, &detail)) {
        m_bootstrap = true;
        m_servers = std::move(verified->channels);
        m_controller.logs().info("account: imported server list found, " +
                                 std::to_string(m_servers.size()) + " channels");
    } else {
        m_controller.logs().warning("account: the imported server list is unusable: " + error +
                                    (detail.empty() ? "" : " (" + detail + ")"));
    }
}

Reply AccountService::handle(const Request& request, const Target& target)
{
    const std::string& path = target.path();
    const auto route = std::find_if(std::begin(Routes), std::end(Routes),
                                    [&](const Route& r) { return r.path == path; });
    if (route == std::end(Routes))
        return Reply::failure(404, "Неизвестная команда: " + path + ".");
    if (request.method != route->method) {
        Reply reply = Reply::failure(405, "Команда " + path + " ожидает метод " +
                                              std::string(route->method) + ".");
        reply.headers.emplace_back("Allow", route->method);
        return reply;
    }
    std::lock_guard lock(m_mutex);
    try {
        return dispatch(*route, request, target);
    } catch (const std::exception& error) {
        m_controller.reportFailure(
            "account_request_failed",
            {{"method", request.method}, {"target", request.target}, {"error", error.what()}});
    }
    return Reply::failure(500, "Внутренняя ошибка центра.");
}

Reply AccountService::dispatch(const Route& route, const Request& request, const Target& target)
{
    std::string error;
    std::optional<FlatBody> body = FlatBody::parse(request.body, error);
    if (!body)
        return Reply::failure(400, error);
    const Identity session = m_controller.session();
    Call call{*body, request, target, std::nullopt};
    if (!m_keychainError && !session.empty())
        call.who = session;
    if (route.needs != Needs::Nothing && !m_bootstrap)
        return Reply::failure(409, NeedServerList);
    if (route.needs == Needs::SignIn && !call.who)
        return CenterAnswer::notSignedIn(false).reply();

    CenterAnswer answer = (this->*route.handler)(call);
    if (answer.revoked)
        dropSession(Revoked);
    if (!answer.note.empty())
        m_controller.logs().info("account: " + answer.note);
    return answer.reply();
}

CenterAnswer AccountService::adopt(CenterAnswer answer)
{
    if (answer.status != 200 || !answer.signedIn)
        return answer;
    const Identity who = *answer.signedIn;
    if (auto failure = m_controller.saveSession(who)) {
        m_center.signOut(who);
        m_controller.logs().warning("account: sign-in not saved: " + *failure);
        return CenterAnswer::failure(500, "Вход не сохранён: " + *failure + ".");
    }
    m_keychainError = false;
    m_pendingCredentials = m_controller.scenario().pendingCredentials;
    m_error.clear();
    m_controller.logs().info("account: signed in as device " + who.device);
    return answer;
}

void AccountService::dropSession(const std::string& why)
{
    if (auto failure = m_controller.saveSession({}))
        m_controller.logs().warning("account: sign-out not saved: " + *failure);
    m_error = why;
    m_controller.logs().info("account: signed out" + (why.empty() ? "" : ": " + why));
}

CenterAnswer AccountService::status(Call& call)
{
    bool signedIn = false, active = false;
    std::string plan, shownError;
    if (call.who) {
        const CenterAnswer profile = m_center.profile(*call.who, false);
        if (profile.revoked) {
            dropSession(Revoked);
        } else {
            signedIn = true;
            if (profile.status == 200) {
                active = profile.body.at("active").get<bool>();
                plan = profile.body.at("plan").get<std::string>();
            } else {
                shownError = profile.body.at("error").get<std::string>();
            }
        }
    }
    return CenterAnswer::ok({{"bootstrap", m_bootstrap},
                             {"signed_in", signedIn},
                             {"keychain_error", m_keychainError},
                             {"pending_credentials", m_pendingCredentials},
                             {"device_id", signedIn ? call.who->device : std::string()},
                             {"active", active},
                             {"plan", plan},
                             {"error", shownError.empty() ? m_error : shownError}});
}

CenterAnswer AccountService::bootstrap(Call& call)
{
    call.body.allowOnly({"path"});
    const auto path = call.body.take("path", Kind::Path);
    if (!call.body.ok())
        return call.badRequest();
    std::string error, detail;
    auto verified = ServerList::load(*path, error, &detail);
    if (!verified) {
        m_controller.logs().warning("account: server list refused: " + error +
                                    (detail.empty() ? "" : " (" + detail + ")"));
        return CenterAnswer::failure(400, error);
    }
    if (auto failure = ServerList::save(*verified, m_folder.servers()))
        return CenterAnswer::failure(500, "Список серверов не сохранён: " + *failure + ".");
    m_bootstrap = true;
    m_servers = std::move(verified->channels);
    m_controller.logs().info("account: server list imported, " + std::to_string(m_servers.size()) +
                             " channels");
    return CenterAnswer::ok();
}

CenterAnswer AccountService::authRequest(Call& call)
{
    call.body.allowOnly({"email"});
    if (!call.body.ok())
        return call.badRequest();
    const auto email = call.body.take("email", Kind::Email);
    if (!email)
        return CenterAnswer::failure(400, "invalid_email");
    return m_center.requestCode(*email, call.who);
}

CenterAnswer AccountService::authVerify(Call& call)
{
    FlatBody& body = call.body;
    body.allowOnly({"challenge_id", "code", "link_token", "name", "platform", "replace_device_id"});
    const auto challenge = body.take("challenge_id", Kind::Id);
    // Only a code and no device: the signed-in account confirms its e-mail.
    if (call.who && !body.has("name") && !body.has("platform") && !body.has("link_token") &&
        !body.has("replace_device_id")) {
        const auto code = body.take("code", Kind::Code);
        if (!body.ok())
            return call.badRequest();
        return m_center.confirmEmail(*call.who, *challenge, *code);
    }
    Center::Verification verification;
    verification.code = body.take("code", Kind::Code, false);
    verification.linkToken = body.take("link_token", Kind::Token, false);
    verification.replaceDeviceId = body.take("replace_device_id", Kind::Id, false);
    const auto name = body.take("name", Kind::Label);
    const auto platform = body.take("platform", Kind::Label);
    if (!body.ok())
        return call.badRequest();
    if (verification.code.has_value() == verification.linkToken.has_value())
        return CenterAnswer::failure(400, "Укажите либо код из письма, либо ссылку из него.");
    if (call.who)
        return CenterAnswer::failure(409, AccountCall::AlreadySignedIn);
    verification.challengeId = *challenge;
    verification.device = {*name, *platform};
    return adopt(m_center.signIn(verification));
}

CenterAnswer AccountService::logout(Call& call)
{
    if (auto refused = call.refuseFields())
        return *refused;
    m_controller.stop("sign-out");
    // The saved sign-in goes even when a keychain error hides it.
    const Identity session = m_controller.session();
    if (!session.empty()) {
        const CenterAnswer freed = m_center.signOut(session);
        if (freed.status != 200)
            m_controller.logs().warning("account: the center did not free the device place: " +
                                        freed.body.value("error", std::string()));
        dropSession({});
    }
    m_keychainError = false;
    m_error.clear();
    return CenterAnswer::ok();
}

CenterAnswer AccountService::apply(Call& call)
{
    if (auto refused = call.refuseFields())
        return *refused;
    CenterAnswer profile = m_center.profile(*call.who, true);
    if (profile.status != 200)
        return profile;
    std::string reason;
    const Controller::Replacement done = m_controller.replaceChannels(m_servers, reason);
    if (done == Controller::Replacement::TunnelRunning)
        return CenterAnswer::failure(409, DisconnectFirst);
    if (done == Controller::Replacement::NotSaved)
        return CenterAnswer::failure(500, "Серверы не сохранены: " + reason + ".");
    return CenterAnswer::ok();
}

CenterAnswer AccountService::refresh(Call& call)
{
    if (auto refused = call.refuseFields())
        return *refused;
    CenterAnswer profile = m_center.profile(*call.who, true);
    if (profile.status != 200)
        return profile;
    m_pendingCredentials = false;
    m_error.clear();
    return CenterAnswer::ok();
}

CenterAnswer AccountService::keychainRetry(Call& call)
{
    if (auto refused = call.refuseFields())
        return *refused;
    if (m_keychainError)
        m_controller.logs().info("account: the saved sign-in was read again");
    m_keychainError = false;
    if (m_error == KeychainUnreadable)
        m_error.clear();
    return CenterAnswer::ok();
}

CenterAnswer AccountService::cabinet(Call& call)
{
    return m_center.cabinet(*call.who);
}

CenterAnswer AccountService::pairStatus(Call& call)
{
    CenterAnswer answer = m_pairing.status(call);
    const bool adopted = answer.signedIn.has_value();
    answer = adopt(std::move(answer));
    if (adopted && answer.status == 200)
        answer.body["profile_pending"] = m_pendingCredentials;
    return answer;
}

} // namespace ovrin::helper
