#include "account/AccountView.h"

#include "account/AccountCommandsPanel.h"
#include "account/AccountForm.h"
#include "account/AccountImportPanel.h"
#include "account/PairingApprovalPanel.h"
#include "account/PairingRequestPanel.h"
#include "core/Core.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/kit/TextStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace AccountForm;

namespace {

constexpr int padding = 20;

const QString doneNotice = u"Готово."_s;

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setObjectName(u"divider"_s);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    return line;
}

} // namespace

AccountView::AccountView(Core& core, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent)
    , m_core(core)
    , m_dialogs(dialogs)
    , m_pairing(core, dialogs)
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
    auto* close = button(u"Закрыть"_s, content);
    connect(close, &QPushButton::clicked, this, [this] { m_core.setShowAccount(false); });
    titleRow->addWidget(m_title, 1, Qt::AlignVCenter);
    titleRow->addWidget(close, 0, Qt::AlignVCenter);
    stack->addLayout(titleRow);

    m_import = new AccountImportPanel(m_core, m_pairing, content);
    stack->addWidget(m_import);
    stack->addWidget(buildSignIn(content));
    stack->addWidget(buildSignedIn(content));
    m_confirmation = new EmailConfirmationPanel(m_core, m_pairing, content);
    stack->addWidget(m_confirmation);

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

QWidget* AccountView::buildSignIn(QWidget* parent)
{
    // The e-mail sign-in view goes first, made when this layout is shown.
    m_signInBox = new QWidget(parent);
    m_signInColumn = column(m_signInBox);
    m_signInColumn->addWidget(divider(m_signInBox));
    m_pairingRequest = new PairingRequestPanel(m_pairing, m_signInBox);
    m_signInColumn->addWidget(m_pairingRequest);
    return m_signInBox;
}

QWidget* AccountView::buildSignedIn(QWidget* parent)
{
    // The cabinet goes first, made when this layout is shown.
    m_signedInBox = new QWidget(parent);
    m_signedInColumn = column(m_signedInBox);
    m_signedInColumn->addWidget(divider(m_signedInBox));
    m_commands = new AccountCommandsPanel(m_core, m_pairing, m_signedInBox);
    connect(m_commands, &AccountCommandsPanel::commandChosen, this, &AccountView::perform);
    m_signedInColumn->addWidget(m_commands);
    m_signedInColumn->addWidget(divider(m_signedInBox));
    m_pairingApproval = new PairingApprovalPanel(m_pairing, m_signedInBox);
    m_signedInColumn->addWidget(m_pairingApproval);
    auto* verifyEmail = button(u"Подтвердить почту"_s, m_signedInBox);
    connect(verifyEmail, &QPushButton::clicked, this, [this] { m_confirmation->begin(); });
    m_signedInColumn->addWidget(verifyEmail, 0, Qt::AlignLeft);
    return m_signedInBox;
}

void AccountView::perform(const QString& path)
{
    m_pairing.setWaiting(true);
    const QPointer<AccountView> self(this);
    m_core.accountRequest(path, {},
                          [self](std::optional<QJsonObject>, std::optional<QString> error) {
                              if (!self)
                                  return;
                              self->m_pairing.finish(error.value_or(doneNotice));
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
        m_cabinet = new CabinetView(m_core, m_dialogs, m_signedInBox);
        m_signedInColumn->insertWidget(0, m_cabinet);
    }
}

void AccountView::render()
{
    const AccountStatus& account = m_core.account();
    showLayout(!account.bootstrap   ? Layout::Import
               : !account.signed_in ? Layout::SignIn
                                    : Layout::SignedIn);
    m_import->setVisible(m_layout == Layout::Import);
    m_signInBox->setVisible(m_layout == Layout::SignIn);
    m_signedInBox->setVisible(m_layout == Layout::SignedIn);

    m_pairingRequest->render(m_layout == Layout::SignIn);
    m_commands->render();
    m_pairingApproval->render();
    // The e-mail confirmation, whatever the layout.
    m_confirmation->render();

    m_message->setText(m_pairing.message());
    m_message->setVisible(!m_pairing.message().isEmpty());
    m_accountError->setText(account.error);
    m_accountError->setVisible(!account.error.isEmpty());
    m_keychainRetry->setVisible(account.keychain_error);
    m_keychainRetry->setEnabled(!m_pairing.waiting());
}

void AccountView::applyStyle()
{
    const QFont body = font();
    m_title->setFont(TextStyle::scaled(body, 17, QFont::Normal));
    m_accountError->setFont(TextBlock::captionFont(body));
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
