#include "link/JsonReader.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QVariant>

#include <cmath>

std::optional<QJsonObject> JsonReader::parseObject(const QByteArray& body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<bool> JsonReader::boolean(const QJsonValue& value)
{
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<qint64> JsonReader::integer(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    // Qt keeps numbers written without fraction or exponent that fit in 64
    // bits as exact integers; everything else arrives as a double.
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double d = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63, exactly representable
    if (!std::isfinite(d) || std::trunc(d) != d || d < -limit || d >= limit)
        return std::nullopt;
    return static_cast<qint64>(d);
}

std::optional<QString> JsonReader::string(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QString> JsonReader::stringAt(const std::optional<QJsonObject>& object,
                                            QStringView key)
{
    return object ? string(object->value(key)) : std::nullopt;
}

std::optional<QJsonValue> JsonReader::take(QStringView key)
{
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd()) {
        m_ok = false;
        return std::nullopt;
    }
    return it.value();
}

JsonReader& JsonReader::read(QStringView key, bool& out)
{
    return readWith(key, out, &JsonReader::boolean);
}

JsonReader& JsonReader::read(QStringView key, qint64& out)
{
    return readWith(key, out, &JsonReader::integer);
}

JsonReader& JsonReader::read(QStringView key, QString& out)
{
    return readWith(key, out, &JsonReader::string);
}

JsonReader& JsonReader::read(QStringView key, QList<qint64>& out)
{
    return readArrayWith(key, out, &JsonReader::integer);
}

JsonReader& JsonReader::read(QStringView key, QStringList& out)
{
    return readArrayWith(key, out, &JsonReader::string);
}
