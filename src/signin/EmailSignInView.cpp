#include "signin/EmailSignInView.h"

#include "signin/LinkButton.h"
#include "signin/ProminentButton.h"
#include "signin/SignInDeviceList.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/kit/TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

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
    , m_flow(std::move(request), dialogs, device)
{
    connect(&m_flow, &EmailSignInFlow::changed, this, &EmailSignInView::render);
    connect(&m_flow, &EmailSignInFlow::requestSent, this, &EmailSignInView::parkFocus);
    connect(&m_flow, &EmailSignInFlow::codeSent, this, [this] { m_codeField->setFocus(); });
    connect(&m_flow, &EmailSignInFlow::codeRequestFailed, this,
            [this] { takeFocusBack(m_emailField); });
    connect(&m_flow, &EmailSignInFlow::verifyFailed, this, [this] {
        // Selected, so that the next code typed replaces the wrong one.
        if (m_flow.devices().isEmpty() && takeFocusBack(m_codeField))
            m_codeField->selectAll();
    });
    connect(&m_flow, &EmailSignInFlow::signedIn, this, &EmailSignInView::signedIn);
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
    connect(m_emailField, &QLineEdit::textEdited, &m_flow, &EmailSignInFlow::setEmail);
    m_sendButton = new ProminentButton(u"Получить код"_s, u"Отправка…"_s);
    connect(m_sendButton, &QPushButton::clicked, &m_flow, &EmailSignInFlow::sendCode);
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
    connect(m_deviceList, &SignInDeviceList::replaceRequested, &m_flow,
            &EmailSignInFlow::confirmReplacement);
    column->addWidget(m_deviceList);

    m_codeField = new QLineEdit;
    m_codeField->setPlaceholderText(u"Код из 6 цифр"_s);
    // A one-time code; any characters are allowed, so no digits-only hint.
    m_codeField->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                                     Qt::ImhNoAutoUppercase);
    m_codeField->installEventFilter(this);
    connect(m_codeField, &QLineEdit::textEdited, &m_flow, &EmailSignInFlow::setCode);
    m_verifyButton = new ProminentButton(u"Войти"_s, u"Проверка…"_s);
    connect(m_verifyButton, &QPushButton::clicked, &m_flow, [this] { m_flow.verify(); });
    m_codeRow = row(this, rowSpacing, {m_codeField, m_verifyButton});
    column->addWidget(m_codeRow);

    m_newCodeButton = new LinkButton(u"Получить новый код"_s);
    connect(m_newCodeButton, &LinkButton::clicked, &m_flow, &EmailSignInFlow::sendCode);
    m_otherEmailButton = new LinkButton(u"Другая почта"_s);
    connect(m_otherEmailButton, &LinkButton::clicked, &m_flow, &EmailSignInFlow::useAnotherAddress);
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
                m_flow.sendCode();
            else if (watched == m_codeField)
                m_flow.verify();
            else
                return QWidget::eventFilter(watched, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EmailSignInView::parkFocus()
{
    m_parkedFocus = window()->focusWidget();
}

bool EmailSignInView::takeFocusBack(QLineEdit* field)
{
    if (window()->focusWidget() != m_parkedFocus)
        return false;
    field->setFocus();
    return true;
}

void EmailSignInView::render()
{
    const bool completed = m_flow.isCompleted();
    const bool waiting = m_flow.isWaiting();
    const QString& email = m_flow.email();
    const QString& code = m_flow.code();
    const bool hasChallenge = !m_flow.challenge().isEmpty();
    m_done->setVisible(completed);
    const bool address = !completed && !hasChallenge;
    const bool codeStep = !completed && hasChallenge;
    const bool choosing = codeStep && !m_flow.devices().isEmpty();

    m_title->setVisible(!completed);
    m_title->setText(hasChallenge ? u"Код из письма"_s : u"Войти в Оврин"_s);

    m_addressHint->setVisible(address);
    m_addressRow->setVisible(address);
    if (m_emailField->text() != email)
        m_emailField->setText(email);
    m_emailField->setEnabled(!waiting);
    m_sendButton->setBusy(waiting);
    m_sendButton->setEnabled(m_flow.canSendCode());

    m_sentTo->setVisible(codeStep);
    m_sentTo->setText(u"Письмо отправлено на "_s + email + u". Код действует 15 минут."_s);
    m_placesTaken->setVisible(choosing);
    m_chooseDevice->setVisible(choosing);
    m_deviceList->setVisible(choosing);
    m_deviceList->setDevices(m_flow.devices());
    m_deviceList->setBusy(waiting);

    m_codeRow->setVisible(codeStep && !choosing);
    if (m_codeField->text() != code)
        m_codeField->setText(code);
    m_codeField->setEnabled(!waiting);
    m_verifyButton->setBusy(waiting);
    m_verifyButton->setEnabled(m_flow.canVerify());

    m_linksRow->setVisible(codeStep);
    m_newCodeButton->setEnabled(!waiting);
    m_otherEmailButton->setEnabled(!waiting);

    m_messageLabel->setVisible(!completed && !m_flow.message().isEmpty());
    m_messageLabel->setText(m_flow.message());
}
