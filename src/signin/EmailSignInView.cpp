#include "signin/EmailSignInView.h"

#include "platform/DeviceIdentity.h"
#include "platform/Dialogs.h"
#include "signin/LinkButton.h"
#include "signin/ProminentButton.h"
#include "signin/SignInDeviceList.h"
#include "ui/kit/Graphemes.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/kit/TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int spacing = 16;
constexpr int rowSpacing = 8;
constexpr int doneSymbolSize = 20;

QWidget* row(QWidget* parent, int gap, std::initializer_list<QWidget*> items)
{
    auto* widget = new QWidget(parent);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(gap);
    for (QWidget* item : items) {
        item->setParent(widget);
        layout->addWidget(item, 0, Qt::AlignVCenter);
    }
    return widget;
}

} // namespace

EmailSignInView::EmailSignInView(Request request, Dialogs& dialogs, const DeviceIdentity& device,
                                 QWidget* parent)
    : QWidget(parent)
    , request_(std::move(request))
    , dialogs_(dialogs)
    , m_device(device)
{
    build();
    applyStyle();
    render();
}

void EmailSignInView::build()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);

    column->addWidget(buildDone());

    title_ = new TextBlock(TextBlock::Tone::Label, this);
    column->addWidget(title_);

    addressHint_ = new TextBlock(TextBlock::Tone::Secondary, this);
    addressHint_->setText(u"Укажите почту. На неё придёт одноразовый код входа."_s);
    column->addWidget(addressHint_);

    emailField_ = new QLineEdit;
    emailField_->setPlaceholderText(u"Электронная почта"_s);
    emailField_->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase |
                                     Qt::ImhNoPredictiveText);
    emailField_->installEventFilter(this);
    connect(emailField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        email_ = text;
        render();
    });
    sendButton_ = new ProminentButton(u"Получить код"_s, u"Отправка…"_s);
    connect(sendButton_, &QPushButton::clicked, this, &EmailSignInView::sendCode);
    addressRow_ = row(this, rowSpacing, {emailField_, sendButton_});
    column->addWidget(addressRow_);

    sentTo_ = new TextBlock(TextBlock::Tone::Secondary, this);
    column->addWidget(sentTo_);
    placesTaken_ = new TextBlock(TextBlock::Tone::Label, this);
    placesTaken_->setText(u"Все места для устройств заняты"_s);
    column->addWidget(placesTaken_);
    chooseDevice_ = new TextBlock(TextBlock::Tone::Secondary, this);
    chooseDevice_->setText(u"Выберите устройство, которое хотите заменить этим Mac."_s);
    column->addWidget(chooseDevice_);
    deviceList_ = new SignInDeviceList(spacing, this);
    connect(deviceList_, &SignInDeviceList::replaceRequested, this,
            &EmailSignInView::confirmReplacement);
    column->addWidget(deviceList_);

    codeField_ = new QLineEdit;
    codeField_->setPlaceholderText(u"Код из 6 цифр"_s);
    // A one-time code; any characters are allowed, so no digits-only hint.
    codeField_->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                                    Qt::ImhNoAutoUppercase);
    codeField_->installEventFilter(this);
    connect(codeField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        code_ = text;
        render();
    });
    verifyButton_ = new ProminentButton(u"Войти"_s, u"Проверка…"_s);
    connect(verifyButton_, &QPushButton::clicked, this, [this] { verify(std::nullopt); });
    codeRow_ = row(this, rowSpacing, {codeField_, verifyButton_});
    column->addWidget(codeRow_);

    newCodeButton_ = new LinkButton(u"Получить новый код"_s);
    connect(newCodeButton_, &LinkButton::clicked, this, &EmailSignInView::sendCode);
    otherEmailButton_ = new LinkButton(u"Другая почта"_s);
    connect(otherEmailButton_, &LinkButton::clicked, this, &EmailSignInView::useAnotherAddress);
    linksRow_ = row(this, spacing, {newCodeButton_, otherEmailButton_});
    static_cast<QHBoxLayout*>(linksRow_->layout())->addStretch(1);
    column->addWidget(linksRow_);

    messageLabel_ = new QLabel(this);
    messageLabel_->setObjectName(u"signin-message"_s);
    messageLabel_->setAccessibleName(u"signin-message"_s);
    messageLabel_->setWordWrap(true);
    messageLabel_->setTextFormat(Qt::PlainText);
    messageLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(messageLabel_);

    column->addStretch(1);
}

QWidget* EmailSignInView::buildDone()
{
    done_ = new QWidget(this);
    auto* stack = new QVBoxLayout(done_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    doneSymbol_ = new QLabel;
    doneSymbol_->setFixedSize(doneSymbolSize, doneSymbolSize);
    doneTitle_ = new QLabel(u"Вход выполнен"_s);
    QWidget* label = row(done_, 6, {doneSymbol_, doneTitle_});
    static_cast<QHBoxLayout*>(label->layout())->addStretch(1);
    stack->addWidget(label);
    doneText_ = new TextBlock(TextBlock::Tone::Secondary, done_);
    doneText_->setText(u"Подписка и устройства доступны в кабинете."_s);
    stack->addWidget(doneText_);
    return done_;
}

void EmailSignInView::applyStyle()
{
    const QFont body = font();
    title_->setFont(TextStyle::scaled(body, 17, QFont::DemiBold));
    doneTitle_->setFont(TextStyle::scaled(body, 15, QFont::Normal));
    placesTaken_->setFont(TextStyle::scaled(body, 13, QFont::DemiBold));

    const QColor green = SystemColours::green(palette());
    QPalette greenText = doneTitle_->palette();
    greenText.setColor(QPalette::WindowText, green);
    doneTitle_->setPalette(greenText);
    doneSymbol_->setPixmap(
        Symbols::pixmap(u"checkmark.circle.fill"_s, green, doneSymbolSize, devicePixelRatioF()));

    QPalette redText = messageLabel_->palette();
    redText.setColor(QPalette::WindowText, SystemColours::red(palette()));
    messageLabel_->setPalette(redText);
}

void EmailSignInView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        applyStyle();
    QWidget::changeEvent(event);
}

bool EmailSignInView::eventFilter(QObject* watched, QEvent* event)
{
    // Return runs the field's operation and goes no further, so that a
    // dialog holding the view does not also press its default button.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == emailField_)
                sendCode();
            else if (watched == codeField_)
                verify(std::nullopt);
            else
                return QWidget::eventFilter(watched, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EmailSignInView::sendCode()
{
    if (waiting_)
        return;
    email_ = email_.trimmed().toLower();
    if (!email_.contains(u'@')) {
        render();
        return;
    }
    waiting_ = true;
    message_.clear();
    render();
    parkedFocus_ = window()->focusWidget();
    const QPointer<EmailSignInView> self(this);
    request_(u"/account/auth/request"_s, {{u"email"_s, email_}},
             [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                 if (self)
                     self->codeSent(json, error);
             });
}

void EmailSignInView::codeSent(const std::optional<QJsonObject>& json,
                               const std::optional<QString>& error)
{
    waiting_ = false;
    const QJsonValue id = json ? json->value(u"challenge_id"_s) : QJsonValue();
    // An empty identifier could never be verified: it counts as none.
    if (!error && id.isString() && !id.toString().isEmpty()) {
        challenge_ = id.toString();
        code_.clear();
        devices_.clear();
        render();
        codeField_->setFocus();
        return;
    }
    message_ = explanation(error);
    render();
    takeFocusBack(emailField_);
}

void EmailSignInView::verify(const std::optional<QString>& replacing)
{
    if (waiting_ || graphemeCount(code_) != 6)
        return;
    waiting_ = true;
    message_.clear();
    QMap<QString, QString> body{{u"challenge_id"_s, challenge_},
                                {u"code"_s, code_},
                                {u"name"_s, m_device.name()},
                                {u"platform"_s, m_device.platform()}};
    if (replacing)
        body.insert(u"replace_device_id"_s, *replacing);
    render();
    parkedFocus_ = window()->focusWidget();
    const QPointer<EmailSignInView> self(this);
    request_(u"/account/auth/verify"_s, body,
             [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                 if (self)
                     self->verified(json, error);
             });
}

void EmailSignInView::verified(const std::optional<QJsonObject>& json,
                               const std::optional<QString>& error)
{
    waiting_ = false;
    if (!error) {
        completed_ = true;
        devices_.clear();
        code_.clear();
        render();
        Q_EMIT signedIn();
        return;
    }

    const QJsonValue list = json ? json->value(u"devices"_s) : QJsonValue();
    const QJsonArray entries = list.toArray();
    const bool usable = *error == u"device_limit" && json && !json->isEmpty() && list.isArray() &&
                        std::all_of(entries.begin(), entries.end(),
                                    [](const QJsonValue& v) { return v.isObject(); });
    if (usable) {
        QList<SignInDevice> offered;
        for (const QJsonValue& entry : entries) {
            if (const auto device = SignInDevice::fromJson(entry.toObject()))
                offered.append(*device);
        }
        devices_ = offered;
        if (devices_.isEmpty())
            message_ = u"Список устройств недоступен. Получите новый код."_s;
    } else {
        message_ = explanation(error);
    }
    render();
    // Selected, so that the next code typed replaces the wrong one.
    if (devices_.isEmpty() && takeFocusBack(codeField_))
        codeField_->selectAll();
}

bool EmailSignInView::takeFocusBack(QLineEdit* field)
{
    if (window()->focusWidget() != parkedFocus_)
        return false;
    field->setFocus();
    return true;
}

QString EmailSignInView::explanation(const std::optional<QString>& error)
{
    if (!error)
        return u"Не удалось связаться с центром. Повторите попытку."_s;
    if (*error == u"invalid_code")
        return u"Код не подходит или истёк. Проверьте письмо или получите новый код."_s;
    if (*error == u"rate_limited")
        return u"Лимит запросов кода исчерпан. Повторите попытку позже."_s;
    if (*error == u"mail_unavailable")
        return u"Отправка писем временно недоступна. Повторите попытку позже."_s;
    if (*error == u"email_verification_required")
        return u"Устройство уже изменилось. Получите новый код и выберите его снова."_s;
    // A failure with an empty text would leave no line at all.
    if (error->isEmpty())
        return u"Запрос не выполнен."_s;
    return *error;
}

void EmailSignInView::confirmReplacement(const SignInDevice& device)
{
    if (waiting_)
        return;
    replacement_ = device;
    confirmation_ = true;
    const QString name = replacement_ ? replacement_->name : QString();
    const QPointer<EmailSignInView> self(this);
    const int answer = dialogs_.alert(u"Заменить устройство?"_s,
                                      u"Доступ на устройстве \""_s + name +
                                          u"\" завершится. Этот Mac займёт его место. "
                                          u"Подписка сохранится."_s,
                                      {u"Заменить и войти"_s, u"Отмена"_s});
    if (!self)
        return;
    confirmation_ = false;
    if (answer == 0)
        verify(replacement_ ? std::optional(replacement_->id) : std::nullopt);
    else
        replacement_.reset();
}

void EmailSignInView::useAnotherAddress()
{
    if (waiting_)
        return;
    challenge_.clear();
    code_.clear();
    devices_.clear();
    message_.clear();
    render();
}

void EmailSignInView::render()
{
    done_->setVisible(completed_);
    const bool address = !completed_ && challenge_.isEmpty();
    const bool codeStep = !completed_ && !challenge_.isEmpty();
    const bool choosing = codeStep && !devices_.isEmpty();

    title_->setVisible(!completed_);
    title_->setText(challenge_.isEmpty() ? u"Войти в Оврин"_s : u"Код из письма"_s);

    addressHint_->setVisible(address);
    addressRow_->setVisible(address);
    if (emailField_->text() != email_)
        emailField_->setText(email_);
    emailField_->setEnabled(!waiting_);
    sendButton_->setBusy(waiting_);
    sendButton_->setEnabled(!waiting_ && email_.contains(u'@'));

    sentTo_->setVisible(codeStep);
    sentTo_->setText(u"Письмо отправлено на "_s + email_ + u". Код действует 15 минут."_s);
    placesTaken_->setVisible(choosing);
    chooseDevice_->setVisible(choosing);
    deviceList_->setVisible(choosing);
    deviceList_->setDevices(devices_);
    deviceList_->setBusy(waiting_);

    codeRow_->setVisible(codeStep && !choosing);
    if (codeField_->text() != code_)
        codeField_->setText(code_);
    codeField_->setEnabled(!waiting_);
    verifyButton_->setBusy(waiting_);
    verifyButton_->setEnabled(!waiting_ && graphemeCount(code_) == 6);

    linksRow_->setVisible(codeStep);
    newCodeButton_->setEnabled(!waiting_);
    otherEmailButton_->setEnabled(!waiting_);

    messageLabel_->setVisible(!completed_ && !message_.isEmpty());
    messageLabel_->setText(message_);
}
