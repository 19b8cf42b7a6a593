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
    , m_dialogs(dialogs)
    , m_loader(core, this)
{
    connect(&m_loader, &CabinetLoader::changed, this, &CabinetView::render);
    build();
    applyStyle();
    render();
}

void CabinetView::setTimeZone(const QString& zoneId)
{
    m_zone = zoneId;
    m_devicesStale = true;
    render();
}

void CabinetView::build()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);

    m_heading = text(TextBlock::Tone::Label, this, u"Подписка"_s);
    m_refreshButton = new QPushButton(u"Обновить данные"_s, this);
    m_refreshButton->setAutoDefault(false);
    connect(m_refreshButton, &QPushButton::clicked, &m_loader, &CabinetLoader::load);
    auto* header = new QHBoxLayout;
    header->setSpacing(spacing);
    header->addWidget(m_heading, 1, Qt::AlignVCenter);
    header->addWidget(m_refreshButton, 0, Qt::AlignVCenter);
    column->addLayout(header);

    m_progress = new QWidget(this);
    auto* progressRow = new QHBoxLayout(m_progress);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->setSpacing(8);
    m_spinner = new BusyIndicator(spinnerSize, m_progress);
    progressRow->addWidget(m_spinner, 0, Qt::AlignVCenter);
    progressRow->addWidget(text(TextBlock::Tone::Secondary, m_progress, u"Получение данных…"_s), 1,
                           Qt::AlignVCenter);
    column->addWidget(m_progress);

    m_failureLabel = new QLabel(this);
    m_failureLabel->setWordWrap(true);
    m_failureLabel->setTextFormat(Qt::PlainText);
    m_failureLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_failureLabel);
    m_olderNote = text(TextBlock::Tone::Label, this, u"Показаны ранее полученные данные."_s);
    column->addWidget(m_olderNote);

    column->addWidget(buildData());
    column->addStretch(1);
}

QWidget* CabinetView::buildData()
{
    m_data = new QWidget(this);
    auto* column = new QVBoxLayout(m_data);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    auto divider = [this, column] {
        auto* line = new QFrame(m_data);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Plain);
        line->setFixedHeight(1);
        m_dividers.append(line);
        column->addWidget(line);
    };

    m_planName = text(TextBlock::Tone::Label, m_data);
    m_remaining = text(TextBlock::Tone::Label, m_data);
    m_endDate = text(TextBlock::Tone::Label, m_data);
    m_loadedAt = text(TextBlock::Tone::Secondary, m_data);
    for (QWidget* line : {m_planName, m_remaining, m_endDate, m_loadedAt})
        column->addWidget(line);
    divider();

    m_devicesTitle = text(TextBlock::Tone::Label, m_data);
    m_noDevices = text(TextBlock::Tone::Label, m_data, u"Устройств нет"_s);
    m_devicesBox = new QWidget(m_data);
    m_deviceBlocks = new QVBoxLayout(m_devicesBox);
    m_deviceBlocks->setContentsMargins(0, 0, 0, 0);
    m_deviceBlocks->setSpacing(spacing);
    for (QWidget* line :
         {static_cast<QWidget*>(m_devicesTitle), static_cast<QWidget*>(m_noDevices), m_devicesBox})
        column->addWidget(line);
    divider();

    m_choiceTitle = text(TextBlock::Tone::Label, m_data, u"Выбор тарифа"_s);
    m_noPlans = text(TextBlock::Tone::Label, m_data, u"Нет доступных тарифов"_s);
    m_pickerRow = new QWidget(m_data);
    auto* pickerLayout = new QHBoxLayout(m_pickerRow);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(8);
    auto* pickerLabel = new QLabel(u"Тариф"_s, m_pickerRow);
    m_picker = new PlanPicker(m_pickerRow);
    pickerLabel->setBuddy(m_picker);
    pickerLayout->addWidget(pickerLabel, 0, Qt::AlignVCenter);
    pickerLayout->addWidget(m_picker, 1, Qt::AlignVCenter);
    connect(m_picker, &QComboBox::activated, this,
            [this](int index) { m_loader.choosePlan(m_picker->planAt(index)); });
    m_planLine = text(TextBlock::Tone::Label, m_data);
    m_payButton = new QPushButton(u"Перейти к оплате"_s, m_data);
    m_payButton->setAutoDefault(false);
    connect(m_payButton, &QPushButton::clicked, this, &CabinetView::showPayment);
    m_paymentNote =
        text(TextBlock::Tone::Secondary, m_data,
             u"Оплата пока недоступна. Выбор тарифа не изменяет действующую подписку."_s);
    for (QWidget* line : {static_cast<QWidget*>(m_choiceTitle), static_cast<QWidget*>(m_noPlans),
                          m_pickerRow, static_cast<QWidget*>(m_planLine)})
        column->addWidget(line);
    column->addWidget(m_payButton, 0, Qt::AlignLeft);
    column->addWidget(m_paymentNote);
    return m_data;
}

void CabinetView::applyStyle()
{
    const QFont body = font();
    const QFont headline = TextStyle::scaled(body, 13, QFont::DemiBold);
    for (TextBlock* line : {m_heading, m_devicesTitle, m_choiceTitle})
        line->setFont(headline);
    m_planName->setFont(TextStyle::scaled(body, 15, QFont::Normal));
    const QFont caption = TextBlock::captionFont(body);
    for (TextBlock* line : {m_olderNote, m_loadedAt, m_paymentNote})
        line->setFont(caption);

    QPalette red = m_failureLabel->palette();
    red.setColor(QPalette::WindowText, SystemColours::red(palette()));
    m_failureLabel->setPalette(red);
    for (QWidget* line : std::as_const(m_dividers)) {
        QPalette p = line->palette();
        p.setColor(QPalette::WindowText, SystemColours::tertiaryLabel(palette()));
        line->setPalette(p);
    }
    m_devicesStale = true;
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
    m_loader.startClock();
    m_loader.load();
}

void CabinetView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        m_loader.stopClock();
}

void CabinetView::showPayment()
{
    const CabinetPlan* plan = m_loader.chosenPlan();
    const QString message = plan ? plan->name + u": "_s + plan->price() + u" за "_s +
                                       QString::number(plan->period_days) +
                                       u" дней. Деньги не списаны, подписка не изменена."_s
                                 : QString();
    m_showPayment = true;
    const QPointer<CabinetView> self(this);
    m_dialogs.alert(u"Оплата пока недоступна"_s, message, {u"Понятно"_s});
    if (self)
        self->m_showPayment = false;
}

QString CabinetView::date(qint64 secondsSince1970) const
{
    return CabinetFormat::dateTime(secondsSince1970, m_zone);
}

void CabinetView::render()
{
    const bool loading = m_loader.isLoading();
    const QString& failure = m_loader.failure();
    const std::optional<CabinetData>& cabinet = m_loader.cabinet();
    m_refreshButton->setEnabled(!loading);
    m_progress->setVisible(loading);
    m_failureLabel->setVisible(!failure.isEmpty());
    m_failureLabel->setText(failure);
    m_olderNote->setVisible(!failure.isEmpty() && cabinet.has_value());

    m_data->setVisible(cabinet.has_value());
    if (!cabinet)
        return;
    const CabinetSubscription& s = cabinet->subscription;
    m_planName->setText(s.plan_name.isEmpty() ? u"Тариф не выбран"_s : s.plan_name);
    m_remaining->setText(s.remaining(m_loader.now()));
    m_endDate->setVisible(s.ends_at >= 1);
    m_endDate->setText(s.ends_at >= 1 ? u"Дата окончания: "_s + date(s.ends_at) : QString());
    m_loadedAt->setText(u"Данные получены: "_s + date(cabinet->loaded_at));

    m_devicesTitle->setText(u"Устройства: "_s + QString::number(cabinet->devices.size()) +
                            u" из "_s + QString::number(s.devices_limit));
    m_noDevices->setVisible(cabinet->devices.isEmpty());
    renderDevices();

    const QList<CabinetPlan>& plans = cabinet->plans;
    m_noPlans->setVisible(plans.isEmpty());
    m_pickerRow->setVisible(!plans.isEmpty());
    m_picker->setPlans(plans);
    m_picker->setCurrentPlan(m_loader.selectedPlan());
    const CabinetPlan* plan = m_loader.chosenPlan();
    m_planLine->setVisible(plan);
    m_payButton->setVisible(plan);
    if (plan)
        m_planLine->setText(QString::number(plan->period_days) + u" дней · Устройств: "_s +
                            QString::number(plan->devices_limit));
    m_payButton->setEnabled(!loading && failure.isEmpty());
    m_paymentNote->setVisible(!plans.isEmpty());
}

void CabinetView::renderDevices()
{
    if (!m_devicesStale && m_loader.cabinet()->devices == m_shownDevices)
        return;
    m_shownDevices = m_loader.cabinet()->devices;
    m_devicesStale = false;
    while (QLayoutItem* item = m_deviceBlocks->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QFont caption = TextBlock::captionFont(font());
    for (const CabinetDevice& device : std::as_const(m_shownDevices)) {
        auto* block = new QWidget(m_devicesBox);
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
        m_deviceBlocks->addWidget(block);
        block->show(); // at once, not on the layout's queued call
    }
}
