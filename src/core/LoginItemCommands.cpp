// Launch at login through the platform's login item.
#include "core/Core.h"

#include "platform/LoginItem.h"
#include "platform/SystemLog.h"

using namespace Qt::StringLiterals;

void Core::setLaunchAtLogin(bool on)
{
    const std::optional<QString> refusal =
        on ? m_ports.loginItem->registerItem() : m_ports.loginItem->unregisterItem();
    if (refusal)
        m_ports.systemLog->write(u"автозапуск: "_s + *refusal);
    readLaunchAtLogin();
}
