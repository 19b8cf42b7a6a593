#include "cabinet/CabinetView.h"

#include "cabinet/BusyIndicator.h"
#include "cabinet/CabinetFormat.h"
#include "cabinet/PlanPicker.h"
#include "core/Core.h"
#include "platform/Dialogs.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/kit/TextStyle.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int spacing = 12;
constexpr int lineSpacing = 3;
constexpr int spinnerSize = 16;

TextBlock* text(TextBlock::Tone tone, QWidget* parent, const QString& content = {})
{
    auto* block = new TextBlock(tone, parent);
    block->setText(content);
    return block;
}

} // namespace

CabinetView::CabinetView(Core* core, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent)
    , core_(core)
    , dialogs_(dialogs)
{
    Q_ASSERT(core);
    now_ = core->clock().now();
    deviceId_ = core->account().device_id;
    minute_.setObjectName(u"cabinet-clock"_s);
    minute_.setParent(this);
    minute_.setInterval(clockIntervalMs);
    minute_.setTimerType(Qt::PreciseTimer);
    connect(&minute_, &QTimer::timeout, this, &CabinetView::tick);
    connect(core, &Core::accountChanged, this, &CabinetView::accountChanged);
    build();
    applyStyle();
    render();
}

void CabinetView::setTimeZone(const QString& zoneId)
{
    zone_ = zoneId;
    devicesStale_ = true;
    render();
}

void CabinetView::build()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);

    heading_ = text(TextBlock::Tone::Label, this, u"Подписка"_s);
    refreshButton_ = new QPushButton(u"Обновить данные"_s, this);
    refreshButton_->setAutoDefault(false);
    connect(refreshButton_, &QPushButton::clicked, this, &CabinetView::load);
    auto* header = new QHBoxLayout;
    header->setSpacing(spacing);
    header->addWidget(heading_, 1, Qt::AlignVCenter);
    header->addWidget(refreshButton_, 0, Qt::AlignVCenter);
    column->addLayout(header);

    progress_ = new QWidget(this);
    auto* progressRow = new QHBoxLayout(progress_);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->setSpacing(8);
    spinner_ = new BusyIndicator(spinnerSize, progress_);
    progressRow->addWidget(spinner_, 0, Qt::AlignVCenter);
    progressRow->addWidget(text(TextBlock::Tone::Secondary, progress_, u"Получение данных…"_s), 1,
                           Qt::AlignVCenter);
    column->addWidget(progress_);

    failureLabel_ = new QLabel(this);
    failureLabel_->setWordWrap(true);
    failureLabel_->setTextFormat(Qt::PlainText);
    failureLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(failureLabel_);
    olderNote_ = text(TextBlock::Tone::Label, this, u"Показаны ранее полученные данные."_s);
    column->addWidget(olderNote_);

    column->addWidget(buildData());
    column->addStretch(1);
}

QWidget* CabinetView::buildData()
{
    data_ = new QWidget(this);
    auto* column = new QVBoxLayout(data_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    auto divider = [this, column] {
        auto* line = new QFrame(data_);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Plain);
        line->setFixedHeight(1);
        dividers_.append(line);
        column->addWidget(line);
    };

    planName_ = text(TextBlock::Tone::Label, data_);
    remaining_ = text(TextBlock::Tone::Label, data_);
    endDate_ = text(TextBlock::Tone::Label, data_);
    loadedAt_ = text(TextBlock::Tone::Secondary, data_);
    for (QWidget* line : {planName_, remaining_, endDate_, loadedAt_})
        column->addWidget(line);
    divider();

    devicesTitle_ = text(TextBlock::Tone::Label, data_);
    noDevices_ = text(TextBlock::Tone::Label, data_, u"Устройств нет"_s);
    devicesBox_ = new QWidget(data_);
    deviceBlocks_ = new QVBoxLayout(devicesBox_);
    deviceBlocks_->setContentsMargins(0, 0, 0, 0);
    deviceBlocks_->setSpacing(spacing);
    for (QWidget* line :
         {static_cast<QWidget*>(devicesTitle_), static_cast<QWidget*>(noDevices_), devicesBox_})
        column->addWidget(line);
    divider();

    choiceTitle_ = text(TextBlock::Tone::Label, data_, u"Выбор тарифа"_s);
    noPlans_ = text(TextBlock::Tone::Label, data_, u"Нет доступных тарифов"_s);
    pickerRow_ = new QWidget(data_);
    auto* pickerLayout = new QHBoxLayout(pickerRow_);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(8);
    auto* pickerLabel = new QLabel(u"Тариф"_s, pickerRow_);
    picker_ = new PlanPicker(pickerRow_);
    pickerLabel->setBuddy(picker_);
    pickerLayout->addWidget(pickerLabel, 0, Qt::AlignVCenter);
    pickerLayout->addWidget(picker_, 1, Qt::AlignVCenter);
    connect(picker_, &QComboBox::activated, this, [this](int index) {
        selectedPlan_ = picker_->planAt(index);
        render();
    });
    planLine_ = text(TextBlock::Tone::Label, data_);
    payButton_ = new QPushButton(u"Перейти к оплате"_s, data_);
    payButton_->setAutoDefault(false);
    connect(payButton_, &QPushButton::clicked, this, &CabinetView::showPayment);
    paymentNote_ =
        text(TextBlock::Tone::Secondary, data_,
             u"Оплата пока недоступна. Выбор тарифа не изменяет действующую подписку."_s);
    for (QWidget* line : {static_cast<QWidget*>(choiceTitle_), static_cast<QWidget*>(noPlans_),
                          pickerRow_, static_cast<QWidget*>(planLine_)})
        column->addWidget(line);
    column->addWidget(payButton_, 0, Qt::AlignLeft);
    column->addWidget(paymentNote_);
    return data_;
}

void CabinetView::applyStyle()
{
    const QFont body = font();
    const QFont headline = TextStyle::scaled(body, 13, QFont::DemiBold);
    for (TextBlock* line : {heading_, devicesTitle_, choiceTitle_})
        line->setFont(headline);
    planName_->setFont(TextStyle::scaled(body, 15, QFont::Normal));
    const QFont caption = TextBlock::captionFont(body);
    for (TextBlock* line : {olderNote_, loadedAt_, paymentNote_})
        line->setFont(caption);

    QPalette red = failureLabel_->palette();
    red.setColor(QPalette::WindowText, SystemColours::red(palette()));
    failureLabel_->setPalette(red);
    for (QWidget* line : std::as_const(dividers_)) {
        QPalette p = line->palette();
        p.setColor(QPalette::WindowText, SystemColours::tertiaryLabel(palette()));
        line->setPalette(p);
    }
    devicesStale_ = true;
}

void CabinetView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        applyStyle();
        render();
    }
    QWidget::changeEvent(event);
}

void CabinetView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (!minute_.isActive())
        minute_.start();
    load();
}

void CabinetView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        minute_.stop();
}

void CabinetView::load()
{
    if (loading_ || !core_ || !core_->account().signed_in)
        return;
    loading_ = true;
    failure_.clear();
    const QString deviceId = core_->account().device_id;
    render();
    const QPointer<CabinetView> self(this);
    core_->accountRequest(
        u"GET"_s, u"/account/cabinet"_s, {}, {},
        [self, deviceId](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (self)
                self->loaded(deviceId, json, error);
        });
}

void CabinetView::loaded(const QString& deviceId, const std::optional<QJsonObject>& json,
                         const std::optional<QString>& error)
{
    loading_ = false;
    if (!core_ || !core_->account().signed_in || core_->account().device_id != deviceId) {
        cabinet_.reset();
        render();
        // The change of device asked for a load while this one was in
        // flight; it is due now, for the device signed in at present.
        if (core_ && core_->account().signed_in)
            load();
        return;
    }
    if (json) {
        if (std::optional<CabinetData> decoded = CabinetData::fromJson(*json)) {
            cabinet_ = std::move(decoded);
            now_ = core_->clock().now();
            keepPlanChoice();
            render();
            return;
        }
    }
    failure_ =
        u"Не удалось обновить кабинет. "_s + error.value_or(u"Центр прислал неверные данные."_s);
    render();
}

void CabinetView::keepPlanChoice()
{
    const QList<CabinetPlan>& plans = cabinet_->plans;
    auto withId = [](const QString& id) {
        return [&id](const CabinetPlan& plan) { return plan.id == id; };
    };
    if (std::any_of(plans.begin(), plans.end(), withId(selectedPlan_)))
        return;
    const auto current =
        std::find_if(plans.begin(), plans.end(), withId(cabinet_->subscription.plan_id));
    if (current != plans.end())
        selectedPlan_ = current->id;
    else
        selectedPlan_ = plans.isEmpty() ? QString() : plans.first().id;
}

void CabinetView::accountChanged()
{
    if (!core_ || core_->account().device_id == deviceId_)
        return;
    deviceId_ = core_->account().device_id;
    cabinet_.reset();
    selectedPlan_.clear();
    render();
    load();
}

void CabinetView::tick()
{
    if (core_)
        now_ = core_->clock().now();
    render();
}

void CabinetView::showPayment()
{
    const CabinetPlan* plan = cabinet_ ? chosenPlan() : nullptr;
    const QString message = plan ? plan->name + u": "_s + plan->price() + u" за "_s +
                                       QString::number(plan->period_days) +
                                       u" дней. Деньги не списаны, подписка не изменена."_s
                                 : QString();
    showPayment_ = true;
    const QPointer<CabinetView> self(this);
    dialogs_.alert(u"Оплата пока недоступна"_s, message, {u"Понятно"_s});
    if (self)
        self->showPayment_ = false;
}

QString CabinetView::date(qint64 secondsSince1970) const
{
    return CabinetFormat::dateTime(secondsSince1970, zone_);
}

const CabinetPlan* CabinetView::chosenPlan() const
{
    if (!cabinet_)
        return nullptr;
    for (const CabinetPlan& plan : cabinet_->plans) {
        if (plan.id == selectedPlan_)
            return &plan;
    }
    return nullptr;
}

void CabinetView::render()
{
    refreshButton_->setEnabled(!loading_);
    progress_->setVisible(loading_);
    failureLabel_->setVisible(!failure_.isEmpty());
    failureLabel_->setText(failure_);
    olderNote_->setVisible(!failure_.isEmpty() && cabinet_.has_value());

    data_->setVisible(cabinet_.has_value());
    if (!cabinet_)
        return;
    const CabinetSubscription& s = cabinet_->subscription;
    planName_->setText(s.plan_name.isEmpty() ? u"Тариф не выбран"_s : s.plan_name);
    remaining_->setText(s.remaining(now_));
    endDate_->setVisible(s.ends_at >= 1);
    endDate_->setText(s.ends_at >= 1 ? u"Дата окончания: "_s + date(s.ends_at) : QString());
    loadedAt_->setText(u"Данные получены: "_s + date(cabinet_->loaded_at));

    devicesTitle_->setText(u"Устройства: "_s + QString::number(cabinet_->devices.size()) +
                           u" из "_s + QString::number(s.devices_limit));
    noDevices_->setVisible(cabinet_->devices.isEmpty());
    renderDevices();

    const QList<CabinetPlan>& plans = cabinet_->plans;
    noPlans_->setVisible(plans.isEmpty());
    pickerRow_->setVisible(!plans.isEmpty());
    picker_->setPlans(plans);
    picker_->setCurrentPlan(selectedPlan_);
    const CabinetPlan* plan = chosenPlan();
    planLine_->setVisible(plan);
    payButton_->setVisible(plan);
    if (plan)
        planLine_->setText(QString::number(plan->period_days) + u" дней · Устройств: "_s +
                           QString::number(plan->devices_limit));
    payButton_->setEnabled(!loading_ && failure_.isEmpty());
    paymentNote_->setVisible(!plans.isEmpty());
}

void CabinetView::renderDevices()
{
    if (!devicesStale_ && cabinet_->devices == shownDevices_)
        return;
    shownDevices_ = cabinet_->devices;
    devicesStale_ = false;
    while (QLayoutItem* item = deviceBlocks_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QFont caption = TextBlock::captionFont(font());
    for (const CabinetDevice& device : std::as_const(shownDevices_)) {
        auto* block = new QWidget(devicesBox_);
        auto* lines = new QVBoxLayout(block);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(lineSpacing);
        const QString name = device.name.isEmpty() ? device.platform : device.name;
        lines->addWidget(
            text(TextBlock::Tone::Label, block, device.current ? name + u" · Этот Mac"_s : name));
        TextBlock* platform = text(TextBlock::Tone::Secondary, block, device.platform);
        platform->setFont(caption);
        platform->setVisible(!device.platform.isEmpty());
        lines->addWidget(platform);
        if (device.last_seen_at >= 1) {
            TextBlock* seen = text(TextBlock::Tone::Label, block,
                                   u"Последнее обращение к центру: "_s + date(device.last_seen_at));
            seen->setFont(caption);
            lines->addWidget(seen);
        }
        deviceBlocks_->addWidget(block);
        block->show(); // at once, not on the layout's queued call
    }
}
