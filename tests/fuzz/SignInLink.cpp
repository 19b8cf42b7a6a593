// The sign-in link, parsed where the application parses it: inside
// Core::receiveAuthLink, which reads the link and hands its values to the
// helper. The parse has no entry of its own, so a Core on fake ports sends
// to a fake helper and the request it receives is the parse's outcome.
//
// Fuzzed text is read as the application reads a link handed to it; a link
// composed from a fuzzed challenge and token, percent-encoded, must bring
// exactly those values to the helper.
#include "CoreRig.h"
#include "FuzzInput.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// What the helper was asked to verify for `link`, or nothing when the link
// was ignored.
std::optional<QJsonObject> verified(const QString& link)
{
    static int argc = 1;
    static char name[] = "fuzzing";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static CoreRig rig;
    static int links = 0;
    // The fake helper keeps a thread per connection until it stops: a fresh
    // one now and then bounds them.
    if (links++ % 200 == 0) {
        rig.stop();
        FUZZ_REQUIRE(rig.start());
        rig.helper->route("POST", "/account/auth/verify", FakeHelper::Reply::json(200, "{}"));
    }
    rig.core->setShowAccount(false);
    rig.helper->clearRequests();
    rig.core->receiveAuthLink(QUrl(link.trimmed(), QUrl::StrictMode));
    FUZZ_REQUIRE(settleRoundTrips(FakeHelper::ms(30'000)));
    const auto requests = rig.helper->requests("POST", "/account/auth/verify");
    if (!rig.core->showAccount()) {
        FUZZ_REQUIRE(requests.isEmpty());
        return std::nullopt;
    }
    FUZZ_REQUIRE(requests.size() == 1 && rig.dialogs.alerts.isEmpty());
    const QJsonDocument body = QJsonDocument::fromJson(requests.first().body);
    FUZZ_REQUIRE(body.isObject());
    return body.object();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput in(data, size);
    if (const std::optional<QJsonObject> body = verified(in.text())) {
        const QUrl url(in.text().trimmed(), QUrl::StrictMode);
        FUZZ_REQUIRE(url.scheme() == u"ovrin" && url.host() == u"auth");
        FUZZ_REQUIRE(!body->value(u"challenge_id").toString().isEmpty());
        FUZZ_REQUIRE(!body->value(u"link_token").toString().isEmpty());
    }

    const QList<QString> values = in.texts(2);
    const auto encoded = [](const QString& v) { return QUrl::toPercentEncoding(v); };
    const QString challenge = values.at(0), token = values.at(1);
    const std::optional<QJsonObject> body = verified(QString::fromLatin1(
        "ovrin://auth?challenge_id=" + encoded(challenge) + "&link_token=" + encoded(token)));
    if (challenge.isEmpty() || token.isEmpty())
        FUZZ_REQUIRE(!body);
    else
        FUZZ_REQUIRE(body && body->value(u"challenge_id") == challenge &&
                     body->value(u"link_token") == token);
    return 0;
}
