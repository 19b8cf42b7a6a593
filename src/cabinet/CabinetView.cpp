#include "cabinet/CabinetView.h"

#include "cabinet/BusyIndicator.h"
#include "cabinet/CabinetFormat.h"
#include "cabinet/PlanPicker.h"
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

CabinetView::CabinetView(Core& core, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent)
    , dialogs_(dialogs)
    , loader_(core, this)
{
    connect(&loader_, &CabinetLoader::changed, this, &CabinetView::render);
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
    connect(refreshButton_, &QPushButton::clicked, &loader_, &CabinetLoader::load);
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
    connect(picker_, &QComboBox::activated, this,
            [this](int index) { loader_.choosePlan(picker_->planAt(index)); });
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
    loader_.startClock();
    loader_.load();
}

void CabinetView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        loader_.stopClock();
}

void CabinetView::showPayment()
{
    const CabinetPlan* plan = loader_.chosenPlan();
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

void CabinetView::render()
{
    const bool loading = loader_.isLoading();
    const QString& failure = loader_.failure();
    const std::optional<CabinetData>& cabinet = loader_.cabinet();
    refreshButton_->setEnabled(!loading);
    progress_->setVisible(loading);
    failureLabel_->setVisible(!failure.isEmpty());
    failureLabel_->setText(failure);
    olderNote_->setVisible(!failure.isEmpty() && cabinet.has_value());

    data_->setVisible(cabinet.has_value());
    if (!cabinet)
        return;
    const CabinetSubscription& s = cabinet->subscription;
    planName_->setText(s.plan_name.isEmpty() ? u"Тариф не выбран"_s : s.plan_name);
    remaining_->setText(s.remaining(loader_.now()));
    endDate_->setVisible(s.ends_at >= 1);
    endDate_->setText(s.ends_at >= 1 ? u"Дата окончания: "_s + date(s.ends_at) : QString());
    loadedAt_->setText(u"Данные получены: "_s + date(cabinet->loaded_at));

    devicesTitle_->setText(u"Устройства: "_s + QString::number(cabinet->devices.size()) +
                           u" из "_s + QString::number(s.devices_limit));
    noDevices_->setVisible(cabinet->devices.isEmpty());
    renderDevices();

    const QList<CabinetPlan>& plans = cabinet->plans;
    noPlans_->setVisible(plans.isEmpty());
    pickerRow_->setVisible(!plans.isEmpty());
    picker_->setPlans(plans);
    picker_->setCurrentPlan(loader_.selectedPlan());
    const CabinetPlan* plan = loader_.chosenPlan();
    planLine_->setVisible(plan);
    payButton_->setVisible(plan);
    if (plan)
        planLine_->setText(QString::number(plan->period_days) + u" дней · Устройств: "_s +
                           QString::number(plan->devices_limit));
    payButton_->setEnabled(!loading && failure.isEmpty());
    paymentNote_->setVisible(!plans.isEmpty());
}

void CabinetView::renderDevices()
{
    if (!devicesStale_ && loader_.cabinet()->devices == shownDevices_)
        return;
    shownDevices_ = loader_.cabinet()->devices;
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
