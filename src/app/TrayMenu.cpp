#include "app/TrayMenu.h"

#include "link/Rate.h"

#include <QKeySequence>
#include <QMenu>

#include <algorithm>

using namespace Qt::StringLiterals;

TrayMenu::TrayMenu(QMenu* menu, Actions actions, QObject* parent)
    : QObject(parent)
    , m_menu(menu)
    , m_actions(std::move(actions))
{
    m_menu->clear();
    m_header = m_menu->addAction(QString());
    m_header->setEnabled(false);
    m_menu->addSeparator();
    m_channelsEnd = m_menu->addSeparator();
    m_off = m_menu->addAction(u"Отключить"_s);
    connect(m_off, &QAction::triggered, this, [this] { m_actions.off(); });
    connect(m_menu->addAction(u"Показать окно"_s), &QAction::triggered, this,
            [this] { m_actions.show(); });
    connect(m_menu->addAction(u"Проверить обновления"_s), &QAction::triggered, this,
            [this] { m_actions.updates(); });
    m_menu->addSeparator();
    QAction* quit = m_menu->addAction(u"Выйти и отключить"_s);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, [this] { m_actions.quit(); });
    m_shown.channels = {u"\n"_s}; // differs from any status: the first update writes all
    update(Status());
}

void TrayMenu::setHost(Host host)
{
    if (host == m_host)
        return;
    m_host = host;
    m_shown.channels = {u"\n"_s};
    update(Status());
}

QString TrayMenu::header(const Status& status)
{
    if (!status.running)
        return u"Отключено"_s;
    return (status.primary ? u"Подключено: "_s : u"Трафик идёт мимо: "_s) +
           plainLine(status.activeChannel().value_or(u"—"_s));
}

QString TrayMenu::tooltip(const Status& status)
{
    QString text = header(status);
    if (!status.running)
        return text;
    if (status.latency_ms >= 1)
        text += u" · "_s + QString::number(status.latency_ms) + u" мс"_s;
    return text + u" · ↓ "_s + rate(status.down_bps) + u" ↑ "_s + rate(status.up_bps) +
           u" Мбит/с"_s;
}

QString TrayMenu::plainLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    }
    if (line.size() > maxLabelLength) {
        qsizetype cut = maxLabelLength - 1;
        if (line.at(cut - 1).isHighSurrogate())
            --cut;
        line = line.left(cut) + u'…';
    }
    return line;
}

QString TrayMenu::label(const QString& text, Host host)
{
    QString written = text;
    if (host == Host::Popup)
        return written.replace(u'&', u"&&"_s);
    written.replace(u'_', u"__"_s);
    // Only the first "&" is read by the export; doubling it makes it literal.
    if (const qsizetype first = written.indexOf(u'&'); first >= 0)
        written.insert(first, u'&');
    return written;
}

void TrayMenu::setLabel(QAction* action, const QString& text)
{
    action->setText(label(text, m_host));
}

void TrayMenu::update(const Status& status)
{
    const bool labelsChanged = status.channels != m_shown.channels;
    if (header(status) != header(m_shown) || labelsChanged)
        setLabel(m_header, header(status));

    const qsizetype count = std::min<qsizetype>(status.channels.size(), maxChannelItems);
    while (m_channels.size() > count)
        delete m_channels.takeLast();
    if (m_channels.size() < count) {
        // Appended after taking the commands off the end and put back after
        // them: inserting in the middle costs a move of every later item, a
        // hundred thousand times over for a long list.
        const QList<QAction*> all = m_menu->actions();
        const QList<QAction*> tail = all.mid(all.indexOf(m_channelsEnd));
        for (QAction* action : tail)
            m_menu->removeAction(action);
        QList<QAction*> added;
        added.reserve(count - m_channels.size());
        while (m_channels.size() < count) {
            auto* channel = new QAction(m_menu);
            const int index = int(m_channels.size());
            connect(channel, &QAction::triggered, this, [this, index] { m_actions.pick(index); });
            m_channels.append(channel);
            added.append(channel);
        }
        m_menu->addActions(added);
        m_menu->addActions(tail);
    }
    for (qsizetype i = 0; i < count; ++i) {
        QAction* channel = m_channels.at(i);
        if (labelsChanged) {
            const QString& name = status.channels.at(i);
            const QString line = plainLine(name);
            setLabel(channel, line);
            channel->setToolTip(line == name ? QString() : name);
        }
        const bool checked = status.running && i == status.active;
        channel->setCheckable(checked);
        channel->setChecked(checked);
    }
    m_off->setVisible(status.running);
    m_shown = status;
}
