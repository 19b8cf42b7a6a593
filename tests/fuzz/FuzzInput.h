#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// One fuzz input, whole (as bytes or UTF-8 text) or carved into the values a
// target needs: fixed-width integers from the front, then fields separated by
// the byte 0xFF. That byte never occurs in UTF-8, so every other byte,
// control characters included, stays available to the texts.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_bytes(reinterpret_cast<const char*>(data), qsizetype(size))
    {}

    const QByteArray& bytes() const { return m_bytes; }
    QString text() const { return QString::fromUtf8(m_bytes); }
    // A text decoded from JSON holds a lone surrogate only through a
    // \uD800-\uDFFF escape (invalid UTF-8 fails the parse), and UTF-8 cannot
    // carry one: a record read from such JSON cannot come back from its own
    // encoding. This tells, erring on the safe side, whether the input has one.
    bool mayHoldLoneSurrogates() const { return m_bytes.toLower().contains("\\ud"); }

    // The next sizeof(T) bytes in the host's order (the seeds are written
    // little-endian); zero past the end.
    template <std::integral T>
    T integer()
    {
        T value{};
        const QByteArray raw = m_bytes.mid(m_at, qsizetype(sizeof(T)));
        std::memcpy(&value, raw.constData(), size_t(raw.size()));
        m_at += qsizetype(sizeof(T));
        return value;
    }

    // Everything not yet taken.
    QByteArray rest() const { return m_bytes.mid(m_at); }

    // The rest split at each 0xFF, at least `count` fields (the missing ones empty).
    QList<QByteArray> fields(qsizetype count) const
    {
        QList<QByteArray> parts = rest().split('\xff');
        parts.resize(qMax(parts.size(), count));
        return parts;
    }

    QList<QString> texts(qsizetype count) const
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
[[noreturn]] inline void fuzzViolated(const char* file, int line, const char* property)
{
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, property);
    std::abort();
}
#define FUZZ_REQUIRE(condition)                                                                    \
    ((condition) ? void() : fuzzViolated(__FILE__, __LINE__, #condition))
