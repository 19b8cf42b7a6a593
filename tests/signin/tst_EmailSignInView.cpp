// The e-mail sign-in view driven as a user drives it, with a scripted
// request function answered by the test.
#include "FakeDeviceIdentity.h"
#include "FakeDialogs.h"
#include "OnScreen.h"
#include "signin/EmailSignInView.h"
#include "signin/SignInDeviceRow.h"
#include "ui/kit/TextBlock.h"

#include <QDialog>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Body = QMap<QString, QString>;

namespace {

struct Call {
    QString path;
    Body body;
    Core::AccountDone done;
};

// What "/account/auth/verify" is sent for `code`, with a device to replace or not.
Body verifyBody(const QString& challenge, const QString& code, const QString& replacing = {})
{
    Body body{{u"challenge_id"_s, challenge},
              {u"code"_s, code},
              {u"name"_s, FakeDeviceIdentity().name()},
              {u"platform"_s, u"macOS"_s}};
    if (!replacing.isEmpty())
        body.insert(u"replace_device_id"_s, replacing);
    return body;
}

std::optional<QJsonObject> object(const QByteArray& json)
{
    if (json.isNull())
        return std::nullopt;
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class EmailSignInViewTest : public QObject {
    Q_OBJECT

    FakeDialogs m_dialogs;
    FakeDeviceIdentity m_device;
    QList<Call> m_calls;
    std::unique_ptr<QWidget> m_window;
    QPointer<EmailSignInView> m_view;

    QLineEdit* field(const QString& placeholder) const
    {
        for (auto* edit : m_view->findChildren<QLineEdit*>()) {
            if (edit->placeholderText() == placeholder)
                return edit;
        }
        return nullptr;
    }
    QLineEdit* emailField() const { return field(u"Электронная почта"_s); }
    QLineEdit* codeField() const { return field(u"Код из 6 цифр"_s); }
    QAbstractButton* button(const QString& text) const
    {
        for (auto* b : m_view->findChildren<QAbstractButton*>()) {
            if (b->text() == text && b->isVisibleTo(m_window.get()))
                return b;
        }
        return nullptr;
    }
    QLabel* message() const
    {
        for (auto* label : m_view->findChildren<QLabel*>()) {
            if (label->accessibleName() == u"signin-message")
                return label;
        }
        return nullptr;
    }
    QString shownMessage() const
    {
        return message()->isVisibleTo(m_window.get()) ? message()->text() : QString();
    }
    void answer(const QByteArray& json, const std::optional<QString>& error = {})
    {
        QVERIFY(!m_calls.isEmpty());
        m_calls.last().done(object(json), error);
    }
    void pressReturn(QLineEdit* edit) { QTest::keyClick(edit, Qt::Key_Return); }

    // Up to the code step for "anna@example.com" with challenge "c1".
    void reachCodeStep()
    {
        QTest::keyClicks(emailField(), u"anna@example.com"_s);
        QTest::mouseClick(button(u"Получить код"_s), Qt::LeftButton);
        answer(R"({"challenge_id":"c1"})");
        QVERIFY(codeField()->isVisibleTo(m_window.get()));
    }
    // Up to the replacement choice: the code "123456" met "device_limit".
    void reachChoice(const QByteArray& devices = R"([{"id":"d1","name":"Ноутбук Анны",
        "platform":"Windows"},{"id":"d2","name":"Рабочий"}])")
    {
        reachCodeStep();
        QTest::keyClicks(codeField(), u"123456"_s);
        pressReturn(codeField());
        answer(R"({"error":"device_limit","devices":)" + devices + "}", u"device_limit"_s);
    }

private Q_SLOTS:
    void init()
    {
        m_dialogs = FakeDialogs();
        m_calls.clear();
        m_window = std::make_unique<QWidget>();
        m_window->setFixedWidth(460);
        auto* layout = new QVBoxLayout(m_window.get());
        m_view = new EmailSignInView(
            [this](const QString& path, const Body& body, Core::AccountDone done) {
                m_calls.append({path, body, std::move(done)});
            },
            m_dialogs, m_device);
        layout->addWidget(m_view);
        m_window->show();
    }
    void cleanup() { m_window.reset(); }

    void addressIsNormalisedAndKept_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent");
        QTest::newRow("blanks and capitals")
            << u"  Anna.Petrova@Example.COM  "_s << u"anna.petrova@example.com"_s;
        QTest::newRow("pasted with a tab, a no-break space and a line break")
            << u"\tIvan@Mail.RU\u00a0\n"_s << u"ivan@mail.ru"_s;
        QTest::newRow("Cyrillic") << u" Пётр@Почта.РФ "_s << u"пётр@почта.рф"_s;
    }
    void addressIsNormalisedAndKept()
    {
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        emailField()->insert(typed); // as a paste
        QVERIFY(button(u"Получить код"_s)->isEnabled());
        pressReturn(emailField());
        QCOMPARE(m_calls.size(), 1);
        QCOMPARE(m_calls[0].path, u"/account/auth/request"_s);
        QCOMPARE(m_calls[0].body, (Body{{u"email"_s, sent}}));
        QCOMPARE(emailField()->text(), sent);
        QVERIFY(!emailField()->isEnabled());
        QVERIFY(!button(u"Отправка…"_s)->isEnabled());

        answer(R"({"challenge_id":"c1"})");
        QVERIFY(shownTexts(m_view).contains(u"Письмо отправлено на "_s + sent +
                                            u". Код действует 15 минут."_s));
        QVERIFY(shownTexts(m_view).contains(u"Код из письма"_s));
    }

    void addressWithoutAtIsRefusedSilently()
    {
        QTest::keyClicks(emailField(), u" Anna.Example.COM "_s);
        QVERIFY(!button(u"Получить код"_s)->isEnabled());
        pressReturn(emailField());
        QCOMPARE(emailField()->text(), u"anna.example.com"_s);
        QVERIFY(m_calls.isEmpty());
        QCOMPARE(shownMessage(), QString());
    }

    void codeLength_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("5 digits") << u"12345"_s << false;
        QTest::newRow("7 digits") << u"1234567"_s << false;
        QTest::newRow("6 with letters") << u"ab12Cd"_s << true;
        QTest::newRow("6 Cyrillic letters") << u"КодЁж1"_s << true;
        QTest::newRow("6 characters, 7 units") << u"e\u0301"
                                                  "12345"_s
                                               << true;
        QTest::newRow("5 characters, 6 units") << u"e\u0301"
                                                  "1234"_s
                                               << false;
        QTest::newRow("5 characters with a flag, 8 units") << u"🇷🇺1234"_s << false;
    }
    void codeLength()
    {
        QFETCH(QString, code);
        QFETCH(bool, accepted);
        reachCodeStep();
        codeField()->insert(code);
        QCOMPARE(button(u"Войти"_s)->isEnabled(), accepted);
        pressReturn(codeField());
        QTest::mouseClick(button(accepted ? u"Проверка…"_s : u"Войти"_s), Qt::LeftButton);
        QCOMPARE(m_calls.size(), accepted ? 2 : 1);
        if (!accepted)
            return;
        QCOMPARE(m_calls[1].path, u"/account/auth/verify"_s);
        QCOMPARE(m_calls[1].body, verifyBody(u"c1"_s, code));
    }

    void returnDuringVerificationSendsNothing()
    {
        reachCodeStep();
        QTest::keyClicks(codeField(), u"123456"_s);
        pressReturn(codeField());
        pressReturn(codeField());
        QTest::keyClick(emailField(), Qt::Key_Return);
        QCOMPARE(m_calls.size(), 2);
        QVERIFY(!button(u"Получить новый код"_s)->isEnabled());
        QVERIFY(!button(u"Другая почта"_s)->isEnabled());
        answer({}, u"invalid_code"_s);
        QCOMPARE(shownMessage(),
                 u"Код не подходит или истёк. Проверьте письмо или получите новый код."_s);
        QCOMPARE(codeField()->text(), u"123456"_s);
        QVERIFY(button(u"Войти"_s)->isEnabled());
        // The field holds the keyboard again, its code selected: typing replaces it.
        QCOMPARE(m_window->focusWidget(), codeField());
        QTest::keyClicks(m_window->focusWidget(), u"654321"_s);
        QCOMPARE(codeField()->text(), u"654321"_s);
    }

    void returnGoesNoFurtherThanTheField()
    {
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* fallback = new QPushButton(u"Закрыть"_s, &dialog);
        fallback->setDefault(true);
        QSignalSpy pressed(fallback, &QPushButton::clicked);
        layout->addWidget(fallback);
        layout->addWidget(m_view);
        dialog.show();
        QTest::keyClicks(emailField(), u"a@b.c"_s);
        pressReturn(emailField());
        QCOMPARE(m_calls.size(), 1);
        QCOMPARE(pressed.size(), 0);
    }

    void codeRequestFailures_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<std::optional<QString>>("error");
        QTest::addColumn<QString>("text");
        const QString unreachable = u"Не удалось связаться с центром. Повторите попытку."_s;
        QTest::newRow("good reply without challenge_id")
            << "{}"_ba << std::optional<QString>() << unreachable;
        QTest::newRow("challenge_id empty")
            << R"({"challenge_id":""})"_ba << std::optional<QString>() << unreachable;
        QTest::newRow("challenge_id beside an error")
            << R"({"challenge_id":"c1"})"_ba << std::optional(u"rate_limited"_s)
            << u"Лимит запросов кода исчерпан. Повторите попытку позже."_s;
        QTest::newRow("mail_unavailable")
            << QByteArray() << std::optional(u"mail_unavailable"_s)
            << u"Отправка писем временно недоступна. Повторите попытку позже."_s;
        QTest::newRow("email_verification_required")
            << QByteArray() << std::optional(u"email_verification_required"_s)
            << u"Устройство уже изменилось. Получите новый код и выберите его снова."_s;
        QTest::newRow("helper silent") << QByteArray() << std::optional(u"Помощник не ответил."_s)
                                       << u"Помощник не ответил."_s;
        QTest::newRow("unknown code passes")
            << QByteArray() << std::optional(u"Invalid_Code"_s) << u"Invalid_Code"_s;
        QTest::newRow("empty error text")
            << "{}"_ba << std::optional(QString(u""_s)) << u"Запрос не выполнен."_s;
    }
    void codeRequestFailures()
    {
        QFETCH(QByteArray, json);
        QFETCH(std::optional<QString>, error);
        QTest::keyClicks(emailField(), u"anna@example.com"_s);
        pressReturn(emailField());
        answer(json, error);
        QTEST(shownMessage(), "text");
        QVERIFY(shownTexts(m_view).contains(u"Войти в Оврин"_s));
        QVERIFY(button(u"Получить код"_s)->isEnabled());
        QCOMPARE(m_window->focusWidget(), emailField());
        // The next attempt starts with the line cleared.
        pressReturn(emailField());
        QCOMPARE(shownMessage(), QString());
    }

    void deviceEntries()
    {
        reachChoice(R"([{"id":"d1","name":"Ноутбук Анны","platform":"Windows"},
            {"name":"без id"},{"id":"","name":"пустой id"},{"id":5},{"id":"d4"}])");
        const auto rows = m_view->findChildren<SignInDeviceRow*>();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(shownTexts(rows[0]),
                 (QStringList{u"Ноутбук Анны"_s, u"Windows"_s, u"Заменить"_s}));
        QCOMPARE(shownTexts(rows[1]), (QStringList{u"Устройство без названия"_s, u"Заменить"_s}));
        QVERIFY(shownTexts(m_view).contains(u"Все места для устройств заняты"_s));
        QVERIFY(!codeField()->isVisibleTo(m_window.get()));
        QCOMPARE(shownMessage(), QString());
    }

    void deviceLimitWithoutUsableList_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("text");
        const QString unavailable = u"Список устройств недоступен. Получите новый код."_s;
        QTest::newRow("no reply object") << QByteArray() << u"device_limit"_s;
        QTest::newRow("empty reply object") << "{}"_ba << u"device_limit"_s;
        QTest::newRow("no devices") << R"({"error":"device_limit"})"_ba << u"device_limit"_s;
        QTest::newRow("devices not an array")
            << R"({"devices":{"id":"d1"}})"_ba << u"device_limit"_s;
        QTest::newRow("an array with a non-object")
            << R"({"devices":[{"id":"d1"},"d2"]})"_ba << u"device_limit"_s;
        QTest::newRow("an empty array") << R"({"devices":[]})"_ba << unavailable;
        QTest::newRow("no valid device")
            << R"({"devices":[{"name":"x"},{"id":""}]})"_ba << unavailable;
    }
    void deviceLimitWithoutUsableList()
    {
        QFETCH(QByteArray, json);
        reachCodeStep();
        QTest::keyClicks(codeField(), u"123456"_s);
        pressReturn(codeField());
        answer(json, u"device_limit"_s);
        QTEST(shownMessage(), "text");
        QVERIFY(m_view->findChildren<SignInDeviceRow*>().isEmpty());
        QVERIFY(codeField()->isVisibleTo(m_window.get()));
        QCOMPARE(codeField()->text(), u"123456"_s);
    }

    void replacement_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<std::optional<QString>>("error"); // of the verification
        QTest::newRow("confirmed and accepted") << 0 << std::optional<QString>();
        QTest::newRow("confirmed and refused")
            << 0 << std::optional(u"email_verification_required"_s);
        QTest::newRow("cancelled") << 1 << std::optional<QString>();
        QTest::newRow("closed") << -1 << std::optional<QString>();
    }
    void replacement()
    {
        QFETCH(int, answer);
        QFETCH(std::optional<QString>, error);
        QSignalSpy signedIn(m_view.data(), &EmailSignInView::signedIn);
        reachChoice();
        m_dialogs.alertAnswers = {answer};
        const auto rows = m_view->findChildren<SignInDeviceRow*>();
        QTest::mouseClick(rows[1]->replaceButton(), Qt::LeftButton);
        QCOMPARE(m_dialogs.alerts.size(), 1);
        QCOMPARE(m_dialogs.alerts[0].message, u"Заменить устройство?"_s);
        QCOMPARE(m_dialogs.alerts[0].informative,
                 u"Доступ на устройстве \"Рабочий\" завершится. Этот Mac займёт его место. "
                 u"Подписка сохранится."_s);
        QCOMPARE(m_dialogs.alerts[0].buttons, (QStringList{u"Заменить и войти"_s, u"Отмена"_s}));
        if (answer != 0) {
            QCOMPARE(m_calls.size(), 2);
            QVERIFY(rows[1]->replaceButton()->isEnabled());
            return;
        }
        QCOMPARE(m_calls.size(), 3);
        QCOMPARE(m_calls[2].body, verifyBody(u"c1"_s, u"123456"_s, u"d2"_s));
        QVERIFY(!rows[0]->replaceButton()->isEnabled());
        this->answer("{}", error);
        if (error) { // the list stays, to pick again or ask for a new code
            QCOMPARE(m_view->findChildren<SignInDeviceRow*>().size(), 2);
            QCOMPARE(shownMessage(),
                     u"Устройство уже изменилось. Получите новый код и выберите его снова."_s);
            return;
        }
        QCOMPARE(
            shownTexts(m_view),
            (QStringList{u"Вход выполнен"_s, u"Подписка и устройства доступны в кабинете."_s}));
        QVERIFY(m_view->isCompleted());
        QCOMPARE(signedIn.size(), 1);
    }

    void newCodeFromTheChoiceClearsDevicesAndCode()
    {
        reachChoice();
        QTest::mouseClick(button(u"Получить новый код"_s), Qt::LeftButton);
        QCOMPARE(m_calls.size(), 3);
        QCOMPARE(m_calls[2].body, (Body{{u"email"_s, u"anna@example.com"_s}}));
        QVERIFY(
            !m_view->findChildren<SignInDeviceRow*>().constFirst()->replaceButton()->isEnabled());
        answer(R"({"challenge_id":"c2"})");
        QTRY_VERIFY(m_view->findChildren<SignInDeviceRow*>().isEmpty());
        QVERIFY(codeField()->isVisibleTo(m_window.get()));
        QCOMPARE(codeField()->text(), QString());
        QTest::keyClicks(codeField(), u"654321"_s);
        pressReturn(codeField());
        QCOMPARE(m_calls[3].body.value(u"challenge_id"_s), u"c2"_s);
    }

    void anotherAddressKeepsTheAddress()
    {
        reachChoice();
        QTest::mouseClick(button(u"Другая почта"_s), Qt::LeftButton);
        QVERIFY(shownTexts(m_view).contains(u"Войти в Оврин"_s));
        QCOMPARE(emailField()->text(), u"anna@example.com"_s);
        pressReturn(emailField());
        answer(R"({"challenge_id":"c3"})");
        QCOMPARE(codeField()->text(), QString());
        QVERIFY(!shownTexts(m_view).contains(u"Все места для устройств заняты"_s));
    }

    void lateReplyAfterTheViewIsGone()
    {
        QTest::keyClicks(emailField(), u"a@b.c"_s);
        pressReturn(emailField());
        m_window.reset();
        QVERIFY(m_view.isNull());
        answer(R"({"challenge_id":"c1"})"); // must not touch the destroyed view
    }
};

QTEST_MAIN(EmailSignInViewTest)
#include "tst_EmailSignInView.moc"
