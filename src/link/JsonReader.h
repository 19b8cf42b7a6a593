#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <concepts>
#include <optional>

// Strict reading of the helper's JSON records, shared by every record that
// crosses the socket. Every key read is required and of its exact JSON type:
// booleans only true/false, texts only strings, integers only numbers with an
// integral value inside the signed 64-bit range (5.0 and 1e2 are integers,
// 5.5 and 2^63 are not). Unknown keys are ignored. A record decodes whole or
// not at all:
//
//     JsonReader in(object);
//     in.read(u"running", s.running).read(u"active", s.active);
//     if (!in.ok()) return std::nullopt;
class JsonReader {
public:
    explicit JsonReader(QJsonObject object)
        : m_object(std::move(object))
    {}

    // The body as one JSON object, or nothing (not JSON, or another type).
    static std::optional<QJsonObject> parseObject(const QByteArray& body);

    static std::optional<bool> boolean(const QJsonValue& value);
    static std::optional<qint64> integer(const QJsonValue& value);
    static std::optional<QString> string(const QJsonValue& value);
    // The string at `key` of a reply's object, when there is an object.
    static std::optional<QString> stringAt(const std::optional<QJsonObject>& object,
                                           QStringView key);

    JsonReader& read(QStringView key, bool& out);
    JsonReader& read(QStringView key, qint64& out);
    JsonReader& read(QStringView key, QString& out);
    JsonReader& read(QStringView key, QList<qint64>& out);
    JsonReader& read(QStringView key, QStringList& out);

    // A nested record or an array of records, each with
    // `static std::optional<T> fromJson(const QJsonObject&)`.
    template <typename T>
    requires requires(const QJsonObject& o)
    {
        {
            T::fromJson(o)
            } -> std::same_as<std::optional<T>>;
    }
    JsonReader& read(QStringView key, T& out);
    template <typename T>
    requires requires(const QJsonObject& o)
    {
        {
            T::fromJson(o)
            } -> std::same_as<std::optional<T>>;
    }
    JsonReader& read(QStringView key, QList<T>& out);

    // Absent key: nothing. Present: must be valid like a required one.
    template <typename T>
    JsonReader& readOptional(QStringView key, std::optional<T>& out);

    bool ok() const { return m_ok; }
    const QJsonObject& object() const { return m_object; }

private:
    // The value under `key`, or nothing (marking the record failed).
    std::optional<QJsonValue> take(QStringView key);
    template <typename T, typename Convert>
    JsonReader& readWith(QStringView key, T& out, Convert convert);
    template <typename T, typename Convert>
    JsonReader& readArrayWith(QStringView key, QList<T>& out, Convert convert);

    QJsonObject m_object;
    bool m_ok = true;
};

template <typename T, typename Convert>
JsonReader& JsonReader::readWith(QStringView key, T& out, Convert convert)
{
    if (const std::optional<QJsonValue> value = take(key)) {
        if (auto converted = convert(*value))
            out = std::move(*converted);
        else
            m_ok = false;
    }
    return *this;
}

template <typename T, typename Convert>
JsonReader& JsonReader::readArrayWith(QStringView key, QList<T>& out, Convert convert)
{
    const std::optional<QJsonValue> value = take(key);
    if (!value)
        return *this;
    if (!value->isArray()) {
        m_ok = false;
        return *this;
    }
    const QJsonArray array = value->toArray();
    QList<T> items;
    items.reserve(array.size());
    for (const QJsonValue& element : array) {
        auto converted = convert(element);
        if (!converted) {
            m_ok = false;
            return *this;
        }
        items.append(std::move(*converted));
    }
    out = std::move(items);
    return *this;
}

template <typename T>
requires requires(const QJsonObject& o)
{
    {
        T::fromJson(o)
        } -> std::same_as<std::optional<T>>;
}
JsonReader& JsonReader::read(QStringView key, T& out)
{
    return readWith(key, out, [](const QJsonValue& v) -> std::optional<T> {
        return v.isObject() ? T::fromJson(v.toObject()) : std::nullopt;
    });
}

template <typename T>
requires requires(const QJsonObject& o)
{
    {
        T::fromJson(o)
        } -> std::same_as<std::optional<T>>;
}
JsonReader& JsonReader::read(QStringView key, QList<T>& out)
{
    return readArrayWith(key, out, [](const QJsonValue& v) -> std::optional<T> {
        return v.isObject() ? T::fromJson(v.toObject()) : std::nullopt;
    });
}

template <typename T>
JsonReader& JsonReader::readOptional(QStringView key, std::optional<T>& out)
{
    out.reset();
    if (!m_object.contains(key))
        return *this;
    T value{};
    read(key, value);
    if (m_ok)
        out = std::move(value);
    return *this;
}
