// The query-value encoder on fuzzed texts (UTF-8, or raw UTF-16 with lone
// surrogates). The encoding holds only unreserved characters, "/" and %XX,
// decodes back to the text's UTF-8, and always makes a target that frames.
#include "link/QueryValue.h"
#include "FuzzInput.h"
#include "link/HelperSocket.h"

#include <QUrl>

namespace {

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

bool isPlain(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'.' || c == u'_' || c == u'~' || c == u'/';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const bool utf16 = in.integer<quint8>() & 1U;
    const QByteArray rest = in.rest();
    QString value = QString::fromUtf8(rest);
    if (utf16) {
        value = QString(rest.size() / 2, Qt::Uninitialized);
        std::memcpy(value.data(), rest.constData(), size_t(value.size()) * sizeof(QChar));
    }

    const QString encoded = queryValue(value);
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) == u'%') {
            FUZZ_REQUIRE(i + 2 < encoded.size() && isHex(encoded.at(i + 1)) &&
                         isHex(encoded.at(i + 2)));
            i += 2;
        } else {
            FUZZ_REQUIRE(isPlain(encoded.at(i)));
        }
    }
    FUZZ_REQUIRE(QUrl::fromPercentEncoding(encoded.toLatin1()) ==
                 QString::fromUtf8(value.toUtf8()));
    FUZZ_REQUIRE(HelperSocket::frame(QStringLiteral("POST"),
                                     QStringLiteral("/export?to=") + encoded, {}, {}));
    return 0;
}
