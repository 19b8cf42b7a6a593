#include "ui/main/MainView.h"

#include "core/Core.h"
#include "ui/kit/TextBlock.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/ChannelList.h"
#include "ui/main/Metric.h"
#include "ui/main/MoreDots.h"
#include "ui/main/Popover.h"
#include "ui/main/PowerButton.h"
#include "ui/main/PowerRow.h"
#include "ui/main/SettingsMenu.h"
#include "ui/main/WarningButton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int padding = 16;
constexpr int spacing = 14;
constexpr int metricSpacing = 10;
constexpr int warningInset = 10;
constexpr int dotsTop = 2;
constexpr int dotsTrailing = 8;
constexpr int buttonPadding = 16;
// A window's title bar and borders, at least.
constexpr int titleBarAllowance = 40;
// Screen height a window with a long list still leaves free: it does not
// reach from one edge of the screen to the other.
constexpr int screenLeftFree = 132;

} // namespace

MainView::MainView(Core* core, QWidget* parent)
    : QWidget(parent)
    , core_(core)
{
    Q_ASSERT(core);
    build();
    connect(core, &Core::parallelVPNsChanged, this, &MainView::parallelVPNsChanged);
    connect(core, &Core::changed, this, &MainView::render);
    render();
}

void MainView::build()
{
    setFixedWidth(contentWidth);

    auto* column = new QVBoxLayout(this);
    // The power button's widget reaches above its row, room for its glow.
    column->setContentsMargins(padding, padding - PowerRow::overhang(), padding, padding);
    column->setSpacing(spacing);

    power_ = new PowerRow(this);
    connect(power_->button(), &PowerButton::clicked, this, &MainView::pressPower);
    column->addWidget(power_);

    list_ = new ChannelList(this);
    connect(list_, &ChannelList::selectRequested, this, &MainView::select);
    connect(list_, &ChannelList::connectRequested, this, &MainView::connectChannel);
    column->addWidget(list_);

    column->addWidget(buildProtectionNotice());
    column->addWidget(buildMetrics());

    routeWarning_ = new TextBlock(TextBlock::Tone::Orange, this);
    routeWarning_->setText(u"Трафик идёт мимо: маршрут занял другой туннель"_s);
    column->addWidget(routeWarning_);

    message_ = new TextBlock(TextBlock::Tone::Orange, this);
    message_->setMaxLines(2);
    column->addWidget(message_);

    column->addWidget(buildHelperMissing());
    // A window taller than the content keeps the content at its top.
    column->addStretch(1);

    warning_ = new WarningButton(this);
    connect(warning_, &WarningButton::clicked, this,
            [this] { setShowVPNWarning(!showVPNWarning_); });
    popover_ = new Popover(this);
    popover_->setAttribute(Qt::WA_WindowPropagation);
    connect(popover_, &Popover::closed, this, [this] { setShowVPNWarning(false); });

    dots_ = new MoreDots(this);
    menu_ = new SettingsMenu(core_, this);
    menu_->setAttribute(Qt::WA_WindowPropagation);
    dots_->setMenu(menu_);

    sheet_ = new AccountSheet(core_, this);

    applyFonts();
}

QWidget* MainView::buildProtectionNotice()
{
    notice_ = new QWidget(this);
    auto* stack = new QVBoxLayout(notice_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    noticeText_ = new TextBlock(TextBlock::Tone::Secondary, notice_);
    noticeText_->setText(u"Интернет закрыт строгой защитой."_s);
    stack->addWidget(noticeText_);
    openInternet_ = new QPushButton(u"Открыть интернет"_s, notice_);
    connect(openInternet_, &QPushButton::clicked, this, [this] {
        if (core_)
            core_->disconnect();
    });
    stack->addWidget(openInternet_, 0, Qt::AlignLeft);
    return notice_;
}

QWidget* MainView::buildMetrics()
{
    auto* row = new QWidget(this);
    auto* cells = new QHBoxLayout(row);
    cells->setContentsMargins(0, 0, 0, 0);
    cells->setSpacing(metricSpacing);
    metrics_ = {
        new Metric(
            u"отклик, мс"_s, 74,
            u"Время до первого ответа через канал. У каналов на TCP оно всегда выше, чем "
            u"на UDP: там на каждую проверку заново устанавливается защищённое соединение."_s,
            row),
        new Metric(u"приём, Мбит/с"_s, 86, u"Скорость входящего трафика прямо сейчас"_s, row),
        new Metric(u"отдача, Мбит/с"_s, 86, u"Скорость исходящего трафика прямо сейчас"_s, row),
        new Metric(u"пик, Мбит/с"_s, 78,
                   u"Лучшая скорость с момента подключения. Сбрасывается при смене сервера."_s,
                   row),
    };
    for (Metric* metric : metrics_)
        cells->addWidget(metric, 0, Qt::AlignVCenter);
    cells->addStretch(1);
    return row;
}

QWidget* MainView::buildHelperMissing()
{
    helperMissing_ = new QWidget(this);
    auto* row = new QHBoxLayout(helperMissing_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    helperMissingText_ = new TextBlock(TextBlock::Tone::Secondary, helperMissing_);
    helperMissingText_->setText(u"Нужен помощник, один раз с паролем администратора"_s);
    row->addWidget(helperMissingText_, 1, Qt::AlignVCenter);
    install_ = new QPushButton(u"Установить"_s, helperMissing_);
    connect(install_, &QPushButton::clicked, this, [this] {
        if (core_)
            core_->install();
    });
    row->addWidget(install_, 0, Qt::AlignVCenter);
    return helperMissing_;
}

void MainView::applyFonts()
{
    const QFont caption = TextBlock::captionFont(font());
    for (TextBlock* text : {noticeText_, routeWarning_, message_, helperMissingText_})
        text->setFont(caption);
    // Room around the title, as a push button of the platform has.
    for (QPushButton* button : {openInternet_, install_}) {
        button->setMinimumWidth(0);
        button->setMinimumWidth(button->sizeHint().width() + buttonPadding);
    }
}

PowerButton* MainView::powerButton() const
{
    return power_->button();
}

TextBlock* MainView::checkingCaption() const
{
    return power_->caption();
}

int MainView::target() const
{
    if (selected_ >= 0 || !core_)
        return selected_;
    return int(core_->status().active);
}

bool MainView::on() const
{
    return core_ && core_->status().running && target() == core_->status().active;
}

bool MainView::checking() const
{
    return on() && !core_->status().verified && core_->status().primary;
}

QString MainView::vpnWarning() const
{
    const QStringList names = core_ ? core_->parallelVPNs() : QStringList();
    return u"Одновременно подключён другой VPN: "_s + names.join(u", "_s) +
           u". Он может влиять на соединение и внешний IP."_s;
}

void MainView::render()
{
    if (!core_)
        return;
    const Status& status = core_->status();
    const bool busy = core_->busy();
    const int target = this->target();
    const bool stalled = status.running && !status.primary;

    power_->button()->setState(on(), status.verified, stalled, busy || !status.helper);
    power_->setChecking(checking());

    notice_->setVisible(status.protection_armed && !status.running);
    openInternet_->setEnabled(!busy);

    metrics_[0]->setValue(Metric::latencyText(status.latency_ms));
    metrics_[1]->setValue(Metric::rateText(status.down_bps));
    metrics_[2]->setValue(Metric::rateText(status.up_bps));
    metrics_[3]->setValue(Metric::peakText(status.peak_bps));

    routeWarning_->setVisible(stalled);
    message_->setText(status.message);
    message_->setVisible(!status.message.isEmpty());
    // The default record says "no helper"; only a real status may.
    helperMissing_->setVisible(core_->statusKnown() && !status.helper);
    install_->setEnabled(!busy);

    // The list last: its height depends on what else is shown. Shown after
    // it has its rows, so that its first layout already has their height.
    reserveScreenForRest();
    const bool live = status.running && status.verified && status.primary;
    list_->setChannels(status.channels, status.running ? status.active : -1, target, live,
                       status.message.isEmpty());
    list_->setVisible(!status.channels.isEmpty());

    renderCorner();
    menu_->render();
}

// The list grows until the window, its frame included, would leave less
// than `screenLeftFree` of the screen's height: the rest of the window, as
// much of it as is shown now, keeps its room.
void MainView::reserveScreenForRest()
{
    // The list and the space above it, whether or not it is shown now.
    const int list = spacing + list_->sizeHint().height();
    const int rest = sizeHint().height() - (list_->isHidden() ? 0 : list);
    // The frame is known once the window manager has framed the window.
    const QWidget* top = window();
    const int frame = std::max(titleBarAllowance, top->frameGeometry().height() - top->height());
    list_->setReserve(rest + spacing + frame + screenLeftFree);
}

void MainView::renderCorner()
{
    const bool parallel = !core_->parallelVPNs().isEmpty();
    if (parallel) {
        const QString text = vpnWarning();
        if (warning_->toolTip() != text) {
            warning_->setToolTip(text);
            warning_->setAccessibleName(text);
            popover_->setText(text);
        }
    }
    warning_->setVisible(parallel);
    if (showVPNWarning_ && parallel && isVisible()) {
        if (!popover_->isVisible())
            popover_->open(warning_);
    } else if (popover_->isVisible()) {
        popover_->hide();
    }
}

void MainView::select(int index)
{
    selected_ = index;
    if (core_)
        core_->selectManually();
    render();
}

void MainView::connectChannel(int index)
{
    if (!core_)
        return;
    const Status& status = core_->status();
    if (core_->busy() || !status.helper)
        return;
    if (status.running && status.active == index)
        return;
    core_->connect(index);
}

void MainView::pressPower()
{
    if (!core_)
        return;
    if (on())
        core_->disconnect();
    else
        core_->connect(target());
}

void MainView::parallelVPNsChanged()
{
    // Core announces changed() next, which draws the corner again.
    if (core_ && core_->parallelVPNs().isEmpty())
        showVPNWarning_ = false;
}

void MainView::setShowVPNWarning(bool show)
{
    if (show == showVPNWarning_)
        return;
    showVPNWarning_ = show;
    if (core_)
        renderCorner();
}

QSize MainView::sizeHint() const
{
    // The column has a height for width only while a wrapped text is shown.
    const QLayout* column = layout();
    return {contentWidth, column->hasHeightForWidth() ? column->totalHeightForWidth(contentWidth)
                                                      : column->totalSizeHint().height()};
}

void MainView::placeCorners()
{
    warning_->move(warningInset, warningInset);
    dots_->move(width() - dotsTrailing - dots_->width(), dotsTop);
    warning_->raise();
    dots_->raise();
}

void MainView::resizeEvent(QResizeEvent* event)
{
    placeCorners();
    QWidget::resizeEvent(event);
}

void MainView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        applyFonts();
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        reserveScreenForRest();
}
