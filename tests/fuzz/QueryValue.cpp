// The query-value encoder on fuzzed texts (UTF-8, or raw UTF-16 with lone
// surrogates). The encoding holds only unreserved characters, "/" and %XX,
// decodes back to the text's UTF-8, and always makes a target that frames.
#include "link/QueryValue.h"
#include "FuzzInput.h"
#include "link/HelperSocket.h"

#include <QRegularExpression>
#include <QUrl>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const bool utf16 = in.integer<quint8>() & 1U;
    const QByteArray rest = in.rest();
    const QString value =
        utf16 ? QString(reinterpret_cast<const QChar*>(rest.constData()), rest.size() / 2)
              : QString::fromUtf8(rest);

    const QString encoded = queryValue(value);
    static const QRegularExpression escape(u"%[0-9A-F]{2}"_s);
    static const QRegularExpression plain(u"\\A[A-Za-z0-9._~/-]*\\z"_s);
    FUZZ_REQUIRE(plain.match(QString(encoded).remove(escape)).hasMatch());
    FUZZ_REQUIRE(QUrl::fromPercentEncoding(encoded.toLatin1()) ==
                 QString::fromUtf8(value.toUtf8()));
    FUZZ_REQUIRE(HelperSocket::frame(u"POST"_s, u"/export?to="_s + encoded, {}, {}));
    return 0;
}
