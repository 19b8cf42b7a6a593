#include "ui/main/AccountSheet.h"

#include "core/Core.h"

#include <QVBoxLayout>

namespace {

// The account window's content size.
constexpr QSize placeholderSize(500, 620);

} // namespace

AccountSheet::AccountSheet(Core* core, QWidget* parent)
    : QDialog(parent)
    , core_(core)
    , layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSizeConstraint(QLayout::SetFixedSize);
    setWindowModality(Qt::WindowModal);
    // Its window floats above the others; so must the sheet.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    factory_ = [](Core&) {
        auto* placeholder = new QWidget;
        placeholder->setFixedSize(placeholderSize);
        return placeholder;
    };
    connect(core, &Core::showAccountChanged, this, &AccountSheet::follow);
    follow();
}

void AccountSheet::setContentFactory(ContentFactory factory)
{
    factory_ = std::move(factory);
}

void AccountSheet::follow()
{
    if (!core_)
        return;
    if (core_->showAccount() && !isVisible()) {
        discardContent();
        content_ = factory_(*core_);
        layout_->addWidget(content_);
        open();
        raise();
    } else if (!core_->showAccount() && isVisible()) {
        done(Rejected);
    }
}

void AccountSheet::done(int result)
{
    QDialog::done(result);
    discardContent();
    if (core_)
        core_->setShowAccount(false);
}

void AccountSheet::discardContent()
{
    if (!content_)
        return;
    layout_->removeWidget(content_);
    content_->hide();
    content_->deleteLater();
    content_ = nullptr;
}
