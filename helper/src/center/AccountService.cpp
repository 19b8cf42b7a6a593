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
    : controller_(controller)
    , folder_(std::move(setup.folder))
    , center_(std::move(setup.centerFolder), controller.scenario().mailUnavailable,
              std::move(setup.wall))
    , pairing_(center_)
{}

void AccountService::start()
{
    std::lock_guard lock(mutex_);
    keychainError_ = controller_.scenario().keychainError;
    pendingCredentials_ = controller_.scenario().pendingCredentials;
    if (keychainError_) {
        error_ = KeychainUnreadable;
        controller_.logs().warning("account: the saved sign-in is unreadable (scenario)");
    }
    controller_.logs().info("account: center at " + center_.store().folder().string());
    if (const std::size_t removed = center_.store().removeLeftovers())
        controller_.logs().info("account: removed " + std::to_string(removed) +
                                " temporary files left in the center by a killed helper");
    std::error_code ec;
    if (!std::filesystem::exists(folder_.servers(), ec))
        return;
    std::string error, detail;
    if (auto verified = ServerList::load(folder_.servers(), error, &detail)) {
        bootstrap_ = true;
        servers_ = std::move(verified->channels);
        controller_.logs().info("account: imported server list found, " +
                                std::to_string(servers_.size()) + " channels");
    } else {
        controller_.logs().warning("account: the imported server list is unusable: " + error +
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
    std::lock_guard lock(mutex_);
    try {
        return dispatch(*route, request, target);
    } catch (const std::exception& error) {
        controller_.reportFailure(
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
    const Identity session = controller_.session();
    Call call{*body, request, target, std::nullopt};
    if (!keychainError_ && !session.empty())
        call.who = session;
    if (route.needs != Needs::Nothing && !bootstrap_)
        return Reply::failure(409, NeedServerList);
    if (route.needs == Needs::SignIn && !call.who)
        return CenterAnswer::notSignedIn(false).reply();

    CenterAnswer answer = (this->*route.handler)(call);
    if (answer.revoked)
        dropSession(Revoked);
    if (!answer.note.empty())
        controller_.logs().info("account: " + answer.note);
    return answer.reply();
}

CenterAnswer AccountService::adopt(CenterAnswer answer)
{
    if (answer.status != 200 || !answer.signedIn)
        return answer;
    const Identity who = *answer.signedIn;
    if (auto failure = controller_.saveSession(who)) {
        center_.signOut(who);
        controller_.logs().warning("account: sign-in not saved: " + *failure);
        return CenterAnswer::failure(500, "Вход не сохранён: " + *failure + ".");
    }
    keychainError_ = false;
    pendingCredentials_ = controller_.scenario().pendingCredentials;
    error_.clear();
    controller_.logs().info("account: signed in as device " + who.device);
    return answer;
}

void AccountService::dropSession(const std::string& why)
{
    if (auto failure = controller_.saveSession({}))
        controller_.logs().warning("account: sign-out not saved: " + *failure);
    error_ = why;
    controller_.logs().info("account: signed out" + (why.empty() ? "" : ": " + why));
}

CenterAnswer AccountService::status(Call& call)
{
    bool signedIn = false, active = false;
    std::string plan, shownError;
    if (call.who) {
        const CenterAnswer profile = center_.profile(*call.who, false);
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
    return CenterAnswer::ok({{"bootstrap", bootstrap_},
                             {"signed_in", signedIn},
                             {"keychain_error", keychainError_},
                             {"pending_credentials", pendingCredentials_},
                             {"device_id", signedIn ? call.who->device : std::string()},
                             {"active", active},
                             {"plan", plan},
                             {"error", shownError.empty() ? error_ : shownError}});
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
        controller_.logs().warning("account: server list refused: " + error +
                                   (detail.empty() ? "" : " (" + detail + ")"));
        return CenterAnswer::failure(400, error);
    }
    if (auto failure = ServerList::save(*verified, folder_.servers()))
        return CenterAnswer::failure(500, "Список серверов не сохранён: " + *failure + ".");
    bootstrap_ = true;
    servers_ = std::move(verified->channels);
    controller_.logs().info("account: server list imported, " + std::to_string(servers_.size()) +
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
    return center_.requestCode(*email, call.who);
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
        return center_.confirmEmail(*call.who, *challenge, *code);
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
    return adopt(center_.signIn(verification));
}

CenterAnswer AccountService::logout(Call& call)
{
    if (auto refused = call.refuseFields())
        return *refused;
    controller_.stop("sign-out");
    // The saved sign-in goes even when a keychain error hides it.
    const Identity session = controller_.session();
    if (!session.empty()) {
        const CenterAnswer freed = center_.signOut(session);
        if (freed.status != 200)
            controller_.logs().warning("account: the center did not free the device place: " +
                                       freed.body.value("error", std::string()));
        dropSession({});
    }
    keychainError_ = false;
    error_.clear();
    return CenterAnswer::ok();
}

CenterAnswer AccountService::apply(Call& call)
{
    if (auto refused = call.refuseFields())
        return *refused;
    CenterAnswer profile = center_.profile(*call.who, true);
    if (profile.status != 200)
        return profile;
    std::string reason;
    const Controller::Replacement done = controller_.replaceChannels(servers_, reason);
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
    CenterAnswer profile = center_.profile(*call.who, true);
    if (profile.status != 200)
        return profile;
    pendingCredentials_ = false;
    error_.clear();
    return CenterAnswer::ok();
}

CenterAnswer AccountService::keychainRetry(Call& call)
{
    if (auto refused = call.refuseFields())
        return *refused;
    if (keychainError_)
        controller_.logs().info("account: the saved sign-in was read again");
    keychainError_ = false;
    if (error_ == KeychainUnreadable)
        error_.clear();
    return CenterAnswer::ok();
}

CenterAnswer AccountService::cabinet(Call& call)
{
    return center_.cabinet(*call.who);
}

CenterAnswer AccountService::pairStatus(Call& call)
{
    CenterAnswer answer = pairing_.status(call);
    const bool adopted = answer.signedIn.has_value();
    answer = adopt(std::move(answer));
    if (adopted && answer.status == 200)
        answer.body["profile_pending"] = pendingCredentials_;
    return answer;
}

} // namespace ovrin::helper
