#include "platform/desktop/XdgLoginItem.h"

#include "platform/AppIdentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

bool hasControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// The keys of the first group, which must be [Desktop Entry]; nothing when
// the file is not a desktop entry at all.
std::optional<QHash<QString, QString>> mainGroup(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    QHash<QString, QString> keys;
    bool inMain = false;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (inMain)
                break;
            if (line != u"[Desktop Entry]")
                return std::nullopt;
            inMain = true;
            continue;
        }
        if (!inMain)
            return std::nullopt;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            return std::nullopt;
        keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    if (!inMain)
        return std::nullopt;
    return keys;
}

} // namespace

XdgLoginItem::XdgLoginItem(QString autostartFolder, QString executable)
    : m_folder(std::move(autostartFolder))
    , m_executable(std::move(executable))
{}

XdgLoginItem::XdgLoginItem()
    : XdgLoginItem(defaultFolder(), QCoreApplication::applicationFilePath())
{}

QString XdgLoginItem::defaultFolder()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + u"/.config"_s;
    return config + u"/autostart"_s;
}

QString XdgLoginItem::entryPath() const
{
    return m_folder + u'/' + AppIdentity::bundleIdentifier() + u".desktop"_s;
}

std::optional<QString> XdgLoginItem::execValue(const QString& program)
{
    if (program.isEmpty() || hasControl(program))
        return std::nullopt;
    // Quoting inside the argument first, then the string escape of the
    // value (so a literal backslash ends up as four), then field codes.
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    QString value = u'"' + quoted + u'"';
    value.replace(u"\\"_s, u"\\\\"_s);
    value.replace(u"%"_s, u"%%"_s);
    return value;
}

bool XdgLoginItem::isEnabled() const
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::optional<QHash<QString, QString>> keys = mainGroup(file.readAll());
    return keys && keys->value(u"Type"_s) == u"Application" && !keys->value(u"Name"_s).isEmpty() &&
           !keys->value(u"Exec"_s).isEmpty() && keys->value(u"Hidden"_s) != u"true";
}

std::optional<QString> XdgLoginItem::registerItem()
{
    const std::optional<QString> exec = execValue(m_executable);
    if (!exec)
        return u"путь к программе нельзя записать в запись автозапуска: %1"_s.arg(m_executable);
    if (!QDir().mkpath(m_folder))
        return u"не удалось создать папку %1"_s.arg(m_folder);
    const QString entry = u"[Desktop Entry]\n"
                          u"Type=Application\n"
                          u"Version=1.0\n"
                          u"Name=Оврин\n"
                          u"Exec="_s +
                          *exec +
                          u"\n"
                          u"Terminal=false\n"
                          u"X-GNOME-Autostart-enabled=true\n"_s;
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.toUtf8()) < 0 || !file.commit())
        return u"%1: %2"_s.arg(entryPath(), file.errorString());
    return std::nullopt;
}

std::optional<QString> XdgLoginItem::unregisterItem()
{
    QFile file(entryPath());
    if (!file.exists() || file.remove())
        return std::nullopt;
    return u"%1: %2"_s.arg(entryPath(), file.errorString());
}
