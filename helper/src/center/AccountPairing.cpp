#include "center/AccountPairing.h"

#include "center/CenterRandom.h"

namespace ovrin::helper {

namespace {

using Kind = FlatBody::Kind;

const std::string PairSecretHeader = "x-pair-secret";
const CenterAnswer BadQueryId = CenterAnswer::failure(400, "Неверный параметр id.");

// The identifier in the query argument "id"; nothing when absent or malformed.
std::optional<std::string> queryId(const Target& target)
{
    std::optional<std::string> id = target.query("id");
    return id && CenterRandom::isId(*id) ? id : std::nullopt;
}

} // namespace

AccountPairing::AccountPairing(Center& center)
    : m_pairing(center)
{}

CenterAnswer AccountPairing::open(AccountCall& call)
{
    call.body.allowOnly({"name", "platform"});
    const auto name = call.body.take("name", Kind::Label);
    const auto platform = call.body.take("platform", Kind::Label);
    if (!call.body.ok())
        return call.badRequest();
    if (call.who)
        return CenterAnswer::failure(409, AccountCall::AlreadySignedIn);
    return m_pairing.open({*name, *platform});
}

CenterAnswer AccountPairing::status(AccountCall& call)
{
    const auto id = queryId(call.target);
    if (!id)
        return BadQueryId;
    const std::string* secret = call.request.header(PairSecretHeader);
    if (secret == nullptr || !CenterRandom::isToken(*secret))
        return CenterAnswer::failure(403, "Секрет заявки не подходит.");
    CenterAnswer answer = m_pairing.status(*id, *secret);
    // A helper that is already signed in keeps its own sign-in.
    if (call.who)
        answer.signedIn.reset();
    return answer;
}

CenterAnswer AccountPairing::byQr(AccountCall& call)
{
    call.body.allowOnly({"id", "qr_token"});
    const auto id = call.body.take("id", Kind::Id);
    const auto token = call.body.take("qr_token", Kind::Token);
    if (!call.body.ok())
        return call.badRequest();
    if (call.target.path() == "/account/pair/inspect")
        return m_pairing.inspect(*call.who, *id, *token);
    return m_pairing.approve(*call.who, *id, *token);
}

CenterAnswer AccountPairing::createCode(AccountCall& call)
{
    if (auto refused = call.refuseFields())
        return *refused;
    return m_pairing.createCode(*call.who);
}

CenterAnswer AccountPairing::codeStatus(AccountCall& call)
{
    const auto id = queryId(call.target);
    if (!id)
        return BadQueryId;
    return m_pairing.codeStatus(*call.who, *id);
}

CenterAnswer AccountPairing::claim(AccountCall& call)
{
    call.body.allowOnly({"id", "secret", "code"});
    const auto id = call.body.take("id", Kind::Id);
    const auto secret = call.body.take("secret", Kind::Token);
    const auto code = call.body.take("code", Kind::Code);
    if (!call.body.ok())
        return call.badRequest();
    if (call.who)
        return CenterAnswer::failure(409, AccountCall::AlreadySignedIn);
    return m_pairing.claim(*id, *secret, *code);
}

CenterAnswer AccountPairing::codeApprove(AccountCall& call)
{
    call.body.allowOnly({"id", "request_id"});
    const auto id = call.body.take("id", Kind::Id);
    const auto requestId = call.body.take("request_id", Kind::Id);
    if (!call.body.ok())
        return call.badRequest();
    return m_pairing.codeApprove(*call.who, *id, *requestId);
}

} // namespace ovrin::helper
