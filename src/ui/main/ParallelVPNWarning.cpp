#include "ui/main/ParallelVPNWarning.h"

#include "core/Core.h"
#include "ui/main/Popover.h"
#include "ui/main/WarningButton.h"

using namespace Qt::StringLiterals;

ParallelVPNWarning::ParallelVPNWarning(Core& core, QWidget* view)
    : QObject(view)
    , m_core(core)
    , m_view(view)
{
    m_button = new WarningButton(view);
    connect(m_button, &WarningButton::clicked, this, [this] { setOpen(!m_open); });
    m_popover = new Popover(view);
    m_popover->setAttribute(Qt::WA_WindowPropagation);
    connect(m_popover, &Popover::closed, this, [this] { setOpen(false); });
    connect(&core, &Core::parallelVPNsChanged, this, &ParallelVPNWarning::parallelVPNsChanged);
}

QString ParallelVPNWarning::text() const
{
    const QStringList names = m_core.parallelVPNs();
    return u"Одновременно подключён другой VPN: "_s + names.join(u", "_s) +
           u". Он может влиять на соединение и внешний IP."_s;
}

void ParallelVPNWarning::render()
{
    const bool parallel = !m_core.parallelVPNs().isEmpty();
    if (parallel) {
        const QString text = this->text();
        if (m_button->toolTip() != text) {
            m_button->setToolTip(text);
            m_button->setAccessibleName(text);
            m_popover->setText(text);
        }
    }
    m_button->setVisible(parallel);
    if (m_open && parallel && m_view->isVisible()) {
        if (!m_popover->isVisible())
            m_popover->open(m_button);
    } else if (m_popover->isVisible()) {
        m_popover->hide();
    }
}

void ParallelVPNWarning::setOpen(bool open)
{
    if (open == m_open)
        return;
    m_open = open;
    render();
}

void ParallelVPNWarning::parallelVPNsChanged()
{
    // Core announces changed() next, which draws the warning again.
    if (m_core.parallelVPNs().isEmpty())
        m_open = false;
}
