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

struct Fixture {
    int argc = 1;
    char name[8] = "fuzzing";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    CoreRig rig;
    int links = 0;
};

Fixture& fixture()
{
    static Fixture f;
    // The fake helper keeps a thread per connection until it stops: a fresh
    // one now and then bounds them.
    if (f.links++ % 200 == 0) {
        f.rig.stop();
        FUZZ_REQUIRE(f.rig.start());
        f.rig.helper->route("POST", "/account/auth/verify", FakeHelper::Reply::json(200, "{}"));
    }
    return f;
}

// What the helper was asked to verify for `link`, or nothing when the link
// was ignored.
std::optional<QJsonObject> verified(const QString& link)
{
    CoreRig& rig = fixture().rig;
    rig.core->setShowAccount(false);
    rig.helper->clearRequests();
    rig.core->receiveAuthLink(QUrl(link.trimmed(), QUrl::StrictMode));
    FUZZ_REQUIRE(settleRoundTrips(FakeHelper::ms(30'000)));
    const QList<FakeHelper::Request> requests =
        rig.helper->requests("POST", "/account/auth/verify");
    if (!rig.core->showAccount()) {
        FUZZ_REQUIRE(requests.isEmpty());
        return std::nullopt;
    }
    FUZZ_REQUIRE(requests.size() == 1);
    FUZZ_REQUIRE(rig.dialogs.alerts.isEmpty());
    QJsonParseError error{};
    const QJsonDocument body = QJsonDocument::fromJson(requests.first().body, &error);
    FUZZ_REQUIRE(error.error == QJsonParseError::NoError && body.isObject());
    return body.object();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text =
        QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (const std::optional<QJsonObject> body = verified(text)) {
        const QUrl url(text.trimmed(), QUrl::StrictMode);
        FUZZ_REQUIRE(url.scheme() == u"ovrin" && url.host() == u"auth");
        FUZZ_REQUIRE(!body->value(u"challenge_id").toString().isEmpty());
        FUZZ_REQUIRE(!body->value(u"link_token").toString().isEmpty());
    }

    const QList<QString> values = FuzzInput(data, size).texts(2);
    const QString& challenge = values.at(0);
    const QString& token = values.at(1);
    const QString link = u"ovrin://auth?challenge_id="_s +
                         QString::fromLatin1(QUrl::toPercentEncoding(challenge)) +
                         u"&link_token="_s + QString::fromLatin1(QUrl::toPercentEncoding(token));
    const std::optional<QJsonObject> body = verified(link);
    if (challenge.isEmpty() || token.isEmpty()) {
        FUZZ_REQUIRE(!body);
    } else {
        FUZZ_REQUIRE(body);
        FUZZ_REQUIRE(body->value(u"challenge_id") == challenge);
        FUZZ_REQUIRE(body->value(u"link_token") == token);
    }
    return 0;
}
