#include "ui/main/AccountSheet.h"

#include "core/Core.h"

#include <QVBoxLayout>

namespace {

// The account window's content size.
constexpr QSize placeholderSize(500, 620);

} // namespace

AccountSheet::AccountSheet(Core& core, QWidget* parent)
    : QDialog(parent)
    , m_core(core)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSizeConstraint(QLayout::SetFixedSize);
    setWindowModality(Qt::WindowModal);
    // Its window floats above the others; so must the sheet.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    m_factory = [](Core&) {
        auto* placeholder = new QWidget;
        placeholder->setFixedSize(placeholderSize);
        return placeholder;
    };
    connect(&core, &Core::showAccountChanged, this, &AccountSheet::follow);
    follow();
}

void AccountSheet::setContentFactory(ContentFactory factory)
{
    m_factory = std::move(factory);
}

void AccountSheet::follow()
{
    if (m_core.showAccount() && !isVisible()) {
        discardContent();
        m_content = m_factory(m_core);
        m_layout->addWidget(m_content);
        open();
        raise();
    } else if (!m_core.showAccount() && isVisible()) {
        done(Rejected);
    }
}

void AccountSheet::done(int result)
{
    QDialog::done(result);
    discardContent();
    m_core.setShowAccount(false);
}

void AccountSheet::discardContent()
{
    if (!m_content)
        return;
    m_layout->removeWidget(m_content);
    m_content->hide();
    m_content->deleteLater();
    m_content = nullptr;
}
