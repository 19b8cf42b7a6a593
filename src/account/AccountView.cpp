#include "account/AccountView.h"

#include "account/WrappedText.h"

#include "core/Core.h"
#include "link/JsonReader.h"
#include "ui/kit/Graphemes.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/kit/TextStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int padding = 20;
constexpr int spacing = 12;
constexpr int qrSide = 180;
constexpr int codeLength = 6;

const QString doneNotice = u"Готово."_s;

QPushButton* button(const QString& title, QWidget* parent)
{
    auto* widget = new QPushButton(title, parent);
    // Return in a field of the sheet must not press whichever button had the
    // focus last.
    widget->setAutoDefault(false);
    return widget;
}

TextBlock* text(TextBlock::Tone tone, const QString& content, QWidget* parent)
{
    auto* block = new TextBlock(tone, parent);
    block->setText(content);
    return block;
}

QLabel* selectable(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setObjectName(u"divider"_s);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    return line;
}

QVBoxLayout* column(QWidget* widget, int margin)
{
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

// A field bound to a string of the window: the user's edits go to `edited`;
// a render writes the string back only when it differs, so the cursor stays.
QLineEdit* field(const QString& placeholder, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setPlaceholderText(placeholder);
    edit->setAccessibleName(placeholder);
    return edit;
}

void showText(QLineEdit* edit, const QString& value)
{
    if (edit->text() != value)
        edit->setText(value);
}

// Return in `edit` presses `target` when it can be pressed.
void submits(QLineEdit* edit, QPushButton* target)
{
    QObject::connect(edit, &QLineEdit::returnPressed, target, [target] {
        if (target->isEnabled() && target->isVisible())
            target->click();
    });
}

} // namespace

AccountView::AccountView(Core& core, Dialogs& dialogs, Pairing::Clock clock, QWidget* parent)
    : QWidget(parent)
    , m_core(core)
    , m_dialogs(dialogs)
    , m_pairing(core, dialogs, std::move(clock))
{
    setFixedSize(contentSize);
    build();
    applyStyle();
    connect(&core, &Core::accountChanged, this, &AccountView::render);
    connect(&core, &Core::statusChanged, this, &AccountView::render);
    connect(&m_pairing, &Pairing::changed, this, &AccountView::render);
    // Deadlines pass without any change of state: each tick redraws.
    connect(&m_pairing, &Pairing::ticked, this, &AccountView::render);
    render();
    m_pairing.startTicking();
}

AccountView::~AccountView()
{
    m_pairing.stopTicking();
}

void AccountView::build()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    outer->addWidget(scroll);

    auto* content = new QWidget(scroll);
    content->setObjectName(u"account-content"_s);
    auto* stack = column(content, padding);
    stack->setAlignment(Qt::AlignTop);

    auto* titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(0, 0, 0, 0);
    m_title = text(TextBlock::Tone::Label, u"Учётная запись"_s, content);
    m_close = button(u"Закрыть"_s, content);
    connect(m_close, &QPushButton::clicked, this, [this] { m_core.setShowAccount(false); });
    titleRow->addWidget(m_title, 1, Qt::AlignVCenter);
    titleRow->addWidget(m_close, 0, Qt::AlignVCenter);
    stack->addLayout(titleRow);

    stack->addWidget(buildImport());
    stack->addWidget(buildSignIn());
    stack->addWidget(buildSignedIn());
    stack->addWidget(buildConfirmation());

    m_message = selectable(content);
    m_message->setObjectName(u"account-message"_s);
    stack->addWidget(m_message);
    m_accountError = selectable(content);
    m_accountError->setObjectName(u"account-error"_s);
    stack->addWidget(m_accountError);
    m_keychainRetry = button(u"Повторить чтение сохранённого входа"_s, content);
    connect(m_keychainRetry, &QPushButton::clicked, this,
            [this] { perform(u"/account/keychain/retry"_s); });
    stack->addWidget(m_keychainRetry, 0, Qt::AlignLeft);
    stack->addStretch(1);

    scroll->setWidget(content);
}

QWidget* AccountView::buildImport()
{
    m_import = new QWidget;
    auto* stack = column(m_import, 0);
    m_importNote = text(TextBlock::Tone::Label,
                        u"Для подключения к центру нужен подписанный список серверов."_s, m_import);
    stack->addWidget(m_importNote);
    m_importButton = button(u"Импорт списка серверов…"_s, m_import);
    connect(m_importButton, &QPushButton::clicked, this, &AccountView::importServers);
    stack->addWidget(m_importButton, 0, Qt::AlignLeft);
    return m_import;
}

QWidget* AccountView::buildSignIn()
{
    // The e-mail sign-in view goes first, made when this layout is shown.
    m_signInBox = new QWidget;
    m_signInColumn = column(m_signInBox, 0);
    m_signInColumn->addWidget(divider(m_signInBox));

    m_createPair = button(u"Войти с другого устройства по QR"_s, m_signInBox);
    connect(m_createPair, &QPushButton::clicked, &m_pairing, &Pairing::createPair);
    m_signInColumn->addWidget(m_createPair, 0, Qt::AlignLeft);

    m_qrGroup = new QWidget(m_signInBox);
    auto* group = column(m_qrGroup, 0);
    m_qrImage = new QLabel(m_qrGroup);
    m_qrImage->setObjectName(u"pair-qr"_s);
    m_qrImage->setFixedSize(qrSide, qrSide);
    // Stretched without smoothing, so that the modules stay sharp.
    m_qrImage->setScaledContents(false);
    group->addWidget(m_qrImage, 0, Qt::AlignLeft);
    m_qrHint = text(TextBlock::Tone::Label,
                    u"Отсканируйте QR устройством, где вход уже выполнен."_s, m_qrGroup);
    group->addWidget(m_qrHint);
    m_pairLink = new WrappedText(m_qrGroup);
    m_pairLink->setObjectName(u"pair-link"_s);
    group->addWidget(m_pairLink);
    m_pairingCodeField = field(u"Код со старого устройства"_s, m_qrGroup);
    connect(m_pairingCodeField, &QLineEdit::textEdited, &m_pairing, &Pairing::setPairingCode);
    group->addWidget(m_pairingCodeField);
    m_claim = button(u"Отправить код на подтверждение"_s, m_qrGroup);
    connect(m_claim, &QPushButton::clicked, &m_pairing, &Pairing::claimCode);
    submits(m_pairingCodeField, m_claim);
    group->addWidget(m_claim, 0, Qt::AlignLeft);
    m_signInColumn->addWidget(m_qrGroup);
    return m_signInBox;
}

QWidget* AccountView::buildSignedIn()
{
    // The cabinet goes first, made when this layout is shown.
    m_signedInBox = new QWidget;
    m_signedInColumn = column(m_signedInBox, 0);
    auto* stack = m_signedInColumn;
    QWidget* box = m_signedInBox;
    stack->addWidget(divider(box));

    m_device = selectable(box);
    m_device->setObjectName(u"device-id"_s);
    stack->addWidget(m_device);
    m_logout = button(u"Выйти из аккаунта и отключить VPN"_s, box);
    connect(m_logout, &QPushButton::clicked, this, [this] { perform(u"/account/logout"_s); });
    stack->addWidget(m_logout, 0, Qt::AlignLeft);
    m_apply = button(u"Применить серверы из центра"_s, box);
    connect(m_apply, &QPushButton::clicked, this, [this] { perform(u"/account/apply"_s); });
    stack->addWidget(m_apply, 0, Qt::AlignLeft);
    m_applyNote = text(TextBlock::Tone::Label,
                       u"Отключите соединение перед применением новых серверов."_s, box);
    stack->addWidget(m_applyNote);
    m_refresh = button(u"Обновить профиль"_s, box);
    connect(m_refresh, &QPushButton::clicked, this, [this] { perform(u"/account/refresh"_s); });
    stack->addWidget(m_refresh, 0, Qt::AlignLeft);
    stack->addWidget(divider(box));

    m_addByQr = text(TextBlock::Tone::Label, u"Добавить устройство по QR"_s, box);
    stack->addWidget(m_addByQr);
    m_approvalField = field(u"Ссылка из QR нового устройства"_s, box);
    connect(m_approvalField, &QLineEdit::textEdited, &m_pairing, &Pairing::setApprovalLink);
    stack->addWidget(m_approvalField);
    m_approve = button(u"Подтвердить устройство"_s, box);
    connect(m_approve, &QPushButton::clicked, &m_pairing, &Pairing::approvePair);
    submits(m_approvalField, m_approve);
    stack->addWidget(m_approve, 0, Qt::AlignLeft);
    m_approveNote =
        text(TextBlock::Tone::Label, u"Подтверждайте только устройство рядом с вами."_s, box);
    stack->addWidget(m_approveNote);
    m_createCode = button(u"Добавить устройство по коду"_s, box);
    connect(m_createCode, &QPushButton::clicked, &m_pairing, &Pairing::createCode);
    stack->addWidget(m_createCode, 0, Qt::AlignLeft);
    m_codeShown = selectable(box);
    m_codeShown->setObjectName(u"pairing-code"_s);
    stack->addWidget(m_codeShown);
    m_codeNote = text(TextBlock::Tone::Label,
                      u"Введите код на новом устройстве, затем подтвердите здесь. "
                      u"Код действует пять минут."_s,
                      box);
    stack->addWidget(m_codeNote);
    m_verifyEmail = button(u"Подтвердить почту"_s, box);
    connect(m_verifyEmail, &QPushButton::clicked, this, [this] {
        m_verifyingEmail = true;
        render();
    });
    stack->addWidget(m_verifyEmail, 0, Qt::AlignLeft);
    return m_signedInBox;
}

QWidget* AccountView::buildConfirmation()
{
    m_confirmation = new QWidget;
    auto* stack = column(m_confirmation, 0);
    m_emailField = field(u"Почта"_s, m_confirmation);
    m_emailField->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase);
    connect(m_emailField, &QLineEdit::textEdited, this, [this](const QString& value) {
        m_email = value;
        render();
    });
    stack->addWidget(m_emailField);
    m_requestCode = button(u"Получить код подтверждения"_s, m_confirmation);
    connect(m_requestCode, &QPushButton::clicked, this, &AccountView::requestConfirmationCode);
    submits(m_emailField, m_requestCode);
    stack->addWidget(m_requestCode, 0, Qt::AlignLeft);
    m_codeField = field(u"Код из письма"_s, m_confirmation);
    m_codeField->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    connect(m_codeField, &QLineEdit::textEdited, this, [this](const QString& value) {
        m_code = value;
        render();
    });
    stack->addWidget(m_codeField);
    m_confirm = button(u"Подтвердить почту кодом"_s, m_confirmation);
    connect(m_confirm, &QPushButton::clicked, this, &AccountView::confirmEmail);
    submits(m_codeField, m_confirm);
    stack->addWidget(m_confirm, 0, Qt::AlignLeft);
    return m_confirmation;
}

void AccountView::perform(const QString& path)
{
    m_pairing.setWaiting(true);
    const QPointer<AccountView> self(this);
    m_core.accountRequest(path, {},
                          [self](std::optional<QJsonObject>, std::optional<QString> error) {
                              if (!self)
                                  return;
                              self->m_pairing.setWaiting(false);
                              self->m_pairing.setMessage(error.value_or(doneNotice));
                              if (!error)
                                  self->awaitNextStep();
                          });
}

void AccountView::awaitNextStep()
{
    // Presses and keys reach the application's filter before any widget.
    qApp->installEventFilter(this);
}

bool AccountView::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::KeyPress && type != QEvent::InputMethod)
        return QWidget::eventFilter(watched, event);
    auto* target = qobject_cast<QWidget*>(watched);
    // Selecting the notice to copy it is no step of its own.
    if (!target || target == m_message || !isAncestorOf(target))
        return QWidget::eventFilter(watched, event);
    qApp->removeEventFilter(this);
    if (m_pairing.message() == doneNotice)
        m_pairing.setMessage(QString());
    return QWidget::eventFilter(watched, event);
}

void AccountView::importServers()
{
    const QPointer<AccountView> self(this);
    m_core.importBootstrap([self](std::optional<QString> error) {
        if (self)
            self->m_pairing.setMessage(error.value_or(u"Список проверен."_s));
    });
}

void AccountView::requestConfirmationCode()
{
    m_pairing.setWaiting(true);
    const QPointer<AccountView> self(this);
    m_core.accountRequest(
        u"/account/auth/request"_s, {{u"email"_s, m_email}},
        [self](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            const auto challenge =
                json ? JsonReader::string(json->value(u"challenge_id"_s)) : std::nullopt;
            self->m_challenge = challenge.value_or(QString());
            self->m_pairing.setWaiting(false);
            self->m_pairing.setMessage(error.value_or(u"Введите код из письма."_s));
            self->render();
        });
}

void AccountView::confirmEmail()
{
    m_pairing.setWaiting(true);
    const QPointer<AccountView> self(this);
    m_core.accountRequest(u"/account/auth/verify"_s,
                          {{u"challenge_id"_s, m_challenge}, {u"code"_s, m_code}},
                          [self](std::optional<QJsonObject>, std::optional<QString> error) {
                              if (!self)
                                  return;
                              if (!error)
                                  self->m_verifyingEmail = false;
                              self->m_pairing.setWaiting(false);
                              self->m_pairing.setMessage(error.value_or(u"Почта подтверждена."_s));
                              self->render();
                          });
}

void AccountView::showLayout(Layout layout)
{
    if (m_layoutShown && layout == m_layout)
        return;
    m_layoutShown = true;
    m_layout = layout;
    // The views of a layout live only while it is shown, as a fresh copy each
    // time it comes back. Deleted later: the change may come from within one
    // of their own completions.
    for (QWidget* gone : {static_cast<QWidget*>(m_signIn), static_cast<QWidget*>(m_cabinet)}) {
        if (gone) {
            gone->hide();
            gone->deleteLater();
        }
    }
    m_signIn = nullptr;
    m_cabinet = nullptr;
    if (layout == Layout::SignIn) {
        Core& core = m_core;
        m_signIn = new EmailSignInView(
            [&core](const QString& path, const QMap<QString, QString>& body,
                    Core::AccountDone done) { core.accountRequest(path, body, std::move(done)); },
            m_dialogs, m_core.device(), m_signInBox);
        m_signInColumn->insertWidget(0, m_signIn);
    } else if (layout == Layout::SignedIn) {
        m_cabinet = new CabinetView(&m_core, m_dialogs, m_signedInBox);
        m_signedInColumn->insertWidget(0, m_cabinet);
    }
}

void AccountView::render()
{
    const AccountStatus& account = m_core.account();
    const bool waiting = m_pairing.waiting();

    showLayout(!account.bootstrap   ? Layout::Import
               : !account.signed_in ? Layout::SignIn
                                    : Layout::SignedIn);
    m_import->setVisible(m_layout == Layout::Import);
    m_signInBox->setVisible(m_layout == Layout::SignIn);
    m_signedInBox->setVisible(m_layout == Layout::SignedIn);

    // Sign-in.
    m_createPair->setEnabled(!waiting);
    const bool qr = m_layout == Layout::SignIn && m_pairing.qrShown();
    m_qrGroup->setVisible(qr);
    if (qr)
        renderQr();
    showText(m_pairingCodeField, m_pairing.pairingCode());
    m_claim->setEnabled(!waiting && graphemeCount(m_pairing.pairingCode()) == codeLength);

    // Signed in.
    m_device->setText(u"Устройство: "_s + account.device_id);
    m_logout->setEnabled(!waiting);
    const bool running = m_core.status().running;
    m_apply->setEnabled(!waiting && !running);
    m_applyNote->setVisible(running);
    m_refresh->setEnabled(!waiting);
    showText(m_approvalField, m_pairing.approvalLink());
    m_approve->setEnabled(!waiting && !m_pairing.approvalLink().isEmpty());
    m_createCode->setEnabled(!waiting);
    const bool code = m_pairing.codeShown();
    m_codeShown->setText(m_pairing.pairingCode());
    m_codeShown->setVisible(code);
    m_codeNote->setVisible(code);

    // The e-mail confirmation, whatever the layout.
    m_confirmation->setVisible(m_verifyingEmail);
    showText(m_emailField, m_email);
    m_requestCode->setEnabled(!waiting && !m_email.isEmpty());
    m_codeField->setVisible(!m_challenge.isEmpty());
    m_confirm->setVisible(!m_challenge.isEmpty());
    showText(m_codeField, m_code);
    m_confirm->setEnabled(!waiting && graphemeCount(m_code) == codeLength);

    m_message->setText(m_pairing.message());
    m_message->setVisible(!m_pairing.message().isEmpty());
    m_accountError->setText(account.error);
    m_accountError->setVisible(!account.error.isEmpty());
    m_keychainRetry->setVisible(account.keychain_error);
    m_keychainRetry->setEnabled(!waiting);
}

void AccountView::renderQr()
{
    const qreal ratio = devicePixelRatioF();
    const QString& link = m_pairing.pairLink();
    if (link == m_qrShownFor && qFuzzyCompare(m_qrImage->pixmap().devicePixelRatio(), ratio))
        return;
    m_qrShownFor = link;
    const int side = qRound(qrSide * ratio);
    QPixmap pixmap = QPixmap::fromImage(
        m_pairing.pairQr().scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    pixmap.setDevicePixelRatio(ratio);
    m_qrImage->setPixmap(pixmap);
    m_pairLink->setText(link);
}

void AccountView::applyStyle()
{
    const QFont body = font();
    m_title->setFont(TextStyle::scaled(body, 17, QFont::Normal));
    m_importNote->setFont(TextBlock::calloutFont(body));
    const QFont caption = TextBlock::captionFont(body);
    for (QWidget* line : {static_cast<QWidget*>(m_qrHint), static_cast<QWidget*>(m_device),
                          static_cast<QWidget*>(m_applyNote), static_cast<QWidget*>(m_approveNote),
                          static_cast<QWidget*>(m_codeNote), static_cast<QWidget*>(m_accountError)})
        line->setFont(caption);
    // Caption 2 is the caption's size on the platform the sizes follow.
    m_pairLink->setFont(caption);
    m_addByQr->setFont(TextStyle::scaled(body, 13, QFont::DemiBold));
    m_codeShown->setFont(TextStyle::scaled(body, 26, QFont::Normal));
    m_message->setFont(TextBlock::calloutFont(body));

    const QPalette colours = palette();
    QPalette secondary = m_message->palette();
    secondary.setColor(QPalette::WindowText, SystemColours::secondaryLabel(colours));
    m_message->setPalette(secondary);
    QPalette red = m_accountError->palette();
    red.setColor(QPalette::WindowText, SystemColours::red(colours));
    m_accountError->setPalette(red);
    for (auto* line : findChildren<QFrame*>(u"divider"_s)) {
        QPalette p = line->palette();
        p.setColor(QPalette::WindowText, SystemColours::tertiaryLabel(colours));
        line->setPalette(p);
    }
}

void AccountView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        applyStyle();
        render();
    }
    QWidget::changeEvent(event);
}
