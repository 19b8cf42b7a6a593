#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Carves one fuzz input into the values a target needs: fixed-width integers
// from the front, then fields separated by the byte 0xFF. That byte never
// occurs in UTF-8, so every other byte, control characters included, stays
// available to the texts.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_bytes(reinterpret_cast<const char*>(data), qsizetype(size))
    {}

    // The next sizeof(T) bytes, little-endian; zero past the end.
    template <std::integral T>
    T integer()
    {
        unsigned char raw[sizeof(T)] = {};
        const qsizetype n = std::min<qsizetype>(qsizetype(sizeof(T)), m_bytes.size() - m_at);
        std::memcpy(raw, m_bytes.constData() + m_at, size_t(std::max<qsizetype>(0, n)));
        m_at += qsizetype(sizeof(T));
        std::make_unsigned_t<T> value = 0;
        for (size_t i = sizeof(T); i-- > 0;)
            value = std::make_unsigned_t<T>(value << 8U | raw[i]);
        return T(value);
    }

    // Everything not yet taken.
    QByteArray rest() const { return m_at < m_bytes.size() ? m_bytes.mid(m_at) : QByteArray(); }

    // The rest split at each 0xFF, always at least `count` fields (the
    // missing ones empty).
    QList<QByteArray> fields(qsizetype count = 1) const
    {
        QList<QByteArray> parts = rest().split('\xff');
        while (parts.size() < count)
            parts.append(QByteArray());
        return parts;
    }

    QList<QString> texts(qsizetype count = 1) const
    {
        QList<QString> out;
        for (const QByteArray& field : fields(count))
            out.append(QString::fromUtf8(field));
        return out;
    }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};

// A violated property: says which one, where, and aborts so that the fuzzer
// keeps the input.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__,             \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
