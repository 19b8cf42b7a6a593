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
    , m_request(std::move(request))
    , m_dialogs(dialogs)
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

    m_title = new TextBlock(TextBlock::Tone::Label, this);
    column->addWidget(m_title);

    m_addressHint = new TextBlock(TextBlock::Tone::Secondary, this);
    m_addressHint->setText(u"Укажите почту. На неё придёт одноразовый код входа."_s);
    column->addWidget(m_addressHint);

    m_emailField = new QLineEdit;
    m_emailField->setPlaceholderText(u"Электронная почта"_s);
    m_emailField->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase |
                                      Qt::ImhNoPredictiveText);
    m_emailField->installEventFilter(this);
    connect(m_emailField, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_email = text;
        render();
    });
    m_sendButton = new ProminentButton(u"Получить код"_s, u"Отправка…"_s);
    connect(m_sendButton, &QPushButton::clicked, this, &EmailSignInView::sendCode);
    m_addressRow = row(this, rowSpacing, {m_emailField, m_sendButton});
    column->addWidget(m_addressRow);

    m_sentTo = new TextBlock(TextBlock::Tone::Secondary, this);
    column->addWidget(m_sentTo);
    m_placesTaken = new TextBlock(TextBlock::Tone::Label, this);
    m_placesTaken->setText(u"Все места для устройств заняты"_s);
    column->addWidget(m_placesTaken);
    m_chooseDevice = new TextBlock(TextBlock::Tone::Secondary, this);
    m_chooseDevice->setText(u"Выберите устройство, которое хотите заменить этим Mac."_s);
    column->addWidget(m_chooseDevice);
    m_deviceList = new SignInDeviceList(spacing, this);
    connect(m_deviceList, &SignInDeviceList::replaceRequested, this,
            &EmailSignInView::confirmReplacement);
    column->addWidget(m_deviceList);

    m_codeField = new QLineEdit;
    m_codeField->setPlaceholderText(u"Код из 6 цифр"_s);
    // A one-time code; any characters are allowed, so no digits-only hint.
    m_codeField->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                                     Qt::ImhNoAutoUppercase);
    m_codeField->installEventFilter(this);
    connect(m_codeField, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_code = text;
        render();
    });
    m_verifyButton = new ProminentButton(u"Войти"_s, u"Проверка…"_s);
    connect(m_verifyButton, &QPushButton::clicked, this, [this] { verify(std::nullopt); });
    m_codeRow = row(this, rowSpacing, {m_codeField, m_verifyButton});
    column->addWidget(m_codeRow);

    m_newCodeButton = new LinkButton(u"Получить новый код"_s);
    connect(m_newCodeButton, &LinkButton::clicked, this, &EmailSignInView::sendCode);
    m_otherEmailButton = new LinkButton(u"Другая почта"_s);
    connect(m_otherEmailButton, &LinkButton::clicked, this, &EmailSignInView::useAnotherAddress);
    m_linksRow = row(this, spacing, {m_newCodeButton, m_otherEmailButton});
    static_cast<QHBoxLayout*>(m_linksRow->layout())->addStretch(1);
    column->addWidget(m_linksRow);

    m_messageLabel = new QLabel(this);
    m_messageLabel->setObjectName(u"signin-message"_s);
    m_messageLabel->setAccessibleName(u"signin-message"_s);
    m_messageLabel->setWordWrap(true);
    m_messageLabel->setTextFormat(Qt::PlainText);
    m_messageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_messageLabel);

    column->addStretch(1);
}

QWidget* EmailSignInView::buildDone()
{
    m_done = new QWidget(this);
    auto* stack = new QVBoxLayout(m_done);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    m_doneSymbol = new QLabel;
    m_doneSymbol->setFixedSize(doneSymbolSize, doneSymbolSize);
    m_doneTitle = new QLabel(u"Вход выполнен"_s);
    QWidget* label = row(m_done, 6, {m_doneSymbol, m_doneTitle});
    static_cast<QHBoxLayout*>(label->layout())->addStretch(1);
    stack->addWidget(label);
    m_doneText = new TextBlock(TextBlock::Tone::Secondary, m_done);
    m_doneText->setText(u"Подписка и устройства доступны в кабинете."_s);
    stack->addWidget(m_doneText);
    return m_done;
}

void EmailSignInView::applyStyle()
{
    const QFont body = font();
    m_title->setFont(TextStyle::scaled(body, 17, QFont::DemiBold));
    m_doneTitle->setFont(TextStyle::scaled(body, 15, QFont::Normal));
    m_placesTaken->setFont(TextStyle::scaled(body, 13, QFont::DemiBold));

    const QColor green = SystemColours::green(palette());
    QPalette greenText = m_doneTitle->palette();
    greenText.setColor(QPalette::WindowText, green);
    m_doneTitle->setPalette(greenText);
    m_doneSymbol->setPixmap(
        Symbols::pixmap(u"checkmark.circle.fill"_s, green, doneSymbolSize, devicePixelRatioF()));

    QPalette redText = m_messageLabel->palette();
    redText.setColor(QPalette::WindowText, SystemColours::red(palette()));
    m_messageLabel->setPalette(redText);
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
            if (watched == m_emailField)
                sendCode();
            else if (watched == m_codeField)
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
    if (m_waiting)
        return;
    m_email = m_email.trimmed().toLower();
    if (!m_email.contains(u'@')) {
        render();
        return;
    }
    m_waiting = true;
    m_message.clear();
    render();
    m_parkedFocus = window()->focusWidget();
    const QPointer<EmailSignInView> self(this);
    m_request(u"/account/auth/request"_s, {{u"email"_s, m_email}},
              [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                  if (self)
                      self->codeSent(json, error);
              });
}

void EmailSignInView::codeSent(const std::optional<QJsonObject>& json,
                               const std::optional<QString>& error)
{
    m_waiting = false;
    const QJsonValue id = json ? json->value(u"challenge_id"_s) : QJsonValue();
    // An empty identifier could never be verified: it counts as none.
    if (!error && id.isString() && !id.toString().isEmpty()) {
        m_challenge = id.toString();
        m_code.clear();
        m_devices.clear();
        render();
        m_codeField->setFocus();
        return;
    }
    m_message = explanation(error);
    render();
    takeFocusBack(m_emailField);
}

void EmailSignInView::verify(const std::optional<QString>& replacing)
{
    if (m_waiting || graphemeCount(m_code) != 6)
        return;
    m_waiting = true;
    m_message.clear();
    QMap<QString, QString> body{{u"challenge_id"_s, m_challenge},
                                {u"code"_s, m_code},
                                {u"name"_s, m_device.name()},
                                {u"platform"_s, m_device.platform()}};
    if (replacing)
        body.insert(u"replace_device_id"_s, *replacing);
    render();
    m_parkedFocus = window()->focusWidget();
    const QPointer<EmailSignInView> self(this);
    m_request(u"/account/auth/verify"_s, body,
              [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                  if (self)
                      self->verified(json, error);
              });
}

void EmailSignInView::verified(const std::optional<QJsonObject>& json,
                               const std::optional<QString>& error)
{
    m_waiting = false;
    if (!error) {
        m_completed = true;
        m_devices.clear();
        m_code.clear();
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
        m_devices = offered;
        if (m_devices.isEmpty())
            m_message = u"Список устройств недоступен. Получите новый код."_s;
    } else {
        m_message = explanation(error);
    }
    render();
    // Selected, so that the next code typed replaces the wrong one.
    if (m_devices.isEmpty() && takeFocusBack(m_codeField))
        m_codeField->selectAll();
}

bool EmailSignInView::takeFocusBack(QLineEdit* field)
{
    if (window()->focusWidget() != m_parkedFocus)
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
    if (m_waiting)
        return;
    m_replacement = device;
    m_confirmation = true;
    const QString name = m_replacement ? m_replacement->name : QString();
    const QPointer<EmailSignInView> self(this);
    const int answer = m_dialogs.alert(u"Заменить устройство?"_s,
                                       u"Доступ на устройстве \""_s + name +
                                           u"\" завершится. Этот Mac займёт его место. "
                                           u"Подписка сохранится."_s,
                                       {u"Заменить и войти"_s, u"Отмена"_s});
    if (!self)
        return;
    m_confirmation = false;
    if (answer == 0)
        verify(m_replacement ? std::optional(m_replacement->id) : std::nullopt);
    else
        m_replacement.reset();
}

void EmailSignInView::useAnotherAddress()
{
    if (m_waiting)
        return;
    m_challenge.clear();
    m_code.clear();
    m_devices.clear();
    m_message.clear();
    render();
}

void EmailSignInView::render()
{
    m_done->setVisible(m_completed);
    const bool address = !m_completed && m_challenge.isEmpty();
    const bool codeStep = !m_completed && !m_challenge.isEmpty();
    const bool choosing = codeStep && !m_devices.isEmpty();

    m_title->setVisible(!m_completed);
    m_title->setText(m_challenge.isEmpty() ? u"Войти в Оврин"_s : u"Код из письма"_s);

    m_addressHint->setVisible(address);
    m_addressRow->setVisible(address);
    if (m_emailField->text() != m_email)
        m_emailField->setText(m_email);
    m_emailField->setEnabled(!m_waiting);
    m_sendButton->setBusy(m_waiting);
    m_sendButton->setEnabled(!m_waiting && m_email.contains(u'@'));

    m_sentTo->setVisible(codeStep);
    m_sentTo->setText(u"Письмо отправлено на "_s + m_email + u". Код действует 15 минут."_s);
    m_placesTaken->setVisible(choosing);
    m_chooseDevice->setVisible(choosing);
    m_deviceList->setVisible(choosing);
    m_deviceList->setDevices(m_devices);
    m_deviceList->setBusy(m_waiting);

    m_codeRow->setVisible(codeStep && !choosing);
    if (m_codeField->text() != m_code)
        m_codeField->setText(m_code);
    m_codeField->setEnabled(!m_waiting);
    m_verifyButton->setBusy(m_waiting);
    m_verifyButton->setEnabled(!m_waiting && graphemeCount(m_code) == 6);

    m_linksRow->setVisible(codeStep);
    m_newCodeButton->setEnabled(!m_waiting);
    m_otherEmailButton->setEnabled(!m_waiting);

    m_messageLabel->setVisible(!m_completed && !m_message.isEmpty());
    m_messageLabel->setText(m_message);
}
